#include "evaluation/rating.h"
#include "platform/error.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRating : public QObject
{
    Q_OBJECT

private slots:
    void makeRecord_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("firstReading");
        QTest::addColumn<QDateTime>("secondReading");
        QTest::addColumn<int>("star");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("grade"); // empty: refused

        const QDateTime noon(QDate(2026, 12, 7), QTime(12, 5, 9));
        const QString name = u"一号窗口  社保业务"_s;
        const char *words[] = {"非常不满意", "不满意", "一般", "比较满意", "非常满意"};
        for (int star = 1; star <= 5; ++star)
            QTest::addRow("star %d", star) << name << noon << noon << star << u"2026-12-07"_s
                                           << u"12:05:09"_s << QString::fromUtf8(words[star - 1]);
        QTest::newRow("date from the first reading, time from the second, across midnight")
            << name << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999))
            << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)) << 4 << u"2026-12-31"_s << u"00:00:00"_s
            << u"比较满意"_s;
        QTest::newRow("name kept as shown, blanks and all")
            << u" 甲 #\t乙 "_s << noon << noon << 3 << u"2026-12-07"_s << u"12:05:09"_s
            << u"一般"_s;
        QTest::newRow("no star chosen")
            << name << noon << noon << 0 << QString() << QString() << QString();
        QTest::newRow("star above five")
            << name << noon << noon << 6 << QString() << QString() << QString();
        QTest::newRow("negative star")
            << name << noon << noon << -1 << QString() << QString() << QString();
    }
    void makeRecord()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, firstReading);
        QFETCH(QDateTime, secondReading);
        QFETCH(int, star);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, grade);

        int readings = 0;
        const auto clock = [&] { return ++readings == 1 ? firstReading : secondReading; };
        if (grade.isEmpty()) {
            try {
                rating::makeRecord(name, clock, star);
                QFAIL("a record without a grade was made");
            } catch (const KioskError &e) {
                QCOMPARE(e.message(), u"未选择评价等级"_s);
            }
            return;
        }
        const EvaluationRecord record = rating::makeRecord(name, clock, star);
        QCOMPARE(record.name, name);
        QCOMPARE(record.date, date);
        QCOMPARE(record.time, time);
        QCOMPARE(record.grade, grade);
        QCOMPARE(readings, 2);
    }
};

QTEST_APPLESS_MAIN(TestRating)
#include "tst_rating.moc"
