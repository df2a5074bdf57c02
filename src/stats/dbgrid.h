#pragma once

#include <QStringList>
#include <QTableView>

class GridColumns;

// Data grid bound to a result set: a fixed number of columns bound by position to field names,
// a title row, a record indicator at the left, column and row lines and whole-row selection.
// Nothing is edited or inserted in place. Rows are fetched as they scroll into view.
// Ctrl+Delete asks the owner to delete the current row (deleteRecordRequested).
class DBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DBGrid(QWidget *parent = nullptr);

    // Shows this result set; the column bindings stay. Idempotent.
    void setDataSource(QAbstractItemModel *source);
    QAbstractItemModel *dataSource() const;

    // Binds the columns by position to these field names ("" = no field). Widths stay.
    void setFields(const QStringList &fields);
    QStringList fields() const;
    // Sets the columns' initial widths, as the form describes them.
    void setColumnWidths(const QList<int> &widths);

    // The row under the record indicator (the current record), or -1.
    int currentRecord() const;
    // Moves the indicator to that row, or to the last row when there are fewer, fetching rows
    // up to it first.
    void setCurrentRecord(int row);

    GridColumns *columns() const { return m_columns; }

signals:
    // Ctrl+Delete on the current record.
    void deleteRecordRequested(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    GridColumns *m_columns;
};
