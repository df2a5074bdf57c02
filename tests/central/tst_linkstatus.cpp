// What the link tells staff of the ratings waiting: counted in db.dll at the moment it is asked,
// by a read-only connection of its own, also after db.dll was replaced. The forwarder is given
// an address it refuses at once, so nothing leaves the outbox.
#include "central/forwarder.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/recorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Terminal = u"一号厅"_s;

// A db.dll in folder with waiting ratings filed for forwarding; none: the file has no outbox.
void fill(const QString &folder, int waiting, const platform::ClockPtr &clock)
{
    store::createDatabaseFile(folder + u"/db.dll"_s);
    if (waiting == 0)
        return;
    TDataModule3 module(folder, clock);
    module.setForwarding(Terminal);
    module.OpenConnection();
    for (int i = 0; i < waiting; ++i)
        module.Append(EvaluationRecord{u"张三"_s, u"2026-12-08"_s,
                                       u"10:00:"_s + QString::number(10 + i), u"一般"_s});
}

} // namespace

class TestLinkStatus : public QObject
{
    Q_OBJECT

private slots:
    void pendingCountedNow_data()
    {
        QTest::addColumn<int>("waiting");
        // -1: db.dll stays; otherwise it is replaced, after the first look, by a file with
        // that many waiting.
        QTest::addColumn<int>("replacedBy");
        QTest::addColumn<qint64>("shown");
        QTest::newRow("nothing filed yet: no outbox") << 0 << -1 << qint64(0);
        QTest::newRow("three waiting") << 3 << -1 << qint64(3);
        QTest::newRow("replaced by a file without outbox") << 3 << 0 << qint64(0);
        QTest::newRow("replaced by a file with two waiting") << 3 << 2 << qint64(2);
    }
    void pendingCountedNow()
    {
        QFETCH(int, waiting);
        QFETCH(int, replacedBy);
        QFETCH(qint64, shown);
        RecordingServices services;
        QTemporaryDir dir, other;
        fill(dir.path(), waiting, services.clock());
        const QString db = dir.filePath(u"db.dll"_s);
        central::Link link(db, central::Config{u"mysql://x/y"_s, Terminal}, services.clock());
        QCOMPARE(link.status().pending, qint64(waiting));
        if (replacedBy >= 0) {
            fill(other.path(), replacedBy, services.clock());
            for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
                QFile::remove(db + suffix);
            QVERIFY(QFile::copy(other.filePath(u"db.dll"_s), db));
        }
        QCOMPARE(link.status().pending, shown);
    }
};

QTEST_GUILESS_MAIN(TestLinkStatus)
#include "tst_linkstatus.moc"
