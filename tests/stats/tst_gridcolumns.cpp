#include "stats/gridcolumns.h"

#include <QAbstractTableModel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A result set that hands out its rows in batches, like a query model over a cursor.
class LazyRows final : public QAbstractTableModel
{
public:
    LazyRows(QStringList names, int total, int batch)
        : m_names(std::move(names)), m_total(total), m_batch(batch)
    {
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_fetched;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_names.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return u"%1:%2"_s.arg(m_names.at(index.column())).arg(index.row());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o == Qt::Horizontal && role == Qt::DisplayRole)
            return m_names.value(section);
        return {};
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        return !parent.isValid() && m_fetched < m_total;
    }
    void fetchMore(const QModelIndex &parent) override
    {
        if (!canFetchMore(parent))
            return;
        const int last = qMin(m_total, m_fetched + m_batch) - 1;
        beginInsertRows({}, m_fetched, last);
        m_fetched = last + 1;
        endInsertRows();
    }
    void reopen(QStringList names, int total)
    {
        beginResetModel();
        m_names = std::move(names);
        m_total = total;
        m_fetched = 0;
        endResetModel();
    }

private:
    QStringList m_names;
    int m_total, m_fetched = 0, m_batch;
};

QStringList titles(const GridColumns &grid)
{
    QStringList out;
    for (int c = 0; c < grid.columnCount(); ++c)
        out << grid.headerData(c, Qt::Horizontal).toString();
    return out;
}

QStringList row(const GridColumns &grid, int r)
{
    QStringList out;
    for (int c = 0; c < grid.columnCount(); ++c)
        out << grid.index(r, c).data().toString();
    return out;
}

} // namespace

class TestGridColumns : public QObject
{
    Q_OBJECT
private slots:
    void bindsByName_data();
    void bindsByName();
    void rebindingKeepsRowsAndFollowsReopen();
    void indicatorMarksOneRow();
};

void TestGridColumns::bindsByName_data()
{
    QTest::addColumn<QStringList>("sourceFields");
    QTest::addColumn<QStringList>("bound");
    QTest::addColumn<QStringList>("firstRow");

    QTest::newRow("listing order differs from source")
        << QStringList{u"id"_s, u"综合评价"_s, u"名称"_s, u"时间"_s, u"日期"_s}
        << QStringList{u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s}
        << QStringList{u"名称:0"_s, u"日期:0"_s, u"时间:0"_s, u"综合评价:0"_s};
    QTest::newRow("count with one unbound column")
        << QStringList{u"名称"_s, u"综合评价"_s, u"数量"_s}
        << QStringList{u"名称"_s, u"综合评价"_s, u"数量"_s, QString()}
        << QStringList{u"名称:0"_s, u"综合评价:0"_s, u"数量:0"_s, QString()};
    QTest::newRow("field absent from the result")
        << QStringList{u"综合评价"_s, u"数量"_s}
        << QStringList{u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s}
        << QStringList{QString(), QString(), QString(), u"综合评价:0"_s};
}

void TestGridColumns::bindsByName()
{
    QFETCH(QStringList, sourceFields);
    QFETCH(QStringList, bound);
    QFETCH(QStringList, firstRow);
    LazyRows source(sourceFields, 3, 10);
    GridColumns grid(4);
    grid.setSourceModel(&source);
    grid.setFields(bound);
    grid.fetchMore({});

    QCOMPARE(grid.columnCount(), 4);
    QCOMPARE(titles(grid), bound);
    QCOMPARE(grid.rowCount(), 3);
    QCOMPARE(row(grid, 0), firstRow);
}

void TestGridColumns::rebindingKeepsRowsAndFollowsReopen()
{
    LazyRows source({u"名称"_s, u"综合评价"_s, u"数量"_s}, 5, 10);
    GridColumns grid(4);
    grid.setSourceModel(&source);
    grid.setFields({u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s});
    grid.fetchMore({});
    QSignalSpy reset(&grid, &QAbstractItemModel::modelReset);

    grid.setFields({u"综合评价"_s, u"数量"_s});
    QCOMPARE(reset.count(), 0); // same rows, other contents
    QCOMPARE(row(grid, 4), (QStringList{u"综合评价:4"_s, u"数量:4"_s, QString(), QString()}));

    // The result set reopens with other columns: the bindings find them again.
    source.reopen({u"数量"_s, u"综合评价"_s}, 2);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(grid.rowCount(), 0);
    grid.fetchMore({});
    QCOMPARE(row(grid, 1), (QStringList{u"综合评价:1"_s, u"数量:1"_s, QString(), QString()}));
}

void TestGridColumns::indicatorMarksOneRow()
{
    LazyRows source({u"名称"_s}, 5, 10);
    GridColumns grid(4);
    grid.setSourceModel(&source);
    grid.fetchMore({});
    grid.setIndicatorRow(2);
    for (int r = 0; r < 5; ++r)
        QCOMPARE(grid.headerData(r, Qt::Vertical).toString(),
                 r == 2 ? GridColumns::indicatorMarker() : QString());
    source.reopen({u"名称"_s}, 5);
    QCOMPARE(grid.indicatorRow(), -1);
}

QTEST_GUILESS_MAIN(TestGridColumns)
#include "tst_gridcolumns.moc"
