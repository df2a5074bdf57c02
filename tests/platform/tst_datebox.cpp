// Typed dates are taken: over the selected whole date, after a tap into a part, with or
// without separators; the arrow keys still step.
#include "platform/widgets/datebox.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDateBox : public QObject
{
    Q_OBJECT

private slots:
    void typed_data()
    {
        QTest::addColumn<QString>("start"); // all: the whole text selected; year/month/day: a
                                            // tap into that part; home: the cursor at the start
        QTest::addColumn<QString>("keys");  // typed text; "Up" presses the arrow key
        QTest::addColumn<QDate>("date");
        QTest::newRow("whole date over a selected date")
            << u"all"_s << u"2027-03-31"_s << QDate(2027, 3, 31);
        QTest::newRow("digits only") << u"all"_s << u"20270415"_s << QDate(2027, 4, 15);
        QTest::newRow("slashes and short parts") << u"all"_s << u"2027/4/5"_s << QDate(2027, 4, 5);
        QTest::newRow("a year after a tap into it") << u"year"_s << u"2027"_s << QDate(2027, 3, 31);
        QTest::newRow("a month after a tap into it") << u"month"_s << u"7"_s << QDate(2026, 7, 31);
        QTest::newRow("a day after a tap into it") << u"day"_s << u"05"_s << QDate(2026, 3, 5);
        QTest::newRow("a year from the start") << u"home"_s << u"2027"_s << QDate(2027, 3, 31);
        QTest::newRow("the arrow key still steps") << u"year"_s << u"Up"_s << QDate(2027, 3, 31);
    }
    void typed()
    {
        QFETCH(QString, start);
        QFETCH(QString, keys);
        QFETCH(QDate, date);
        DateBox box;
        box.setDisplayFormat(u"yyyy-MM-dd"_s);
        box.setCalendarPopup(true);
        box.resize(220, 44);
        box.setDate(QDate(2026, 3, 31));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setFocus();
        QLineEdit *edit = box.findChild<QLineEdit *>();
        QVERIFY(edit);
        if (start == u"all"_s) {
            edit->selectAll();
        } else if (start == u"home"_s) {
            QTest::keyClick(&box, Qt::Key_Home);
        } else {
            // The middle of the part's characters in "2026-03-31".
            const int at = start == u"year"_s ? 2 : start == u"month"_s ? 6 : 9;
            const int x = edit->fontMetrics().horizontalAdvance(edit->text().left(at)) + 3;
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, edit->height() / 2));
        }
        if (keys == u"Up"_s)
            QTest::keyClick(&box, Qt::Key_Up);
        else
            QTest::keyClicks(&box, keys);
        QCOMPARE(box.date(), date);
        // Leaving the box keeps it.
        box.clearFocus();
        QCOMPARE(box.date(), date);
        QCOMPARE(box.text(), date.toString(u"yyyy-MM-dd"_s));
    }
};

QTEST_MAIN(TestDateBox)
#include "tst_datebox.moc"
