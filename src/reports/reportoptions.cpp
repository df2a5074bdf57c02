#include "reports/reportoptions.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace reports {

QString usageText()
{
    return u"用法：kiosk-report --from yyyy-MM-dd --to yyyy-MM-dd [--db 数据库文件 | --central "
           u"中心数据库网址 | --central-file 存有网址的文件] "
           "[--csv 文件] [--xlsx 文件] [--pdf 文件]"_s;
}

QDate parseDay(const QString &text)
{
    static const QRegularExpression shape(u"^[0-9]{4}-[0-9]{2}-[0-9]{2}$"_s);
    if (!shape.match(text).hasMatch())
        return {};
    return QDate::fromString(text, u"yyyy-MM-dd"_s);
}

bool parseReportOptions(const QStringList &arguments, ReportOptions &options, QString &error)
{
    options = ReportOptions();
    QString fromText, toText;
    const QStringList known = {u"--from"_s,         u"--to"_s,  u"--db"_s,   u"--central"_s,
                               u"--central-file"_s, u"--csv"_s, u"--xlsx"_s, u"--pdf"_s};
    QStringList given;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        if (!known.contains(option)) {
            error = u"未知选项：%1"_s.arg(option);
            return false;
        }
        if (given.contains(option)) {
            error = u"选项 %1 只能给一次"_s.arg(option);
            return false;
        }
        given << option;
        if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
            error = u"选项 %1 后面缺少值"_s.arg(option);
            return false;
        }
        const QString value = arguments.at(++i);
        if (option == u"--from"_s)
            fromText = value;
        else if (option == u"--to"_s)
            toText = value;
        else if (option == u"--db"_s)
            options.db = value;
        else if (option == u"--central"_s)
            options.central = value;
        else if (option == u"--central-file"_s)
            options.centralFile = value;
        else if (option == u"--csv"_s)
            options.csv = value;
        else if (option == u"--xlsx"_s)
            options.xlsx = value;
        else
            options.pdf = value;
    }
    const int sources = int(given.contains(u"--db"_s)) + int(given.contains(u"--central"_s)) +
                        int(given.contains(u"--central-file"_s));
    if (sources > 1) {
        error = u"--db、--central 和 --central-file 只能给其一：本机数据库或中心数据库"_s;
        return false;
    }
    if (fromText.isEmpty() || toText.isEmpty()) {
        error = fromText.isEmpty() ? u"缺少开始日期 --from"_s : u"缺少结束日期 --to"_s;
        return false;
    }
    options.from = parseDay(fromText);
    if (!options.from.isValid()) {
        error = u"开始日期不是有效日期：%1（应为 yyyy-MM-dd，例如 2026-01-31）"_s.arg(fromText);
        return false;
    }
    options.to = parseDay(toText);
    if (!options.to.isValid()) {
        error = u"结束日期不是有效日期：%1（应为 yyyy-MM-dd，例如 2026-01-31）"_s.arg(toText);
        return false;
    }
    if (options.to < options.from) {
        error = u"结束日期 %1 早于开始日期 %2"_s.arg(toText, fromText);
        return false;
    }
    if (options.csv.isEmpty() && options.xlsx.isEmpty() && options.pdf.isEmpty()) {
        error = u"没有要写的文件：请至少给出 --csv、--xlsx 或 --pdf 之一"_s;
        return false;
    }
    QStringList outputs;
    for (const QString &path : {options.csv, options.xlsx, options.pdf}) {
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        const QString absolute = info.absoluteFilePath();
        if (outputs.contains(absolute)) {
            error = u"同一个文件不能用作两种输出：%1"_s.arg(path);
            return false;
        }
        if (options.central.isEmpty() && options.centralFile.isEmpty() &&
            absolute == QFileInfo(options.db).absoluteFilePath()) {
            error = u"输出文件不能是数据库本身：%1"_s.arg(path);
            return false;
        }
        if (!info.absoluteDir().exists()) {
            error = u"输出文件夹不存在：%1"_s.arg(info.absolutePath());
            return false;
        }
        if (info.isDir()) {
            error = u"输出文件是一个文件夹：%1"_s.arg(path);
            return false;
        }
        outputs << absolute;
    }
    return true;
}

} // namespace reports
