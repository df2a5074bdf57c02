#include "stats/gridcolumns.h"

using namespace Qt::StringLiterals;

GridColumns::GridColumns(int columnCount, QObject *parent)
    : QAbstractProxyModel(parent), m_columnCount(columnCount), m_fields(columnCount, QString()),
      m_sourceColumns(columnCount, -1)
{
}

QString GridColumns::indicatorMarker()
{
    return u"▶"_s;
}

void GridColumns::setFields(const QStringList &fields)
{
    m_fields = fields.mid(0, m_columnCount);
    while (m_fields.size() < m_columnCount)
        m_fields.append(QString());
    resolveColumns();
    // Same rows and columns, other contents: the view keeps its widths and current row.
    emit headerDataChanged(Qt::Horizontal, 0, m_columnCount - 1);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, m_columnCount - 1));
}

void GridColumns::setIndicatorRow(int row)
{
    if (row < 0 || row >= rowCount())
        row = -1;
    if (row == m_indicatorRow)
        return;
    const int old = m_indicatorRow;
    m_indicatorRow = row;
    if (old >= 0)
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0)
        emit headerDataChanged(Qt::Vertical, row, row);
}

void GridColumns::setSourceModel(QAbstractItemModel *source)
{
    if (source == sourceModel())
        return;
    beginResetModel();
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    QAbstractProxyModel::setSourceModel(source);
    if (source) {
        m_connections = {
            connect(source, &QAbstractItemModel::modelAboutToBeReset, this,
                    &GridColumns::beginSourceReset),
            connect(source, &QAbstractItemModel::modelReset, this, &GridColumns::endSourceReset),
            connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this,
                    &GridColumns::beginSourceReset),
            connect(source, &QAbstractItemModel::layoutChanged, this, &GridColumns::endSourceReset),
            connect(source, &QAbstractItemModel::columnsAboutToBeInserted, this,
                    &GridColumns::beginSourceReset),
            connect(source, &QAbstractItemModel::columnsInserted, this,
                    &GridColumns::endSourceReset),
            connect(source, &QAbstractItemModel::columnsAboutToBeRemoved, this,
                    &GridColumns::beginSourceReset),
            connect(source, &QAbstractItemModel::columnsRemoved, this,
                    &GridColumns::endSourceReset),
            connect(source, &QAbstractItemModel::columnsAboutToBeMoved, this,
                    &GridColumns::beginSourceReset),
            connect(source, &QAbstractItemModel::columnsMoved, this, &GridColumns::endSourceReset),
            connect(source, &QAbstractItemModel::rowsAboutToBeMoved, this,
                    &GridColumns::beginSourceReset),
            connect(source, &QAbstractItemModel::rowsMoved, this, &GridColumns::endSourceReset),
            connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
                    &GridColumns::sourceRowsAboutToBeInserted),
            connect(source, &QAbstractItemModel::rowsInserted, this,
                    [this](const QModelIndex &parent) {
                        if (!parent.isValid())
                            endInsertRows();
                    }),
            connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                    &GridColumns::sourceRowsAboutToBeRemoved),
            connect(source, &QAbstractItemModel::rowsRemoved, this,
                    [this](const QModelIndex &parent) {
                        if (!parent.isValid())
                            endRemoveRows();
                    }),
            connect(source, &QAbstractItemModel::dataChanged, this,
                    &GridColumns::sourceDataChanged),
            connect(source, &QAbstractItemModel::headerDataChanged, this,
                    [this](Qt::Orientation orientation) {
                        if (orientation != Qt::Horizontal)
                            return;
                        resolveColumns();
                        if (rowCount() > 0)
                            emit dataChanged(index(0, 0), index(rowCount() - 1, m_columnCount - 1));
                    }),
            connect(source, &QObject::destroyed, this,
                    [this] {
                        // The base class has already let go of the source by now.
                        beginResetModel();
                        m_connections.clear();
                        endSourceReset();
                    }),
        };
    }
    m_indicatorRow = -1;
    resolveColumns();
    endResetModel();
}

void GridColumns::resolveColumns()
{
    const QAbstractItemModel *source = sourceModel();
    const int sourceColumns = source ? source->columnCount() : 0;
    for (int c = 0; c < m_columnCount; ++c) {
        m_sourceColumns[c] = -1;
        const QString field = c < m_fields.size() ? m_fields.at(c) : QString();
        if (field.isEmpty())
            continue;
        for (int s = 0; s < sourceColumns; ++s) {
            const QString name = source->headerData(s, Qt::Horizontal, Qt::DisplayRole).toString();
            if (name.compare(field, Qt::CaseInsensitive) == 0) {
                m_sourceColumns[c] = s;
                break;
            }
        }
    }
}

void GridColumns::beginSourceReset()
{
    beginResetModel();
}

void GridColumns::endSourceReset()
{
    m_indicatorRow = -1;
    resolveColumns();
    endResetModel();
}

void GridColumns::sourceRowsAboutToBeInserted(const QModelIndex &parent, int first, int last)
{
    if (!parent.isValid())
        beginInsertRows(QModelIndex(), first, last);
}

void GridColumns::sourceRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid())
        return;
    if (m_indicatorRow >= first)
        m_indicatorRow = m_indicatorRow > last ? m_indicatorRow - (last - first + 1) : -1;
    beginRemoveRows(QModelIndex(), first, last);
}

void GridColumns::sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (topLeft.parent().isValid() || rowCount() == 0)
        return;
    const int last = qMin(bottomRight.row(), rowCount() - 1);
    if (topLeft.row() <= last)
        emit dataChanged(index(topLeft.row(), 0), index(last, m_columnCount - 1));
}

QModelIndex GridColumns::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= m_columnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex GridColumns::parent(const QModelIndex &) const
{
    return {};
}

QModelIndex GridColumns::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

int GridColumns::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !sourceModel())
        return 0;
    return sourceModel()->rowCount();
}

int GridColumns::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

bool GridColumns::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && rowCount() > 0;
}

QModelIndex GridColumns::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this || !sourceModel())
        return {};
    const int sourceColumn = m_sourceColumns.value(proxyIndex.column(), -1);
    if (sourceColumn < 0)
        return {};
    return sourceModel()->index(proxyIndex.row(), sourceColumn);
}

QModelIndex GridColumns::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != sourceModel() ||
        sourceIndex.parent().isValid())
        return {};
    const int column = m_sourceColumns.indexOf(sourceIndex.column());
    return column < 0 ? QModelIndex() : index(sourceIndex.row(), column);
}

QVariant GridColumns::data(const QModelIndex &index, int role) const
{
    const QModelIndex source = mapToSource(index);
    return source.isValid() ? source.data(role) : QVariant();
}

QVariant GridColumns::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columnCount ? m_fields.value(section) : QVariant();
    return section == m_indicatorRow ? indicatorMarker() : QString();
}

Qt::ItemFlags GridColumns::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool GridColumns::setData(const QModelIndex &, const QVariant &, int)
{
    return false;
}

QModelIndex GridColumns::buddy(const QModelIndex &index) const
{
    return index;
}

bool GridColumns::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && sourceModel() && sourceModel()->canFetchMore(QModelIndex());
}

void GridColumns::fetchMore(const QModelIndex &parent)
{
    if (!parent.isValid() && sourceModel())
        sourceModel()->fetchMore(QModelIndex());
}
