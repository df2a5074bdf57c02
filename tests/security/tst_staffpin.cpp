#include "security/staffpin.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestStaffPin : public QObject
{
    Q_OBJECT

private slots:
    void validPins_data();
    void validPins();
    void hashRoundTrip_data();
    void hashRoundTrip();
    void storedValues_data();
    void storedValues();
    void freshSaltEachTime();
    void lockout_data();
    void lockout();
    void newPin_data();
    void newPin();
};

void TestStaffPin::validPins_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<bool>("valid");
    QTest::newRow("four digits") << u"1234"_s << true;
    QTest::newRow("eight digits") << u"12345678"_s << true;
    QTest::newRow("leading zeros") << u"0007"_s << true;
    QTest::newRow("three digits") << u"123"_s << false;
    QTest::newRow("nine digits") << u"123456789"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("letter") << u"12a4"_s << false;
    QTest::newRow("full-width digits") << u"１２３４"_s << false;
    QTest::newRow("blank inside") << u"12 34"_s << false;
}

void TestStaffPin::validPins()
{
    QFETCH(QString, pin);
    QFETCH(bool, valid);
    QCOMPARE(staffpin::isValidPin(pin), valid);
}

void TestStaffPin::hashRoundTrip_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("tried");
    QTest::addColumn<bool>("matches");
    QTest::newRow("same") << u"2468"_s << u"2468"_s << true;
    QTest::newRow("last digit differs") << u"2468"_s << u"2469"_s << false;
    QTest::newRow("prefix") << u"24680"_s << u"2468"_s << false;
    QTest::newRow("longer") << u"2468"_s << u"24680"_s << false;
    QTest::newRow("empty entry") << u"2468"_s << QString() << false;
    QTest::newRow("eight digits") << u"87654321"_s << u"87654321"_s << true;
}

void TestStaffPin::hashRoundTrip()
{
    QFETCH(QString, pin);
    QFETCH(QString, tried);
    QFETCH(bool, matches);
    const QString stored = staffpin::makeHash(pin);
    QVERIFY(staffpin::isHash(stored));
    // The digits never appear in what is stored.
    QVERIFY(!stored.contains(pin));
    QCOMPARE(staffpin::matches(tried, stored), matches);
}

void TestStaffPin::storedValues_data()
{
    const QByteArray salt("0123456789abcdef");
    const QString good = staffpin::hashWithSalt(u"1357"_s, salt, 1000);
    QStringList parts = good.split(u'$');

    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("isHash");
    QTest::addColumn<bool>("matches1357");
    QTest::newRow("well formed") << good << true << true;
    QTest::newRow("blanks around") << (u"  "_s + good + u" "_s) << true << true;
    QTest::newRow("missing key reads as its name") << u"guanli_mima"_s << false << false;
    QTest::newRow("empty") << QString() << false << false;
    QTest::newRow("digits typed by hand") << u"1357"_s << false << false;
    QStringList other = parts;
    other[0] = u"md5"_s;
    QTest::newRow("other scheme") << other.join(u'$') << false << false;
    other = parts;
    other[1] = u"1"_s;
    QTest::newRow("too few iterations") << other.join(u'$') << false << false;
    other = parts;
    other[1] = u"999999999"_s;
    QTest::newRow("too many iterations") << other.join(u'$') << false << false;
    other = parts;
    other[3] = other[3].left(10);
    QTest::newRow("short key") << other.join(u'$') << false << false;
    other = parts;
    other[2] = u"!!!"_s;
    QTest::newRow("bad base64") << other.join(u'$') << false << false;
    other = parts;
    other[3] = QString::fromLatin1(QByteArray(32, 'x').toBase64());
    QTest::newRow("other key") << other.join(u'$') << true << false;
}

void TestStaffPin::storedValues()
{
    QFETCH(QString, stored);
    QFETCH(bool, isHash);
    QFETCH(bool, matches1357);
    QCOMPARE(staffpin::isHash(stored), isHash);
    QCOMPARE(staffpin::matches(u"1357"_s, stored), matches1357);
}

void TestStaffPin::freshSaltEachTime()
{
    const QString a = staffpin::makeHash(u"1111"_s);
    const QString b = staffpin::makeHash(u"1111"_s);
    QVERIFY(a != b);
    QVERIFY(staffpin::matches(u"1111"_s, a));
    QVERIFY(staffpin::matches(u"1111"_s, b));
}

// Each step: seconds after the start, whether the entry is right (or -1: only look, -2: the
// kiosk restarts and takes the state up from its log), the outcome expected (or -1), and the
// status line afterwards.
struct LockStep
{
    int second;
    int correct;
    int outcome;
    QString status;
};
using LockSteps = QList<LockStep>;
Q_DECLARE_METATYPE(LockSteps)

void TestStaffPin::lockout_data()
{
    using O = PinLockout::Outcome;
    const int acc = int(O::Accepted), rej = int(O::Rejected), lock = int(O::LockedOut);
    const QString locked60 = u"错误次数过多，请60秒后再试"_s;
    QTest::addColumn<LockSteps>("steps");
    QTest::newRow("right at once") << LockSteps{{0, 1, acc, {}}};
    QTest::newRow("one wrong then right")
        << LockSteps{{0, 0, rej, u"密码错误，还可以再试4次"_s}, {1, 1, acc, {}}};
    QTest::newRow("four wrong then right resets the count")
        << LockSteps{{0, 0, rej, {}}, {1, 0, rej, {}},
                     {2, 0, rej, {}}, {3, 0, rej, u"密码错误，还可以再试1次"_s},
                     {4, 1, acc, {}}, {5, 0, rej, u"密码错误，还可以再试4次"_s}};
    QTest::newRow("fifth wrong locks") << LockSteps{
        {0, 0, rej, {}}, {1, 0, rej, {}}, {2, 0, rej, {}}, {3, 0, rej, {}}, {4, 0, lock, locked60}};
    QTest::newRow("right PIN refused while locked")
        << LockSteps{{0, 0, rej, {}},
                     {0, 0, rej, {}},
                     {0, 0, rej, {}},
                     {0, 0, rej, {}},
                     {0, 0, lock, {}},
                     {30, 1, lock, u"错误次数过多，请30秒后再试"_s},
                     {59, -1, -1, u"错误次数过多，请1秒后再试"_s}};
    QTest::newRow("lock ends after 60 seconds")
        << LockSteps{{0, 0, rej, {}},
                     {0, 0, rej, {}},
                     {0, 0, rej, {}},
                     {0, 0, rej, {}},
                     {0, 0, lock, {}},
                     {60, -1, -1, {}},
                     {60, 0, rej, u"密码错误，还可以再试4次"_s}};
    QTest::newRow("lock ends then right opens")
        << LockSteps{{0, 0, rej, {}}, {0, 0, rej, {}},  {0, 0, rej, {}},
                     {0, 0, rej, {}}, {0, 0, lock, {}}, {61, 1, acc, {}}};
    QTest::newRow("clock set back restarts the lock")
        << LockSteps{{100, 0, rej, {}},
                     {100, 0, rej, {}},
                     {100, 0, rej, {}},
                     {100, 0, rej, {}},
                     {100, 0, lock, {}},
                     {10, -1, -1, locked60},
                     {69, -1, -1, u"错误次数过多，请1秒后再试"_s},
                     {70, 1, acc, {}}};

    // Five wrong entries at second t, the last one locking.
    const auto fiveWrong = [rej, lock](int t) {
        return LockSteps{
            {t, 0, rej, {}}, {t, 0, rej, {}}, {t, 0, rej, {}}, {t, 0, rej, {}}, {t, 0, lock, {}}};
    };
    LockSteps doubling = fiveWrong(0);
    int at = 0;
    const QStringList shown = {u"请60秒后再试"_s,   u"请2分钟后再试"_s,  u"请4分钟后再试"_s,
                               u"请8分钟后再试"_s,  u"请16分钟后再试"_s, u"请32分钟后再试"_s,
                               u"请60分钟后再试"_s, u"请60分钟后再试"_s};
    for (int n = 0; n < shown.size(); ++n) {
        doubling.append({at, -1, -1, u"错误次数过多，"_s + shown[n]});
        const int length = qMin(60 << n, 3600);
        doubling.append({at + length - 1, 1, lock, {}}); // still locked a second before its end
        at += length;
        doubling.append(fiveWrong(at));
    }
    QTest::newRow("each lock twice the one before, up to an hour") << doubling;

    LockSteps reset = fiveWrong(0) + fiveWrong(60);
    reset.append({180, 1, acc, {}});
    reset.append(fiveWrong(180));
    reset.append({180, -1, -1, locked60});
    QTest::newRow("the right PIN starts again from one minute") << reset;

    LockSteps restart = fiveWrong(0) + fiveWrong(60);
    restart.append({100, -2, -1, u"错误次数过多，请2分钟后再试"_s});
    restart.append({180, 0, rej, u"密码错误，还可以再试4次"_s});
    restart.append({181, 0, rej, {}});
    restart.append({182, -2, -1, u"密码错误，还可以再试3次"_s});
    restart.append({182, 0, rej, {}});
    restart.append({182, 0, rej, {}});
    restart.append({182, 0, lock, u"错误次数过多，请4分钟后再试"_s});
    restart.append({183, -2, -1, u"错误次数过多，请4分钟后再试"_s});
    restart.append({182 + 240, 1, acc, {}});
    restart.append({500, -2, -1, {}});
    restart.append(fiveWrong(500));
    restart.append({500, -1, -1, locked60});
    QTest::newRow("a restart keeps count and lock") << restart;
}

void TestStaffPin::lockout()
{
    QFETCH(LockSteps, steps);
    const QDateTime start(QDate(2026, 3, 1), QTime(9, 0));
    PinLockout lockout;
    QList<PinLogRecord> log; // since the last right PIN, as the kiosk reads it back
    for (const LockStep &step : steps) {
        const QDateTime now = start.addSecs(step.second);
        if (step.correct >= 0) {
            const auto outcome = lockout.submit(step.correct == 1, now, &log);
            QCOMPARE(int(outcome), step.outcome);
            if (outcome == PinLockout::Outcome::Accepted)
                log.clear();
        }
        if (step.correct == -2) {
            lockout = PinLockout();
            lockout.restore(log);
        }
        if (!step.status.isNull() || step.correct < 0)
            QCOMPARE(lockout.statusText(now), step.status);
        QCOMPARE(lockout.isLocked(now), lockout.secondsLeft(now) > 0);
    }
}

void TestStaffPin::newPin_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("lastStatus");
    QTest::addColumn<QString>("pin"); // empty: not done
    QTest::newRow("same twice") << QStringList{u"4321"_s, u"4321"_s} << QString() << u"4321"_s;
    QTest::newRow("too short") << QStringList{u"12"_s} << u"管理密码须为4至8位数字"_s << QString();
    QTest::newRow("differ then start again")
        << QStringList{u"4321"_s, u"4322"_s} << u"两次输入不一致，请重新输入"_s << QString();
    QTest::newRow("differ, then two agreeing")
        << QStringList{u"4321"_s, u"4322"_s, u"5555"_s, u"5555"_s} << QString() << u"5555"_s;
    QTest::newRow("only the first") << QStringList{u"4321"_s} << QString() << QString();
}

void TestStaffPin::newPin()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, lastStatus);
    QFETCH(QString, pin);
    NewPinEntry entry;
    QCOMPARE(entry.prompt(), u"请输入新的管理密码（4至8位数字）"_s);
    QString status;
    for (const QString &e : entries)
        status = entry.submit(e);
    QCOMPARE(status, lastStatus);
    QCOMPARE(entry.done(), !pin.isEmpty());
    QCOMPARE(entry.pin(), pin);
}

QTEST_APPLESS_MAIN(TestStaffPin)
#include "tst_staffpin.moc"
