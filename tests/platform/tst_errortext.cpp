// The engine's messages that reach the error box get a Chinese explanation in front of them.
#include "platform/errortext.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestErrorText : public QObject
{
    Q_OBJECT
private slots:
    void explained_data()
    {
        QTest::addColumn<QString>("message");
        // Words the explanation must contain (what happened, what to do); empty: unchanged.
        QTest::addColumn<QStringList>("mustSay");
        QTest::newRow("missing or unreachable file")
            << u"unable to open database file"_s
            << QStringList{u"无法打开"_s, u"db.dll"_s, u"请"_s};
        QTest::newRow("not a database")
            << u"file is not a database"_s << QStringList{u"不是评价数据库"_s, u"备份"_s};
        QTest::newRow("locked by another kiosk")
            << u"database is locked"_s << QStringList{u"占用"_s, u"稍后再试"_s};
        QTest::newRow("disk full")
            << u"database or disk is full"_s << QStringList{u"磁盘已满"_s, u"腾出磁盘空间"_s};
        QTest::newRow("read-only file")
            << u"attempt to write a readonly database"_s << QStringList{u"只读"_s, u"写入"_s};
        QTest::newRow("disk I/O error")
            << u"disk I/O error"_s << QStringList{u"读写磁盘"_s, u"请检查"_s};
        QTest::newRow("table missing")
            << u"no such table: 评价"_s << QStringList{u"没有评价表"_s, u"kiosk-mkdb"_s};
        QTest::newRow("driver's words around the engine's")
            << u"Unable to fetch row database is locked"_s << QStringList{u"占用"_s};
        QTest::newRow("other case")
            << u"Unable To Open Database File"_s << QStringList{u"无法打开"_s};
        QTest::newRow("own Chinese message unchanged")
            << u"无法打开图片文件 pic\\huidu.png：文件不存在"_s << QStringList();
        QTest::newRow("conversion error unchanged")
            << u"'abc' is not a valid integer value"_s << QStringList();
        QTest::newRow("empty") << QString() << QStringList();
    }
    void explained()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, mustSay);
        const QString shown = errortext::explained(message);
        if (mustSay.isEmpty()) {
            QCOMPARE(shown, message);
            return;
        }
        // A Chinese sentence first, then the engine's own text, whole, for the technician.
        const QStringList lines = shown.split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].endsWith(u'。'), qPrintable(lines[0]));
        for (const QString &word : mustSay)
            QVERIFY2(lines[0].contains(word), qPrintable(word));
        QCOMPARE(lines[1], errortext::technicianPrefix() + message);
    }
};

QTEST_APPLESS_MAIN(TestErrorText)
#include "tst_errortext.moc"
