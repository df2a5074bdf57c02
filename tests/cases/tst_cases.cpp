#include "cases/casesteps.h"

#include <QTest>

using namespace Qt::StringLiterals;
using cases::State;

namespace {

QDate day(const char *text)
{
    return QDate::fromString(QString::fromLatin1(text), u"yyyy-MM-dd"_s);
}

// The calendar of the rows below: the National Day week of 2026 off (Thursday 1 to Wednesday
// 7 October) with Sunday 27 September and Saturday 10 October worked in exchange.
cases::WorkCalendar nationalDay()
{
    cases::WorkCalendar calendar;
    for (int d = 1; d <= 7; ++d)
        calendar.setDay(QDate(2026, 10, d), cases::DayKind::Holiday);
    calendar.setDay(day("2026-09-27"), cases::DayKind::Workday);
    calendar.setDay(day("2026-10-10"), cases::DayKind::Workday);
    return calendar;
}

const cases::Actor Admin{u"admin"_s, true, std::nullopt};
const cases::Actor HallOne{u"王经理"_s, false, QStringList{u"一号厅-1"_s, u"一号厅-2"_s}};
const cases::Actor Everyone{u"查看者"_s, false, std::nullopt};

} // namespace

class TestCases : public QObject
{
    Q_OBJECT
private slots:
    void deadline_data();
    void deadline();
    void step_data();
    void step();
    void timing_data();
    void timing();
    void percent_data();
    void percent();
};

void TestCases::deadline_data()
{
    QTest::addColumn<bool>("holidays");
    QTest::addColumn<QDate>("opened");
    QTest::addColumn<int>("days");
    QTest::addColumn<QDate>("due");
    QTest::newRow("Monday plus one") << false << day("2026-11-02") << 1 << day("2026-11-03");
    QTest::newRow("Friday plus one is Monday")
        << false << day("2026-11-06") << 1 << day("2026-11-09");
    QTest::newRow("Saturday plus one is Monday")
        << false << day("2026-11-07") << 1 << day("2026-11-09");
    QTest::newRow("zero days is the day itself")
        << false << day("2026-11-07") << 0 << day("2026-11-07");
    QTest::newRow("fifteen plain working days")
        << false << day("2026-09-30") << 15 << day("2026-10-21");
    QTest::newRow("before the holiday week: after it")
        << true << day("2026-09-30") << 1 << day("2026-10-08");
    QTest::newRow("opened on a holiday") << true << day("2026-10-03") << 1 << day("2026-10-08");
    QTest::newRow("into the worked Saturday")
        << true << day("2026-09-30") << 3 << day("2026-10-10");
    QTest::newRow("Saturday plus one is the worked Sunday")
        << true << day("2026-09-26") << 1 << day("2026-09-27");
    QTest::newRow("fifteen across the holiday week")
        << true << day("2026-09-30") << 15 << day("2026-10-27");
    QTest::newRow("fifteen from the worked Sunday")
        << true << day("2026-09-27") << 15 << day("2026-10-22");
}

void TestCases::deadline()
{
    QFETCH(bool, holidays);
    QFETCH(QDate, opened);
    QFETCH(int, days);
    QFETCH(QDate, due);
    const cases::WorkCalendar calendar = holidays ? nationalDay() : cases::WorkCalendar();
    QCOMPARE(calendar.addWorkingDays(opened, days), due);
    QVERIFY(days == 0 || calendar.isWorkingDay(due));
}

void TestCases::step_data()
{
    QTest::addColumn<State>("from");
    QTest::addColumn<State>("to");
    QTest::addColumn<int>("who"); // 0 admin, 1 viewer of hall one, 2 viewer of every kiosk
    QTest::addColumn<QString>("terminal");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("refusal"); // empty: allowed

    const QString t1 = u"一号厅-1"_s;
    const QString note = u"已电话联系"_s;
    const auto row = [&](const char *name, State from, State to, int who, const QString &terminal,
                         const QString &n, const QString &refusal) {
        QTest::newRow(name) << from << to << who << terminal << n << refusal;
    };
    row("callback by hall manager", State::Pending, State::CalledBack, 1, t1, note, {});
    row("rectify by hall manager", State::CalledBack, State::Rectified, 1, t1, note, {});
    row("close by hall manager", State::Rectified, State::Closed, 1, t1, note, {});
    row("callback by admin", State::Pending, State::CalledBack, 0, u"二号厅-1"_s, note, {});
    row("callback by viewer of every kiosk", State::Pending, State::CalledBack, 2, u"二号厅-1"_s,
        note, {});
    row("appeal by admin when pending", State::Pending, State::Appealed, 0, t1, note, {});
    row("appeal by admin after callback", State::CalledBack, State::Appealed, 0, t1, note, {});
    row("appeal by hall manager", State::Pending, State::Appealed, 1, t1, note,
        u"只有管理员可以认定差评不成立（申诉）"_s);
    row("appeal without reason", State::Pending, State::Appealed, 0, t1, u"  "_s,
        u"请填写申诉理由"_s);
    row("appeal after rectification", State::Rectified, State::Appealed, 0, t1, note,
        u"案件处于“已整改”，不能申诉"_s);
    row("other hall's case", State::Pending, State::CalledBack, 1, u"二号厅-1"_s, note,
        u"无权处理该案件"_s);
    row("other hall's case, even a refused step", State::Closed, State::Pending, 1, u"二号厅-1"_s,
        note, u"无权处理该案件"_s);
    row("skip the callback", State::Pending, State::Rectified, 0, t1, note,
        u"案件处于“待核实”，不能整改"_s);
    row("close before rectification", State::CalledBack, State::Closed, 0, t1, note,
        u"案件处于“已回访”，不能办结"_s);
    row("close when pending", State::Pending, State::Closed, 0, t1, note,
        u"案件处于“待核实”，不能办结"_s);
    row("callback twice", State::CalledBack, State::CalledBack, 0, t1, note,
        u"案件处于“已回访”，不能回访"_s);
    row("back to pending", State::CalledBack, State::Pending, 0, t1, note,
        u"案件处于“已回访”，不能改为待核实"_s);
    row("reopen a closed case", State::Closed, State::CalledBack, 0, t1, note,
        u"案件处于“已办结”，不能回访"_s);
    row("reopen an appealed case", State::Appealed, State::CalledBack, 0, t1, note,
        u"案件处于“申诉”，不能回访"_s);
    row("appeal twice", State::Appealed, State::Appealed, 0, t1, note,
        u"案件处于“申诉”，不能申诉"_s);
    row("callback without note", State::Pending, State::CalledBack, 1, t1, QString(),
        u"请填写处理说明"_s);
    row("note of 500", State::Pending, State::CalledBack, 1, t1, QString(500, u'字'), {});
    row("note of 501", State::Pending, State::CalledBack, 1, t1, QString(501, u'字'),
        u"说明最多 500 个字"_s);
}

void TestCases::step()
{
    QFETCH(State, from);
    QFETCH(State, to);
    QFETCH(int, who);
    QFETCH(QString, terminal);
    QFETCH(QString, note);
    QFETCH(QString, refusal);
    const cases::Actor actor = who == 0 ? Admin : who == 1 ? HallOne : Everyone;
    QCOMPARE(cases::stepRefusal(from, to, actor, terminal, note).value_or(QString()), refusal);
    // The buttons offered are the steps allowed.
    QCOMPARE(cases::nextStates(from, actor, terminal).contains(to),
             refusal.isEmpty() || refusal.startsWith(u"请填写"_s) || refusal.startsWith(u"说明"_s));
}

void TestCases::timing_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<QDate>("calledBack");
    QTest::addColumn<QDate>("rectified");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("expected"); // counted/on time of callback, of rectification, overdue

    // Opened Wednesday 30 September 2026: callback due 8 October, rectification 27 October.
    const QDate none;
    QTest::newRow("pending on the due day")
        << State::Pending << none << none << day("2026-10-08") << u"-- -- ok"_s;
    QTest::newRow("pending the day after")
        << State::Pending << none << none << day("2026-10-09") << u"c- -- 逾期"_s;
    QTest::newRow("called back on the due day, later")
        << State::CalledBack << day("2026-10-08") << none << day("2026-10-20") << u"cy -- ok"_s;
    QTest::newRow("called back late is no longer overdue")
        << State::CalledBack << day("2026-10-09") << none << day("2026-10-20") << u"c- -- ok"_s;
    QTest::newRow("called back, rectification late")
        << State::CalledBack << day("2026-10-08") << none << day("2026-10-28") << u"cy r- 逾期"_s;
    QTest::newRow("rectified on the due day")
        << State::Rectified << day("2026-10-08") << day("2026-10-27") << day("2026-10-28")
        << u"cy ry ok"_s;
    QTest::newRow("closed, rectified late")
        << State::Closed << day("2026-10-08") << day("2026-10-28") << day("2026-12-01")
        << u"cy r- ok"_s;
    QTest::newRow("appealed is never due")
        << State::Appealed << none << none << day("2026-12-01") << u"-- -- ok"_s;
    QTest::newRow("appealed after callback")
        << State::Appealed << day("2026-10-08") << none << day("2026-12-01") << u"-- -- ok"_s;
}

void TestCases::timing()
{
    QFETCH(State, state);
    QFETCH(QDate, calledBack);
    QFETCH(QDate, rectified);
    QFETCH(QDate, today);
    QFETCH(QString, expected);
    const cases::Timing t =
        cases::timing({state, day("2026-09-30"), calledBack, rectified}, {}, nationalDay(), today);
    QCOMPARE(t.callbackDue, day("2026-10-08"));
    QCOMPARE(t.rectifyDue, day("2026-10-27"));
    const QString got = u"%1%2 %3%4 %5"_s.arg(
        t.callbackCounted ? u"c"_s : u"-"_s, t.callbackOnTime ? u"y"_s : u"-"_s,
        t.rectifyCounted ? u"r"_s : u"-"_s, t.rectifyOnTime ? u"y"_s : u"-"_s,
        t.overdue ? u"逾期"_s : u"ok"_s);
    QCOMPARE(got, expected);
    cases::Rates rates;
    rates.add(t);
    QCOMPARE(rates.overdue, t.overdue ? 1 : 0);
}

void TestCases::percent_data()
{
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("whole");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing due") << 0 << 0 << u"—"_s;
    QTest::newRow("none on time") << 0 << 4 << u"0.0%"_s;
    QTest::newRow("all") << 3 << 3 << u"100.0%"_s;
    QTest::newRow("seven of eight") << 7 << 8 << u"87.5%"_s;
    QTest::newRow("two of three rounds up") << 2 << 3 << u"66.7%"_s;
    QTest::newRow("one of three rounds down") << 1 << 3 << u"33.3%"_s;
    QTest::newRow("half a tenth rounds up") << 1 << 16 << u"6.3%"_s;
}

void TestCases::percent()
{
    QFETCH(int, part);
    QFETCH(int, whole);
    QFETCH(QString, text);
    QCOMPARE(cases::Rates::percent(part, whole), text);
}

QTEST_APPLESS_MAIN(TestCases)
#include "tst_cases.moc"
