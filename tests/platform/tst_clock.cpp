#include "platform/clock.h"
#include "support/files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestClock : public QObject
{
    Q_OBJECT

private slots:
    // A test clock file as a test rewrites it: each step is what the file holds ("-" for no
    // file) and the number the clock must give then; the machine's time stands in as 7.
    void fileNumber_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("fallback until the file holds a number")
            << QStringList{u"-=7"_s, u"=7"_s, u"abc=7"_s, u"100=100"_s};
        QTest::newRow("emptied while rewritten, no number in it, removed: the number before")
            << QStringList{u"100=100"_s, u"=100"_s, u"1x=100"_s, u"-=100"_s, u"200=200"_s};
        QTest::newRow("white space around it, set back")
            << QStringList{u" 300\n=300"_s, u"250=250"_s};
    }
    void fileNumber()
    {
        QFETCH(QStringList, steps);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"clock"_s);
        const auto clock = platform::fileNumber(path, [] { return qint64(7); });
        for (const QString &step : steps) {
            const QString content = step.section(u'=', 0, 0);
            if (content == u"-"_s)
                QFile::remove(path);
            else
                writeBytes(path, content.toUtf8());
            QCOMPARE(clock(), step.section(u'=', 1).toLongLong());
        }
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
