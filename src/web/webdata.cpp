#include "web/webdata.h"

#include "central/centraldb.h"
#include "central/centralstatements.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <algorithm>

#include <atomic>

using namespace Qt::StringLiterals;

namespace web {

namespace {

std::atomic<quint64> connectionCounter{0};

// This thread's connection; opened on demand and dropped after a failure.
struct ThreadConnection
{
    QString name;
    ~ThreadConnection() { drop(); }
    void drop()
    {
        if (name.isEmpty())
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
};
thread_local ThreadConnection threadConnection;

QSqlDatabase connectionFor(const central::Connection &connection)
{
    if (!threadConnection.name.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(threadConnection.name, false);
        if (db.isOpen())
            return db;
        threadConnection.drop();
    }
    const QString name = u"kiosk-web-%1"_s.arg(++connectionCounter);
    QSqlDatabase db;
    try {
        db = central::open(connection, name);
    } catch (const KioskError &e) {
        throw Unavailable(e.message());
    }
    threadConnection.name = name;
    QSqlQuery setup(db);
    if (!setup.exec(u"set statement_timeout = %1; set client_min_messages = warning"_s.arg(
            WebStatementTimeoutSeconds * 1000))) {
        const QString message = central::describe(setup.lastError(), connection);
        threadConnection.drop();
        throw Unavailable(message);
    }
    return db;
}

QList<QVariantList> run(QSqlDatabase &db, const QString &statement, const QVariantList &values,
                        const central::Connection &connection)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // Statements without values run as they are (begin and commit cannot be prepared).
    if (values.isEmpty()) {
        if (!query.exec(statement))
            throw Unavailable(central::describe(query.lastError(), connection));
    } else {
        if (!query.prepare(statement))
            throw Unavailable(central::describe(query.lastError(), connection));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            throw Unavailable(central::describe(query.lastError(), connection));
    }
    QList<QVariantList> rows;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.record().count(); ++i)
            row.append(query.value(i));
        rows.append(row);
    }
    if (query.lastError().isValid())
        throw Unavailable(central::describe(query.lastError(), connection));
    return rows;
}

template <typename Work> auto retried(const central::Connection &connection, Work &&work)
{
    // A connection the server dropped (restart, idle cut) fails its next statement: one new
    // connection is tried before the request is given up.
    for (int attempt = 0;; ++attempt) {
        try {
            QSqlDatabase db = connectionFor(connection);
            return work(db);
        } catch (const Unavailable &) {
            threadConnection.drop();
            if (attempt >= 1)
                throw;
        }
    }
}

// The kiosks as one bound value: a JSON array that the server unpacks, so names with quotes or
// commas stay whole and never become part of the statement.
QString terminalsValue(const QStringList &terminals)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(terminals)).toJson(QJsonDocument::Compact));
}

const QString InTerminals = u" and 终端 in (select jsonb_array_elements_text(?::jsonb))"_s;

QStringList parseTerminals(const QString &json)
{
    QStringList list;
    for (const auto &value : QJsonDocument::fromJson(json.toUtf8()).array())
        list.append(value.toString());
    return list;
}

} // namespace

QList<QVariantList> Central::select(const QString &statement, const QVariantList &values)
{
    return retried(m_connection,
                   [&](QSqlDatabase &db) { return run(db, statement, values, m_connection); });
}

void Central::execute(const QString &statement, const QVariantList &values)
{
    select(statement, values);
}

QList<QList<QVariantList>>
Central::selectTogether(const QList<QPair<QString, QVariantList>> &statements)
{
    return retried(m_connection, [&](QSqlDatabase &db) {
        run(db, u"begin isolation level repeatable read read only"_s, {}, m_connection);
        QList<QList<QVariantList>> results;
        try {
            for (const auto &[statement, values] : statements)
                results.append(run(db, statement, values, m_connection));
            run(db, u"commit"_s, {}, m_connection);
        } catch (...) {
            QSqlQuery(db).exec(u"rollback"_s);
            throw;
        }
        return results;
    });
}

QList<QList<QVariantList>>
Central::transaction(const QList<QPair<QString, QVariantList>> &statements)
{
    return retried(m_connection, [&](QSqlDatabase &db) {
        run(db, u"begin"_s, {}, m_connection);
        QList<QList<QVariantList>> results;
        try {
            for (const auto &[statement, values] : statements)
                results.append(run(db, statement, values, m_connection));
            run(db, u"commit"_s, {}, m_connection);
        } catch (...) {
            QSqlQuery(db).exec(u"rollback"_s);
            throw;
        }
        return results;
    });
}

bool Central::healthy()
{
    try {
        return !select(u"select 1"_s).isEmpty();
    } catch (const Unavailable &) {
        return false;
    }
}

void Central::createWebSchema()
{
    transaction({
        {u"select pg_advisory_xact_lock(775502)"_s, {}},
        {u"create table if not exists 网页用户 (名称 text primary key, "
         "角色 text not null check (角色 in ('admin', 'viewer')), 口令 text not null, "
         "终端 text not null default '[]')"_s,
         {}},
        {u"create table if not exists 网页设置 (键 text primary key, 值 text not null)"_s, {}},
        {u"create table if not exists 终端大厅 (终端 text primary key, 大厅 text not null)"_s, {}},
        {central::terminalStateTableStatement(), {}},
    });
    // The central tables as kiosk-mkdb makes them, for a database made by an older version
    // (the change mark of the daily counts, which the overview reads).
    QList<QPair<QString, QVariantList>> schema;
    for (const QString &statement : central::schemaStatements())
        schema.append({statement, {}});
    transaction(schema);
}

std::optional<QStringList> Account::allowed() const
{
    if (isAdmin() || terminals.isEmpty())
        return std::nullopt;
    return terminals;
}

std::optional<Account> findAccount(Central &db, const QString &name)
{
    const auto rows =
        db.select(u"select 名称, 角色, 终端, 口令 from 网页用户 where 名称 = ?"_s, {name});
    if (rows.isEmpty())
        return std::nullopt;
    const QVariantList &r = rows.first();
    return Account{r[0].toString(), r[1].toString(), parseTerminals(r[2].toString()),
                   r[3].toString()};
}

QList<Account> accounts(Central &db)
{
    QList<Account> list;
    for (const QVariantList &r :
         db.select(u"select 名称, 角色, 终端, 口令 from 网页用户 order by 名称"_s))
        list.append(
            {r[0].toString(), r[1].toString(), parseTerminals(r[2].toString()), r[3].toString()});
    return list;
}

void saveAccount(Central &db, const Account &account)
{
    db.execute(u"insert into 网页用户 (名称, 角色, 口令, 终端) values (?, ?, ?, ?) "
               "on conflict (名称) do update set 角色 = excluded.角色, 口令 = excluded.口令, "
               "终端 = excluded.终端"_s,
               {account.name, account.role, account.hash, terminalsValue(account.terminals)});
}

bool removeAccount(Central &db, const QString &name)
{
    return !db.select(u"delete from 网页用户 where 名称 = ? returning 名称"_s, {name}).isEmpty();
}

QString accountProblem(const QString &name, const QString &role, const QStringList &terminals,
                       const QStringList &known)
{
    if (name.trimmed().isEmpty() || name.size() > 64)
        return u"用户名不能为空，最多 64 个字符"_s;
    if (name != name.trimmed() || std::any_of(name.cbegin(), name.cend(), [](QChar c) {
            return c.category() == QChar::Other_Control;
        }))
        return u"用户名不能以空格开头或结尾，也不能含控制字符"_s;
    if (role != u"admin"_s && role != u"viewer"_s)
        return u"角色只能是管理员或查看者"_s;
    if (role == u"admin"_s && !terminals.isEmpty())
        return u"管理员查看全部终端，不能指定终端"_s;
    for (const QString &t : terminals) {
        if (!known.contains(t))
            return u"未知终端：%1"_s.arg(t.left(64));
    }
    return {};
}

QString passwordProblem(const QString &password)
{
    if (password.size() < 8 || password.size() > 256)
        return u"密码至少 8 个字符，最多 256 个字符"_s;
    return {};
}

namespace {

// Outcome of a guarded change: the first statement counts the accounts of that name, the
// second makes the change unless it would leave no administrator. The table is locked for the
// transaction, so two administrators changing each other at once cannot both succeed.
AccountChange guarded(Central &db, const QString &name, const QString &change,
                      const QVariantList &values)
{
    const auto results =
        db.transaction({{u"lock table 网页用户 in share row exclusive mode"_s, {}},
                        {u"select count(*) from 网页用户 where 名称 = ?"_s, {name}},
                        {change, values}});
    if (results[1].first()[0].toLongLong() == 0)
        return AccountChange::Missing;
    return results[2].isEmpty() ? AccountChange::LastAdmin : AccountChange::Done;
}

// True when, apart from the account of the statement's first name value, an administrator
// remains.
const QString OtherAdmin =
    u"exists (select 1 from 网页用户 o where o.角色 = 'admin' and o.名称 <> ?)"_s;

} // namespace

AccountChange addAccount(Central &db, const Account &account)
{
    const auto rows =
        db.select(u"insert into 网页用户 (名称, 角色, 口令, 终端) values (?, ?, ?, ?) "
                  "on conflict (名称) do nothing returning 名称"_s,
                  {account.name, account.role, account.hash, terminalsValue(account.terminals)});
    return rows.isEmpty() ? AccountChange::Exists : AccountChange::Done;
}

AccountChange changeAccount(Central &db, const QString &name, const QString &role,
                            const QStringList &terminals)
{
    return guarded(db, name,
                   u"update 网页用户 set 角色 = ?, 终端 = ? where 名称 = ? and "
                   "(cast(? as text) = 'admin' or "_s +
                       OtherAdmin + u") returning 1"_s,
                   {role, terminalsValue(terminals), name, role, name});
}

AccountChange setPassword(Central &db, const QString &name, const QString &hash)
{
    const auto rows =
        db.select(u"update 网页用户 set 口令 = ? where 名称 = ? returning 1"_s, {hash, name});
    return rows.isEmpty() ? AccountChange::Missing : AccountChange::Done;
}

AccountChange deleteAccount(Central &db, const QString &name)
{
    return guarded(db, name,
                   u"delete from 网页用户 where 名称 = ? and "_s + OtherAdmin + u" returning 1"_s,
                   {name, name});
}

QStringList knownTerminals(Central &db)
{
    // The distinct kiosks of 评价 by skipping along its (终端, 序号) index, one probe per kiosk.
    const auto rows = db.select(
        u"with recursive t(v) as (select min(终端) from 评价 union all "
        "select (select min(终端) from 评价 where 终端 > t.v) from t where t.v is not null) "
        "select v from t where v is not null union select 终端 from 终端大厅 "
        "union select 终端 from 终端状态 order by 1"_s);
    QStringList list;
    for (const QVariantList &r : rows)
        list.append(r[0].toString());
    return list;
}

QList<QPair<QString, QString>> halls(Central &db)
{
    QList<QPair<QString, QString>> list;
    for (const QVariantList &r :
         db.select(u"select 终端, 大厅 from 终端大厅 order by 大厅, 终端"_s))
        list.append({r[0].toString(), r[1].toString()});
    return list;
}

void setHall(Central &db, const QString &terminal, const QString &hall)
{
    if (hall.isEmpty())
        db.execute(u"delete from 终端大厅 where 终端 = ?"_s, {terminal});
    else
        db.execute(u"insert into 终端大厅 (终端, 大厅) values (?, ?) "
                   "on conflict (终端) do update set 大厅 = excluded.大厅"_s,
                   {terminal, hall});
}

int minimumRatings(Central &db)
{
    const auto rows = db.select(u"select 值 from 网页设置 where 键 = 'minimum'"_s);
    bool ok = false;
    const int value = rows.isEmpty() ? 0 : rows.first()[0].toString().toInt(&ok);
    return ok && value >= 0 ? value : DefaultMinimumRatings;
}

void setMinimumRatings(Central &db, int minimum)
{
    db.execute(u"insert into 网页设置 (键, 值) values ('minimum', ?) "
               "on conflict (键) do update set 值 = excluded.值"_s,
               {QString::number(minimum)});
}

namespace {

// The overview's counts of recent requests, each with the change mark of the daily counts it
// was read with. An answer whose mark still stands is given again without reading; one that
// is out of date is read anew by one request while the others asking the same meanwhile get
// the last answer (at most one reading old).
struct CountsCache
{
    struct Entry
    {
        qint64 mark = -1;
        bool reading = false;
        ScopedCounts counts;
        bool valid = false;
    };
    static constexpr int MaxEntries = 64;
    QMutex mutex;
    QHash<QString, Entry> entries;
};
CountsCache countsCache;

const QString ChangeMark = u"select coalesce(sum(版本), 0)::bigint from 评价_变更"_s;

// The marked suspected repeats of the daily counts in a date range (two bound values), with
// more conditions after it, per column (名称, 日期 or 终端) and grade.
QString repeatsStatement(const QString &column, const QString &conditions)
{
    return u"select %1, 综合评价, sum(数量)::bigint from 评价_日计_疑似重复 "
           "where 日期 >= ? and 日期 <= ?%2 group by %1, 综合评价"_s.arg(column, conditions);
}

} // namespace

ScopedCounts readScopedCounts(Central &db, const QDate &from, const QDate &to,
                              const std::optional<QStringList> &terminals)
{
    const QString scope = terminals ? InTerminals : QString();
    QVariantList values = {from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s)};
    if (terminals)
        values.append(terminalsValue(*terminals));
    const QString key = values[0].toString() + u'|' + values[1].toString() + u'|' +
                        (terminals ? values[2].toString() : QString());
    const qint64 mark = db.select(ChangeMark).first()[0].toLongLong();
    {
        QMutexLocker lock(&countsCache.mutex);
        CountsCache::Entry &entry = countsCache.entries[key];
        if (entry.valid && (entry.mark == mark || entry.reading))
            return entry.counts;
        entry.reading = true;
    }
    const auto done = [&](const std::optional<ScopedCounts> &counts, qint64 readMark) {
        QMutexLocker lock(&countsCache.mutex);
        if (countsCache.entries.size() > CountsCache::MaxEntries)
            countsCache.entries.clear();
        CountsCache::Entry &entry = countsCache.entries[key];
        entry.reading = false;
        if (counts) {
            entry.counts = *counts;
            entry.mark = readMark;
            entry.valid = true;
        }
    };
    try {
        // The mark is read in the same snapshot as the counts, so it is the mark of exactly
        // what was read.
        const auto rows =
            db.selectTogether({{ChangeMark, {}},
                               {u"select 名称, 综合评价, sum(数量)::bigint from 评价_日计 "
                                "where 日期 >= ? and 日期 <= ?"_s +
                                    scope + u" group by 名称, 综合评价"_s,
                                values},
                               {u"select 日期, 综合评价, sum(数量)::bigint from 评价_日计 "
                                "where 日期 >= ? and 日期 <= ?"_s +
                                    scope + u" group by 日期, 综合评价"_s,
                                values},
                               {repeatsStatement(u"名称"_s, scope), values},
                               {repeatsStatement(u"日期"_s, scope), values}});
        ScopedCounts counts;
        for (const QVariantList &r : rows[1])
            counts.byName.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
        for (const QVariantList &r : rows[2])
            counts.byDay.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
        // The marked suspected repeats leave the counts.
        QList<reports::NameGradeCount> repeatsByName;
        for (const QVariantList &r : rows[3]) {
            repeatsByName.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
            counts.suspectedRepeats += r[2].toLongLong();
        }
        QList<reports::DayGradeCount> repeatsByDay;
        for (const QVariantList &r : rows[4])
            repeatsByDay.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
        counts.byName = reports::withoutRepeats(counts.byName, repeatsByName);
        counts.byDay = reports::withoutRepeats(counts.byDay, repeatsByDay);
        done(counts, rows[0].first()[0].toLongLong());
        return counts;
    } catch (...) {
        done(std::nullopt, 0);
        throw;
    }
}

QList<reports::NameReasonCount> readScopedReasonCounts(Central &db, const QDate &from,
                                                       const QDate &to,
                                                       const std::optional<QStringList> &terminals)
{
    QList<reports::NameReasonCount> counts;
    const QList<QVariantList> exists =
        db.select(u"select to_regclass('评价_原因_日计') is not null"_s);
    if (exists.isEmpty() || !exists[0][0].toBool())
        return counts;
    QVariantList values = {from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s)};
    if (terminals)
        values.append(terminalsValue(*terminals));
    for (const QVariantList &r :
         db.select(u"select 名称, 原因, sum(数量)::bigint from 评价_原因_日计 "
                   "where 日期 >= ? and 日期 <= ?"_s +
                       (terminals ? InTerminals : QString()) + u" group by 名称, 原因"_s,
                   values))
        counts.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
    return reports::reasonRows(counts);
}

NameCounts readNameCounts(Central &db, const QString &name, const QDate &from, const QDate &to,
                          const std::optional<QStringList> &terminals)
{
    const QString scope = terminals ? InTerminals : QString();
    QVariantList values = {name, from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s)};
    if (terminals)
        values.append(terminalsValue(*terminals));
    QVariantList repeatValues = {from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s),
                                 name};
    if (terminals)
        repeatValues.append(terminalsValue(*terminals));
    NameCounts counts;
    for (const QVariantList &r :
         db.select(u"select 日期, 综合评价, sum(数量)::bigint from 评价_日计 "
                   "where 名称 = ? and 日期 >= ? and 日期 <= ?"_s +
                       scope + u" group by 日期, 综合评价"_s,
                   values))
        counts.byDay.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
    for (const QVariantList &r :
         db.select(u"select 终端, 综合评价, sum(数量)::bigint from 评价_日计 "
                   "where 名称 = ? and 日期 >= ? and 日期 <= ?"_s +
                       scope + u" group by 终端, 综合评价"_s,
                   values))
        counts.byTerminal.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
    // The marked suspected repeats of the name leave its counts.
    const auto marks = db.selectTogether(
        {{repeatsStatement(u"日期"_s, u" and 名称 = ?"_s + scope), repeatValues},
         {repeatsStatement(u"终端"_s, u" and 名称 = ?"_s + scope), repeatValues}});
    QList<reports::DayGradeCount> repeatsByDay;
    for (const QVariantList &r : marks[0]) {
        repeatsByDay.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
        counts.suspectedRepeats += r[2].toLongLong();
    }
    QList<reports::NameGradeCount> repeatsByTerminal;
    for (const QVariantList &r : marks[1])
        repeatsByTerminal.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
    counts.byDay = reports::withoutRepeats(counts.byDay, repeatsByDay);
    counts.byTerminal = reports::withoutRepeats(counts.byTerminal, repeatsByTerminal);
    return counts;
}

QStringList ratedNames(Central &db, const std::optional<QStringList> &terminals)
{
    QVariantList values;
    if (terminals)
        values.append(terminalsValue(*terminals));
    QStringList names;
    for (const QVariantList &r :
         db.select(u"select distinct 名称 from 评价_日计 where true"_s +
                       (terminals ? InTerminals : QString()) + u" order by 1"_s,
                   values))
        names.append(r[0].toString());
    return names;
}

QList<TerminalState> terminalStates(Central &db, const std::optional<QStringList> &terminals)
{
    QStringList names = knownTerminals(db);
    if (terminals)
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [&](const QString &n) { return !terminals->contains(n); }),
                    names.end());
    // One statement for every kiosk: its newest rating by one look-up in the key's index
    // (a kiosk's numbers only grow), its hall and its forwarder's last report.
    const auto rows =
        db.select(u"select t.终端, h.大厅, (select e.接收时间 from 评价 e where e.终端 = t.终端 "
                  "order by e.序号 desc limit 1), s.最近联系, s.待发送, s.版本, s.可用空间 "
                  "from jsonb_array_elements_text(?::jsonb) with ordinality t(终端, n) "
                  "left join 终端大厅 h on h.终端 = t.终端 left join 终端状态 s on s.终端 = t.终端 "
                  "order by t.n"_s,
                  {terminalsValue(names)});
    QList<TerminalState> states;
    for (const QVariantList &r : rows) {
        TerminalState state;
        state.terminal = r[0].toString();
        state.hall = r[1].toString();
        state.lastRating = r[2].toDateTime();
        state.lastContact = r[3].toDateTime();
        state.pending = r[4].isNull() ? -1 : r[4].toLongLong();
        state.version = r[5].toString();
        state.freeBytes = r[6].isNull() ? -1 : r[6].toLongLong();
        states.append(state);
    }
    return states;
}

} // namespace web
