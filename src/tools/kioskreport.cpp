// kiosk-report --from yyyy-MM-dd --to yyyy-MM-dd [--db PATH | --central URL | --central-file
// FILE] [--csv FILE]
// [--xlsx FILE] [--pdf FILE] Writes the satisfaction report of a date range, of this kiosk's
// database or of all kiosks from the central database, as CSV, Excel workbook and/or PDF, for
// scheduled exports and for the technician. Bad input: a Chinese message on standard error, exit
// status 2, no file written. A file that cannot be written: exit status 1, every target left as it
// was.
#include "central/centralconfig.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "reports/exports.h"
#include "reports/figures.h"
#include "reports/reportcharts.h"
#include "reports/reportoptions.h"
#include "reports/reportsource.h"

#include <QApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

constexpr int BadInput = 2;
constexpr int WriteFailed = 1;

// Only the command's own messages belong on standard error, where a scheduled job's mail or
// log shows them: the toolkit's notes about its environment are left out.
void quietToolkit(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        QTextStream(stderr) << message << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    // The charts are drawn by the widget toolkit, but nothing is ever shown: no display is
    // needed, also where DISPLAY names one that is gone (a cron job).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietToolkit);
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    reports::ReportOptions options;
    QString problem;
    if (!reports::parseReportOptions(app.arguments().mid(1), options, problem)) {
        err << u"kiosk-report：%1"_s.arg(problem) << Qt::endl << reports::usageText() << Qt::endl;
        return BadInput;
    }

    reports::Report report;
    try {
        if (!options.centralFile.isEmpty())
            options.central = central::readUrlFile(options.centralFile);
        const reports::Counts counts =
            options.central.isEmpty()
                ? reports::readCountsFromFile(options.db, options.from, options.to)
                : reports::readCountsFromCentral(options.central, options.from, options.to);
        // The minimum of the run folder's opt.ini, as the report window uses it.
        report = reports::makeReport(
            options.from, options.to, reports::defaultPeriod(options.from, options.to),
            counts.byName, counts.byDay, reports::rankingMinimum(platform::programDir()));
        report.reasons = reports::reasonRows(counts.byReason);
        report.suspectedRepeats = counts.suspectedRepeats;
    } catch (const KioskError &e) {
        err << central::scrubbed(u"kiosk-report：%1"_s.arg(e.message()), options.central)
            << Qt::endl;
        return BadInput;
    }

    try {
        reports::exportReport(report, {options.csv, options.xlsx, options.pdf},
                              reports::paintChart);
    } catch (const KioskError &e) {
        err << u"kiosk-report：写入失败，已有文件保持不变：%1"_s.arg(e.message()) << Qt::endl;
        return WriteFailed;
    }
    for (const QString &path : {options.csv, options.xlsx, options.pdf}) {
        if (!path.isEmpty())
            out << u"已写入：%1"_s.arg(path) << Qt::endl;
    }
    return 0;
}
