#include "alert/alertoptions.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTime>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace alert {

namespace {

const QStringList SecretValueOptions = {u"--central"_s, u"--wecom"_s, u"--dingtalk"_s,
                                        u"--secret"_s, u"--smtp"_s};

bool isWebhook(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"https"_s || url.scheme() == u"http"_s) &&
           !url.host().isEmpty();
}

bool isMailAddress(const QString &text)
{
    static const QRegularExpression pattern(u"^[^@\\s,<>]+@[^@\\s,<>]+\\.[^@\\s,<>]+$"_s);
    return pattern.match(text).hasMatch();
}

bool isName(const QString &text)
{
    return !text.trimmed().isEmpty() && text.size() <= 64 && !text.contains(u',') &&
           text == text.trimmed();
}

QStringList splitList(const QString &text)
{
    QStringList list;
    for (const QString &part : text.split(u','))
        list.append(part.trimmed());
    return list;
}

} // namespace

QString maskSecret(const QString &secret)
{
    return secret.size() <= 8 ? u"****"_s : u"****"_s + secret.right(4);
}

QString maskedUrl(const QString &text)
{
    QUrl url(text);
    if (!url.isValid())
        return maskSecret(text);
    if (!url.password().isEmpty())
        url.setPassword(maskSecret(url.password()));
    if (url.hasQuery()) {
        QUrlQuery query(url);
        auto items = query.queryItems(QUrl::FullyDecoded);
        for (auto &item : items)
            item.second = maskSecret(item.second);
        query.setQueryItems(items);
        url.setQuery(query);
    }
    // The last path part of a webhook can be its key too (some robots put it there).
    QString path = url.path();
    const qsizetype slash = path.lastIndexOf(u'/');
    if (!url.hasQuery() && slash >= 0 && path.size() - slash > 16)
        url.setPath(path.left(slash + 1) + maskSecret(path.mid(slash + 1)));
    return url.toString(QUrl::DecodeReserved);
}

bool isHoursValue(const QString &text)
{
    const QStringList parts = text.split(u'-');
    if (parts.size() != 2)
        return false;
    const QTime start = QTime::fromString(parts[0], u"HH:mm"_s);
    const QTime end = QTime::fromString(parts[1], u"HH:mm"_s);
    return start.isValid() && end.isValid() && start < end;
}

bool withinHours(const QString &hours, const QString &time)
{
    if (hours.isEmpty())
        return true;
    const QStringList parts = hours.split(u'-');
    const QString hhmm = time.left(5);
    return parts.size() == 2 && hhmm >= parts[0] && hhmm < parts[1];
}

QList<int> secretArgumentPositions(const QStringList &arguments)
{
    QList<int> positions;
    for (int i = 0; i + 1 < arguments.size(); ++i) {
        if (SecretValueOptions.contains(arguments[i]))
            positions.append(i + 1);
    }
    return positions;
}

const QStringList &ruleTypes()
{
    static const QStringList types = {u"bad"_s, u"run"_s, u"hour"_s, u"overdue"_s};
    return types;
}

namespace {

// The command line's text, or the dashboard's.
QString say(Wording wording, const QString &commandLine, const QString &dashboard)
{
    return wording == Wording::CommandLine ? commandLine : dashboard;
}

QString kindName(const QString &type, Wording wording)
{
    static const QHash<QString, QString> names = {{u"bad"_s, u"每条差评"_s},
                                                  {u"run"_s, u"连续差评"_s},
                                                  {u"hour"_s, u"低分时段"_s},
                                                  {u"overdue"_s, u"案件逾期"_s}};
    return say(wording, type + u" 规则"_s, u"“%1”规则"_s.arg(names.value(type)));
}

} // namespace

std::optional<QString> channelProblem(const ChannelSpec &c, Wording w)
{
    if (!isName(c.name))
        return u"渠道名称不能为空，不能含逗号或首尾空格，最多 64 个字符"_s;
    if (!QStringList{u"wecom"_s, u"dingtalk"_s, u"smtp"_s}.contains(c.type))
        return say(w, u"--add-channel 须给出 --wecom、--dingtalk 或 --smtp"_s,
                   u"渠道类型须为企业微信、钉钉或邮件"_s);
    if (c.format != u"text"_s && c.format != u"markdown"_s)
        return u"消息格式须为文本或 markdown"_s;
    if (c.type == u"smtp"_s) {
        const QUrl url(c.url, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != u"smtp"_s && url.scheme() != u"smtps"_s) ||
            url.host().isEmpty() || url.port() <= 0)
            return say(w, u"--smtp "_s, u"邮件服务器地址"_s) +
                   u"须为 smtp://主机:端口（或 smtps://主机:端口）"_s;
        if (!isMailAddress(c.from))
            return say(w, u"--from "_s, u"发件人"_s) + u"须为一个电子邮件地址"_s;
        if (c.to.isEmpty() || !std::all_of(c.to.begin(), c.to.end(), isMailAddress))
            return say(w, u"--to "_s, u"收件人"_s) + u"须为一个或多个电子邮件地址，以逗号分隔"_s;
        if (!c.secret.isEmpty() || c.format != u"text"_s)
            return say(w, u"邮件渠道不用 --secret 和 --markdown"_s,
                       u"邮件渠道不用加签密钥和 markdown"_s);
        return std::nullopt;
    }
    if (!isWebhook(c.url))
        return u"机器人地址须为 https:// 开头的 Webhook 网址"_s;
    if (!c.from.isEmpty() || !c.to.isEmpty())
        return say(w, u"--from 和 --to 只用于邮件渠道"_s, u"发件人和收件人只用于邮件渠道"_s);
    if (c.type == u"dingtalk"_s && c.secret.isEmpty())
        return say(w, u"钉钉机器人须给出加签密钥 --secret（以 SEC 开头）"_s,
                   u"钉钉机器人须给出加签密钥（以 SEC 开头）"_s);
    if (c.type == u"wecom"_s && !c.secret.isEmpty())
        return say(w, u"企业微信机器人不用 --secret"_s, u"企业微信机器人不用加签密钥"_s);
    return std::nullopt;
}

std::optional<QString> ruleProblem(const RuleInput &in, Wording w, RuleSpec &r)
{
    r = RuleSpec{};
    r.type = in.type;
    if (!ruleTypes().contains(in.type))
        return say(w, u"规则类型须为 bad、run、hour 或 overdue"_s,
                   u"规则类型须为每条差评、连续差评、低分时段或案件逾期"_s);
    auto whole = [](const QString &text, int low, int high, int &value) {
        bool ok = false;
        value = text.trimmed().toInt(&ok);
        return ok && value >= low && value <= high;
    };
    if (r.type == u"run"_s) {
        if (!whole(in.bad, 1, 1000, r.bad) || !whole(in.of, 1, 1000, r.of) || r.bad > r.of)
            return say(w, u"run 规则须给出 --bad N --of M，1 ≤ N ≤ M ≤ 1000"_s,
                       u"连续差评规则须给出差评数 N 和评价数 M，1 ≤ N ≤ M ≤ 1000"_s);
    } else if (!in.bad.isEmpty() || !in.of.isEmpty()) {
        return say(w, u"--bad 和 --of 只用于 run 规则"_s,
                   u"差评数和评价数只用于连续差评规则，%1不用"_s.arg(kindName(r.type, w)));
    }
    if (r.type == u"hour"_s) {
        static const QRegularExpression score(u"^(100(\\.0)?|[0-9]{1,2}(\\.[0-9])?)$"_s);
        if (!score.match(in.below.trimmed()).hasMatch())
            return say(w, u"hour 规则须给出 --below X，X 为 0 到 100 的得分，最多一位小数"_s,
                       u"低分时段规则须给出得分 X，X 为 0 到 100，最多一位小数"_s);
        r.belowTenths = qRound(in.below.trimmed().toDouble() * 10);
        if (!whole(in.minimum, 1, 100000, r.minimum))
            return say(w, u"hour 规则须给出 --min K，K 为 1 到 100000 的整数"_s,
                       u"低分时段规则须给出最少评价数 K，K 为 1 到 100000 的整数"_s);
    } else if (!in.below.isEmpty() || !in.minimum.isEmpty()) {
        return say(w, u"--below 和 --min 只用于 hour 规则"_s,
                   u"得分和最少评价数只用于低分时段规则，%1不用"_s.arg(kindName(r.type, w)));
    }
    r.channels = in.channels;
    if (r.channels.isEmpty() || !std::all_of(r.channels.begin(), r.channels.end(), isName))
        return say(w, u"规则须给出 --channel 渠道名称（多个以逗号分隔）"_s,
                   u"请至少选择一个渠道"_s);
    r.channels.removeDuplicates();
    r.terminals = in.terminals;
    if (std::any_of(r.terminals.begin(), r.terminals.end(),
                    [](const QString &t) { return t.isEmpty(); }))
        return say(w, u"--terminals 须为以逗号分隔的终端名称"_s, u"终端须为以逗号分隔的终端名称"_s);
    r.terminals.removeDuplicates();
    r.hours = in.hours;
    if (!r.hours.isEmpty() && !isHoursValue(r.hours))
        return say(w, u"--hours 须为 时:分-时:分，开始早于结束，例如 08:30-17:30"_s,
                   u"工作时段须给出开始和结束时间，开始早于结束，例如 08:30 至 17:30"_s);
    return std::nullopt;
}

bool parseAlertOptions(const QStringList &arguments, AlertOptions &options, QString &problem)
{
    options = AlertOptions{};
    bool haveCommand = false;
    auto setCommand = [&](Command command) {
        if (haveCommand) {
            problem = u"一次只能执行一个命令"_s;
            return false;
        }
        haveCommand = true;
        options.command = command;
        return true;
    };
    RuleInput rule;
    QString channels, terminals;
    bool haveTo = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        static const QStringList flags = {u"--list"_s, u"--markdown"_s};
        if (!flags.contains(option) && i + 1 >= arguments.size()) {
            problem =
                option.startsWith(u"--"_s) ? u"选项 %1 缺少值"_s.arg(option) : u"无法识别的参数"_s;
            return false;
        }
        auto next = [&] { return arguments[++i]; };
        if (option == u"--central"_s)
            options.central = next();
        else if (option == u"--central-file"_s)
            options.centralFile = next();
        else if (option == u"--dashboard"_s) {
            options.dashboard = next();
            if (!isWebhook(options.dashboard)) {
                problem = u"--dashboard 须为 http:// 或 https:// 开头的网址"_s;
                return false;
            }
            while (options.dashboard.endsWith(u'/'))
                options.dashboard.chop(1);
        } else if (option == u"--clock-file"_s)
            options.clockFile = next();
        else if (option == u"--timeout-ms"_s) {
            bool ok = false;
            options.timeoutMs = next().toInt(&ok);
            if (!ok || options.timeoutMs < 100 || options.timeoutMs > 120000) {
                problem = u"--timeout-ms 须为 100 到 120000 之间的整数"_s;
                return false;
            }
        } else if (option == u"--smtp-ca"_s) {
            options.smtpCa = next();
            QFile file(options.smtpCa);
            if (!file.open(QIODevice::ReadOnly) || !file.read(4096).contains("-----BEGIN")) {
                problem = u"--smtp-ca 须为可读的 PEM 证书文件：%1"_s.arg(options.smtpCa.left(200));
                return false;
            }
        } else if (option == u"--add-channel"_s) {
            if (!setCommand(Command::AddChannel))
                return false;
            options.channel.name = next();
            if (!isName(options.channel.name)) {
                problem = u"渠道名称不能为空，不能含逗号或首尾空格，最多 64 个字符"_s;
                return false;
            }
        } else if (option == u"--wecom"_s || option == u"--dingtalk"_s || option == u"--smtp"_s) {
            if (!options.channel.type.isEmpty()) {
                problem = u"一个渠道只能是 --wecom、--dingtalk、--smtp 之一"_s;
                return false;
            }
            options.channel.type = option.mid(2);
            options.channel.url = next();
        } else if (option == u"--secret"_s)
            options.channel.secret = next();
        else if (option == u"--markdown"_s)
            options.channel.format = u"markdown"_s;
        else if (option == u"--from"_s)
            options.channel.from = next().trimmed();
        else if (option == u"--to"_s) {
            options.channel.to = splitList(next());
            haveTo = true;
        } else if (option == u"--add-rule"_s) {
            if (!setCommand(Command::AddRule))
                return false;
            rule.type = next();
            if (!ruleTypes().contains(rule.type)) {
                problem = u"规则类型须为 bad、run、hour 或 overdue"_s;
                return false;
            }
        } else if (option == u"--bad"_s)
            rule.bad = next();
        else if (option == u"--of"_s)
            rule.of = next();
        else if (option == u"--below"_s)
            rule.below = next();
        else if (option == u"--min"_s)
            rule.minimum = next();
        else if (option == u"--channel"_s)
            channels = next();
        else if (option == u"--terminals"_s)
            terminals = next();
        else if (option == u"--hours"_s) {
            rule.hours = next();
            if (!isHoursValue(rule.hours)) {
                problem = u"--hours 须为 时:分-时:分，开始早于结束，例如 08:30-17:30"_s;
                return false;
            }
        } else if (option == u"--remove-channel"_s) {
            if (!setCommand(Command::RemoveChannel))
                return false;
            options.name = next();
        } else if (option == u"--remove-rule"_s || option == u"--disable-rule"_s ||
                   option == u"--enable-rule"_s) {
            if (!setCommand(option == u"--remove-rule"_s    ? Command::RemoveRule
                            : option == u"--disable-rule"_s ? Command::DisableRule
                                                            : Command::EnableRule))
                return false;
            bool ok = false;
            options.ruleId = next().toLongLong(&ok);
            if (!ok || options.ruleId <= 0) {
                problem = u"%1 须为规则编号"_s.arg(option);
                return false;
            }
        } else if (option == u"--list"_s) {
            if (!setCommand(Command::List))
                return false;
        } else {
            problem = option.startsWith(u"--"_s) ? u"未知选项 %1"_s.arg(option.left(40))
                                                 : u"无法识别的参数"_s;
            return false;
        }
    }
    if (options.central.isEmpty() == options.centralFile.isEmpty()) {
        problem = u"须给出 --central URL 或 --central-file 文件（二选一）"_s;
        return false;
    }
    ChannelSpec &c = options.channel;
    const bool channelOptions = !c.type.isEmpty() || !c.secret.isEmpty() || !c.from.isEmpty() ||
                                haveTo || c.format != u"text"_s;
    if (options.command != Command::AddChannel && channelOptions) {
        problem =
            u"--wecom、--dingtalk、--smtp、--secret、--from、--to、--markdown 只用于 --add-channel"_s;
        return false;
    }
    if (options.command == Command::AddChannel) {
        if (const auto why = channelProblem(c, Wording::CommandLine)) {
            problem = *why;
            return false;
        }
    }
    const bool ruleOptions = !rule.bad.isEmpty() || !rule.of.isEmpty() || !rule.below.isEmpty() ||
                             !rule.minimum.isEmpty() || !channels.isEmpty() ||
                             !terminals.isEmpty() || !rule.hours.isEmpty();
    if (options.command != Command::AddRule && ruleOptions) {
        problem =
            u"--bad、--of、--below、--min、--channel、--terminals、--hours 只用于 --add-rule"_s;
        return false;
    }
    if (options.command == Command::AddRule) {
        if (!channels.isEmpty())
            rule.channels = splitList(channels);
        if (!terminals.isEmpty())
            rule.terminals = splitList(terminals);
        if (const auto why = ruleProblem(rule, Wording::CommandLine, options.rule)) {
            problem = *why;
            return false;
        }
    }
    return true;
}

QString alertUsage()
{
    return u"用法：\n"
           "  kiosk-alert --central URL | --central-file 文件 [--dashboard 网址]\n"
           "      [--smtp-ca 证书文件]   运行告警服务（邮件服务器的证书按此文件或系统证书验证）\n"
           "  kiosk-alert ... --add-channel 名称 --wecom WEBHOOK [--markdown]\n"
           "  kiosk-alert ... --add-channel 名称 --dingtalk WEBHOOK --secret 密钥 [--markdown]\n"
           "  kiosk-alert ... --add-channel 名称 --smtp smtp://主机:端口 --from 地址 --to "
           "地址[,地址]\n"
           "  kiosk-alert ... --add-rule bad --channel 名称[,名称]\n"
           "  kiosk-alert ... --add-rule run --bad N --of M --channel 名称\n"
           "  kiosk-alert ... --add-rule hour --below X --min K --channel 名称\n"
           "  kiosk-alert ... --add-rule overdue --channel 名称   案件超过回访或整改期限\n"
           "      规则可加 --terminals 终端1,终端2 和 --hours 08:30-17:30\n"
           "  kiosk-alert ... --list | --remove-rule 编号 | --remove-channel 名称\n"
           "  kiosk-alert ... --disable-rule 编号 | --enable-rule 编号"_s;
}

} // namespace alert
