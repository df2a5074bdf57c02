#include "web/weboptions.h"

#include "platform/error.h"

#include <QFile>
#include <QHostAddress>

using namespace Qt::StringLiterals;

namespace web {

QString webUsage()
{
    return u"用法：kiosk-web (--central URL | --central-file FILE) [--listen 127.0.0.1:8080]\n"
           "      kiosk-web (--central URL | --central-file FILE) --add-user NAME "
           "--role admin|viewer [--terminals T1,T2]   （密码从标准输入读取）\n"
           "      kiosk-web (--central URL | --central-file FILE) --remove-user NAME\n"
           "      kiosk-web (--central URL | --central-file FILE) --list-users"_s;
}

bool parseWebOptions(const QStringList &arguments, WebOptions &options, QString &problem)
{
    QStringList seen;
    bool commandGiven = false;
    bool listenGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        static const QStringList withValue = {u"--central"_s,    u"--central-file"_s, u"--listen"_s,
                                              u"--clock-file"_s, u"--add-user"_s,     u"--role"_s,
                                              u"--terminals"_s,  u"--remove-user"_s};
        const bool takesValue = withValue.contains(option);
        if (!takesValue && option != u"--list-users"_s) {
            problem = u"未知选项：%1"_s.arg(option.startsWith(u"--"_s) ? option.left(40)
                                                                       : u"（参数值）"_s);
            return false;
        }
        if (seen.contains(option)) {
            problem = u"选项重复：%1"_s.arg(option);
            return false;
        }
        seen.append(option);
        QString value;
        if (takesValue) {
            if (i + 1 >= arguments.size()) {
                problem = u"选项缺少值：%1"_s.arg(option);
                return false;
            }
            value = arguments[++i];
        }
        const auto setCommand = [&](Command command) {
            if (commandGiven) {
                problem = u"--add-user、--remove-user、--list-users 只能选一个"_s;
                return false;
            }
            commandGiven = true;
            options.command = command;
            return true;
        };
        if (option == u"--central"_s) {
            options.central = value;
        } else if (option == u"--central-file"_s) {
            options.centralFile = value;
        } else if (option == u"--listen"_s) {
            const int colon = value.lastIndexOf(u':');
            bool ok = false;
            const int port = colon > 0 ? value.mid(colon + 1).toInt(&ok) : -1;
            const QHostAddress address(value.left(colon));
            if (!ok || port < 0 || port > 65535 || address.isNull() ||
                address.protocol() != QAbstractSocket::IPv4Protocol) {
                problem = u"--listen 应形如 127.0.0.1:8080"_s;
                return false;
            }
            options.host = address.toString();
            options.port = port;
            listenGiven = true;
        } else if (option == u"--clock-file"_s) {
            options.clockFile = value;
        } else if (option == u"--add-user"_s) {
            if (!setCommand(Command::AddUser))
                return false;
            options.user = value;
        } else if (option == u"--remove-user"_s) {
            if (!setCommand(Command::RemoveUser))
                return false;
            options.user = value;
        } else if (option == u"--list-users"_s) {
            if (!setCommand(Command::ListUsers))
                return false;
        } else if (option == u"--role"_s) {
            if (value != u"admin"_s && value != u"viewer"_s) {
                problem = u"--role 只能是 admin 或 viewer"_s;
                return false;
            }
            options.role = value;
        } else if (option == u"--terminals"_s) {
            for (const QString &part : value.split(u',')) {
                if (!part.trimmed().isEmpty())
                    options.terminals.append(part.trimmed());
            }
        }
    }
    if (options.central.isEmpty() == options.centralFile.isEmpty()) {
        problem = u"需要 --central 或 --central-file 之一"_s;
        return false;
    }
    if (options.command == Command::AddUser) {
        if (options.role.isEmpty()) {
            problem = u"--add-user 需要 --role admin|viewer"_s;
            return false;
        }
        if (options.user.trimmed().isEmpty() || options.user.size() > 64) {
            problem = u"用户名不能为空，最多 64 个字符"_s;
            return false;
        }
        if (options.role == u"admin"_s && !options.terminals.isEmpty()) {
            problem = u"管理员查看全部终端，不能指定 --terminals"_s;
            return false;
        }
    } else if (!options.role.isEmpty() || seen.contains(u"--terminals"_s)) {
        problem = u"--role 和 --terminals 只能与 --add-user 一起使用"_s;
        return false;
    }
    if (options.command != Command::Serve && listenGiven) {
        problem = u"--listen 只用于提供网页服务"_s;
        return false;
    }
    return true;
}

QString centralUrl(const WebOptions &options)
{
    if (!options.central.isEmpty())
        return options.central.trimmed();
    QFile file(options.centralFile);
    if (!file.open(QIODevice::ReadOnly))
        throw KioskError(u"无法读取 --central-file 文件：%1"_s.arg(options.centralFile));
    return QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
}

} // namespace web
