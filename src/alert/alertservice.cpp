#include "alert/alertservice.h"

#include "alert/alertschema.h"
#include "alert/pgconnection.h"
#include "cases/workcalendar.h"
#include "central/centralstatements.h"
#include "platform/error.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace alert {

namespace {

const QStringList BadGrades = {u"不满意"_s, u"非常不满意"_s};

QString jsonList(const QStringList &list)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact));
}

QStringList parseList(const QString &text)
{
    QStringList list;
    for (const QJsonValue &v : QJsonDocument::fromJson(text.toUtf8()).array())
        list.append(v.toString());
    return list;
}

// The clock's milliseconds as the server's timestamp (a number of our own, written in).
QString at(qint64 ms)
{
    return u"to_timestamp(%1 / 1000.0)"_s.arg(ms);
}

struct Rule
{
    qint64 id = 0;
    QString type;
    int bad = 0, of = 0, belowTenths = 0, minimum = 0;
    QStringList channels, terminals;
    QString hours;
    bool enabled = true;
    qint64 createdMs = 0;
    bool covers(const QString &terminal) const
    {
        return terminals.isEmpty() || terminals.contains(terminal);
    }
    // The terminals as a JSON array for the statements, or null for every kiosk.
    QString terminalFilter() const { return terminals.isEmpty() ? QString() : jsonList(terminals); }
};

// The rules the service applies, or with all also those switched off.
QList<Rule> loadRules(PgConnection &db, bool all = false)
{
    QList<Rule> rules;
    for (const QStringList &r :
         db.query(u"select 编号, 类型, coalesce(差评数, 0), coalesce(评价数, 0), "
                  "coalesce(round(低于 * 10), 0), coalesce(最少, 0), 渠道, 终端, 时段, "
                  "not 停用, round(extract(epoch from 创建) * 1000) from 告警_规则 %1 "
                  "order by 编号"_s.arg(all ? QString() : u"where not 停用"_s))) {
        rules.append({r[0].toLongLong(), r[1], r[2].toInt(), r[3].toInt(), r[4].toInt(),
                      r[5].toInt(), parseList(r[6]),
                      r[7].isEmpty() ? QStringList() : parseList(r[7]), r[8], r[9] == u"t"_s,
                      r[10].toLongLong()});
    }
    return rules;
}

QString ruleWhat(const Rule &r)
{
    if (r.type == u"bad"_s)
        return u"每条差评"_s;
    if (r.type == u"run"_s)
        return u"最近 %1 条评价中至少 %2 条差评"_s.arg(r.of).arg(r.bad);
    if (r.type == u"overdue"_s)
        return u"案件超过回访或整改期限"_s;
    return u"大厅最近 60 分钟满意度得分低于 %1（至少 %2 条评价）"_s
        .arg(u"%1.%2"_s.arg(r.belowTenths / 10).arg(r.belowTenths % 10))
        .arg(r.minimum);
}

// Writes one alert into the outbox for each channel of the rule, in the caller's transaction.
void queueAlert(PgConnection &db, const Rule &rule, AlertFacts &facts, const QString &terminal,
                const QString &number)
{
    for (const QString &channel : rule.channels) {
        facts.number = db.value(u"select nextval(pg_get_serial_sequence('告警_发件箱', '编号'))"_s)
                           .toLongLong();
        db.execute(u"insert into 告警_发件箱 (编号, 规则, 渠道, 终端, 序号, 标题, 正文, 摘要) "
                   "values (cast(? as bigint), cast(? as bigint), ?, ?, cast(? as bigint), ?, "
                   "?, ?)"_s,
                   {QString::number(facts.number), QString::number(rule.id), channel, terminal,
                    number, alertTitle(facts), alertText(facts), alertSummary(facts)});
    }
}

reports::Figures figuresOf(const QList<QStringList> &gradeCounts)
{
    reports::Figures figures;
    for (const QStringList &row : gradeCounts) {
        const int column = reports::gradeColumn(row[0]);
        if (column >= 0)
            figures.per[size_t(column)] += row[1].toLongLong();
    }
    reports::deriveFigures(figures);
    return figures;
}

QString scoreText(int tenths)
{
    return u"%1.%2"_s.arg(tenths / 10).arg(tenths % 10);
}

// A rating as the rules see it.
struct Rating
{
    QString terminal, number, name, date, time, grade;
};

QString caseLink(const QString &dashboard, const Rating &rating)
{
    if (dashboard.isEmpty())
        return {};
    return u"%1/case?terminal=%2&seq=%3"_s.arg(
        dashboard, QString::fromLatin1(QUrl::toPercentEncoding(rating.terminal)), rating.number);
}

} // namespace

void createSchema(PgConnection &db)
{
    inTransaction(db, [&] {
        for (const QString &statement : central::schemaStatements())
            db.execute(statement);
        for (const QString &statement : schemaStatements())
            db.execute(statement);
    });
    for (const QString &statement : indexStatements())
        db.execute(statement);
}

void saveChannel(PgConnection &db, const ChannelSpec &c)
{
    db.execute(u"insert into 告警_渠道 (名称, 类型, 地址, 密钥, 格式, 发件人, 收件人) "
               "values (?, ?, ?, ?, ?, ?, ?) on conflict (名称) do update set "
               "类型 = excluded.类型, 地址 = excluded.地址, 密钥 = excluded.密钥, "
               "格式 = excluded.格式, 发件人 = excluded.发件人, 收件人 = excluded.收件人, "
               "状态 = '正常', 最近错误 = '', 失败起始 = null, 连续失败 = 0, 重试时间 = null"_s,
               {c.name, c.type, c.url, c.secret + u""_s, c.format, c.from + u""_s,
                c.to.join(u',') + u""_s});
}

MissingChannel::MissingChannel(const QString &name)
    : KioskError(u"没有这个渠道：%1（请先用 --add-channel 添加）"_s.arg(name)), channel(name)
{
}

ChannelInUse::ChannelInUse(qint64 rule, const QString &name)
    : KioskError(u"规则 %1 仍发送到渠道 %2，请先删除该规则"_s.arg(rule).arg(name)), rule(rule)
{
}

qint64 addRule(PgConnection &db, const RuleSpec &r)
{
    return inTransaction(db, [&] {
        for (const QString &channel : r.channels) {
            // Held until the rule is stored, so the channel cannot go meanwhile.
            if (db.value(u"select 1 from 告警_渠道 where 名称 = ? for share"_s, {channel}).isNull())
                throw MissingChannel(channel);
        }
        auto number = [](int value, bool used) {
            return used ? QString::number(value) : QString();
        };
        return db
            .value(u"insert into 告警_规则 (类型, 差评数, 评价数, 低于, 最少, 渠道, 终端, 时段) "
                   "values (?, cast(? as int), cast(? as int), cast(? as numeric) / 10, "
                   "cast(? as int), ?, ?, ?) returning 编号"_s,
                   {r.type, number(r.bad, r.type == u"run"_s), number(r.of, r.type == u"run"_s),
                    number(r.belowTenths, r.type == u"hour"_s),
                    number(r.minimum, r.type == u"hour"_s), jsonList(r.channels),
                    r.terminals.isEmpty() ? u""_s : jsonList(r.terminals), r.hours + u""_s})
            .toLongLong();
    });
}

bool removeChannel(PgConnection &db, const QString &name)
{
    return inTransaction(db, [&] {
        // The channel's row first: a rule added meanwhile waits for this to end.
        const bool exists =
            !db.query(u"select 1 from 告警_渠道 where 名称 = ? for update"_s, {name}).isEmpty();
        for (const Rule &rule : loadRules(db, true)) {
            if (rule.channels.contains(name))
                throw ChannelInUse(rule.id, name);
        }
        return exists &&
               !db.query(u"delete from 告警_渠道 where 名称 = ? returning 1"_s, {name}).isEmpty();
    });
}

bool removeRule(PgConnection &db, qint64 id)
{
    return inTransaction(db, [&] {
        const QString number = QString::number(id);
        db.execute(u"delete from 告警_逾期状态 where 规则 = cast(? as bigint)"_s, {number});
        return !db.query(u"delete from 告警_规则 where 编号 = cast(? as bigint) returning 1"_s,
                         {number})
                    .isEmpty();
    });
}

bool setRuleEnabled(PgConnection &db, qint64 id, bool enabled)
{
    return !db.query(u"update 告警_规则 set 停用 = cast(? as boolean) where 编号 = cast(? as "
                     "bigint) returning 1"_s,
                     {enabled ? u"false"_s : u"true"_s, QString::number(id)})
                .isEmpty();
}

QList<ChannelView> channelViews(PgConnection &db)
{
    QList<ChannelView> views;
    for (const QStringList &c :
         db.query(u"select 名称, 类型, 地址, 密钥, 格式, 发件人, 收件人, 状态, 最近错误, "
                  "coalesce(round(extract(epoch from 失败起始) * 1000), 0) from 告警_渠道 "
                  "order by 名称"_s)) {
        views.append({c[0], c[1], maskedUrl(c[2]), c[3].isEmpty() ? QString() : maskSecret(c[3]),
                      c[4], c[5], c[6], c[7], c[8], c[9].toLongLong()});
    }
    return views;
}

QList<RuleView> ruleViews(PgConnection &db)
{
    QList<RuleView> views;
    for (const Rule &r : loadRules(db, true))
        views.append({r.id, r.type, ruleWhat(r), r.channels, r.terminals, r.hours, r.enabled});
    return views;
}

QStringList listing(PgConnection &db)
{
    QStringList lines{u"渠道："_s};
    for (const ChannelView &c : channelViews(db)) {
        QString line = u"  %1\t%2\t%3"_s.arg(c.name, c.type, c.address);
        if (!c.secret.isEmpty())
            line += u"\t密钥 %1"_s.arg(c.secret);
        if (c.type == u"smtp"_s)
            line += u"\t发件人 %1\t收件人 %2"_s.arg(c.from, c.to);
        else
            line += u"\t%1"_s.arg(c.format);
        line += u"\t%1"_s.arg(c.state);
        if (!c.lastError.isEmpty())
            line += u"\t最近错误：%1"_s.arg(c.lastError);
        lines.append(line);
    }
    lines.append(u"规则："_s);
    for (const RuleView &r : ruleViews(db)) {
        lines.append(u"  %1\t%2\t%3\t渠道 %4\t终端 %5\t时段 %6%7"_s.arg(
            QString::number(r.id), r.type, r.what, r.channels.join(u','),
            r.terminals.isEmpty() ? u"全部"_s : r.terminals.join(u','),
            r.hours.isEmpty() ? u"全天"_s : r.hours, r.enabled ? QString() : u"\t已停用"_s));
    }
    return lines;
}

QString alertTitle(const AlertFacts &f)
{
    if (f.kind == u"overdue"_s)
        return u"案件逾期告警：案件 %1 %2期限已过"_s.arg(QString::number(f.caseId), f.deadline);
    if (f.kind == u"hour"_s)
        return u"低分时段告警：%1"_s.arg(f.hall);
    return u"%1：%2 %3"_s.arg(f.kind == u"run"_s ? u"连续差评告警"_s : u"差评告警"_s,
                              reports::displayName(f.name), f.grade);
}

QString alertText(const AlertFacts &f)
{
    QStringList lines;
    if (f.kind == u"overdue"_s) {
        lines << u"【案件逾期告警】第 %1 号"_s.arg(f.number)
              << u"案件：%1（%2）"_s.arg(QString::number(f.caseId), f.caseState)
              << u"逾期：%1期限 %2 已过（立案 %3 起 %4 个工作日）"_s.arg(
                     f.deadline, f.dueDate, f.openedDate, QString::number(f.deadlineDays))
              << u"大厅：%1　终端：%2"_s.arg(f.hall, f.terminal)
              << u"名称：%1"_s.arg(reports::displayName(f.name)) << u"评价：%1"_s.arg(f.grade)
              << u"时间：%1 %2"_s.arg(f.date, f.time);
        if (!f.link.isEmpty())
            lines << u"案件：%1"_s.arg(f.link);
        return lines.join(u'\n');
    }
    if (f.kind == u"hour"_s) {
        lines << u"【低分时段告警】第 %1 号"_s.arg(f.number) << u"大厅：%1"_s.arg(f.hall)
              << u"最近 60 分钟满意度得分 %1（%2 条评价），低于 %3"_s.arg(
                     f.hour.scoreText(), QString::number(f.hour.ratings), scoreText(f.belowTenths))
              << u"时间：%1 %2"_s.arg(f.date, f.time);
        if (!f.link.isEmpty())
            lines << u"查看：%1"_s.arg(f.link);
        return lines.join(u'\n');
    }
    lines << (f.kind == u"run"_s ? u"【连续差评告警】第 %1 号"_s : u"【差评告警】第 %1 号"_s)
                 .arg(f.number);
    if (f.kind == u"run"_s)
        lines << u"最近 %1 条评价中有 %2 条差评"_s.arg(f.runOf).arg(f.runBad);
    lines << u"大厅：%1　终端：%2"_s.arg(f.hall, f.terminal)
          << u"名称：%1"_s.arg(reports::displayName(f.name)) << u"评价：%1"_s.arg(f.grade)
          << u"原因：%1"_s.arg(f.reasons.isEmpty() ? u"未选择"_s : f.reasons.join(u"、"_s))
          << u"时间：%1 %2"_s.arg(f.date, f.time)
          << u"今日满意度得分：%1（%2 条评价）"_s.arg(f.today.scoreText(),
                                                      QString::number(f.today.ratings));
    if (!f.link.isEmpty())
        lines << u"案件：%1"_s.arg(f.link);
    return lines.join(u'\n');
}

QString alertSummary(const AlertFacts &f)
{
    if (f.kind == u"overdue"_s)
        return u"第 %1 号 逾期 案件 %2 %3期限 %4 %5 %6"_s.arg(
            QString::number(f.number), QString::number(f.caseId), f.deadline, f.dueDate, f.terminal,
            reports::displayName(f.name));
    if (f.kind == u"hour"_s)
        return u"第 %1 号 低分时段 %2 得分 %3"_s.arg(QString::number(f.number), f.hall,
                                                     f.hour.scoreText());
    return u"第 %1 号 %2 %3 %4 %5 %6"_s.arg(
        QString::number(f.number), f.kind == u"run"_s ? u"连续差评"_s : u"差评"_s, f.terminal,
        reports::displayName(f.name), f.grade, f.time);
}

QString digestText(const QStringList &summaries, int maxBytes, int *used)
{
    QString text;
    int count = 0;
    const QString head = u"【告警汇总】每分钟消息已达上限，以下告警合并发送：\n"_s;
    qsizetype bytes = head.toUtf8().size() + 40;
    QStringList lines;
    for (const QString &line : summaries) {
        const qsizetype size = line.toUtf8().size() + 1;
        if (count > 0 && bytes + size > maxBytes)
            break;
        bytes += size;
        lines << line;
        ++count;
    }
    *used = count;
    return head + lines.join(u'\n') + u"\n共 %1 条"_s.arg(count);
}

AlertService::AlertService(central::Connection connection, ServiceSettings settings)
    : m_connection(std::move(connection)), m_settings(std::move(settings))
{
}

AlertService::~AlertService()
{
    stopSenders();
}

void AlertService::log(const QString &text) const
{
    // The channels' workers log too.
    static std::mutex logMutex;
    const std::lock_guard lock(logMutex);
    if (m_settings.log)
        m_settings.log(text);
}

bool AlertService::processQueue()
{
    PgConnection &db = *m_db;
    return inTransaction(db, [&] {
        const auto queued = db.query(
            u"select q.编号, q.终端, q.序号, e.名称, e.日期, e.时间, e.综合评价 from 告警_待判 q "
            "left join 评价 e on e.终端 = q.终端 and e.序号 = q.序号 order by q.编号 limit 200 "
            "for update of q skip locked"_s);
        if (queued.isEmpty())
            return false;
        const QList<Rule> rules = loadRules(db);
        const bool haveReasons = !db.value(u"select to_regclass('评价_原因')::text"_s).isNull();
        QStringList done;
        for (const QStringList &q : queued) {
            done << q[0];
            if (q[6].isNull())
                continue; // the rating is gone (deleted before it was looked at)
            const Rating rating{q[1], q[2], q[3], q[4], q[5], q[6]};
            AlertFacts facts;
            bool factsRead = false;
            for (const Rule &rule : rules) {
                if (rule.type == u"hour"_s || rule.type == u"overdue"_s ||
                    !rule.covers(rating.terminal) || !withinHours(rule.hours, rating.time))
                    continue;
                int runBad = 0;
                if (rule.type == u"run"_s) {
                    // The last ratings of the name, each marked when it came after the last
                    // run this rule alerted for the name: a new run is made of new ratings.
                    db.execute(u"insert into 告警_连续状态 (规则, 名称, 日期, 时间, 终端, 序号) "
                               "values (cast(? as bigint), ?, '', '', '', 0) "
                               "on conflict do nothing"_s,
                               {QString::number(rule.id), rating.name});
                    const auto marker =
                        db.query(u"select 日期, 时间, 终端, 序号 from 告警_连续状态 where 规则 = "
                                 "cast(? as bigint) and 名称 = ? for update"_s,
                                 {QString::number(rule.id), rating.name});
                    const auto last = db.query(
                        u"select 终端, 序号, 日期, 时间, 综合评价, (coalesce(日期, ''), "
                        "coalesce(时间, ''), 终端 collate \"C\", 序号) > (?, ?, ? collate \"C\", "
                        "cast(? as bigint)) from 评价 where 名称 = ? and (cast(? as json) is null "
                        "or 终端 in (select json_array_elements_text(cast(? as json)))) "
                        "order by 日期 desc, 时间 desc, 终端 collate \"C\" desc, 序号 desc "
                        "limit cast(? as int)"_s,
                        {marker[0][0], marker[0][1], marker[0][2], marker[0][3], rating.name,
                         rule.terminalFilter(), rule.terminalFilter(), QString::number(rule.of)});
                    for (const QStringList &row : last)
                        runBad += BadGrades.contains(row[4]) && row[5] == u"t"_s;
                    if (runBad < rule.bad || last.size() < rule.of)
                        continue;
                    db.execute(u"update 告警_连续状态 set 日期 = coalesce(?, ''), "
                               "时间 = coalesce(?, ''), 终端 = ?, 序号 = cast(? as bigint) "
                               "where 规则 = cast(? as bigint) and 名称 = ?"_s,
                               {last[0][2], last[0][3], last[0][0], last[0][1],
                                QString::number(rule.id), rating.name});
                }
                if (!factsRead) {
                    factsRead = true;
                    facts.terminal = rating.terminal;
                    facts.name = rating.name;
                    facts.grade = rating.grade;
                    facts.date = rating.date;
                    facts.time = rating.time;
                    facts.hall =
                        db.value(u"select 大厅 from 终端大厅 where 终端 = ?"_s, {rating.terminal});
                    if (facts.hall.isNull())
                        facts.hall = u"未分配大厅"_s;
                    if (haveReasons) {
                        for (const QStringList &r :
                             db.query(u"select 原因 from 评价_原因 where 终端 = ? and 序号 = "
                                      "cast(? as bigint) order by 原因"_s,
                                      {rating.terminal, rating.number}))
                            facts.reasons << r[0];
                    }
                    facts.today = figuresOf(db.query(
                        u"select 综合评价, sum(数量) from 评价_日计 where 日期 = coalesce(?, '') "
                        "and 名称 = coalesce(?, '') group by 综合评价"_s,
                        {rating.date, rating.name}));
                    facts.link = caseLink(m_settings.dashboard, rating);
                }
                facts.kind = rule.type;
                facts.runBad = runBad;
                facts.runOf = rule.of;
                queueAlert(db, rule, facts, rating.terminal, rating.number);
            }
        }
        db.execute(u"delete from 告警_待判 where 编号 in (select cast(json_array_elements_text("
                   "cast(? as json)) as bigint))"_s,
                   {jsonList(done)});
        return true;
    });
}

void AlertService::checkHours()
{
    PgConnection &db = *m_db;
    const qint64 now = m_settings.clock();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(now);
    inTransaction(db, [&] {
        for (const Rule &rule : loadRules(db)) {
            if (rule.type != u"hour"_s)
                continue;
            const bool working = withinHours(rule.hours, local.toString(u"HH:mm"_s));
            // Per hall (a kiosk without a hall counts as one of its own): the grades of the
            // ratings the server received in the last 60 minutes.
            const auto rows = db.query(
                u"select coalesce(h.大厅, e.终端), e.综合评价, count(*) from 评价 e "
                "left join 终端大厅 h on h.终端 = e.终端 where e.接收时间 > %1 - interval "
                "'60 minutes' and e.接收时间 <= %1 and (cast(? as json) is null or e.终端 in "
                "(select json_array_elements_text(cast(? as json)))) group by 1, 2"_s.arg(at(now)),
                {rule.terminalFilter(), rule.terminalFilter()});
            QHash<QString, QList<QStringList>> perHall;
            for (const QStringList &r : rows)
                perHall[r[0]].append({r[1], r[2]});
            QSet<QString> low;
            QHash<QString, reports::Figures> figures;
            for (auto it = perHall.cbegin(); it != perHall.cend(); ++it) {
                const reports::Figures f = figuresOf(it.value());
                if (working && f.ratings >= rule.minimum && f.scoreTenths < rule.belowTenths) {
                    low.insert(it.key());
                    figures.insert(it.key(), f);
                }
            }
            // A hall that came back above the line may alert again when it falls once more.
            for (const QStringList &r :
                 db.query(u"select 大厅 from 告警_低分状态 where 规则 = cast(? as bigint)"_s,
                          {QString::number(rule.id)})) {
                if (!low.contains(r[0]))
                    db.execute(u"delete from 告警_低分状态 where 规则 = cast(? as bigint) and "
                               "大厅 = ?"_s,
                               {QString::number(rule.id), r[0]});
            }
            for (const QString &hall : low) {
                if (db.query(u"insert into 告警_低分状态 (规则, 大厅, 开始) values (cast(? as "
                             "bigint), ?, %1) on conflict do nothing returning 1"_s.arg(at(now)),
                             {QString::number(rule.id), hall})
                        .isEmpty())
                    continue; // alerted already while it stays low
                AlertFacts facts;
                facts.kind = u"hour"_s;
                facts.hall = hall;
                facts.hour = figures.value(hall);
                facts.belowTenths = rule.belowTenths;
                facts.date = local.toString(u"yyyy-MM-dd"_s);
                facts.time = local.toString(u"HH:mm:ss"_s);
                facts.link =
                    m_settings.dashboard.isEmpty() ? QString() : m_settings.dashboard + u'/';
                queueAlert(db, rule, facts, QString(), QString());
            }
        }
    });
}

void AlertService::checkOverdue()
{
    PgConnection &db = *m_db;
    const qint64 now = m_settings.clock();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(now);
    const QDate today = local.date();
    inTransaction(db, [&] {
        QList<Rule> rules;
        for (const Rule &rule : loadRules(db)) {
            // Outside its hours a rule waits: what passed meanwhile is told once they begin.
            if (rule.type == u"overdue"_s && withinHours(rule.hours, local.toString(u"HH:mm"_s)))
                rules.append(rule);
        }
        if (rules.isEmpty())
            return;
        // The deadlines and the calendar as the dashboard's administrator set them.
        cases::Deadlines deadlines;
        if (!db.value(u"select to_regclass('网页设置')::text"_s).isNull()) {
            for (const QStringList &r :
                 db.query(u"select 键, 值 from 网页设置 where 键 in ('case_callback_days', "
                          "'case_rectify_days')"_s)) {
                (r[0] == u"case_callback_days"_s ? deadlines.callbackDays : deadlines.rectifyDays) =
                    r[1].toInt();
            }
            if (cases::deadlinesRefusal(deadlines))
                deadlines = cases::Deadlines{};
        }
        cases::WorkCalendar calendar;
        for (const QStringList &r :
             db.query(u"select to_char(日期, 'YYYY-MM-DD'), 类型 from 工作日历"_s)) {
            if (const auto kind = cases::dayKindFromName(r[1]))
                calendar.setDay(QDate::fromString(r[0], u"yyyy-MM-dd"_s), *kind);
        }
        // The cases with a step still open: 待核实 awaits its callback, 已回访 its
        // rectification.
        const auto open = db.query(
            u"select c.编号, c.终端, c.序号, c.状态, round(extract(epoch from c.开立时间) * 1000), "
            "c.回访时间 is not null, c.整改时间 is not null, e.名称, e.日期, e.时间, e.综合评价, "
            "coalesce(h.大厅, '未分配大厅') from 差评案件 c left join 评价 e on e.终端 = c.终端 "
            "and e.序号 = c.序号 left join 终端大厅 h on h.终端 = c.终端 where c.状态 in "
            "('待核实', '已回访') order by c.编号"_s);
        for (const QStringList &c : open) {
            const QDate opened = QDateTime::fromMSecsSinceEpoch(c[4].toLongLong()).date();
            struct Passed
            {
                QString deadline;
                QDate due;
                int days;
                bool open;
            };
            const Passed passed[] = {
                {u"回访"_s, calendar.addWorkingDays(opened, deadlines.callbackDays),
                 deadlines.callbackDays, c[5] != u"t"_s},
                {u"整改"_s, calendar.addWorkingDays(opened, deadlines.rectifyDays),
                 deadlines.rectifyDays, c[6] != u"t"_s}};
            for (const Passed &p : passed) {
                if (!p.open || today <= p.due)
                    continue;
                // The moment the deadline passed: the end of its day.
                const qint64 passedAt =
                    QDateTime(p.due.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
                for (const Rule &rule : rules) {
                    // A rule tells of deadlines passed since it was made, not of the backlog
                    // of every old case.
                    if (!rule.covers(c[1]) || passedAt < rule.createdMs)
                        continue;
                    if (db.query(u"insert into 告警_逾期状态 (规则, 案件, 期限) values (cast(? as "
                                 "bigint), cast(? as bigint), ?) on conflict do nothing "
                                 "returning 1"_s,
                                 {QString::number(rule.id), c[0], p.deadline})
                            .isEmpty())
                        continue; // told already
                    AlertFacts facts;
                    facts.kind = u"overdue"_s;
                    facts.caseId = c[0].toLongLong();
                    facts.caseState = c[3];
                    facts.deadline = p.deadline;
                    facts.dueDate = p.due.toString(u"yyyy-MM-dd"_s);
                    facts.openedDate = opened.toString(u"yyyy-MM-dd"_s);
                    facts.deadlineDays = p.days;
                    facts.terminal = c[1];
                    facts.name = c[7];
                    facts.date = c[8];
                    facts.time = c[9];
                    facts.grade = c[10];
                    facts.hall = c[11];
                    facts.link = m_settings.dashboard.isEmpty()
                                     ? QString()
                                     : u"%1/cases/%2"_s.arg(m_settings.dashboard, c[0]);
                    queueAlert(db, rule, facts, c[1], c[2]);
                }
            }
        }
    });
}

// A channel's sender: a thread of its own that sends whenever the service wakes it.
struct AlertService::Sender
{
    std::thread thread;
    std::mutex mutex;
    std::condition_variable woken;
    bool due = false;      // something may be due: look
    bool stopping = false; // the service stops
    bool idle = false;     // ended after a long time with nothing to send
};

// A sender with nothing to do this long ends (and its connection closes); it is made again
// when its channel has something due.
constexpr auto SenderIdle = std::chrono::minutes(5);

qint64 AlertService::dispatch()
{
    qint64 wake = 60000;
    const qint64 now = m_settings.clock();
    const auto channels = m_db->query(
        u"select c.名称, coalesce(extract(epoch from c.重试时间 - %1) * 1000, 0) from 告警_渠道 c "
        "where exists (select 1 from 告警_发件箱 o where o.渠道 = c.名称 and o.已发送 is null) "
        "order by c.名称"_s.arg(at(now)));
    // Senders that ended idle are joined; their channel gets a new one below when due.
    for (auto it = m_senders.begin(); it != m_senders.end();) {
        bool idle = false;
        {
            const std::lock_guard lock(it->second->mutex);
            idle = it->second->idle;
        }
        if (idle) {
            it->second->thread.join();
            it = m_senders.erase(it);
        } else {
            ++it;
        }
    }
    for (const QStringList &c : channels) {
        const qint64 retryIn = qint64(c[1].toDouble());
        if (retryIn > 0) {
            wake = std::min(wake, retryIn);
            continue;
        }
        // Waking a sender never waits for it: one that is still sending (a robot that hangs
        // until its time-out) looks again when it is done, the others send at once.
        std::unique_ptr<Sender> &sender = m_senders[c[0]];
        if (!sender) {
            sender = std::make_unique<Sender>();
            sender->due = true;
            sender->thread =
                std::thread([this, s = sender.get(), name = c[0]] { sendLoop(*s, name); });
            continue;
        }
        {
            const std::lock_guard lock(sender->mutex);
            sender->due = true;
        }
        sender->woken.notify_one();
    }
    return wake;
}

void AlertService::sendLoop(Sender &sender, const QString &channel)
{
    std::unique_ptr<PgConnection> db;
    for (;;) {
        {
            std::unique_lock lock(sender.mutex);
            if (!sender.woken.wait_for(lock, SenderIdle,
                                       [&] { return sender.due || sender.stopping; })) {
                sender.idle = true;
                return;
            }
            if (sender.stopping)
                return;
            sender.due = false;
        }
        try {
            if (!db || !db->isOk()) {
                db.reset();
                db = std::make_unique<PgConnection>(m_connection);
                db->execute(u"set synchronous_commit = off"_s);
            }
            qint64 wake = 0;
            while (!m_stopping && sendOne(*db, channel, wake)) {
            }
        } catch (const KioskError &e) {
            log(e.message());
            db.reset(); // made again at the next wake
        } catch (...) {
            db.reset();
        }
    }
}

void AlertService::stopSenders()
{
    m_stopping = true;
    for (auto &[name, sender] : m_senders) {
        {
            const std::lock_guard lock(sender->mutex);
            sender->stopping = true;
        }
        sender->woken.notify_one();
    }
    // A sender in the middle of a delivery finishes it (at most the time-out) and marks it.
    for (auto &[name, sender] : m_senders)
        sender->thread.join();
    m_senders.clear();
}

bool AlertService::sendOne(PgConnection &db, const QString &name, qint64 &wake)
{
    const qint64 now = m_settings.clock();
    db.execute(u"begin"_s);
    try {
        // The channel's row is held for the whole delivery: another service skips this channel
        // meanwhile, so the count per minute and the order stay right.
        const auto rows = db.query(
            u"select 类型, 地址, 密钥, 格式, 发件人, 收件人 from 告警_渠道 where 名称 = ? and "
            "(重试时间 is null or 重试时间 <= %1) for update skip locked"_s.arg(at(now)),
            {name});
        if (rows.isEmpty()) {
            db.execute(u"rollback"_s);
            return false;
        }
        const QStringList &r = rows.first();
        const Channel channel{
            name, r[0], r[1], r[2], r[3], r[4], r[5].isEmpty() ? QStringList() : r[5].split(u',')};
        const bool robot = channel.type != u"smtp"_s;
        int room = 1000;
        if (robot) {
            // The sends of the last minute; those stamped later than now (the clock was set
            // back since) are not counted, or the channel would stay shut until the clock
            // caught up with them.
            const auto sent = db.query(
                u"select count(*), coalesce(extract(epoch from min(时间) + interval '60 seconds' "
                "- %1) * 1000, 0) from 告警_发送记录 where 渠道 = ? and 时间 > %1 - interval "
                "'60 seconds' and 时间 <= %1"_s.arg(at(now)),
                {name});
            room = RobotMessagesPerMinute - sent[0][0].toInt();
            if (room <= 0) {
                wake = std::min(wake, std::max<qint64>(1, qint64(sent[0][1].toDouble())));
                db.execute(u"rollback"_s);
                return false;
            }
        }
        // The last message of the minute carries everything that waits.
        const auto due = db.query(
            u"select 编号, 标题, 正文, 摘要 from 告警_发件箱 where 渠道 = ? and 已发送 is null "
            "order by 编号 limit cast(? as int) for update skip locked"_s,
            {name, QString::number(robot && room == 1 ? 1000 : 1)});
        if (due.isEmpty()) {
            db.execute(u"rollback"_s);
            return false;
        }
        QStringList ids;
        QString title, text;
        if (due.size() == 1) {
            ids << due[0][0];
            title = due[0][1];
            text = due[0][2];
        } else {
            QStringList summaries;
            for (const QStringList &d : due)
                summaries << d[3];
            int used = 0;
            // 企业微信 takes at most 2048 bytes of text, 钉钉 about as much on a phone.
            text = digestText(summaries, 2000, &used);
            for (int i = 0; i < used; ++i)
                ids << due[i][0];
            title = u"告警汇总（%1 条）"_s.arg(used);
        }
        const Delivery delivery = deliver(channel, title, text, m_settings.timeoutMs);
        QElapsedTimer marking;
        marking.start();
        const QString idList = jsonList(ids);
        const QString idsIn =
            u"编号 in (select cast(json_array_elements_text(cast(? as json)) as bigint))"_s;
        if (delivery.ok) {
            // Marked sent in one commit right after the answer: a service killed before this
            // commit sends these again (the message carries their numbers), never loses one.
            db.execute(u"update 告警_发件箱 set 已发送 = %1, 尝试次数 = 尝试次数 + 1, 汇总 = "
                       "case when cast(? as int) > 1 then cast(? as bigint) end where %2"_s.arg(
                           at(now), idsIn),
                       {QString::number(ids.size()), ids.first(), idList});
            db.execute(u"insert into 告警_发送记录 (渠道, 时间, 告警数) values (?, %1, "
                       "cast(? as int))"_s.arg(at(now)),
                       {name, QString::number(ids.size())});
            db.execute(u"update 告警_渠道 set 状态 = '正常', 最近错误 = '', 失败起始 = null, "
                       "连续失败 = 0, 重试时间 = null, 最近成功 = %1 where 名称 = ?"_s.arg(at(now)),
                       {name});
            db.execute(u"commit"_s);
            // From the channel's answer to the commit: the only time in which a killed service
            // would send these alerts again.
            const double markMs = marking.nsecsElapsed() / 1e6;
            log(u"已发送到渠道 %1：第 %2 号告警（标记已发送用时 %3 ms）"_s.arg(
                name, ids.join(u"、"_s), QString::number(markMs, 'f', 3)));
            // The record of the last minutes is all the limit needs.
            db.execute(u"delete from 告警_发送记录 where 渠道 = ? and 时间 < %1 - interval "
                       "'1 hour'"_s.arg(at(now)),
                       {name});
            return true;
        }
        db.execute(
            u"update 告警_发件箱 set 尝试次数 = 尝试次数 + 1, 最近错误 = ? where %1"_s.arg(idsIn),
            {delivery.error, idList});
        const auto state = db.query(
            u"update 告警_渠道 set 连续失败 = 连续失败 + 1, 失败起始 = coalesce(失败起始, %1), "
            "最近错误 = ?, 重试时间 = %1 + make_interval(secs => cast(? as int) * "
            "least(60, power(2, least(连续失败, 6)))), 状态 = case when %1 - coalesce(失败起始, "
            "%1) >= make_interval(secs => cast(? as int)) then '故障' else '重试中' end "
            "where 名称 = ? returning 状态, extract(epoch from 重试时间 - %1) * 1000"_s.arg(
                at(now)),
            {delivery.error, QString::number(5), QString::number(FailedAfterSeconds), name});
        db.execute(u"commit"_s);
        if (!state.isEmpty())
            wake = std::min(wake, qint64(state[0][1].toDouble()));
        log(u"渠道 %1 发送失败（%2）：%3"_s.arg(name, state.isEmpty() ? QString() : state[0][0],
                                                delivery.error));
        return false;
    } catch (...) {
        if (db.isOk()) {
            try {
                db.execute(u"rollback"_s);
            } catch (...) {
            }
        }
        throw;
    }
}

void AlertService::run(const std::atomic<bool> &stop)
{
    QElapsedTimer sinceHours, sinceOverdue;
    QDate lastDay;
    bool checkHoursNow = true;
    int reconnectMs = 500;
    while (!stop) {
        try {
            if (!m_db || !m_db->isOk()) {
                m_db.reset();
                m_db = std::make_unique<PgConnection>(m_connection);
                // Commits need not wait for the disk: each transaction is whole or not at all,
                // and one lost in a crash of the server is done again (an outbox row made again
                // from its queue entry, a message marked sent sent once more), never lost. The
                // ratings themselves are the kiosks' durable transactions.
                m_db->execute(u"set synchronous_commit = off"_s);
                createSchema(*m_db);
                m_db->execute(u"listen %1"_s.arg(QLatin1StringView(NotifyChannel)));
                log(u"已连接中心数据库，等待新评价"_s);
                checkHoursNow = true;
            }
            while (!stop && processQueue()) {
                checkHoursNow = true;
            }
            // The case deadlines pass with the days: looked at every 30 seconds, and at once
            // when the service's clock reached another day.
            if (checkHoursNow || !sinceHours.isValid() || sinceHours.elapsed() >= 30000) {
                checkHours();
                sinceHours.start();
                checkHoursNow = false;
            }
            const QDate day = QDateTime::fromMSecsSinceEpoch(m_settings.clock()).date();
            if (!sinceOverdue.isValid() || sinceOverdue.elapsed() >= 30000 || day != lastDay) {
                checkOverdue();
                sinceOverdue.start();
                lastDay = day;
            }
            const qint64 wake = dispatch();
            reconnectMs = 500;
            // Wait for a notification, or until something falls due; at most a second, so a
            // clock that jumps (tests) and due retries are seen soon.
            pollfd fd{m_db->socket(), POLLIN, 0};
            const int waitMs = int(std::clamp<qint64>(wake, 1, 1000));
            if (poll(&fd, 1, waitMs) > 0 && m_db->takeNotifications() > 0)
                checkHoursNow = true;
        } catch (const KioskError &e) {
            log(e.message());
            m_db.reset();
            if (stop)
                break;
            pollfd none{-1, 0, 0};
            poll(&none, 0, reconnectMs);
            reconnectMs = std::min(reconnectMs * 2, 30000);
        }
    }
}

} // namespace alert
