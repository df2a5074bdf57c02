// The report window driven offscreen: range presets and free dates, the table and charts they
// show, exports through the folder chooser, and a database that cannot be read.
#include "platform/widgets/rzbutton.h"
#include "reports/exports.h"
#include "reports/reportwindow.h"
#include "store/schema.h"
#include "store/statements.h"
#include "support/recorder.h"

#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Ratings of November and December 2026; today is Wednesday 2026-12-09.
const QStringList Ratings = {
    u"一号窗口  社保业务|2026-12-09|非常满意"_s,
    u"一号窗口  社保业务|2026-12-09|比较满意"_s,
    u"张明  综合受理|2026-12-09|一般"_s,
    u"张明  综合受理|2026-12-07|非常满意"_s,
    u"李红  前台|2026-12-13|不满意"_s,
    u"李红  前台|2026-12-01|非常满意"_s,
    u"王五  窗口|2026-11-15|非常满意"_s,
    u"王五  窗口|2026-11-16|非常满意"_s,
    u"一号窗口  社保业务|2026-11-20|非常不满意"_s,
    u"张明  综合受理|2026-06-01|比较满意"_s,
};

bool fill(const QString &path, const QStringList &ratings = Ratings)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fill"_s);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery insert(db);
        ok = ok && insert.prepare(statements::appendRow());
        ok = ok && db.transaction();
        for (const QString &row : ratings) {
            const QStringList f = row.split(u'|');
            insert.addBindValue(f.at(0));
            insert.addBindValue(f.at(1));
            insert.addBindValue(u"10:00:00"_s);
            insert.addBindValue(f.at(2));
            ok = ok && insert.exec();
        }
        ok = ok && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"fill"_s);
    return ok;
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << table->item(r, c)->text();
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

class TestReportWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_db;
    RecordingServices *m_services = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(m_db);
        QVERIFY(fill(m_db));
        // Every name is ranked, whatever its few ratings.
        writeMinimum(u"1"_s);
    }
    void writeMinimum(const QString &value)
    {
        QFile ini(m_dir.filePath(u"opt.ini"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[canshu]\r\npaiming_zuishao=" + value.toLatin1() + "\r\n");
    }
    void init()
    {
        m_services = new RecordingServices(m_dir.path(), m_dir.path());
        m_services->setNow(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    }
    void cleanup()
    {
        delete m_services;
        m_services = nullptr;
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("button"); // preset button, or empty for free dates
        QTest::addColumn<QDate>("from");     // free dates, or the expected range of the preset
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("rows"); // name|评价数|得分|满意率
        QTest::addColumn<QString>("summary");

        QTest::newRow("今天") << u"TodayButton"_s << QDate(2026, 12, 9) << QDate(2026, 12, 9)
                              << QStringList{u"一号窗口  社保业务|2|90.0|100.0%"_s,
                                             u"张明  综合受理|1|60.0|0.0%"_s}
                              << u"评价 3 条"_s;
        QTest::newRow("本周 runs Monday to Sunday")
            << u"WeekButton"_s << QDate(2026, 12, 7) << QDate(2026, 12, 13)
            << QStringList{u"一号窗口  社保业务|2|90.0|100.0%"_s, u"张明  综合受理|2|80.0|50.0%"_s,
                           u"李红  前台|1|30.0|0.0%"_s}
            << u"评价 5 条"_s;
        QTest::newRow("上月") << u"LastMonthButton"_s << QDate(2026, 11, 1) << QDate(2026, 11, 30)
                              << QStringList{u"王五  窗口|2|100.0|100.0%"_s,
                                             u"一号窗口  社保业务|1|0.0|0.0%"_s}
                              << u"评价 3 条"_s;
        QTest::newRow("本年") << u"YearButton"_s << QDate(2026, 1, 1) << QDate(2026, 12, 31)
                              << QStringList{u"王五  窗口|2|100.0|100.0%"_s,
                                             u"张明  综合受理|3|80.0|66.7%"_s,
                                             u"李红  前台|2|65.0|50.0%"_s,
                                             u"一号窗口  社保业务|3|60.0|66.7%"_s}
                              << u"评价 10 条"_s;
        QTest::newRow("free dates")
            << QString() << QDate(2026, 12, 1) << QDate(2026, 12, 1)
            << QStringList{u"李红  前台|1|100.0|100.0%"_s} << u"评价 1 条"_s;
        QTest::newRow("free dates, to before from")
            << QString() << QDate(2026, 12, 5) << QDate(2026, 12, 1) << QStringList()
            << u"结束日期早于开始日期"_s;
    }
    void ranges()
    {
        QFETCH(QString, button);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, rows);
        QFETCH(QString, summary);

        ReportWindow w(m_db);
        QSignalSpy shown(&w, &ReportWindow::reportShown);
        w.show();
        QTRY_COMPARE(shown.count(), 1);
        // The window opens on this month.
        QCOMPARE(w.FromDate->date(), QDate(2026, 12, 1));
        QCOMPARE(w.ToDate->date(), QDate(2026, 12, 31));
        QCOMPARE(w.RankingTable->rowCount(), 3);

        if (!button.isEmpty()) {
            auto *b = w.findChild<RzButton *>(button);
            QVERIFY(b);
            QTest::mouseClick(b, Qt::LeftButton);
        } else {
            w.ToDate->setDate(to);
            QTRY_VERIFY(!w.isLoading());
            w.FromDate->setDate(from);
        }
        QTRY_VERIFY(!w.isLoading());
        QCOMPARE(w.FromDate->date(), from);
        QCOMPARE(w.ToDate->date(), to);
        QCOMPARE(tableRows(w.RankingTable), rows);
        QVERIFY2(w.SummaryLabel->text().contains(summary), qPrintable(w.SummaryLabel->text()));
        if (!rows.isEmpty()) {
            // The score chart shows the same ranking, best on top (drawn last).
            auto *series =
                qobject_cast<QHorizontalBarSeries *>(w.ScoreChartView->chart()->series().value(0));
            QVERIFY(series);
            const QBarSet *set = series->barSets().value(0);
            QCOMPARE(set->count(), rows.size());
            QCOMPARE(set->at(rows.size() - 1), rows.first().section(u'|', 2, 2).toDouble());
            QCOMPARE(w.GradeChartView->chart()->series().size(), 1);
            QCOMPARE(w.TrendChartView->chart()->series().size(), 2);
        }
        QVERIFY(m_services->errors.isEmpty());
    }

    void exports_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("answer"); // "" cancels, "missing" names a folder that is gone
        QTest::addColumn<QString>("file");   // expected file in the folder, or empty
        QTest::addColumn<QString>("error");  // part of the error shown, or empty
        QTest::newRow("CSV") << u"CsvButton"_s << u"usb"_s
                             << u"满意度报表_2026-12-01_2026-12-31.csv"_s << QString();
        QTest::newRow("Excel") << u"ExcelButton"_s << u"usb"_s
                               << u"满意度报表_2026-12-01_2026-12-31.xlsx"_s << QString();
        QTest::newRow("PDF") << u"PdfButton"_s << u"usb"_s
                             << u"满意度报表_2026-12-01_2026-12-31.pdf"_s << QString();
        QTest::newRow("chooser cancelled") << u"CsvButton"_s << QString() << QString() << QString();
        QTest::newRow("stick pulled out")
            << u"PdfButton"_s << u"missing"_s << QString() << u"导出失败"_s;
    }
    void exports()
    {
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QFETCH(QString, file);
        QFETCH(QString, error);
        QTemporaryDir usb;
        const QString folder = answer == u"usb"_s       ? usb.path()
                               : answer == u"missing"_s ? usb.filePath(u"gone"_s)
                                                        : QString();
        m_services->folderAnswers = {folder};

        ReportWindow w(m_db);
        QSignalSpy shown(&w, &ReportWindow::reportShown);
        w.show();
        QTRY_COMPARE(shown.count(), 1);
        // A file of the same name already on the stick is replaced.
        if (!file.isEmpty()) {
            QFile old(usb.filePath(file));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        QTest::mouseClick(w.findChild<RzButton *>(button), Qt::LeftButton);

        QCOMPARE(m_services->folderCaptions, QStringList{u"选择导出位置"_s});
        if (!error.isEmpty()) {
            QCOMPARE(m_services->errors.size(), 1);
            QVERIFY2(m_services->errors.first().contains(error),
                     qPrintable(m_services->errors.first()));
        } else {
            QVERIFY(m_services->errors.isEmpty());
        }
        QStringList expected;
        if (!file.isEmpty())
            expected << file;
        QCOMPARE(QDir(usb.path()).entryList(QDir::Files | QDir::Hidden), expected);
        if (file.isEmpty()) {
            QVERIFY(m_services->messages.isEmpty());
            return;
        }
        QCOMPARE(m_services->messages.size(), 1);
        QVERIFY(m_services->messages.first().contains(file));
        QFile written(usb.filePath(file));
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        if (file.endsWith(u".csv"_s))
            QCOMPARE(bytes, reports::csvBytes(w.report()));
        else if (file.endsWith(u".xlsx"_s))
            QVERIFY(bytes.startsWith("PK"));
        else
            QVERIFY(bytes.startsWith("%PDF-"));
    }

    // What a manager reads: ranks or 样本不足 by the minimum of opt.ini, and no figures and no
    // empty charts for a range without ratings.
    void managerView_data()
    {
        QTest::addColumn<QString>("minimum"); // paiming_zuishao in opt.ini; null: no such key
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("rows"); // rank|name
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("bars"); // names in the score chart
        const QDate year(2026, 1, 1);
        QTest::newRow("no key: fewer than 10 ratings are 样本不足")
            << QString() << year << QDate(2026, 12, 31)
            << QStringList{u"样本不足|张明  综合受理"_s, u"样本不足|一号窗口  社保业务"_s,
                           u"样本不足|王五  窗口"_s, u"样本不足|李红  前台"_s}
            << u"4 个名称评价少于 10 条，标为样本不足"_s << 0;
        QTest::newRow("minimum 3")
            << u"3"_s << year << QDate(2026, 12, 31)
            << QStringList{u"1|张明  综合受理"_s, u"2|一号窗口  社保业务"_s,
                           u"样本不足|王五  窗口"_s, u"样本不足|李红  前台"_s}
            << u"2 个名称评价少于 3 条"_s << 2;
        QTest::newRow("no rating in the range")
            << u"3"_s << QDate(2026, 10, 1) << QDate(2026, 10, 31) << QStringList()
            << u"2026-10-01 至 2026-10-31：此期间没有评价。"_s << 0;
    }
    void managerView()
    {
        QFETCH(QString, minimum);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, rows);
        QFETCH(QString, summary);
        QFETCH(int, bars);
        if (minimum.isNull())
            QVERIFY(QFile::remove(m_dir.filePath(u"opt.ini"_s)));
        else
            writeMinimum(minimum);
        ReportWindow w(m_db);
        QSignalSpy shown(&w, &ReportWindow::reportShown);
        w.show();
        QTRY_COMPARE(shown.count(), 1);
        w.FromDate->setDate(from);
        QTRY_VERIFY(!w.isLoading());
        w.ToDate->setDate(to);
        QTRY_VERIFY(!w.isLoading());
        writeMinimum(u"1"_s);
        QStringList got;
        for (int r = 0; r < w.RankingTable->rowCount(); ++r)
            got << w.RankingTable->verticalHeaderItem(r)->text() + u'|' +
                       w.RankingTable->item(r, 0)->text();
        QCOMPARE(got, rows);
        QVERIFY2(w.SummaryLabel->text().contains(summary), qPrintable(w.SummaryLabel->text()));
        QVERIFY(!w.SummaryLabel->text().contains(u"0.0"_s) || !rows.isEmpty());
        auto *series =
            qobject_cast<QHorizontalBarSeries *>(w.ScoreChartView->chart()->series().value(0));
        QCOMPARE(series ? int(series->barSets().value(0)->count()) : 0, bars);
        if (rows.isEmpty()) {
            // Words instead of empty axes.
            for (QChartView *view : {w.ScoreChartView, w.GradeChartView, w.TrendChartView}) {
                QVERIFY(view->chart()->axes().isEmpty());
                QVERIFY(view->chart()->title().contains(u"此期间没有评价"_s));
            }
        }
    }

    // At 1024x768 every column shows: long names are cut with the whole name in the tooltip, an
    // empty name reads （无名称）, and a new range starts at the top left.
    void tableFits()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(db);
        QStringList rows;
        for (int i = 1; i <= 30; ++i)
            rows << u"%1号窗口  不动产登记与抵押综合受理业务|2026-12-09|非常满意"_s.arg(i);
        rows << u"|2026-12-09|一般"_s;
        for (int i = 0; i < 12000; ++i)
            rows << u"大厅总台|2026-12-08|比较满意"_s;
        QVERIFY(fill(db, rows));
        writeMinimum(u"10"_s);
        ReportWindow w(db);
        QSignalSpy shown(&w, &ReportWindow::reportShown);
        w.show();
        QTRY_COMPARE(shown.count(), 1);
        QVERIFY(w.frameGeometry().width() <= 1024 && w.frameGeometry().height() <= 768);
        QTableWidget *t = w.RankingTable;
        int sum = 0;
        for (int c = 0; c < t->columnCount(); ++c)
            sum += t->columnWidth(c);
        QVERIFY2(sum <= t->viewport()->width(),
                 qPrintable(u"%1 > %2"_s.arg(sum).arg(t->viewport()->width())));
        QCOMPARE(t->horizontalScrollBar()->maximum(), 0);
        // Every chart tab is in sight: a tab behind scroll arrows cannot be reached by touch.
        const QTabBar *tabs = w.ChartTabs->tabBar();
        for (int i = 0; i < tabs->count(); ++i)
            QVERIFY2(tabs->rect().contains(tabs->tabRect(i)), qPrintable(tabs->tabText(i)));
        QStringList widths;
        for (int c = 0; c < t->columnCount(); ++c)
            widths << QString::number(t->columnWidth(c));
        QVERIFY2(t->columnWidth(0) >= 140,
                 qPrintable(widths.join(u' ') + u" vh "_s +
                            QString::number(t->verticalHeader()->width())));
        QCOMPARE(t->item(0, 0)->text(), u"大厅总台"_s);
        QCOMPARE(t->item(0, 1)->text(), u"12000"_s);
        QCOMPARE(t->verticalHeaderItem(1)->text(), u"样本不足"_s);
        QCOMPARE(t->item(1, 0)->toolTip(), u"10号窗口  不动产登记与抵押综合受理业务"_s);
        QCOMPARE(t->item(31, 0)->text(), u"（无名称）"_s);

        t->verticalScrollBar()->setValue(t->verticalScrollBar()->maximum());
        QVERIFY(t->verticalScrollBar()->value() > 0);
        QTest::mouseClick(w.PresetButtons[0], Qt::LeftButton);
        QTRY_COMPARE(shown.count(), 2);
        QCOMPARE(t->verticalScrollBar()->value(), 0);
        writeMinimum(u"1"_s);
    }

    void unreadableDatabase()
    {
        ReportWindow w(m_dir.filePath(u"nothing-here.dll"_s));
        QSignalSpy shown(&w, &ReportWindow::reportShown);
        w.show();
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(m_services->errors.size(), 1);
        QVERIFY(m_services->errors.first().contains(u"找不到数据库文件"_s));
        QCOMPARE(w.RankingTable->rowCount(), 0);
        // Nothing to export: the chooser is not even asked.
        QTest::mouseClick(w.CsvButton, Qt::LeftButton);
        QVERIFY(m_services->folderCaptions.isEmpty());
        QCOMPARE(m_services->messages.size(), 1);
        QVERIFY(!QFile::exists(m_dir.filePath(u"nothing-here.dll"_s)));
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_reportwindow.moc"
