#include "web/casedata.h"

#include "central/centralstatements.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace web {

namespace {

const QString CaseColumns =
    u"select c.编号, c.终端, c.序号, c.状态, c.开立时间, c.回访时间, c.整改时间, c.办结时间, "
    "coalesce(h.大厅, ''), coalesce(r.名称, ''), coalesce(r.日期, ''), coalesce(r.时间, ''), "
    "coalesce(r.综合评价, ''), r.接收时间 from 差评案件 c "
    "left join 评价 r on r.终端 = c.终端 and r.序号 = c.序号 "
    "left join 终端大厅 h on h.终端 = c.终端 "_s;

QString terminalsValue(const QStringList &terminals)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(terminals)).toJson(QJsonDocument::Compact));
}

CaseRow caseRow(const QVariantList &r)
{
    CaseRow row;
    row.id = r[0].toLongLong();
    row.terminal = r[1].toString();
    row.seq = r[2].toLongLong();
    row.state = cases::stateFromName(r[3].toString()).value_or(cases::State::Pending);
    row.opened = r[4].toDateTime();
    row.calledBack = r[5].toDateTime();
    row.rectified = r[6].toDateTime();
    row.finished = r[7].toDateTime();
    row.hall = r[8].toString();
    row.name = r[9].toString();
    row.date = r[10].toString();
    row.time = r[11].toString();
    row.grade = r[12].toString();
    row.received = r[13].toDateTime();
    return row;
}

QDate localDay(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().date() : QDate();
}

int settingValue(Central &db, const QString &key, int fallback)
{
    const auto rows = db.select(u"select 值 from 网页设置 where 键 = ?"_s, {key});
    bool ok = false;
    const int value = rows.isEmpty() ? 0 : rows.first()[0].toString().toInt(&ok);
    return ok ? value : fallback;
}

} // namespace

void ensureCaseSchema(Central &db)
{
    if (!db.select(u"select to_regclass('工作日历') is not null and "
                   "to_regclass('差评案件_记录') is not null"_s)
             .first()[0]
             .toBool()) {
        QList<QPair<QString, QVariantList>> statements;
        for (const QString &s : central::schemaStatements())
            statements.append({s, {}});
        db.transaction(statements);
    }
}

cases::CaseDays CaseRow::days() const
{
    return {state, localDay(opened), localDay(calledBack), localDay(rectified)};
}

QList<CaseRow> findCases(Central &db, const CaseFilter &filter)
{
    QString where = u"where true"_s;
    QVariantList values;
    if (filter.terminals) {
        where += u" and c.终端 in (select jsonb_array_elements_text(?::jsonb))"_s;
        values.append(terminalsValue(*filter.terminals));
    }
    if (filter.state) {
        where += u" and c.状态 = ?"_s;
        values.append(cases::stateName(*filter.state));
    }
    if (!filter.name.isEmpty()) {
        where += u" and strpos(r.名称, ?) > 0"_s;
        values.append(filter.name);
    }
    QList<CaseRow> list;
    for (const QVariantList &r :
         db.select(CaseColumns + where + u" order by c.编号 desc"_s, values))
        list.append(caseRow(r));
    return list;
}

std::optional<CaseRow> findCase(Central &db, qint64 id)
{
    const auto rows = db.select(CaseColumns + u"where c.编号 = ?"_s, {id});
    if (rows.isEmpty())
        return std::nullopt;
    return caseRow(rows.first());
}

std::optional<qint64> caseOfRating(Central &db, const QString &terminal, qint64 seq)
{
    const auto rows =
        db.select(u"select 编号 from 差评案件 where 终端 = ? and 序号 = ?"_s, {terminal, seq});
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first()[0].toLongLong();
}

QList<CaseStep> caseHistory(Central &db, qint64 id)
{
    QList<CaseStep> steps;
    for (const QVariantList &r :
         db.select(u"select 时间, 操作人, coalesce(原状态, ''), 新状态, 说明 from 差评案件_记录 "
                   "where 案件 = ? order by 编号"_s,
                   {id}))
        steps.append({r[0].toDateTime(), r[1].toString(), r[2].toString(), r[3].toString(),
                      r[4].toString()});
    return steps;
}

QStringList caseReasons(Central &db, const QString &terminal, qint64 seq)
{
    // Older central databases have no reasons table: nothing to show then.
    if (!db.select(u"select to_regclass('评价_原因') is not null"_s).first()[0].toBool())
        return {};
    QStringList reasons;
    for (const QVariantList &r :
         db.select(u"select 原因 from 评价_原因 where 终端 = ? and 序号 = ? order by 原因"_s,
                   {terminal, seq}))
        reasons.append(r[0].toString());
    return reasons;
}

bool takeStep(Central &db, qint64 id, cases::State from, cases::State to, const QString &user,
              const QDateTime &time, const QString &note)
{
    const QString stamp = time.toUTC().toString(Qt::ISODateWithMs);
    const QString toName = cases::stateName(to);
    const QString column = to == cases::State::CalledBack  ? u"回访时间"_s
                           : to == cases::State::Rectified ? u"整改时间"_s
                                                           : u"办结时间"_s;
    return !db.select(u"with u as (update 差评案件 set 状态 = ?, "_s + column +
                          u" = ?::timestamptz where 编号 = ? and 状态 = ? returning 编号) "
                          "insert into 差评案件_记录 (案件, 原状态, 新状态, 操作人, 时间, 说明) "
                          "select 编号, ?, ?, ?, ?::timestamptz, ? from u returning 案件"_s,
                      {toName, stamp, id, cases::stateName(from), cases::stateName(from), toName,
                       user, stamp, note})
                .isEmpty();
}

cases::Deadlines caseDeadlines(Central &db)
{
    const cases::Deadlines defaults;
    const cases::Deadlines stored{settingValue(db, u"case_callback_days"_s, defaults.callbackDays),
                                  settingValue(db, u"case_rectify_days"_s, defaults.rectifyDays)};
    return cases::deadlinesRefusal(stored) ? defaults : stored;
}

void setCaseDeadlines(Central &db, const cases::Deadlines &deadlines)
{
    const QString statement = u"insert into 网页设置 (键, 值) values (?, ?) "
                              "on conflict (键) do update set 值 = excluded.值"_s;
    db.transaction({{statement, {u"case_callback_days"_s, QString::number(deadlines.callbackDays)}},
                    {statement, {u"case_rectify_days"_s, QString::number(deadlines.rectifyDays)}}});
}

QList<CalendarDay> calendarDays(Central &db)
{
    QList<CalendarDay> days;
    for (const QVariantList &r : db.select(
             u"select to_char(日期, 'YYYY-MM-DD'), 类型, 说明 from 工作日历 order by 日期"_s)) {
        const auto kind = cases::dayKindFromName(r[1].toString());
        if (kind)
            days.append(
                {QDate::fromString(r[0].toString(), u"yyyy-MM-dd"_s), *kind, r[2].toString()});
    }
    return days;
}

cases::WorkCalendar workCalendar(const QList<CalendarDay> &days)
{
    cases::WorkCalendar calendar;
    for (const CalendarDay &d : days)
        calendar.setDay(d.date, d.kind);
    return calendar;
}

void setCalendarDay(Central &db, const CalendarDay &day)
{
    db.execute(u"insert into 工作日历 (日期, 类型, 说明) values (?::date, ?, coalesce(?, '')) "
               "on conflict (日期) "
               "do update set 类型 = excluded.类型, 说明 = excluded.说明"_s,
               {day.date.toString(u"yyyy-MM-dd"_s), cases::dayKindName(day.kind), day.note});
}

void removeCalendarDay(Central &db, const QDate &date)
{
    db.execute(u"delete from 工作日历 where 日期 = ?::date"_s, {date.toString(u"yyyy-MM-dd"_s)});
}

QList<CaseTimes> caseTimes(Central &db, const std::optional<QStringList> &terminals,
                           const QDate &from, const QDate &to)
{
    QVariantList values = {from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s)};
    QString where;
    if (terminals) {
        where = u" where c.终端 in (select jsonb_array_elements_text(?::jsonb))"_s;
        values.append(terminalsValue(*terminals));
    }
    QList<CaseTimes> list;
    for (const QVariantList &r :
         db.select(u"select c.状态, c.开立时间, c.回访时间, c.整改时间, "
                   "coalesce(r.日期 >= ? and r.日期 <= ?, false) from 差评案件 c "
                   "left join 评价 r on r.终端 = c.终端 and r.序号 = c.序号"_s +
                       where,
                   values))
        list.append({{cases::stateFromName(r[0].toString()).value_or(cases::State::Pending),
                      localDay(r[1].toDateTime()), localDay(r[2].toDateTime()),
                      localDay(r[3].toDateTime())},
                     r[4].toBool()});
    return list;
}

} // namespace web
