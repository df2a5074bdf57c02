#include "config/settingsfile.h"

#include "platform/error.h"
#include "platform/fileinfo.h"
#include "platform/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString Section = u"canshu"_s;

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// One line of the file: its raw bytes (without the line end) and what it means.
struct Line
{
    QByteArray raw;
    QByteArray ending; // "\r\n", "\n" or empty for a last line without one
    enum Kind
    {
        Other,
        SectionHeader,
        Entry
    } kind = Other;
    QString name;  // section name, or key name (trimmed)
    QString value; // entry value (trimmed, outer quotes removed)
};

QList<Line> parse(const QByteArray &bytes)
{
    QList<Line> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        Line line;
        qsizetype nl = bytes.indexOf('\n', pos);
        qsizetype end = nl < 0 ? bytes.size() : nl;
        qsizetype contentEnd = end;
        // "\r\n" ends a line as "\n" does; a lone "\r" is part of the line.
        if (nl >= 0 && contentEnd > pos && bytes.at(contentEnd - 1) == '\r')
            --contentEnd;
        line.raw = bytes.mid(pos, contentEnd - pos);
        line.ending = bytes.mid(contentEnd, (nl < 0 ? end : nl + 1) - contentEnd);
        pos = nl < 0 ? bytes.size() : nl + 1;

        const QString text = gbk::decode(line.raw).trimmed();
        if (text.startsWith(u'[')) {
            const qsizetype close = text.indexOf(u']');
            line.kind = Line::SectionHeader;
            line.name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
        } else if (!text.startsWith(u';')) {
            const qsizetype eq = text.indexOf(u'=');
            if (eq > 0) {
                line.kind = Line::Entry;
                line.name = text.left(eq).trimmed();
                QString value = text.mid(eq + 1).trimmed();
                if (value.size() >= 2 && ((value.startsWith(u'"') && value.endsWith(u'"')) ||
                                          (value.startsWith(u'\'') && value.endsWith(u'\''))))
                    value = value.mid(1, value.size() - 2);
                line.value = value;
            }
        }
        lines.append(std::move(line));
    }
    return lines;
}

// Gives a line that has none (the file's last line) a line end. A line that ends in a lone "\r"
// gets "\r\n" whatever the file uses: a bare "\n" would turn that "\r" into part of the line end
// and so change what the line says.
void endLine(Line &line, const QByteArray &ending)
{
    if (!line.ending.isEmpty())
        return;
    line.ending = line.raw.endsWith('\r') ? QByteArrayLiteral("\r\n") : ending;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index range [begin, end) of the first section with that name's body, or begin = -1.
std::pair<qsizetype, qsizetype> findSection(const QList<Line> &lines, const QString &section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::SectionHeader && sameName(lines[i].name, section)) {
            qsizetype j = i + 1;
            while (j < lines.size() && lines[j].kind != Line::SectionHeader)
                ++j;
            return {i + 1, j};
        }
    }
    return {-1, -1};
}

} // namespace

std::optional<qint32> TryStrToInt(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i < n && (text.at(i) == u'x' || text.at(i) == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == u'0' &&
               (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;

    quint64 value = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text.at(i));
        if (d < 0 || d >= base)
            return std::nullopt;
        value = value * base + quint64(d);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 10) {
        if (negative ? value > 2147483648ull : value > 2147483647ull)
            return std::nullopt;
        return negative ? qint32(-qint64(value)) : qint32(value);
    }
    // Hexadecimal digits give the 32-bit pattern; $FFFFFFFF is -1.
    const qint32 pattern = qint32(quint32(value));
    return negative ? qint32(0u - quint32(pattern)) : pattern;
}

qint32 StrToInt(const QString &text)
{
    if (const auto value = TryStrToInt(text))
        return *value;
    throw KioskError(u"'%1' is not a valid integer value"_s.arg(text));
}

std::optional<QString> profileValue(const QByteArray &content, const QString &key,
                                    const QString &section)
{
    const QList<Line> lines = parse(content);
    const auto [begin, end] = findSection(lines, section);
    if (begin < 0)
        return std::nullopt;
    for (qsizetype i = begin; i < end; ++i) {
        if (lines[i].kind == Line::Entry && sameName(lines[i].name, key))
            return gbk::leftBytes(lines[i].value, SettingsFile::MaxValueBytes);
    }
    return std::nullopt;
}

QByteArray withProfileValue(const QByteArray &bytes, const QString &key, const QString &value)
{
    QList<Line> lines = parse(bytes);
    // A value is one line: line breaks in it would add lines of their own.
    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const QByteArray entry = gbk::encode(key) + '=' + gbk::encode(oneLine);

    // New lines take the ending the file already uses.
    QByteArray ending = "\r\n";
    for (const Line &l : lines) {
        if (!l.ending.isEmpty()) {
            ending = l.ending;
            break;
        }
    }

    auto [begin, end] = findSection(lines, Section);
    bool replaced = false;
    if (begin >= 0) {
        for (qsizetype i = begin; i < end; ++i) {
            if (lines[i].kind == Line::Entry && sameName(lines[i].name, key)) {
                lines[i].raw = entry;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            // After the section's last entry, before any blank lines or comments that follow.
            qsizetype at = end;
            while (at > begin && lines[at - 1].kind == Line::Other)
                --at;
            if (at > 0)
                endLine(lines[at - 1], ending);
            Line l;
            l.raw = entry;
            l.ending = ending;
            l.kind = Line::Entry;
            lines.insert(at, l);
        }
    } else {
        if (!lines.isEmpty())
            endLine(lines.last(), ending);
        Line header;
        header.raw = '[' + gbk::encode(Section) + ']';
        header.ending = ending;
        Line l;
        l.raw = entry;
        l.ending = ending;
        lines.append(header);
        lines.append(l);
    }

    QByteArray out;
    out.reserve(bytes.size() + entry.size() + 16);
    for (const Line &l : lines)
        out += l.raw + l.ending;

    return out;
}

SettingsFile::SettingsFile(const QString &exeDir) : m_path(QDir::cleanPath(exeDir + u"/opt.ini"_s))
{
}

QString SettingsFile::ReadSetting(const QString &key) const
{
    const auto bytes = contents();
    if (!bytes)
        return key;
    return profileValue(*bytes, key).value_or(key);
}

QString BuiltInTitle()
{
    return u"欢迎光临四川省CD市JN区综合服务中心0"_s;
}

std::optional<QString> SettingsFile::ReadSettingIfPresent(const QString &key) const
{
    const auto bytes = contents();
    if (!bytes)
        return std::nullopt;
    return profileValue(*bytes, key);
}

std::optional<QByteArray> SettingsFile::contents() const
{
    QFile file(m_path);
    // A file whose read permission bits are off counts as unreadable also for a privileged user.
    if (!file.open(QIODevice::ReadOnly) || !platform::hasReadPermissionBits(QFileInfo(m_path)))
        return std::nullopt;
    return file.readAll();
}

std::optional<QString> SettingsFile::unreadableReason() const
{
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    QString what;
    if (info.isDir()) {
        what = u"在它的位置上是一个文件夹"_s;
    } else if (!info.exists()) {
        what = u"它是一个指向不存在文件的链接"_s;
    } else if (!platform::hasReadPermissionBits(info)) {
        what = u"文件没有读取权限"_s;
    } else {
        QFile file(m_path);
        if (file.open(QIODevice::ReadOnly))
            return std::nullopt;
        what = file.errorString();
    }
    return u"无法读取设置文件 %1（%2）。管理菜单保持关闭，界面设置无法读取。请管理员确认它是一个"
           u"普通文件，并且运行评价软件的用户有权读取它，然后重新启动软件。"_s.arg(
               QDir::toNativeSeparators(m_path), what);
}

qint32 SettingsFile::ReadSettingNumber(const QString &key) const
{
    if (const auto unreadable = unreadableReason())
        throw KioskError(*unreadable);
    return StrToInt(ReadSetting(key));
}

std::optional<QString> SettingsFile::ReadSectionValue(const QString &section,
                                                      const QString &key) const
{
    const auto bytes = contents();
    if (!bytes)
        return std::nullopt;
    return profileValue(*bytes, key, section);
}

void SettingsFile::WriteSetting(const QString &key, const QString &value) const
{
    const QFileInfo info(m_path);
    QByteArray bytes;
    if (info.exists()) {
        if (info.isDir())
            throw KioskError(
                u"无法写入 %1：它是一个文件夹"_s.arg(QDir::toNativeSeparators(m_path)));
        if (!platform::hasWritePermissionBits(info))
            throw KioskError(u"无法写入 %1：文件只读"_s.arg(QDir::toNativeSeparators(m_path)));
        // The other lines must be kept, so a file that cannot be read is not written either.
        if (const auto unreadable = unreadableReason())
            throw KioskError(*unreadable);
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            throw KioskError(
                u"无法读取 %1：%2"_s.arg(QDir::toNativeSeparators(m_path), file.errorString()));
        bytes = file.readAll();
    }

    const QByteArray out = withProfileValue(bytes, key, value);

    QSaveFile save(m_path);
    if (!save.open(QIODevice::WriteOnly))
        throw KioskError(
            u"无法写入 %1：%2"_s.arg(QDir::toNativeSeparators(m_path), save.errorString()));
    if (save.write(out) != out.size() || !save.commit())
        throw KioskError(
            u"无法写入 %1：%2"_s.arg(QDir::toNativeSeparators(m_path), save.errorString()));
    if (info.exists()) {
        QFile::setPermissions(m_path, info.permissions());
        // Written by root (an administrator setting the PIN): the file stays its owner's, so the
        // kiosk can still read it. The value is stored either way; root can always chown.
        if (::geteuid() == 0 && (info.ownerId() != 0 || info.groupId() != 0)) {
            [[maybe_unused]] const int rc =
                ::chown(QFile::encodeName(m_path).constData(), info.ownerId(), info.groupId());
        }
    }
}
