#include "config/orderbox.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestOrderBox : public QObject
{
    Q_OBJECT

private slots:
    void accepts_data()
    {
        QTest::addColumn<QChar>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("0") << QChar(u'0') << true;
        QTest::newRow("9") << QChar(u'9') << true;
        QTest::newRow("backspace") << QChar(u'\b') << true;
        QTest::newRow("letter") << QChar(u'a') << false;
        QTest::newRow("minus") << QChar(u'-') << false;
        QTest::newRow("blank") << QChar(u' ') << false;
        QTest::newRow("full-width digit") << QChar(u'１') << false;
        QTest::newRow("Arabic-Indic digit") << QChar(u'٣') << false;
        QTest::newRow("Chinese numeral") << QChar(u'三') << false;
        QTest::newRow("DEL") << QChar(u'\x7f') << false;
        QTest::newRow("NUL") << QChar(u'\0') << false;
    }
    void accepts()
    {
        QFETCH(QChar, typed);
        QFETCH(bool, accepted);
        QCOMPARE(orderbox::accepts(typed), accepted);
    }

    void keyPress_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("unchecked");
        QTest::addColumn<QString>("typed"); // what the rule sees when it is checked
        QTest::newRow("digit") << int(Qt::Key_5) << u"5"_s << false << u"5"_s;
        QTest::newRow("letter") << int(Qt::Key_A) << u"a"_s << false << u"a"_s;
        QTest::newRow("Backspace types backspace")
            << int(Qt::Key_Backspace) << u"\b"_s << false << u"\b"_s;
        QTest::newRow("Backspace with DEL as its text")
            << int(Qt::Key_Backspace) << u"\x7f"_s << false << u"\b"_s;
        QTest::newRow("Delete with DEL passes")
            << int(Qt::Key_Delete) << u"\x7f"_s << true << u"\x7f"_s;
        QTest::newRow("Tab passes") << int(Qt::Key_Tab) << u"\t"_s << true << u"\t"_s;
        QTest::newRow("Backtab passes") << int(Qt::Key_Backtab) << QString() << true << QString();
        QTest::newRow("arrow types nothing") << int(Qt::Key_Left) << QString() << true << QString();
        QTest::newRow("Home types nothing") << int(Qt::Key_Home) << QString() << true << QString();
        QTest::newRow("Return is typed text") << int(Qt::Key_Return) << u"\r"_s << false << u"\r"_s;
    }
    void keyPress()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(bool, unchecked);
        QFETCH(QString, typed);
        QCOMPARE(orderbox::passesUnchecked(key, text), unchecked);
        QCOMPARE(orderbox::typedCharacters(key, text), typed);
    }

    void keptPart_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("all digits") << u"0012"_s << u"0012"_s;
        QTest::newRow("stops at the first refused character") << u"12a34"_s << u"12"_s;
        QTest::newRow("refused at once") << u"一号"_s << QString();
        QTest::newRow("full-width digits refused") << u"１２"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void keptPart()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QCOMPARE(orderbox::keptPart(typed), kept);
    }
};

QTEST_APPLESS_MAIN(TestOrderBox)
#include "tst_orderbox.moc"
