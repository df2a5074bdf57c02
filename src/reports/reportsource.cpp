#include "reports/reportsource.h"

#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "central/reasonstatements.h"
#include "config/settingsfile.h"
#include "store/database.h"
#include "store/engine.h"
#include "store/reasons.h"
#include "store/statements.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <optional>

using namespace Qt::StringLiterals;

namespace reports {

namespace {

std::atomic<quint64> connectionCounter{0};

const QString DateFormat = u"yyyy-MM-dd"_s;

SourceError sourceError(const store::EngineError &error)
{
    const int code = error.code();
    const QString message = error.message();
    if (code == store::EngineError::Busy || code == store::EngineError::Locked)
        return SourceError(SourceFailure::Locked, message);
    if (code == store::EngineError::NotADatabase)
        return SourceError(SourceFailure::NotADatabase, message);
    // A file without table 评价 or without its fields is no rating database either.
    if (message.contains(u"no such table"_s) || message.contains(u"no such column"_s))
        return SourceError(SourceFailure::NotADatabase, message);
    return SourceError(SourceFailure::Other, message);
}

SourceError sourceError(const QSqlError &error)
{
    return sourceError(store::engineError(error));
}

QSqlQuery runAggregate(QSqlDatabase &db, const QString &statement, const QDate &from,
                       const QDate &to)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw sourceError(query.lastError());
    query.addBindValue(from.toString(DateFormat));
    query.addBindValue(to.toString(DateFormat));
    if (!query.exec())
        throw sourceError(query.lastError());
    return query;
}

void execute(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw sourceError(query.lastError());
}

// Whether the table that the statement asks sqlite_master for is there.
bool tableExists(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery exists(db);
    exists.setForwardOnly(true);
    if (!exists.exec(statement))
        throw sourceError(exists.lastError());
    const bool found = exists.next();
    exists.finish();
    return found;
}

// The reason counts, inside the read transaction of the other counts; none from a file made
// before the reasons. The reasons of a suspected repeat are left out with its grade.
void readReasonCounts(QSqlDatabase &db, const QDate &from, const QDate &to, Counts &counts)
{
    if (!tableExists(db, statements::reasonsExist()))
        return;
    const bool marks = tableExists(db, repeatMarksTableStatement());
    QSqlQuery q = runAggregate(db, reasonCountsStatement(marks), from, to);
    while (q.next())
        counts.byReason.append(
            {q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()});
    if (q.lastError().isValid())
        throw sourceError(q.lastError());
    q.finish();
}

// Inside readCounts' read transaction: takes the marked suspected repeats of the range out of
// the counts and counts them.
void leaveOutRepeats(QSqlDatabase &db, const QDate &from, const QDate &to, Counts &counts)
{
    if (!tableExists(db, repeatMarksTableStatement()))
        return;
    QList<NameGradeCount> byName;
    {
        QSqlQuery q = runAggregate(db, repeatsByNameStatement(), from, to);
        while (q.next()) {
            byName.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()});
            counts.suspectedRepeats += byName.last().count;
        }
        if (q.lastError().isValid())
            throw sourceError(q.lastError());
        q.finish();
    }
    QList<DayGradeCount> byDay;
    {
        QSqlQuery q = runAggregate(db, repeatsByDayStatement(), from, to);
        while (q.next())
            byDay.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()});
        if (q.lastError().isValid())
            throw sourceError(q.lastError());
        q.finish();
    }
    counts.byName = withoutRepeats(counts.byName, byName);
    counts.byDay = withoutRepeats(counts.byDay, byDay);
}

} // namespace

bool readsDailyCounts(QSqlDatabase &db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(statements::dailyCountsComplete()) || !q.next())
        throw sourceError(q.lastError());
    const bool complete = q.value(0).toBool();
    q.finish();
    return complete;
}

int rankingMinimum(const QString &exeDir)
{
    return minimumRatingsSetting(
        SettingsFile(exeDir).ReadSettingIfPresent(Setting::PaimingZuishao));
}

Counts readCounts(QSqlDatabase &db, const QDate &from, const QDate &to)
{
    Counts counts;
    // One read transaction: a rating stored between the two statements shows in both or in
    // neither. A read never blocks the kiosk's writes (WAL).
    execute(db, statements::beginRead());
    try {
        // The daily counts when the file has them with all their triggers (kept exact with
        // every rating); otherwise (an old file, an archive made before them) table 评价 itself.
        const bool daily = readsDailyCounts(db);
        {
            QSqlQuery q = runAggregate(
                db, daily ? dailyCountsByNameStatement() : countsByNameStatement(), from, to);
            while (q.next())
                counts.byName.append(
                    {q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()});
            if (q.lastError().isValid())
                throw sourceError(q.lastError());
            q.finish();
        }
        {
            QSqlQuery q = runAggregate(
                db, daily ? dailyCountsByDayStatement() : countsByDayStatement(), from, to);
            while (q.next())
                counts.byDay.append(
                    {q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()});
            if (q.lastError().isValid())
                throw sourceError(q.lastError());
            q.finish();
        }
        readReasonCounts(db, from, to, counts);
        leaveOutRepeats(db, from, to, counts);
    } catch (...) {
        QSqlQuery(db).exec(statements::rollback());
        throw;
    }
    execute(db, statements::commit());
    return counts;
}

Counts readCountsFromFile(const QString &path, const QDate &from, const QDate &to,
                          int busyTimeoutMs)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw SourceError(SourceFailure::Missing, u"找不到数据库文件：%1"_s.arg(path));
    if (!info.isFile())
        throw SourceError(SourceFailure::NotADatabase, u"不是数据库文件：%1"_s.arg(path));

    Counts counts;
    std::optional<SourceError> failure;
    try {
        store::Database file(path, {.access = store::Access::ReadOnly,
                                    .busyTimeoutMs = busyTimeoutMs,
                                    .purpose = u"kiosk-report"_s});
        counts = readCounts(file.handle(), from, to);
    } catch (const SourceError &e) {
        failure = e;
    } catch (const store::EngineError &e) {
        failure = sourceError(e);
    }
    if (failure) {
        switch (failure->failure()) {
        case SourceFailure::Missing:
            throw SourceError(SourceFailure::Missing, u"找不到数据库文件：%1"_s.arg(path));
        case SourceFailure::Locked:
            throw SourceError(
                SourceFailure::Locked,
                u"数据库被其他程序锁定，等待 %1 秒后仍无法读取：%2"_s.arg(busyTimeoutMs / 1000)
                    .arg(path));
        case SourceFailure::NotADatabase:
            throw SourceError(SourceFailure::NotADatabase,
                              u"不是评价数据库（没有表“评价”或文件已损坏）：%1（%2）"_s.arg(
                                  path, failure->message()));
        case SourceFailure::Other:
            break;
        }
        throw SourceError(SourceFailure::Other,
                          u"无法读取数据库 %1：%2"_s.arg(path, failure->message()));
    }
    return counts;
}

Counts readCountsFromCentral(const QString &url, const QDate &from, const QDate &to)
{
    const auto failed = [&](const QString &why) {
        return SourceError(
            SourceFailure::Other,
            central::scrubbed(u"无法读取中心数据库 %1：%2"_s.arg(central::redactedUrl(url), why),
                              url));
    };
    central::Connection connection;
    try {
        connection = central::parseUrl(url);
    } catch (const KioskError &e) {
        throw failed(e.message());
    }
    const auto check = [&](QSqlQuery &query, bool ok) {
        if (!ok)
            throw failed(central::describe(query.lastError(), connection));
    };
    const auto aggregate = [&](QSqlDatabase &db, const QString &statement, auto &&add) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        check(q, q.prepare(statement));
        q.addBindValue(from.toString(DateFormat));
        q.addBindValue(to.toString(DateFormat));
        check(q, q.exec());
        while (q.next())
            add(q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong());
        check(q, !q.lastError().isValid());
    };

    QSqlDatabase db;
    try {
        db = central::open(connection, u"kiosk-report-central-%1"_s.arg(++connectionCounter));
    } catch (const KioskError &e) {
        throw failed(e.message());
    }
    Counts counts;
    try {
        // One snapshot: ratings arriving between the two statements show in both or in neither.
        QSqlQuery begin(db);
        check(begin, begin.exec(central::beginSnapshot()));
        aggregate(db, central::countPerNameAndGrade(),
                  [&](const QString &name, const QString &grade, qint64 n) {
                      counts.byName.append({name, grade, n});
                  });
        aggregate(db, central::countPerDayAndGrade(),
                  [&](const QString &day, const QString &grade, qint64 n) {
                      counts.byDay.append({day, grade, n});
                  });
        // The reasons, from their daily counts, on a server that has them.
        {
            QSqlQuery has(db);
            check(has, has.exec(central::reasonCountsExist()));
            const bool found = has.next() && has.value(0).toBool();
            has.finish();
            if (found)
                aggregate(db, central::countPerNameAndReason(),
                          [&](const QString &name, const QString &reason, qint64 n) {
                              counts.byReason.append({name, reason, n});
                          });
        }
        // The marked suspected repeats leave the counts, from their own daily counts.
        QSqlQuery marks(db);
        marks.setForwardOnly(true);
        check(marks, marks.exec(central::hasRepeatCounts()) && marks.next());
        const bool hasMarks = marks.value(0).toBool();
        marks.finish();
        if (hasMarks) {
            QList<NameGradeCount> repeatsByName;
            QList<DayGradeCount> repeatsByDay;
            aggregate(db, central::repeatsPerNameAndGrade(),
                      [&](const QString &name, const QString &grade, qint64 n) {
                          repeatsByName.append({name, grade, n});
                          counts.suspectedRepeats += n;
                      });
            aggregate(db, central::repeatsPerDayAndGrade(),
                      [&](const QString &day, const QString &grade, qint64 n) {
                          repeatsByDay.append({day, grade, n});
                      });
            counts.byName = withoutRepeats(counts.byName, repeatsByName);
            counts.byDay = withoutRepeats(counts.byDay, repeatsByDay);
        }
        QSqlQuery commit(db);
        check(commit, commit.exec(central::commit()));
    } catch (...) {
        central::close(db);
        throw;
    }
    central::close(db);
    return counts;
}

} // namespace reports
