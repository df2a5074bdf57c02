// Statistics on a million ratings (200 names, three years of dates, all five grades): each of
// "查  询", "统  计" and "综合满意度", with and without the name and grade filters, over a
// one-year, a one-month and the default date range, from the click on the button to the grid
// having painted its first screen of rows. Baseline: the sqlite3 shell running the same
// statement on the same file (its own ".timer", result written to /dev/null).
#include "benchsupport.h"

#include "platform/widgets/rzbutton.h"
#include "stats/dbgrid.h"
#include "stats/tform4.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/recorder.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

class PaintWatch : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The sqlite3 shell's own time for one statement, in ms; -1 when it cannot be run.
double shellTime(const QString &db, const QString &statement)
{
    QProcess shell;
    shell.start(u"sqlite3"_s, {db});
    if (!shell.waitForStarted())
        return -1;
    shell.write((u".timer on\n.output /dev/null\n"_s + statement + u";\n"_s).toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(120000);
    const QString out =
        QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
    const QRegularExpressionMatch m = QRegularExpression(u"Run Time: real ([0-9.]+)"_s).match(out);
    return m.hasMatch() ? m.captured(1).toDouble() * 1000 : -1;
}

struct Range
{
    QString name;
    QDate start, end;
    double target; // ms; 0 for none
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = qMax(3, bench::envInt("KIOSK_BENCH_RUNS", 2 * 5) / 2);

    bench::printHeading(u"4. Statistics on 1 000 000 ratings: click to first screen of rows"_s);
    const QString big = bench::ratingsDatabase(1'000'000);
    const QString dir = bench::dataDir() + u"/run-stats"_s;
    bench::makeRunFolder(dir, {}, big);
    const QString db = dir + u"/db.dll"_s;

    RecordingServices services(dir, dir);
    auto *module = new TDataModule3(dir, services.clock());
    module->OpenConnection();
    module->OpenStartupQuery();
    auto *form4 = new TForm4(module);
    form4->show();
    if (!QTest::qWaitForWindowExposed(form4)) {
        std::fprintf(stderr, "bench: the statistics window was not exposed\n");
        return 1;
    }
    PaintWatch watch;
    form4->DBGrid1->viewport()->installEventFilter(&watch);

    // One name of the 200 (a LIKE on the name matches it alone), and the grade word that also
    // matches "非常不满意".
    const QString nameFilter = bench::ratingName(150).section(u"  "_s, 0, 0);
    const QString gradeFilter = u"不满意"_s;
    struct Filter
    {
        QString label, name, grade;
    };
    const QList<Filter> filters = {{u"no filter"_s, u"不限制"_s, u"不限制"_s},
                                   {u"name"_s, nameFilter, u"不限制"_s},
                                   {u"grade"_s, u"不限制"_s, gradeFilter},
                                   {u"name + grade"_s, nameFilter, gradeFilter}};
    const QList<Range> ranges = {
        {u"one year"_s, QDate(2023, 1, 1), QDate(2023, 12, 31), 150},
        {u"one month"_s, QDate(2023, 6, 1), QDate(2023, 6, 30), 30},
        {u"default range (whole table)"_s, QDate(2015, 5, 13), QDate::currentDate(), 0},
    };
    struct Button
    {
        QString caption;
        RzButton *button;
        int kind; // 0 listing, 1 count, 2 overall
    };
    const QList<Button> buttons = {{u"查  询"_s, form4->RzButton1, 0},
                                   {u"统  计"_s, form4->RzButton2, 1},
                                   {u"综合满意度"_s, form4->RzButton3, 2}};

    bench::printNote(u"name filter \"%1\", grade filter \"%2\"; %3 runs each; shell = sqlite3 "
                     "running the statement to its last row"_s.arg(nameFilter, gradeFilter)
                         .arg(runs));
    int met = 0, missed = 0;
    QStringList misses;
    for (const Range &range : ranges) {
        bench::printNote(QString());
        bench::printNote(u"-- %1, %2 .. %3%4"_s.arg(
            range.name, range.start.toString(u"yyyy-MM-dd"_s), range.end.toString(u"yyyy-MM-dd"_s),
            range.target > 0 ? u" (target %1 ms)"_s.arg(range.target) : u" (no target)"_s));
        form4->DateTimePicker1->setDate(range.start);
        form4->DateTimePicker2->setDate(range.end);
        for (const Button &button : buttons) {
            for (const Filter &filter : filters) {
                // The overall satisfaction has no name or grade filter: once is enough.
                if (button.kind == 2 && filter.label != u"no filter"_s)
                    continue;
                form4->Edit1->setText(filter.name);
                form4->ComboBox1->setCurrentIndex(form4->ComboBox1->findText(filter.grade));
                QCoreApplication::processEvents();
                auto click = [&] {
                    const int before = watch.paints;
                    button.button->click();
                    while (watch.paints == before)
                        QCoreApplication::processEvents();
                };
                const bench::Samples s = bench::measure(runs, click, {}, 1);
                const int rows = form4->DBGrid1->model()->rowCount();
                const QString start = range.start.toString(u"yyyy-MM-dd"_s);
                const QString end = range.end.toString(u"yyyy-MM-dd"_s);
                const QString statement =
                    button.kind == 0   ? statements::listing(filter.name, filter.grade, start, end)
                    : button.kind == 1 ? statements::count(filter.name, filter.grade, start, end)
                                       : statements::overall(start, end);
                if (module->statement() != statement) {
                    std::fprintf(stderr, "bench: the button ran another statement: %s\n",
                                 qPrintable(module->statement()));
                    return 1;
                }
                QList<double> shell;
                for (int i = 0; i < 3; ++i)
                    shell << shellTime(db, statement);
                std::sort(shell.begin(), shell.end());
                const bool ok = range.target <= 0 || s.median() <= range.target;
                if (range.target > 0) {
                    (ok ? met : missed) += 1;
                    if (!ok)
                        misses << u"%1 %2 %3"_s.arg(button.caption, filter.label, range.name);
                }
                std::printf("  %-10s %-13s median %8.2f ms  min %8.2f  max %8.2f  rows shown "
                            "%4d   shell %8.2f ms  ratio %5.2f  %s\n",
                            qPrintable(button.caption), qPrintable(filter.label), s.median(),
                            s.min(), s.max(), rows, shell.at(1),
                            shell.at(1) > 0 ? s.median() / shell.at(1) : 0.0,
                            range.target <= 0 ? ""
                            : ok              ? "met"
                                              : "NOT MET");
                std::fflush(stdout);
            }
        }
    }
    if (!services.errors.isEmpty())
        bench::printNote(u"errors shown: "_s + services.errors.join(u"; "_s));
    bench::printNote(QString());
    bench::printRatio(u"cases within target (one year <= 150 ms, one month <= 30 ms)"_s, met,
                      u"%1 of %1"_s.arg(met + missed), missed == 0);
    if (!misses.isEmpty())
        bench::printNote(u"not met: "_s + misses.join(u", "_s));

    delete form4;
    delete module;
    return 0;
}
