#include "config/badreasons.h"

#include "platform/gbk.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace badreasons {

namespace {

const QChar Separator = u'|';

QString trimmed(const QString &text)
{
    // Blanks and control characters at both ends, as every box of the parameter window.
    qsizetype first = 0, last = text.size();
    while (first < last && (text.at(first).unicode() <= 0x20 || text.at(first).isSpace()))
        ++first;
    while (last > first && (text.at(last - 1).unicode() <= 0x20 || text.at(last - 1).isSpace()))
        --last;
    return text.mid(first, last - first);
}

} // namespace

QStringList defaults()
{
    return {u"服务态度不好"_s, u"等候时间太长"_s, u"业务不熟练"_s,
            u"办事效率低"_s,   u"没有一次办好"_s, u"其他"_s};
}

QStringList split(const QString &text)
{
    const QString value = trimmed(text);
    if (value.isEmpty())
        return {};
    QStringList reasons;
    for (const QString &part : value.split(Separator))
        reasons << trimmed(part);
    return reasons;
}

QString joined(const QStringList &reasons)
{
    return reasons.join(Separator);
}

std::optional<QString> refusal(const QString &text)
{
    const QStringList reasons = split(text);
    if (reasons.size() > MaxReasons)
        return u"差评原因最多 %1 个，现在有 %2 个。"_s.arg(MaxReasons).arg(reasons.size());
    QStringList seen;
    for (const QString &reason : reasons) {
        if (reason.isEmpty())
            return u"差评原因不能是空的：两个“|”之间、开头或结尾都要有文字。"_s;
        if (reason.size() > MaxLength)
            return u"差评原因“%1”超过 %2 个字，按钮上放不下。"_s.arg(reason).arg(MaxLength);
        if (seen.contains(reason))
            return u"差评原因“%1”重复了。"_s.arg(reason);
        // GBK on disk: a character it cannot store would come back as a question mark.
        if (gbk::decode(gbk::encode(reason)) != reason)
            return u"差评原因“%1”中有无法保存的字，请换用其他字。"_s.arg(reason);
        if (reason.contains(QRegularExpression(u"[\\x00-\\x1f\\x7f]"_s)))
            return u"差评原因“%1”中有控制字符。"_s.arg(reason);
        seen << reason;
    }
    return std::nullopt;
}

QStringList offered(const SettingsFile &settings)
{
    const std::optional<QString> value = settings.ReadSettingIfPresent(Setting::ChapingYuanyin);
    if (!value || refusal(*value))
        return defaults();
    return split(*value);
}

} // namespace badreasons
