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
#include <functional>
#include <optional>

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

// The marks of the current request on this thread (see RequestMarks).
struct ThreadMarks
{
    const Central *owner = nullptr;
    std::optional<Marks> marks;
};
thread_local ThreadMarks threadMarks;

// Values kept in memory, each with the marks it was read under. A value whose marks still
// stand is given again without reading. With shared, a value out of date is read anew by one
// request while the others asking the same meanwhile get the last one (at most one reading
// old); without, every request whose marks differ reads.
template <typename T> class MarkedCache
{
public:
    explicit MarkedCache(bool shared) : m_shared(shared) {}

    // read gives the value and the marks it was read under.
    T get(const QString &key, const QString &marks,
          const std::function<std::pair<T, QString>()> &read)
    {
        {
            QMutexLocker lock(&m_mutex);
            Entry &entry = m_entries[key];
            if (entry.valid && (entry.marks == marks || (m_shared && entry.reading)))
                return entry.value;
            entry.reading = true;
        }
        std::optional<std::pair<T, QString>> fresh;
        try {
            fresh = read();
        } catch (...) {
            done(key, std::nullopt);
            throw;
        }
        done(key, fresh);
        return fresh->first;
    }

private:
    struct Entry
    {
        QString marks;
        bool reading = false;
        bool valid = false;
        T value{};
    };
    static constexpr int MaxEntries = 64;

    void done(const QString &key, const std::optional<std::pair<T, QString>> &fresh)
    {
        QMutexLocker lock(&m_mutex);
        if (m_entries.size() > MaxEntries)
            m_entries.clear();
        Entry &entry = m_entries[key];
        entry.reading = false;
        if (fresh) {
            entry.value = fresh->first;
            entry.marks = fresh->second;
            entry.valid = true;
        }
    }

    const bool m_shared;
    QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};

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
    return inTransaction(u"begin isolation level repeatable read read only"_s, statements);
}

QList<QList<QVariantList>>
Central::transaction(const QList<QPair<QString, QVariantList>> &statements)
{
    return inTransaction(u"begin"_s, statements);
}

QList<QList<QVariantList>>
Central::inTransaction(const QString &begin, const QList<QPair<QString, QVariantList>> &statements)
{
    return retried(m_connection, [&](QSqlDatabase &db) {
        run(db, begin, {}, m_connection);
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

Marks Central::marks()
{
    if (threadMarks.owner == this && threadMarks.marks)
        return *threadMarks.marks;
    const QVariantList r =
        select(u"select (select coalesce(sum(版本), 0)::bigint from 评价_变更), "
               "(select 版本 from 网页_版本), "
               "(select count(*) || ' ' || coalesce(max(最近联系)::text, '') from 终端状态), "
               "(select 值 from 网页设置 where 键 = 'minimum')"_s)
            .first();
    Marks marks;
    marks.ratings = r[0].toLongLong();
    marks.settings = r[1].isNull() ? -1 : r[1].toLongLong();
    marks.states = r[2].toString();
    bool ok = false;
    const int minimum = r[3].toString().toInt(&ok);
    marks.minimum = ok && minimum >= 0 ? minimum : DefaultMinimumRatings;
    if (threadMarks.owner == this)
        threadMarks.marks = marks;
    return marks;
}

RequestMarks::RequestMarks(Central &db)
{
    threadMarks = {&db, std::nullopt};
}

RequestMarks::~RequestMarks()
{
    threadMarks = {};
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
        // The accounts' and halls' mark: one row, raised in the transaction of every change,
        // so a reader of the mark never keeps an account older than the mark says.
        {u"create table if not exists 网页_版本 (行 boolean primary key default true check (行), "
         "版本 bigint not null)"_s,
         {}},
        {u"insert into 网页_版本 (行, 版本) values (true, 0) on conflict do nothing"_s, {}},
        {u"create or replace function 网页_版本_增() returns trigger language plpgsql as $$ "
         "begin update 网页_版本 set 版本 = 版本 + 1; return null; end $$"_s,
         {}},
        {u"create or replace trigger 网页_版本_用户 after insert or update or delete or truncate "
         "on 网页用户 for each statement execute function 网页_版本_增()"_s,
         {}},
        {u"create or replace trigger 网页_版本_大厅 after insert or update or delete or truncate "
         "on 终端大厅 for each statement execute function 网页_版本_增()"_s,
         {}},
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

std::optional<Account> sessionAccount(Central &db, const QString &name)
{
    static MarkedCache<std::optional<Account>> cache(false);
    const QString marks = QString::number(db.marks().settings);
    return cache.get(name, marks, [&] {
        // Read after the marks: a change committed in between is read and kept under the
        // older marks, so it is only read once more.
        return std::pair{findAccount(db, name), marks};
    });
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

namespace {

// The distinct kiosks of 评价 by skipping along its (终端, 序号) index, one probe per kiosk,
// with those of the halls and the reports, as a statement's first part (名单).
const QString KnownTerminals =
    u"with recursive t(v) as (select min(终端) from 评价 union all "
    "select (select min(终端) from 评价 where 终端 > t.v) from t where t.v is not null), "
    "名单 (终端) as (select v from t where v is not null union select 终端 from 终端大厅 "
    "union select 终端 from 终端状态) "_s;

// The marks the kiosks' list and states depend on.
QString stateMarks(Central &db)
{
    const Marks m = db.marks();
    return u"%1|%2|%3"_s.arg(m.ratings).arg(m.settings).arg(m.states);
}

} // namespace

QStringList knownTerminals(Central &db)
{
    static MarkedCache<QStringList> cache(true);
    const QString marks = stateMarks(db);
    return cache.get({}, marks, [&] {
        QStringList list;
        for (const QVariantList &r :
             db.select(KnownTerminals + u"select 终端 from 名单 order by 1"_s))
            list.append(r[0].toString());
        return std::pair{list, marks};
    });
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
    return db.marks().minimum;
}

void setMinimumRatings(Central &db, int minimum)
{
    db.execute(u"insert into 网页设置 (键, 值) values ('minimum', ?) "
               "on conflict (键) do update set 值 = excluded.值"_s,
               {QString::number(minimum)});
}

namespace {

const QString ChangeMark = u"select coalesce(sum(版本), 0)::bigint from 评价_变更"_s;

// The marked suspected repeats of the daily counts in a date range (two bound values), with
// more conditions after it, per column (名称, 日期 or 终端) and grade.
QString repeatsStatement(const QString &column, const QString &conditions)
{
    return u"select %1, 综合评价, sum(数量)::bigint from 评价_日计_疑似重复 "
           "where 日期 >= ? and 日期 <= ?%2 group by %1, 综合评价"_s.arg(column, conditions);
}

template <typename Count> QList<Count> countRows(const QList<QVariantList> &rows)
{
    QList<Count> counts;
    for (const QVariantList &r : rows)
        counts.append({r[0].toString(), r[1].toString(), r[2].toLongLong()});
    return counts;
}

qint64 total(const QList<reports::NameGradeCount> &counts)
{
    qint64 sum = 0;
    for (const auto &c : counts)
        sum += c.count;
    return sum;
}

} // namespace

ScopedCounts readScopedCounts(Central &db, const QDate &from, const QDate &to,
                              const std::optional<QStringList> &terminals)
{
    static MarkedCache<ScopedCounts> cache(true);
    const QString scope = terminals ? InTerminals : QString();
    QVariantList values = {from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s)};
    QVariantList scoped;
    if (terminals) {
        values.append(terminalsValue(*terminals));
        scoped.append(values[2]);
    }
    const QString key = values[0].toString() + u'|' + values[1].toString() + u'|' +
                        (terminals ? values[2].toString() : QString());
    return cache.get(key, QString::number(db.marks().ratings), [&] {
        // The mark is read in the same snapshot as the counts, so it is the mark of exactly
        // what was read. Whole months come from the monthly counts, the days from the daily
        // counts per kiosk.
        const auto rows = db.selectTogether(
            {{ChangeMark, {}},
             {central::countsPerNameAndGradeByMonths(from, to, terminals.has_value()), scoped},
             {central::countsPerDayAndGradeOfTerminals(from, to, terminals.has_value()), scoped},
             {repeatsStatement(u"名称"_s, scope), values},
             {repeatsStatement(u"日期"_s, scope), values},
             {u"select 名称, 原因, sum(数量)::bigint from 评价_原因_日计 "
              "where 日期 >= ? and 日期 <= ?"_s +
                  scope + u" group by 名称, 原因"_s,
              values}});
        ScopedCounts counts;
        // The marked suspected repeats leave the counts.
        const auto repeatsByName = countRows<reports::NameGradeCount>(rows[3]);
        counts.suspectedRepeats = total(repeatsByName);
        counts.byName =
            reports::withoutRepeats(countRows<reports::NameGradeCount>(rows[1]), repeatsByName);
        counts.byDay = reports::withoutRepeats(countRows<reports::DayGradeCount>(rows[2]),
                                               countRows<reports::DayGradeCount>(rows[4]));
        counts.reasons = reports::reasonRows(countRows<reports::NameReasonCount>(rows[5]));
        counts.mark = rows[0].first()[0].toLongLong();
        return std::pair{counts, QString::number(counts.mark)};
    });
}

QList<reports::NameReasonCount> readScopedReasonCounts(Central &db, const QDate &from,
                                                       const QDate &to,
                                                       const std::optional<QStringList> &terminals)
{
    return readScopedCounts(db, from, to, terminals).reasons;
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
    // From the monthly counts, with the names of the few days that are no calendar date (which
    // only the daily counts hold): far fewer rows than the daily counts.
    const QString scope = terminals ? InTerminals : QString();
    if (terminals)
        values.append(values[0]);
    for (const QVariantList &r :
         db.select(u"select 名称 from 评价_月计 where true"_s + scope +
                       u" union select 名称 from 评价_日计 where not 评价_是日期(日期)"_s + scope +
                       u" order by 1"_s,
                   values))
        names.append(r[0].toString());
    return names;
}

QList<TerminalState> terminalStates(Central &db, const std::optional<QStringList> &terminals,
                                    QString *readUnder)
{
    static MarkedCache<std::pair<QList<TerminalState>, QString>> cache(true);
    const QString marks = stateMarks(db);
    const QVariantList values =
        terminals ? QVariantList{terminalsValue(*terminals)} : QVariantList();
    const auto [list, listMarks] = cache.get(terminals ? values[0].toString() : u"*"_s, marks, [&] {
        // One statement for every kiosk: its newest rating by one look-up in the key's index
        // (a kiosk's numbers only grow), its hall and its forwarder's last report.
        const auto rows = db.select(
            KnownTerminals +
                u"select t.终端, h.大厅, (select e.接收时间 from 评价 e where e.终端 = t.终端 "
                "order by e.序号 desc limit 1), s.最近联系, s.待发送, s.版本, s.可用空间 "
                "from 名单 t left join 终端大厅 h on h.终端 = t.终端 "
                "left join 终端状态 s on s.终端 = t.终端"_s +
                (terminals ? u" where t.终端 in (select jsonb_array_elements_text(?::jsonb))"_s
                           : QString()) +
                u" order by t.终端"_s,
            values);
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
        return std::pair{std::pair{states, marks}, marks};
    });
    if (readUnder)
        *readUnder = listMarks;
    return list;
}

} // namespace web
