// The reasons of a bad rating from the visitor's tap to what a manager reads: the real rating
// dialog (offscreen) stores the rating and its reasons, the kiosk's forwarder sends them to a
// private PostgreSQL, the real kiosk-alert sends the alert to a recording robot, and kiosk-report
// counts the reasons from the central database.
#include "alert/robot.h"
#include "central/centralconfig.h"
#include "central/forwarder.h"
#include "evaluation/tform2.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/files.h"
#include "support/pgserver.h"
#include "support/recorder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Terminal = u"一号厅-2"_s;
const QString Hall = u"一号厅"_s;
const QString Name = u"1号窗口  张三"_s;
const QString Dashboard = u"https://center.example"_s;
const QDateTime Moment(QDate(2026, 12, 8), QTime(9, 30));

// kiosk-alert or kiosk-report with those arguments; the exit code, the output in output.
int run(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    const QString text = QString::fromUtf8(process.readAll());
    if (output)
        *output = text;
    if (process.exitCode() != 0)
        qWarning().noquote() << program << text;
    return process.exitCode();
}

} // namespace

class TestReasonAlert : public QObject
{
    Q_OBJECT

    PgServer m_server;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.isValid() && m_server.start(), qPrintable(m_server.lastError()));
    }

    // Visitors one after another, each row "star|reason buttons tapped"; the alerts carry the
    // reasons chosen, the report counts them per name.
    void fromTapToAlertAndReport_data()
    {
        QTest::addColumn<QStringList>("visitors");
        QTest::addColumn<QStringList>("alerts");     // per bad rating: grade|reasons in text order
        QTest::addColumn<QStringList>("reasonRows"); // the report's lines, most chosen first
        // The name's line after the name: ratings, score, rate, then 非常满意 down to 非常不满意.
        QTest::addColumn<QString>("rankingRow");
        QTest::newRow("star 1 with two reasons, star 2 with one, star 5")
            << QStringList{u"1|3,1"_s, u"2|1"_s, u"5|"_s}
            << QStringList{u"非常不满意|办事效率低、等候时间太长"_s, u"不满意|等候时间太长"_s}
            << QStringList{u"等候时间太长,2"_s, u"办事效率低,1"_s} << u"3,43.3,33.3,1,0,0,1,1"_s;
    }
    void fromTapToAlertAndReport()
    {
        QFETCH(QStringList, visitors);
        QFETCH(QStringList, alerts);
        QFETCH(QStringList, reasonRows);
        QFETCH(QString, rankingRow);

        // The central database, its alert tables, the hall of the kiosk, a robot and a rule.
        QVERIFY2(m_server.createDatabase(u"center"_s, u"center"_s, u"Mitte-pw-4"_s),
                 qPrintable(m_server.lastError()));
        const QString url = m_server.url(u"center"_s, u"Mitte-pw-4"_s, u"center"_s);
        Robot robot;
        QCOMPARE(
            run(QStringLiteral(ALERT_TOOL), {u"--central"_s, url, u"--add-channel"_s, u"值班"_s,
                                             u"--wecom"_s, robot.url(u"/wecom/send?key=e2e"_s)}),
            0);
        QCOMPARE(run(QStringLiteral(ALERT_TOOL),
                     {u"--central"_s, url, u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班"_s}),
                 0);
        m_server.psql(
            u"set role center; insert into 终端大厅 values ('%1', '%2')"_s.arg(Terminal, Hall),
            u"center"_s);
        QCOMPARE(m_server.psql(u"select 大厅 from 终端大厅"_s, u"center"_s).trimmed(), Hall);
        const QString clockFile = m_dir.filePath(u"clock"_s);
        writeBytes(clockFile, QByteArray::number(Moment.toMSecsSinceEpoch()));
        QProcess service;
        service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        service.start(QStringLiteral(ALERT_TOOL), {u"--central"_s, url, u"--clock-file"_s,
                                                   clockFile, u"--dashboard"_s, Dashboard});
        QVERIFY(service.waitForStarted());
        const auto stopService = qScopeGuard([&] {
            service.terminate();
            if (!service.waitForFinished(10000))
                service.kill();
            service.waitForFinished();
        });

        // The kiosk: its folder, db.dll, the star pictures, the dialog and its forwarder.
        const QString folder = m_dir.filePath(u"kiosk"_s);
        QVERIFY(QDir().mkpath(folder + u"/pic"_s));
        for (const auto &[file, color] : {std::pair{u"zhengchang.png"_s, QColor(255, 200, 0)},
                                          std::pair{u"huidu.png"_s, QColor(128, 128, 128)}}) {
            QImage star(16, 16, QImage::Format_ARGB32);
            star.fill(color);
            QVERIFY(star.save(folder + u"/pic/"_s + file));
        }
        writeBytes(folder + u"/opt.ini"_s, "[canshu]\r\npic_width=180\r\npic_height=240\r\n");
        const QString db = folder + u"/db.dll"_s;
        store::createDatabaseFile(db);
        RecordingServices services(folder, folder);
        services.setNow(Moment);
        TDataModule3 module(folder, services.clock());
        module.setForwarding(Terminal);
        module.OpenConnection();
        module.OpenStartupQuery();
        central::Link link(db, central::Config{url, Terminal}, services.clock());
        QObject::connect(&module, &TDataModule3::appended, &link, &central::Link::poke);
        TForm2 form;
        form.setDataModule(&module);

        for (const QString &visitor : visitors) {
            form.CnAALabel1->setText(Name);
            form.show();
            PictureBox *star =
                form.findChild<PictureBox *>(u"Image"_s + visitor.section(u'|', 0, 0));
            QVERIFY(star);
            QTest::mouseClick(star, Qt::LeftButton, {}, star->rect().center());
            const QString taps = visitor.section(u'|', 1);
            for (const QString &tap : taps.split(u',', Qt::SkipEmptyParts)) {
                RzButton *reason = form.ReasonButtons.value(tap.toInt());
                QVERIFY(reason && reason->isVisible());
                QTest::mouseClick(reason, Qt::LeftButton);
            }
            QTest::mouseClick(form.RzButton1, Qt::LeftButton);
            QVERIFY(form.isHidden());
            services.setNow(services.clock()->now().addSecs(60));
        }
        QCOMPARE(services.noticeTexts(), QStringList(visitors.size(), u"评价成功！谢谢。"_s));
        QCOMPARE(services.errors, QStringList());
        QCOMPARE(services.messages, QStringList());

        // Every alert at the robot: one message per bad rating, in the order they were given.
        QTRY_COMPARE_WITH_TIMEOUT(robot.messages.size(), alerts.size(), 60000);
        const QStringList numbers =
            m_server
                .psql(u"select 序号 from 评价 where 综合评价 in ('不满意', '非常不满意') "
                      "order by 时间"_s,
                      u"center"_s)
                .trimmed()
                .split(u'\n');
        QCOMPARE(numbers.size(), alerts.size());
        for (int i = 0; i < alerts.size(); ++i) {
            const QString text = robot.messages[i].content;
            const QStringList expected{
                u"大厅：%1　终端：%2"_s.arg(Hall, Terminal),
                u"名称：%1"_s.arg(Name),
                u"评价：%1"_s.arg(alerts[i].section(u'|', 0, 0)),
                u"原因：%1"_s.arg(alerts[i].section(u'|', 1)),
                u"时间：2026-12-08 %1"_s.arg(Moment.time().addSecs(60 * i).toString(u"HH:mm:ss"_s)),
                u"案件：%1/case?terminal=%2&seq=%3"_s.arg(
                    Dashboard, QString::fromLatin1(QUrl::toPercentEncoding(Terminal)), numbers[i])};
            for (const QString &line : expected)
                QVERIFY2(text.contains(line), qPrintable(line + u"\n--- in ---\n"_s + text));
        }
        QVERIFY2(robot.problems.isEmpty(), qPrintable(robot.problems.join(u'\n')));

        // The report of the central database counts the reasons per name, beside the figures.
        QTRY_COMPARE_WITH_TIMEOUT(
            m_server
                .psql(u"select count(*) from 评价 where 终端 = '%1'"_s.arg(Terminal), u"center"_s)
                .trimmed(),
            QString::number(visitors.size()), 30000);
        const QString csv = m_dir.filePath(u"report.csv"_s);
        QString output;
        QCOMPARE(run(QStringLiteral(REPORT_TOOL),
                     {u"--central"_s, url, u"--from"_s, u"2026-12-08"_s, u"--to"_s, u"2026-12-08"_s,
                      u"--csv"_s, csv},
                     &output),
                 0);
        QVERIFY2(!output.contains(u"Mitte-pw-4"_s), qPrintable(output));
        const QStringList lines = QString::fromUtf8(readBytes(csv)).split(u"\r\n"_s);
        QStringList ranking, reasons;
        bool inReasons = false;
        for (const QString &line : lines) {
            inReasons = inReasons || line == u"差评原因"_s;
            if (line.contains(u"张三"_s))
                (inReasons ? reasons : ranking) << line.section(u',', 1);
        }
        QCOMPARE(lines.value(0).mid(lines.value(0).indexOf(u"名称"_s)),
                 u"名称,评价数,满意度得分,满意率,非常满意,比较满意,一般,不满意,非常不满意"_s);
        QCOMPARE(ranking, QStringList{rankingRow});
        QCOMPARE(reasons, reasonRows);
    }
};

QTEST_MAIN(TestReasonAlert)
#include "tst_reasonalert.moc"
