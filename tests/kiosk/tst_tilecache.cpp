#include "kiosk/tilecache.h"
#include "kiosk/tileimages.h"
#include "support/pictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tilecache::TileRequest;

namespace {

} // namespace

class TestTileCache : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }

    // Each write gets a modification time of its own, so a rewrite is a change even where the
    // file clock is too coarse to tell two writes apart.
    void writePhoto(const QString &name, QColor color, QSize size = {400, 300})
    {
        QVERIFY(solid(size, color).save(path(name), "JPEG"));
        static int writes = 0;
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addSecs(++writes),
                                 QFileDevice::FileModificationTime));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        tilecache::waitForPrefetch();
        tilecache::shared().clear();
        tilecache::shared().setBudget(tilecache::DefaultBudgetBytes);
    }

    // The second load of an unchanged file comes from the cache; any change of the file on disk
    // makes the next load decode it again and show the new picture.
    void changedFileIsDecodedAgain_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("rewritten in place with another size") << u"rewrite"_s;
        QTest::newRow("replaced by renaming another file over it") << u"rename"_s;
        QTest::newRow("touched only") << u"touch"_s;
    }
    void changedFileIsDecodedAgain()
    {
        QFETCH(QString, change);
        writePhoto(u"a.jpg"_s, Qt::red);
        const int before = tilecache::decodeCount();
        QVERIFY(near(centre(loadTileImage(path(u"a.jpg"_s), {150, 180})), Qt::red));
        QVERIFY(near(centre(loadTileImage(path(u"a.jpg"_s), {150, 180})), Qt::red));
        QCOMPARE(tilecache::decodeCount() - before, 1);

        QColor expected = Qt::blue;
        if (change == u"rewrite"_s) {
            writePhoto(u"a.jpg"_s, Qt::blue, {500, 300});
        } else if (change == u"rename"_s) {
            writePhoto(u"b.jpg"_s, Qt::blue);
            QVERIFY(QFile::remove(path(u"a.jpg"_s)));
            QVERIFY(QFile::rename(path(u"b.jpg"_s), path(u"a.jpg"_s)));
        } else {
            QFile file(path(u"a.jpg"_s));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                     QFileDevice::FileModificationTime));
            expected = Qt::red;
        }
        QVERIFY(near(centre(loadTileImage(path(u"a.jpg"_s), {150, 180})), expected));
        QCOMPARE(tilecache::decodeCount() - before, 2);
    }

    // A file removed after it was shown yields no picture, and nothing of it stays kept.
    void removedFileGivesNoPicture()
    {
        writePhoto(u"a.jpg"_s, Qt::red);
        QVERIFY(!loadTileImage(path(u"a.jpg"_s), {150, 180}).isNull());
        QCOMPARE(tilecache::shared().count(), 1);
        QVERIFY(QFile::remove(path(u"a.jpg"_s)));
        QVERIFY(loadTileImage(path(u"a.jpg"_s), {150, 180}).isNull());
        QCOMPARE(tilecache::shared().count(), 0);
        QCOMPARE(tilecache::shared().bytes(), 0);
    }

    // The same file at another tile size is another picture; a full-size decode is never kept.
    void keyedByTileSize()
    {
        writePhoto(u"a.jpg"_s, Qt::red);
        const int before = tilecache::decodeCount();
        // The 4:3 photo decoded to cover each tile.
        QCOMPARE(loadTileImage(path(u"a.jpg"_s), {150, 180}).size(), QSize(240, 180));
        QCOMPARE(loadTileImage(path(u"a.jpg"_s), {100, 120}).size(), QSize(160, 120));
        QCOMPARE(loadTileImage(path(u"a.jpg"_s), {150, 180}).size(), QSize(240, 180));
        QCOMPARE(tilecache::decodeCount() - before, 2);
        QCOMPARE(loadTileImage(path(u"a.jpg"_s), {}).size(), QSize(400, 300));
        QCOMPARE(loadTileImage(path(u"a.jpg"_s), {}).size(), QSize(400, 300));
        QCOMPARE(tilecache::decodeCount() - before, 4);
        QCOMPARE(tilecache::shared().count(), 2);
    }

    // A file that is no picture is not decoded again while it stays as it is.
    void undecodableFileIsRemembered()
    {
        QFile garbage(path(u"bad.jpg"_s));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("no picture here");
        garbage.close();
        const int before = tilecache::decodeCount();
        QVERIFY(loadTileImage(path(u"bad.jpg"_s), {150, 180}).isNull());
        QVERIFY(loadTileImage(path(u"bad.jpg"_s), {150, 180}).isNull());
        QCOMPARE(tilecache::decodeCount() - before, 1);
    }

    // A page of requests comes back in order, whatever was cached, missing or empty.
    void pageInOrder()
    {
        const QColor colors[4] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int i = 0; i < 4; ++i)
            writePhoto(u"p%1.jpg"_s.arg(i), colors[i]);
        QVERIFY(!loadTileImage(path(u"p2.jpg"_s), {150, 180}).isNull());
        const QList<TileRequest> page = {
            {path(u"p0.jpg"_s), {150, 180}}, {QString(), {150, 180}},
            {path(u"p1.jpg"_s), {150, 180}}, {path(u"missing.jpg"_s), {150, 180}},
            {path(u"p2.jpg"_s), {150, 180}}, {path(u"p3.jpg"_s), {150, 180}}};
        const QList<QImage> pictures = tilecache::loadTiles(page);
        QCOMPARE(pictures.size(), page.size());
        QVERIFY(near(centre(pictures[0]), Qt::red));
        QVERIFY(pictures[1].isNull());
        QVERIFY(near(centre(pictures[2]), Qt::green));
        QVERIFY(pictures[3].isNull());
        QVERIFY(near(centre(pictures[4]), Qt::blue));
        QVERIFY(near(centre(pictures[5]), Qt::yellow));
    }

    // Over budget the least recently used tiles go; the ones just used stay.
    void budgetDropsLeastRecentlyUsed()
    {
        const qint64 tileBytes = 240 * 180 * 4; // 4:3 photos covering 150 x 180
        tilecache::shared().setBudget(3 * tileBytes);
        for (int i = 0; i < 4; ++i)
            writePhoto(u"p%1.jpg"_s.arg(i), Qt::red);
        for (int i = 0; i < 3; ++i)
            loadTileImage(path(u"p%1.jpg"_s.arg(i)), {150, 180});
        loadTileImage(path(u"p0.jpg"_s), {150, 180}); // p1 is now the oldest
        loadTileImage(path(u"p3.jpg"_s), {150, 180});
        QCOMPARE(tilecache::shared().count(), 3);
        QVERIFY(tilecache::shared().bytes() <= 3 * tileBytes);
        const int before = tilecache::decodeCount();
        for (int i : {0, 2, 3})
            loadTileImage(path(u"p%1.jpg"_s.arg(i)), {150, 180});
        QCOMPARE(tilecache::decodeCount(), before);
        loadTileImage(path(u"p1.jpg"_s), {150, 180});
        QCOMPARE(tilecache::decodeCount(), before + 1);
    }

    // Background preparation fills the cache only through the owning thread, skips what is
    // kept already, and a later plan replaces the requests not yet started.
    void prefetchFillsCache()
    {
        QList<TileRequest> requests;
        for (int i = 0; i < 6; ++i) {
            writePhoto(u"p%1.jpg"_s.arg(i), Qt::green);
            requests.append({path(u"p%1.jpg"_s.arg(i)), {150, 180}});
        }
        loadTileImage(path(u"p0.jpg"_s), {150, 180});
        const int before = tilecache::decodeCount();
        tilecache::prefetch(requests);
        tilecache::waitForPrefetch();
        QCOMPARE(tilecache::decodeCount() - before, 5);
        QCOMPARE(tilecache::shared().count(), 6);
        const QList<QImage> pictures = tilecache::loadTiles(requests);
        QCOMPARE(tilecache::decodeCount() - before, 5);
        for (const QImage &picture : pictures)
            QVERIFY(near(centre(picture), Qt::green));

        // Prepared before the file changed: the change is still seen.
        writePhoto(u"p3.jpg"_s, Qt::blue, {300, 300});
        QVERIFY(near(centre(loadTileImage(path(u"p3.jpg"_s), {150, 180})), Qt::blue));
    }

    void cancelledPrefetchDecodesNothingMore()
    {
        QList<TileRequest> requests;
        for (int i = 0; i < 40; ++i) {
            QFile::remove(path(u"c%1.jpg"_s.arg(i)));
            writePhoto(u"c%1.jpg"_s.arg(i), Qt::green, {1600, 1200});
            requests.append({path(u"c%1.jpg"_s.arg(i)), {150, 180}});
        }
        tilecache::prefetch(requests);
        tilecache::cancelPrefetch();
        tilecache::waitForPrefetch();
        const int settled = tilecache::decodeCount();
        // At most the ones already under way when the plan was dropped.
        QVERIFY(tilecache::shared().count() <= QThread::idealThreadCount());
        QCoreApplication::processEvents();
        tilecache::waitForPrefetch();
        QCOMPARE(tilecache::decodeCount(), settled);
    }
};

QTEST_GUILESS_MAIN(TestTileCache)
#include "tst_tilecache.moc"
