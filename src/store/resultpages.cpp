#include "store/resultpages.h"

#include "platform/error.h"
#include "store/engine.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

ResultPages::ResultPages(QObject *parent) : QAbstractTableModel(parent) {}

void ResultPages::open(const QSqlDatabase &db, const QString &statement)
{
    beginResetModel();
    m_db = db;
    m_statement = statement;
    m_fields = QSqlRecord();
    m_rows.clear();
    m_more = false;
    try {
        m_rows = readPage(0, FirstPage, &m_fields);
        m_more = m_rows.size() == FirstPage;
    } catch (...) {
        m_db = QSqlDatabase();
        m_statement.clear();
        m_fields = QSqlRecord();
        m_rows.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void ResultPages::clear()
{
    beginResetModel();
    m_db = QSqlDatabase();
    m_statement.clear();
    m_fields = QSqlRecord();
    m_rows.clear();
    m_more = false;
    endResetModel();
}

QList<QList<QVariant>> ResultPages::readPage(qsizetype offset, int limit, QSqlRecord *fields) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(m_statement + u" limit ? offset ?"_s))
        throw KioskError(store::engineMessage(query.lastError()));
    query.addBindValue(limit);
    query.addBindValue(qint64(offset));
    if (!query.exec())
        throw KioskError(store::engineMessage(query.lastError()));
    if (fields) {
        *fields = query.record();
        for (int c = 0; c < fields->count(); ++c)
            fields->setValue(c, QVariant());
    }
    QList<QList<QVariant>> rows;
    const int columns = query.record().count();
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row.append(query.value(c));
        rows.append(std::move(row));
    }
    const bool failed = query.lastError().isValid();
    const QString message = failed ? store::engineMessage(query.lastError()) : QString();
    // Ends the statement, and with it the read.
    query.finish();
    if (failed)
        throw KioskError(message);
    return rows;
}

QSqlRecord ResultPages::record(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return {};
    QSqlRecord values = m_fields;
    const QList<QVariant> &cells = m_rows.at(row);
    for (int c = 0; c < values.count() && c < cells.size(); ++c)
        values.setValue(c, cells.at(c));
    return values;
}

int ResultPages::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultPages::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_fields.count();
}

QVariant ResultPages::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) ||
        index.row() >= m_rows.size() || index.column() >= m_fields.count())
        return {};
    return m_rows.at(index.row()).value(index.column());
}

QVariant ResultPages::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_fields.count())
        return m_fields.fieldName(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool ResultPages::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_more;
}

void ResultPages::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || !m_more)
        return;
    const int limit = int(qBound(qsizetype(FirstPage), m_rows.size(), qsizetype(LargestPage)));
    QList<QList<QVariant>> rows;
    try {
        if (!m_db.isOpen())
            throw KioskError(u"connection closed"_s);
        rows = readPage(m_rows.size(), limit, nullptr);
    } catch (const KioskError &) {
        // A view asks for more rows in the middle of painting: it cannot be shown an error.
        // The result ends here; the next button or showing reads it anew.
        m_more = false;
        return;
    }
    m_more = rows.size() == limit;
    if (rows.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows.append(std::move(rows));
    endInsertRows();
}
