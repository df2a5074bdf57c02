#include "web/casepages.h"

#include "web/casedata.h"
#include "web/refused.h"
#include "web/requests.h"
#include "web/webpages.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace web {

namespace {

constexpr int MaxListed = 500;
constexpr int MaxDayNote = 64;
const QString CaseStyle = u"<link rel=\"stylesheet\" href=\"/static/cases.css\">"_s;

QDate dateValue(const QString &text, const QString &label)
{
    const QDate date = QDate::fromString(text, u"yyyy-MM-dd"_s);
    if (!date.isValid() || date.toString(u"yyyy-MM-dd"_s) != text)
        throw Refused{400, u"%1日期无效，应为 yyyy-MM-dd 格式的真实日期"_s.arg(label)};
    return date;
}

cases::Actor actorOf(const Account &account)
{
    return {account.name, account.isAdmin(), account.allowed()};
}

PageFrame frameOf(const Account &account, const Session &session, const QString &title,
                  const QString &current)
{
    return {title, account.name, session.csrf, account.isAdmin(), current};
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s) : QString();
}

QString dayText(const QDate &date)
{
    static const QStringList weekdays = {u"一"_s, u"二"_s, u"三"_s, u"四"_s,
                                         u"五"_s, u"六"_s, u"日"_s};
    return u"%1（周%2）"_s.arg(date.toString(u"yyyy-MM-dd"_s), weekdays[date.dayOfWeek() - 1]);
}

// The kiosks a request names by terminal and hall, within what the account sees; refused when
// it names a kiosk or hall outside that.
std::optional<QStringList> scopeOf(Central &db, const httplib::Request &req, const Account &account)
{
    const QString terminal = textParam(req, "terminal");
    const QString hall = textParam(req, "hall");
    const std::optional<QStringList> allowed = account.allowed();
    std::optional<QStringList> scope = allowed;
    if (!hall.isEmpty()) {
        QStringList members;
        for (const auto &[t, h] : halls(db)) {
            if (h == hall)
                members.append(t);
        }
        if (members.isEmpty() ||
            (allowed && std::any_of(members.cbegin(), members.cend(),
                                    [&](const QString &t) { return !allowed->contains(t); })))
            throw Refused{allowed ? 403 : 404, allowed ? u"无权查看该大厅"_s : u"未知大厅"_s};
        scope = members;
    }
    if (!terminal.isEmpty()) {
        if (allowed && !allowed->contains(terminal))
            throw Refused{403, u"无权查看该终端"_s};
        if (!knownTerminals(db).contains(terminal))
            throw Refused{404, u"未知终端"_s};
        scope = scope && !scope->contains(terminal) ? QStringList() : QStringList{terminal};
    }
    return scope;
}

QString stepId(cases::State to)
{
    switch (to) {
    case cases::State::CalledBack:
        return u"callback"_s;
    case cases::State::Rectified:
        return u"rectify"_s;
    case cases::State::Closed:
        return u"close"_s;
    case cases::State::Appealed:
        return u"appeal"_s;
    case cases::State::Pending:
        break;
    }
    return u"pending"_s;
}

QString stateBadge(cases::State state, bool overdue)
{
    return u"<span class=\"state s-%1\">%2</span>%3"_s.arg(
        stepId(state), cases::stateName(state),
        overdue ? u" <span class=\"overdue\">逾期</span>"_s : QString());
}

QString option(const QString &value, const QString &label, bool selected)
{
    return u"<option value=\"%1\"%2>%3</option>"_s.arg(
        escapeHtml(value), selected ? u" selected"_s : QString(), escapeHtml(label));
}

qint64 pathId(const httplib::Request &req)
{
    bool ok = false;
    const qint64 id = QString::fromStdString(req.matches[1]).toLongLong(&ok);
    if (!ok)
        throw Refused{404, u"案件不存在"_s};
    return id;
}

CaseRow visibleCase(Central &db, qint64 id, const Account &account)
{
    const std::optional<CaseRow> row = findCase(db, id);
    if (!row)
        throw Refused{404, u"案件不存在"_s};
    if (!actorOf(account).sees(row->terminal))
        throw Refused{403, u"无权查看该案件"_s};
    return *row;
}

void requireAdmin(const Account &account)
{
    if (!account.isAdmin())
        throw Refused{403, u"只有管理员可以设置期限和工作日历"_s};
}

} // namespace

void CasePages::ready()
{
    if (!m_ready) {
        ensureCaseSchema(m_central);
        m_ready = true;
    }
}

QDate CasePages::today() const
{
    return QDateTime::fromSecsSinceEpoch(m_clock()).toLocalTime().date();
}

void CasePages::list(const Req &req, Res &res, const Account &account, const Session &session)
{
    ready();
    const QString stateText = textParam(req, "state");
    const std::optional<cases::State> state =
        stateText.isEmpty() ? std::nullopt : cases::stateFromName(stateText);
    if (!stateText.isEmpty() && !state)
        throw Refused{400, u"状态无效"_s};
    const QString name = textParam(req, "name", 64).trimmed();
    const QString overdueText = textParam(req, "overdue");
    if (!overdueText.isEmpty() && overdueText != u"1"_s)
        throw Refused{400, u"逾期筛选无效"_s};
    const bool onlyOverdue = !overdueText.isEmpty();
    const std::optional<QStringList> scope = scopeOf(m_central, req, account);

    const cases::Deadlines deadlines = caseDeadlines(m_central);
    const cases::WorkCalendar calendar = workCalendar(calendarDays(m_central));
    const QDate now = today();
    QString rows;
    int shown = 0, total = 0;
    for (const CaseRow &c : findCases(m_central, {scope, state, name})) {
        const cases::Timing t = cases::timing(c.days(), deadlines, calendar, now);
        if (onlyOverdue && !t.overdue)
            continue;
        ++total;
        if (shown >= MaxListed)
            continue;
        ++shown;
        const bool open = c.state != cases::State::Closed && c.state != cases::State::Appealed;
        rows += u"<tr%1><td class=\"num\"><a href=\"/cases/%2\">%2</a></td><td>%3</td>"
                "<td>%4</td><td>%5</td><td>%6</td><td class=\"grade\">%7</td><td>%8</td>"
                "<td>%9</td><td>%10</td></tr>"_s.arg(t.overdue ? u" class=\"late\""_s : QString())
                    .arg(c.id)
                    .arg(stateBadge(c.state, t.overdue), escapeHtml(c.terminal), escapeHtml(c.hall),
                         escapeHtml(c.name), escapeHtml(c.grade),
                         escapeHtml((c.date + u' ' + c.time).trimmed()),
                         c.calledBack.isValid() || !open ? u"—"_s
                         : c.days().opened.isValid()     ? t.callbackDue.toString(u"yyyy-MM-dd"_s)
                                                         : QString(),
                         c.rectified.isValid() || !open ? u"—"_s
                                                        : t.rectifyDue.toString(u"yyyy-MM-dd"_s));
    }

    // The filter choices: only what the account sees.
    const std::optional<QStringList> allowed = account.allowed();
    QMap<QString, QStringList> byHall;
    for (const auto &[t, h] : halls(m_central))
        byHall[h].append(t);
    QString stateOptions = option({}, u"全部"_s, false);
    for (const cases::State s : cases::allStates())
        stateOptions += option(cases::stateName(s), cases::stateName(s), state == s);
    QString hallOptions = option({}, u"全部"_s, false);
    for (auto it = byHall.cbegin(); it != byHall.cend(); ++it) {
        if (!allowed || std::all_of(it->cbegin(), it->cend(),
                                    [&](const QString &t) { return allowed->contains(t); }))
            hallOptions += option(it.key(), it.key(), textParam(req, "hall") == it.key());
    }
    QString terminalOptions = option({}, u"全部"_s, false);
    for (const QString &t : knownTerminals(m_central)) {
        if (!allowed || allowed->contains(t))
            terminalOptions += option(t, t, textParam(req, "terminal") == t);
    }
    const QString content =
        CaseStyle +
        u"<div id=\"page\" data-page=\"cases\"></div><form class=\"filters\" method=\"get\" "
        "action=\"/cases\" id=\"caseFilters\">"
        "<label>状态 <select name=\"state\" id=\"stateFilter\">%1</select></label>"
        "<label>大厅 <select name=\"hall\" id=\"hallFilter\">%2</select></label>"
        "<label>终端 <select name=\"terminal\" id=\"terminalFilter\">%3</select></label>"
        "<label>名称 <input name=\"name\" id=\"nameFilter\" maxlength=\"64\" value=\"%4\">"
        "</label><label class=\"check\"><input type=\"checkbox\" name=\"overdue\" value=\"1\" "
        "id=\"overdueFilter\"%5> 只看逾期</label>"
        "<button type=\"submit\" id=\"filter\">筛选</button></form>"
        "<p class=\"note\" id=\"caseCount\">%6</p>"
        "<div class=\"tablewrap\"><table id=\"cases\"><thead><tr><th>编号</th><th>状态</th>"
        "<th>终端</th><th>大厅</th><th>名称</th><th>评价</th><th>评价时间</th>"
        "<th>回访期限</th><th>整改期限</th></tr></thead><tbody>%7</tbody></table></div>"
        "<p class=\"note\">期限按工作日计算：回访 %8 个工作日内，整改 %9 个工作日内，从立案当天的"
        "下一个工作日算起。%10</p>"_s
            .arg(stateOptions, hallOptions, terminalOptions, escapeHtml(name),
                 onlyOverdue ? u" checked"_s : QString(),
                 total > shown ? u"共 %1 件，显示最新的 %2 件"_s.arg(total).arg(shown)
                               : u"共 %1 件"_s.arg(total),
                 rows.isEmpty() ? u"<tr><td colspan=\"9\">没有符合条件的案件</td></tr>"_s : rows)
            .arg(deadlines.callbackDays)
            .arg(deadlines.rectifyDays)
            .arg(account.isAdmin()
                     ? u"<a href=\"/admin/cases\" id=\"caseSettings\">设置期限和工作日历</a>"_s
                     : QString());
    sendHtml(res, 200, page(frameOf(account, session, u"案件"_s, u"/cases"_s), content));
}

void CasePages::show(const Req &req, Res &res, const Account &account, const Session &session)
{
    ready();
    const CaseRow c = visibleCase(m_central, pathId(req), account);
    const cases::Deadlines deadlines = caseDeadlines(m_central);
    const cases::Timing t =
        cases::timing(c.days(), deadlines, workCalendar(calendarDays(m_central)), today());
    const QStringList reasons = caseReasons(m_central, c.terminal, c.seq);

    const auto field = [](const QString &label, const QString &value) {
        return u"<dt>%1</dt><dd>%2</dd>"_s.arg(label, value.isEmpty() ? u"—"_s : escapeHtml(value));
    };
    const QString rating =
        field(u"终端"_s, c.terminal) + field(u"大厅"_s, c.hall) + field(u"名称"_s, c.name) +
        field(u"评价"_s, c.grade) + field(u"评价时间"_s, (c.date + u' ' + c.time).trimmed()) +
        field(u"到达中心"_s, timeText(c.received)) + field(u"评价序号"_s, QString::number(c.seq)) +
        field(u"立案时间"_s, timeText(c.opened));
    const auto deadlineText = [](const QDate &due, const QDateTime &done, bool counted,
                                 bool onTime) {
        QString text = u"%1 前"_s.arg(due.toString(u"yyyy-MM-dd"_s));
        if (done.isValid())
            text += u"，%1 完成（%2）"_s.arg(timeText(done), onTime ? u"按期"_s : u"超期"_s);
        else if (counted)
            text += u"，已逾期"_s;
        return text;
    };
    QString deadlineRows;
    if (c.state == cases::State::Appealed)
        deadlineRows = u"<p>差评不成立（申诉），不计期限。</p>"_s;
    else
        deadlineRows =
            u"<dl class=\"deadlines\"><dt>回访</dt><dd id=\"callbackDue\">%1</dd>"
            "<dt>整改</dt><dd id=\"rectifyDue\">%2</dd></dl>"_s.arg(
                deadlineText(t.callbackDue, c.calledBack, t.callbackCounted, t.callbackOnTime),
                deadlineText(t.rectifyDue, c.rectified, t.rectifyCounted, t.rectifyOnTime));

    QString buttons;
    const cases::Actor actor = actorOf(account);
    for (const cases::State to : cases::nextStates(c.state, actor, c.terminal))
        buttons += u"<button type=\"submit\" name=\"to\" value=\"%1\" id=\"step-%2\" "
                   "class=\"step-%2\">%3</button>"_s.arg(cases::stateName(to), stepId(to),
                                                         cases::stepName(to));
    QString form;
    if (!buttons.isEmpty())
        form =
            u"<section class=\"box\"><h3>处理</h3><form method=\"post\" action=\"/cases/%1/step\" "
            "id=\"stepForm\"><input type=\"hidden\" name=\"csrf\" value=\"%2\">"
            "<input type=\"hidden\" name=\"from\" value=\"%3\">"
            "<label for=\"note\">处理说明（申诉时填写理由，最多 %4 字）</label>"
            "<textarea name=\"note\" id=\"note\" maxlength=\"%4\" rows=\"3\" required></textarea>"
            "<div class=\"steps\">%5</div></form></section>"_s
                .arg(QString::number(c.id), escapeHtml(session.csrf), cases::stateName(c.state))
                .arg(cases::MaxNoteLength)
                .arg(buttons);

    QString history;
    for (const CaseStep &s : caseHistory(m_central, c.id))
        history += u"<tr><td>%1</td><td>%2</td><td>%3</td><td class=\"wrap\">%4</td></tr>"_s.arg(
            timeText(s.time), escapeHtml(s.user),
            s.from.isEmpty() ? u"立案：%1"_s.arg(escapeHtml(s.to))
                             : u"%1 → %2"_s.arg(escapeHtml(s.from), escapeHtml(s.to)),
            escapeHtml(s.note));

    const QString content =
        CaseStyle +
        u"<div id=\"page\" data-page=\"case\"></div><p><a href=\"/cases\">← 案件列表</a></p>"
        "<section class=\"box\"><h2>案件 %1 %2</h2><dl class=\"rating\" id=\"rating\">%3</dl>"
        "<h3>原因</h3><p id=\"reasons\">%4</p><h3>期限</h3>%5</section>%6"
        "<section class=\"box\"><h3>处理记录</h3><div class=\"tablewrap\"><table id=\"history\">"
        "<thead><tr><th>时间</th><th>操作人</th><th>步骤</th><th>说明</th></tr></thead>"
        "<tbody>%7</tbody></table></div><p class=\"note\">处理记录只能新增，不能修改或删除。</p>"
        "</section>"_s.arg(QString::number(c.id), stateBadge(c.state, t.overdue), rating,
                           reasons.isEmpty() ? u"未记录原因"_s : escapeHtml(reasons.join(u"、"_s)),
                           deadlineRows, form, history);
    sendHtml(res, 200,
             page(frameOf(account, session, u"案件 %1"_s.arg(c.id), u"/cases"_s), content));
}

void CasePages::step(const Req &req, Res &res, const Account &account)
{
    ready();
    const CaseRow c = visibleCase(m_central, pathId(req), account);
    const std::optional<cases::State> to = cases::stateFromName(textParam(req, "to"));
    const std::optional<cases::State> from = cases::stateFromName(textParam(req, "from"));
    const QString note = textParam(req, "note", cases::MaxNoteLength * 2);
    if (!to || !from)
        throw Refused{400, u"处理步骤无效"_s};
    if (*from != c.state)
        throw Refused{409,
                      u"案件状态已变为“%1”，请刷新页面后重试"_s.arg(cases::stateName(c.state))};
    if (const auto refusal = cases::stepRefusal(c.state, *to, actorOf(account), c.terminal, note))
        throw Refused{*to == cases::State::Appealed && !account.isAdmin() ? 403 : 400, *refusal};
    if (!takeStep(m_central, c.id, c.state, *to, account.name,
                  QDateTime::fromSecsSinceEpoch(m_clock()), note.trimmed()))
        throw Refused{409, u"案件状态已被他人更改，请刷新页面后重试"_s};
    res.set_redirect("/cases/" + std::to_string(c.id), 303);
}

void CasePages::byRating(const Req &req, Res &res, const Account &account)
{
    ready();
    const QString terminal = textParam(req, "terminal");
    const QString seqText = textParam(req, "seq");
    bool ok = false;
    const qint64 seq = seqText.toLongLong(&ok);
    if (terminal.isEmpty() || !ok)
        throw Refused{400, u"请给出终端和评价序号"_s};
    // Refused before the lookup, so the answer tells nothing of other kiosks' ratings.
    if (!actorOf(account).sees(terminal))
        throw Refused{403, u"无权查看该案件"_s};
    const std::optional<qint64> id = caseOfRating(m_central, terminal, seq);
    if (!id)
        throw Refused{404, u"该评价没有差评案件"_s};
    res.set_redirect("/cases/" + std::to_string(*id), 303);
}

void CasePages::summary(const Req &req, Res &res, const Account &account)
{
    ready();
    const QDate from = dateValue(textParam(req, "from"), u"开始"_s);
    const QDate to = dateValue(textParam(req, "to"), u"结束"_s);
    if (to < from)
        throw Refused{400, u"结束日期早于开始日期"_s};
    const std::optional<QStringList> scope = scopeOf(m_central, req, account);
    qint64 ratings = 0, bad = 0;
    for (const reports::NameGradeCount &c : readScopedCounts(m_central, from, to, scope).byName) {
        const bool low = c.grade == u"不满意"_s || c.grade == u"非常不满意"_s;
        if (low || c.grade == u"一般"_s || c.grade == u"比较满意"_s || c.grade == u"非常满意"_s)
            ratings += c.count;
        bad += low ? c.count : 0;
    }
    const cases::Deadlines deadlines = caseDeadlines(m_central);
    const cases::WorkCalendar calendar = workCalendar(calendarDays(m_central));
    const QDate now = today();
    cases::Rates inRange;
    qint64 overdue = 0;
    for (const CaseTimes &c : caseTimes(m_central, scope, from, to)) {
        const cases::Timing t = cases::timing(c.days, deadlines, calendar, now);
        overdue += t.overdue;
        if (c.inRange)
            inRange.add(t);
    }
    const QJsonObject answer{
        {u"badRate"_s, cases::Rates::percent(bad, ratings)},
        {u"bad"_s, bad},
        {u"callbackRate"_s, cases::Rates::percent(inRange.callbackOnTime, inRange.callbackDue)},
        {u"callbackDue"_s, inRange.callbackDue},
        {u"rectifyRate"_s, cases::Rates::percent(inRange.rectifyOnTime, inRange.rectifyDue)},
        {u"rectifyDue"_s, inRange.rectifyDue},
        {u"overdue"_s, overdue}};
    res.status = 200;
    res.set_header("Cache-Control", "no-store");
    res.set_content(QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json; charset=utf-8");
}

void CasePages::settings(const Req &, Res &res, const Account &account, const Session &session)
{
    requireAdmin(account);
    ready();
    const cases::Deadlines d = caseDeadlines(m_central);
    const QString csrf = escapeHtml(session.csrf);
    QString days;
    for (const CalendarDay &day : calendarDays(m_central))
        days +=
            u"<tr><td>%1</td><td>%2</td><td class=\"wrap\">%3</td><td><form method=\"post\" "
            "action=\"/admin/cases/calendar/remove\"><input type=\"hidden\" name=\"csrf\" "
            "value=\"%4\"><input type=\"hidden\" name=\"date\" value=\"%5\">"
            "<button type=\"submit\">删除</button></form></td></tr>"_s.arg(
                dayText(day.date),
                day.kind == cases::DayKind::Holiday ? u"假日（不上班）"_s : u"调休（周末上班）"_s,
                escapeHtml(day.note), csrf, day.date.toString(u"yyyy-MM-dd"_s));
    const QString content =
        CaseStyle +
        u"<div class=\"admin\"><section><h2>案件期限</h2><form method=\"post\" "
        "action=\"/admin/cases/deadlines\" class=\"inline\"><input type=\"hidden\" name=\"csrf\" "
        "value=\"%1\"><label>回访期限 <input name=\"callback\" id=\"callbackDays\" type=\"number\" "
        "min=\"1\" max=\"%4\" value=\"%2\"> 个工作日</label><label>整改期限 <input "
        "name=\"rectify\" id=\"rectifyDays\" type=\"number\" min=\"1\" max=\"%4\" value=\"%3\"> "
        "个工作日</label><button type=\"submit\" id=\"saveDeadlines\">保存</button></form>"
        "<p class=\"note\">从立案当天的下一个工作日算起；到期当天结束前完成即为按期。</p>"
        "</section><section><h2>工作日历</h2><p class=\"note\">周一至周五为工作日。在此添加法定"
        "假日（整段假期可逐日添加，含周末）和调休（上班的周六、周日）。</p><form method=\"post\" "
        "action=\"/admin/cases/calendar\" class=\"inline\"><input type=\"hidden\" name=\"csrf\" "
        "value=\"%1\"><label>日期 <input type=\"date\" name=\"date\" id=\"dayDate\" required>"
        "</label><label>类型 <select name=\"kind\" id=\"dayKind\"><option value=\"假日\">假日"
        "</option><option value=\"调休\">调休</option></select></label><label>说明 <input "
        "name=\"note\" id=\"dayNote\" maxlength=\"%5\"></label><button type=\"submit\" "
        "id=\"addDay\">添加</button></form><div class=\"tablewrap\"><table id=\"calendar\">"
        "<thead><tr><th>日期</th><th>类型</th><th>说明</th><th></th></tr></thead><tbody>%6"
        "</tbody></table></div></section></div>"_s.arg(csrf)
            .arg(d.callbackDays)
            .arg(d.rectifyDays)
            .arg(cases::MaxDeadlineDays)
            .arg(MaxDayNote)
            .arg(days.isEmpty() ? u"<tr><td colspan=\"4\">尚未添加日期</td></tr>"_s : days);
    sendHtml(res, 200, page(frameOf(account, session, u"期限与工作日历"_s, u"/admin"_s), content));
}

void CasePages::setDeadlines(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    ready();
    bool ok1 = false, ok2 = false;
    const cases::Deadlines d{textParam(req, "callback").toInt(&ok1),
                             textParam(req, "rectify").toInt(&ok2)};
    if (!ok1 || !ok2)
        throw Refused{400, u"期限应为 1 到 %1 之间的整数（工作日）"_s.arg(cases::MaxDeadlineDays)};
    if (const auto refusal = cases::deadlinesRefusal(d))
        throw Refused{400, *refusal};
    setCaseDeadlines(m_central, d);
    res.set_redirect("/admin/cases", 303);
}

void CasePages::setDay(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    ready();
    const QDate date = dateValue(textParam(req, "date"), QString());
    const std::optional<cases::DayKind> kind = cases::dayKindFromName(textParam(req, "kind"));
    const QString note = textParam(req, "note", MaxDayNote).trimmed();
    if (!kind)
        throw Refused{400, u"类型应为“假日”或“调休”"_s};
    // A holiday may fall on a weekend (a holiday week is entered whole); a day worked in
    // exchange is a Saturday or Sunday by its nature.
    if (*kind == cases::DayKind::Workday && date.dayOfWeek() < 6)
        throw Refused{400, u"调休上班的日期应为周六或周日，%1 本来就是工作日"_s.arg(dayText(date))};
    setCalendarDay(m_central, {date, *kind, note});
    res.set_redirect("/admin/cases", 303);
}

void CasePages::removeDay(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    ready();
    removeCalendarDay(m_central, dateValue(textParam(req, "date"), QString()));
    res.set_redirect("/admin/cases", 303);
}

bool CasePages::staticFile(const std::string &name, Res &res)
{
    QFile file(u":/web/static/"_s + QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    res.set_header("Cache-Control", "no-cache");
    res.set_content(file.readAll().toStdString(), name.ends_with(".js")
                                                      ? "text/javascript; charset=utf-8"
                                                      : "text/css; charset=utf-8");
    return true;
}

QString withCaseSummary(const QString &overview)
{
    // Above the ranking, beside the other figures; at the end should the page change.
    const QString ranking = u"<h3>排名</h3>"_s;
    const qsizetype at = overview.indexOf(ranking);
    QString content = overview;
    return at < 0 ? content + caseSummaryContent() : content.insert(at, caseSummaryContent());
}

QString caseSummaryContent()
{
    return CaseStyle +
           u"<section class=\"cards caseCards\" id=\"caseSummary\">"
           "<div><span>差评率</span><b id=\"badRate\">–</b></div>"
           "<div><span>回访率（按期）</span><b id=\"callbackRate\">–</b></div>"
           "<div><span>整改率（按期）</span><b id=\"rectifyRate\">–</b></div>"
           "<div><span>当前逾期案件</span><b><a id=\"overdueCount\" href=\"/cases?overdue=1\">–"
           "</a></b></div></section><p class=\"note\">回访率、整改率：评价日期在所选范围内、已到期"
           "或已完成的案件中按期完成的比例；申诉成立的不计。</p>"
           "<script src=\"/static/cases.js\" defer></script>"_s;
}

} // namespace web
