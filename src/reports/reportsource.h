#pragma once

#include "platform/error.h"
#include "reports/figures.h"
#include "reports/reportstatements.h"
#include "store/database.h"

#include <QDate>
#include <QList>
#include <QString>

class QSqlDatabase;

// Where the report's counts come from: two aggregate statements, grouped by name and grade word
// and by day and grade word, over the daily counts 评价_日计 when the file has them, else over
// table 评价. They read only the date range of the covering
// indexes the schema tool creates (名称,综合评价,日期 and 综合评价,日期).
namespace reports {

struct Counts
{
    QList<NameGradeCount> byName;
    QList<DayGradeCount> byDay;
    // How often each reason was chosen per name (none from a file or server without reasons).
    QList<NameReasonCount> byReason;
    // The ratings marked 疑似重复 in the range: already taken out of byName and byDay.
    qint64 suspectedRepeats = 0;
};

// Whether readCounts reads the daily table of this database.
bool readsDailyCounts(QSqlDatabase &db);

// Why a database could not be read.
enum class SourceFailure
{
    Missing,      // no such file
    Locked,       // another process held a lock longer than the busy wait
    NotADatabase, // not a database, or no table 评价 with the four fields
    Other,
};

class SourceError : public KioskError
{
public:
    SourceError(SourceFailure failure, QString message)
        : KioskError(std::move(message)), m_failure(failure)
    {
    }
    SourceFailure failure() const noexcept { return m_failure; }

private:
    SourceFailure m_failure;
};

// How long a read waits while another process holds the database locked, as the kiosk does.
constexpr int BusyWaitMilliseconds = store::DefaultBusyTimeoutMs;

// The least 评价数 a name needs to be ranked, from setting paiming_zuishao of the opt.ini in
// exeDir (read anew each time; see minimumRatingsSetting).
int rankingMinimum(const QString &exeDir);

// Reads both aggregates for [from, to] over an open connection, in one read transaction so the
// two agree; every statement is finished before this returns, so no read stays open. Throws
// SourceError with the engine's message.
Counts readCounts(QSqlDatabase &db, const QDate &from, const QDate &to);

// Opens the database file at path for reading only (never creating it), reads both aggregates
// and closes it again, waiting up to busyTimeoutMs for a lock. Safe to call from any thread.
// Throws SourceError; its message is a complete Chinese sentence naming the file.
Counts readCountsFromFile(const QString &path, const QDate &from, const QDate &to,
                          int busyTimeoutMs = BusyWaitMilliseconds);

// Reads both aggregates over all kiosks from the daily counts of the central PostgreSQL
// database at url (a postgresql:// URI), in one read-only snapshot so the two agree. Safe to
// call from any thread. Throws SourceError (failure Other); its message is a complete Chinese
// sentence that never holds the password.
Counts readCountsFromCentral(const QString &url, const QDate &from, const QDate &to);

} // namespace reports
