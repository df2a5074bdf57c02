#pragma once

#include <QAbstractProxyModel>
#include <QStringList>

// A fixed set of grid columns over a result set. Each column is bound by position to a field
// name (or to none); a column shows the field of that name from the source, or empty cells when
// the field is unbound or absent from the current result. Its title is the bound name. Rows are
// the source's rows, fetched from the source as the view asks for them. Nothing is editable.
// The vertical header carries the record indicator: a marker at one row, nothing elsewhere.
class GridColumns final : public QAbstractProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridColumns)
public:
    explicit GridColumns(int columnCount, QObject *parent = nullptr);

    // Binds the columns by position; missing entries and empty names leave a column unbound.
    void setFields(const QStringList &fields);
    QStringList fields() const { return m_fields; }

    // The row that shows the record indicator; -1 for none. Reset with the source.
    void setIndicatorRow(int row);
    int indicatorRow() const { return m_indicatorRow; }
    static QString indicatorMarker();

    void setSourceModel(QAbstractItemModel *source) override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &idx) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QModelIndex buddy(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    // Finds each bound field among the source's columns.
    void resolveColumns();
    void sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void sourceRowsAboutToBeInserted(const QModelIndex &parent, int first, int last);
    void sourceRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void beginSourceReset();
    void endSourceReset();

    int m_columnCount;
    QStringList m_fields;
    QList<int> m_sourceColumns; // per column: source column, or -1
    int m_indicatorRow = -1;
    QList<QMetaObject::Connection> m_connections;
};
