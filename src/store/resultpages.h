#pragma once

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

// The rows of one statement, read page by page with short reads: every page is its own
// statement ("... limit n offset m") that is finished before the rows are handed out, so no
// read of the database stays open while the grid waits for someone to scroll. A read left open
// would keep the engine from emptying its write-ahead log into the file for as long as the
// window stays open. Pages grow with the rows already read, so reaching the end of a long
// result costs a bounded multiple of reading it once.
class ResultPages final : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ResultPages(QObject *parent = nullptr);

    // Reads the first page of statement over db. On an engine error the result stays empty and
    // KioskError is thrown with the engine's message.
    void open(const QSqlDatabase &db, const QString &statement);
    // Forgets the rows and the statement.
    void clear();

    // The fields and values of one row, or an empty record outside the rows read.
    QSqlRecord record(int row) const;
    // The fields of the result, without values.
    QSqlRecord record() const { return m_fields; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    // Reads the next page. An engine error ends the result where it is.
    void fetchMore(const QModelIndex &parent = {}) override;

    static constexpr int FirstPage = 256;
    static constexpr int LargestPage = 8192;

private:
    // One short read of rows [offset, offset + limit); throws KioskError.
    QList<QList<QVariant>> readPage(qsizetype offset, int limit, QSqlRecord *fields) const;

    QSqlDatabase m_db;
    QString m_statement;
    QSqlRecord m_fields;
    QList<QList<QVariant>> m_rows;
    bool m_more = false;
};
