#include "kiosk/catalogue.h"
#include "kiosk/paging.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr QSize Tile(10, 10); // 400 bytes in the cache
constexpr qint64 TileBytes = 400;

// Pages of a catalogue of photos entries, ten to a page; tile k of page p is named "p<p>t<k>".
paging::PageTiles catalogueOf(int photos)
{
    return [photos](int page) {
        QList<tilecache::TileRequest> tiles;
        for (int k = 0; k < 10; ++k) {
            const int entry = 10 * page + k;
            const bool present = entry >= 0 && entry < photos;
            tiles.append({present ? u"p%1t%2"_s.arg(page).arg(k) : QString(), Tile});
        }
        return tiles;
    };
}

// "p3" for all ten tiles of page 3, "p3t0-2" for tiles 0 to 2.
QStringList tilesOf(const QString &text)
{
    const QStringList parts = text.split(u't');
    const int first = parts.size() > 1 ? parts[1].section(u'-', 0, 0).toInt() : 0;
    const int last = parts.size() > 1 ? parts[1].section(u'-', -1).toInt() : 9;
    QStringList names;
    for (int k = first; k <= last; ++k)
        names.append(u"%1t%2"_s.arg(parts[0]).arg(k));
    return names;
}

} // namespace

class TestPaging : public QObject
{
    Q_OBJECT

private slots:
    void step_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("previous");
        QTest::newRow("inside") << 1 << 3 << 2 << 0;
        QTest::newRow("last page: right wraps to the first") << 2 << 3 << 0 << 1;
        QTest::newRow("first page: left wraps to the last") << 0 << 3 << 1 << 2;
        QTest::newRow("one page: both stay") << 0 << 1 << 0 << 0;
        QTest::newRow("no pages: right gives 0, left -1") << 0 << 0 << 0 << -1;
        QTest::newRow("no pages, from -1") << -1 << 0 << 0 << -1;
        QTest::newRow("from -1 with pages: left goes to the last") << -1 << 3 << 0 << 2;
        QTest::newRow("beyond the end: right starts over") << 5 << 3 << 0 << 4;
    }
    void step()
    {
        QFETCH(int, page);
        QFETCH(int, pageCount);
        QFETCH(int, next);
        QFETCH(int, previous);
        QCOMPARE(paging::nextPage(page, pageCount), next);
        QCOMPARE(paging::previousPage(page, pageCount), previous);
    }

    // Right or left as many times as there are pages comes back to the start.
    void fullRoundTrip_data()
    {
        QTest::addColumn<int>("pageCount");
        for (int n : {1, 2, 3, 7})
            QTest::addRow("%d pages", n) << n;
    }
    void fullRoundTrip()
    {
        QFETCH(int, pageCount);
        for (int start = 0; start < pageCount; ++start) {
            int right = start, left = start;
            QSet<int> seen;
            for (int i = 0; i < pageCount; ++i) {
                right = paging::nextPage(right, pageCount);
                left = paging::previousPage(left, pageCount);
                seen.insert(right);
            }
            QCOMPARE(right, start);
            QCOMPARE(left, start);
            QCOMPARE(seen.size(), pageCount);
        }
    }

    void prefetch_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("photos");
        QTest::addColumn<qint64>("budgetTiles"); // in tiles, the shown page's ten included
        QTest::addColumn<QStringList>("expected");

        const qint64 plenty = 1000;
        QTest::newRow("nearest first, next before previous")
            << 2 << 50 << plenty << (QStringList() << u"p3"_s << u"p1"_s << u"p4"_s << u"p0"_s);
        QTest::newRow("wraps around the end")
            << 4 << 50 << plenty << (QStringList() << u"p0"_s << u"p3"_s << u"p1"_s << u"p2"_s);
        QTest::newRow("wraps around the start")
            << 0 << 30 << plenty << (QStringList() << u"p1"_s << u"p2"_s);
        QTest::newRow("two pages: the other one once") << 0 << 20 << plenty << QStringList{u"p1"_s};
        QTest::newRow("one page: nothing") << 0 << 7 << plenty << QStringList();
        QTest::newRow("no photos: nothing") << 0 << 0 << plenty << QStringList();
        QTest::newRow("empty entries of the last page left out")
            << 0 << 23 << plenty << (QStringList() << u"p1"_s << u"p2t0-2"_s);
        QTest::newRow("room ends inside a page")
            << 0 << 50 << qint64(13) << QStringList{u"p1t0-2"_s};
        QTest::newRow("shown page fills the budget: nothing")
            << 1 << 50 << qint64(10) << QStringList();
        QTest::newRow("budget below the shown page: nothing")
            << 1 << 50 << qint64(4) << QStringList();
    }
    void prefetch()
    {
        QFETCH(int, current);
        QFETCH(int, photos);
        QFETCH(qint64, budgetTiles);
        QFETCH(QStringList, expected);

        QStringList wanted;
        for (const QString &text : expected)
            wanted += tilesOf(text);
        QStringList chosen;
        const QList<tilecache::TileRequest> requests = paging::choosePrefetch(
            current, PageCountFor(photos), budgetTiles * TileBytes, catalogueOf(photos));
        for (const tilecache::TileRequest &request : requests) {
            QCOMPARE(request.size, Tile);
            chosen.append(request.path);
        }
        QCOMPARE(chosen, wanted);
    }

    // A tile is taken while any room is left, even when it does not fit whole; nothing after.
    void lastTileMayOverrun()
    {
        const qint64 budget = 10 * TileBytes + 2 * TileBytes + TileBytes / 2;
        const auto requests = paging::choosePrefetch(0, 5, budget, catalogueOf(50));
        QCOMPARE(requests.size(), 3);
    }
};

QTEST_APPLESS_MAIN(TestPaging)
#include "tst_paging.moc"
