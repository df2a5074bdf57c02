#pragma once

#include "central/centralconfig.h"

#include <QList>
#include <QString>
#include <QStringList>

struct pg_conn;

// One connection to the central PostgreSQL database through the client library itself: the
// alert service waits on its socket for notifications, which the Qt driver cannot do without an
// event loop. Values are bound as text, a null QString as SQL null; results come back as text,
// SQL null as a null QString.
namespace alert {

class PgConnection
{
public:
    // Connects with the timeouts of the central library. Throws KioskError with a Chinese
    // message that never holds the password.
    explicit PgConnection(const central::Connection &connection);
    ~PgConnection();
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;

    // The rows of the statement. Throws KioskError on any failure.
    QList<QStringList> query(const QString &statement, const QStringList &values = {});
    void execute(const QString &statement, const QStringList &values = {});
    // The single value of a one-row, one-column answer (null when there is no row).
    QString value(const QString &statement, const QStringList &values = {});

    // Whether the connection is still usable.
    bool isOk() const;
    // The socket to wait on for notifications.
    int socket() const;
    // Reads what the server has sent and returns how many notifications came; never blocks.
    int takeNotifications();

private:
    QString failure(const QString &what) const;

    pg_conn *m_conn = nullptr;
    central::Connection m_connection;
};

// Runs a block in a transaction: committed when it returns, rolled back when it throws.
template <typename F> auto inTransaction(PgConnection &db, F &&block)
{
    db.execute(QStringLiteral("begin"));
    try {
        if constexpr (std::is_void_v<decltype(block())>) {
            block();
            db.execute(QStringLiteral("commit"));
        } else {
            auto result = block();
            db.execute(QStringLiteral("commit"));
            return result;
        }
    } catch (...) {
        if (db.isOk()) {
            try {
                db.execute(QStringLiteral("rollback"));
            } catch (...) {
            }
        }
        throw;
    }
}

} // namespace alert
