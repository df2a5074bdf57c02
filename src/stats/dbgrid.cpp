#include "stats/dbgrid.h"

#include "stats/gridcolumns.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace {
constexpr int ColumnCount = 4;
constexpr int IndicatorWidth = 14;
// Rows a finger can pick out.
constexpr int RowHeight = 36;
} // namespace

DBGrid::DBGrid(QWidget *parent) : QTableView(parent), m_columns(new GridColumns(ColumnCount, this))
{
    setModel(m_columns);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);

    QHeaderView *titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setStretchLastSection(false);
    titles->setSectionsMovable(false);
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The record indicator: a narrow column at the left, only the current row's marker in it.
    QHeaderView *indicator = verticalHeader();
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(RowHeight);
    indicator->setMinimumSectionSize(RowHeight);
    indicator->setFixedWidth(IndicatorWidth);
    indicator->setDefaultAlignment(Qt::AlignCenter);
    indicator->setSectionsClickable(false);
    indicator->setHighlightSections(false);
    QFont marker = indicator->font();
    marker.setPixelSize(10);
    indicator->setFont(marker);

    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                m_columns->setIndicatorRow(current.isValid() ? current.row() : -1);
            });
    // A freshly opened result stands on its first record, as a data set does after opening.
    connect(m_columns, &QAbstractItemModel::modelReset, this, [this] {
        if (m_columns->rowCount() > 0)
            setCurrentIndex(m_columns->index(0, 0));
    });
}

void DBGrid::setDataSource(QAbstractItemModel *source)
{
    m_columns->setSourceModel(source);
}

QAbstractItemModel *DBGrid::dataSource() const
{
    return m_columns->sourceModel();
}

void DBGrid::setFields(const QStringList &fields)
{
    m_columns->setFields(fields);
}

QStringList DBGrid::fields() const
{
    return m_columns->fields();
}

void DBGrid::setColumnWidths(const QList<int> &widths)
{
    for (int c = 0; c < widths.size() && c < ColumnCount; ++c)
        setColumnWidth(c, widths.at(c));
}

int DBGrid::currentRecord() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DBGrid::setCurrentRecord(int row)
{
    while (row >= m_columns->rowCount() && m_columns->canFetchMore(QModelIndex()))
        m_columns->fetchMore(QModelIndex());
    row = qMin(row, m_columns->rowCount() - 1);
    if (row >= 0)
        setCurrentIndex(m_columns->index(row, qMax(0, currentIndex().column())));
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
        event->accept();
        if (currentRecord() >= 0)
            emit deleteRecordRequested(currentRecord());
        return;
    }
    QTableView::keyPressEvent(event);
}
