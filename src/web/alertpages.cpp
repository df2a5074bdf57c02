#include "web/alertpages.h"

#include "alert/alertoptions.h"
#include "alert/alertservice.h"
#include "alert/pgconnection.h"
#include "web/refused.h"
#include "web/requests.h"
#include "web/webpages.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace web {

namespace {

constexpr int MaxParameter = 2000;
const QString AlertStyle = u"<link rel=\"stylesheet\" href=\"/static/alerts.css\">"_s;

void requireAdmin(const Account &account)
{
    if (!account.isAdmin())
        throw Refused{403, u"只有管理员可以设置告警渠道和告警规则"_s};
}

// A field of the form, trimmed: refused when repeated or too long.
QString field(const httplib::Request &req, const char *key)
{
    return textParam(req, key, MaxParameter).trimmed();
}

// A list typed into one field, separated by commas (also the Chinese one), without blanks.
QStringList listField(const httplib::Request &req, const char *key)
{
    QStringList list;
    for (const QString &part : field(req, key).split(QRegularExpression(u"[,，]"_s))) {
        if (!part.trimmed().isEmpty())
            list.append(part.trimmed());
    }
    return list;
}

// A number from the form (the rule's or a channel's).
qint64 idField(const httplib::Request &req)
{
    bool ok = false;
    const qint64 id = field(req, "id").toLongLong(&ok);
    if (!ok || id <= 0)
        throw Refused{400, u"规则编号无效"_s};
    return id;
}

PageFrame frameOf(const Account &account, const Session &session, const QString &title,
                  const QString &current)
{
    return {title, account.name, session.csrf, account.isAdmin(), current};
}

QString typeName(const QString &type)
{
    static const QHash<QString, QString> names = {
        {u"wecom"_s, u"企业微信"_s}, {u"dingtalk"_s, u"钉钉"_s}, {u"smtp"_s, u"邮件"_s}};
    return names.value(type, type);
}

QString ruleTypeName(const QString &type)
{
    static const QHash<QString, QString> names = {{u"bad"_s, u"每条差评"_s},
                                                  {u"run"_s, u"连续差评"_s},
                                                  {u"hour"_s, u"低分时段"_s},
                                                  {u"overdue"_s, u"案件逾期"_s}};
    return names.value(type, type);
}

QString localTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

// What the page says after a change; fixed texts, never the request's.
QString notice(const httplib::Request &req)
{
    static const QHash<QString, QString> texts = {
        {u"channel"_s, u"已保存渠道。"_s}, {u"channelRemoved"_s, u"已删除渠道。"_s},
        {u"rule"_s, u"已添加规则。"_s},    {u"ruleRemoved"_s, u"已删除规则。"_s},
        {u"ruleOn"_s, u"已启用规则。"_s},  {u"ruleOff"_s, u"已停用规则。"_s}};
    const QString text = texts.value(field(req, "saved"));
    return text.isEmpty() ? QString() : u"<p class=\"notice\" id=\"notice\">%1</p>"_s.arg(text);
}

QString hidden(const QString &name, const QString &value)
{
    return u"<input type=\"hidden\" name=\"%1\" value=\"%2\">"_s.arg(name, escapeHtml(value));
}

QString pageLinks(const QString &current)
{
    const auto link = [&](const QString &path, const QString &label) {
        return path == current ? u"<b>%1</b>"_s.arg(label)
                               : u"<a href=\"%1\">%2</a>"_s.arg(path, label);
    };
    return u"<p class=\"alertnav\">%1　%2　<a href=\"/admin\">← 管理</a></p>"_s.arg(
        link(u"/admin/alerts/channels"_s, u"告警渠道"_s),
        link(u"/admin/alerts/rules"_s, u"告警规则"_s));
}

} // namespace

std::unique_ptr<alert::PgConnection> AlertPages::database()
{
    auto db = std::make_unique<alert::PgConnection>(m_central.connection());
    if (!m_ready) {
        alert::createSchema(*db);
        m_ready = true;
    }
    db->execute(u"set statement_timeout = %1"_s.arg(WebStatementTimeoutSeconds * 1000));
    return db;
}

void AlertPages::channels(const Req &req, Res &res, const Account &account, const Session &session)
{
    requireAdmin(account);
    const auto db = database();
    const qint64 nowMs = m_clock() * 1000;
    QString rows;
    const QString csrf = hidden(u"csrf"_s, session.csrf);
    // Failing ten minutes or more (by this clock, also between the service's tries): red, and
    // listed first, so that it is seen at once also on a phone.
    const auto failedNow = [&](const alert::ChannelView &c) {
        return c.failingSinceMs > 0 &&
               (c.state == u"故障"_s ||
                nowMs - c.failingSinceMs >= qint64(alert::FailedAfterSeconds) * 1000);
    };
    QList<alert::ChannelView> views = alert::channelViews(*db);
    std::stable_partition(views.begin(), views.end(), failedNow);
    for (const alert::ChannelView &c : views) {
        const bool failing = c.failingSinceMs > 0;
        const bool failed = failedNow(c);
        QString state = escapeHtml(failed ? u"故障"_s : c.state);
        if (failing)
            state += u"<div class=\"why\">%1</div><div class=\"since\">自 %2 起</div>"_s.arg(
                escapeHtml(c.lastError), localTime(c.failingSinceMs));
        QString details = escapeHtml(c.address);
        if (!c.secret.isEmpty())
            details += u"<br>加签密钥 %1"_s.arg(escapeHtml(c.secret));
        if (c.type == u"smtp"_s)
            details += u"<br>发件人 %1<br>收件人 %2"_s.arg(escapeHtml(c.from), escapeHtml(c.to));
        else
            details += c.format == u"markdown"_s ? u"<br>markdown"_s : u"<br>文本"_s;
        rows += u"<tr class=\"%1\" data-channel=\"%2\"><td class=\"name\">%2</td><td "
                "data-label=\"类型\">%3</td><td class=\"wrap\">%4</td><td class=\"state wrap\" "
                "data-label=\"状态\">%5</td><td><form method=\"post\" "
                "action=\"/admin/alerts/channels/remove\">%6%7<button type=\"submit\" "
                "class=\"danger\">删除</button></form></td></tr>"_s.arg(
                    failed    ? u"failed"_s
                    : failing ? u"retrying"_s
                              : u"ok"_s,
                    escapeHtml(c.name), typeName(c.type), details, state, csrf,
                    hidden(u"name"_s, c.name));
    }
    const QString replace = u"<label class=\"check\"><input type=\"checkbox\" name=\"replace\" "
                            "value=\"1\"> 替换同名渠道（引用它的规则不变）</label>"_s;
    const QString common =
        csrf + u"<label>名称<input name=\"name\" maxlength=\"64\" required></label>"_s;
    const QString content =
        AlertStyle + pageLinks(u"/admin/alerts/channels"_s) + notice(req) +
        u"<div class=\"admin\"><section><h2>告警渠道</h2><div class=\"tablewrap\"><table "
        "id=\"channels\"><thead><tr><th>名称</th><th>类型</th><th>地址</th><th>状态</th><th></th>"
        "</tr></thead><tbody>%1</tbody></table></div><p class=\"note\">密钥和 Webhook 的 key "
        "只显示最后 4 个字符。连续失败 10 分钟以上的渠道显示为红色，并给出最近的错误和开始失败的"
        "时间。</p></section>"
        "<section><h2>添加企业微信机器人</h2><form method=\"post\" action=\"/admin/alerts/"
        "channels/add\" id=\"addWecom\" class=\"stacked\">%2%3<label>Webhook 地址<input "
        "name=\"url\" maxlength=\"2000\" placeholder=\"https://qyapi.weixin.qq.com/cgi-bin/"
        "webhook/send?key=…\" autocomplete=\"off\" required></label><label class=\"check\"><input "
        "type=\"checkbox\" name=\"markdown\" value=\"1\"> 以 markdown 发送</label>%4<button "
        "type=\"submit\">添加</button></form></section>"
        "<section><h2>添加钉钉机器人</h2><form method=\"post\" action=\"/admin/alerts/channels/"
        "add\" id=\"addDingtalk\" class=\"stacked\">%5%3<label>Webhook 地址<input name=\"url\" "
        "maxlength=\"2000\" placeholder=\"https://oapi.dingtalk.com/robot/send?access_token=…\" "
        "autocomplete=\"off\" required></label><label>加签密钥<input name=\"secret\" "
        "type=\"password\" maxlength=\"200\" placeholder=\"SEC…\" autocomplete=\"off\" "
        "required></label><label class=\"check\"><input type=\"checkbox\" name=\"markdown\" "
        "value=\"1\"> 以 markdown 发送</label>%4<button type=\"submit\">添加</button></form>"
        "</section><section><h2>添加邮件渠道</h2><form method=\"post\" action=\"/admin/alerts/"
        "channels/add\" id=\"addSmtp\" class=\"stacked\">%6%3<label>邮件服务器<input "
        "name=\"url\" maxlength=\"2000\" placeholder=\"smtp://mail.example.org:587\" "
        "autocomplete=\"off\" required></label><label>发件人<input name=\"from\" "
        "maxlength=\"200\" required></label><label>收件人（多个以逗号分隔）<input name=\"to\" "
        "maxlength=\"2000\" required></label>%4<button type=\"submit\">添加</button></form>"
        "<p class=\"note\">服务器要求登录时写在地址里：smtp://用户:密码@主机:587。</p></section>"
        "</div>"_s.arg(rows.isEmpty() ? u"<tr><td colspan=\"5\">尚未添加渠道</td></tr>"_s : rows,
                       hidden(u"type"_s, u"wecom"_s), common, replace,
                       hidden(u"type"_s, u"dingtalk"_s), hidden(u"type"_s, u"smtp"_s));
    sendHtml(res, 200, page(frameOf(account, session, u"告警渠道"_s, u"/admin"_s), content));
}

void AlertPages::addChannel(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    alert::ChannelSpec c;
    c.type = field(req, "type");
    c.name = field(req, "name");
    c.url = field(req, "url");
    // Only the fields of the channel's kind: a form of another kind has none of the others.
    if (c.type == u"dingtalk"_s)
        c.secret = field(req, "secret");
    if (c.type != u"smtp"_s && field(req, "markdown") == u"1"_s)
        c.format = u"markdown"_s;
    if (c.type == u"smtp"_s) {
        c.from = field(req, "from");
        c.to = listField(req, "to");
    }
    if (const auto problem = alert::channelProblem(c, alert::Wording::Dashboard))
        throw Refused{400, *problem};
    const bool replace = field(req, "replace") == u"1"_s;
    const auto db = database();
    alert::inTransaction(*db, [&] {
        // A channel of that name is replaced only when asked to: a typo never overwrites one.
        if (!replace &&
            !db->value(u"select 1 from 告警_渠道 where 名称 = ? for update"_s, {c.name}).isNull())
            throw Refused{409, u"已有名为“%1”的渠道；要替换它，请勾选“替换同名渠道”"_s.arg(c.name)};
        alert::saveChannel(*db, c);
    });
    res.set_redirect("/admin/alerts/channels?saved=channel", 303);
}

void AlertPages::removeChannel(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    const QString name = field(req, "name");
    const auto db = database();
    try {
        if (!alert::removeChannel(*db, name))
            throw Refused{404, u"没有这个渠道：%1"_s.arg(name)};
    } catch (const alert::ChannelInUse &e) {
        throw Refused{409, e.message()};
    }
    res.set_redirect("/admin/alerts/channels?saved=channelRemoved", 303);
}

void AlertPages::rules(const Req &req, Res &res, const Account &account, const Session &session)
{
    requireAdmin(account);
    const auto db = database();
    const QString csrf = hidden(u"csrf"_s, session.csrf);
    QString rows;
    for (const alert::RuleView &r : alert::ruleViews(*db)) {
        const QString id = QString::number(r.id);
        rows +=
            u"<tr class=\"%1\" data-rule=\"%2\"><td class=\"num\" data-label=\"编号\">%2</td>"
            "<td data-label=\"类型\">%3</td><td class=\"wrap\" data-label=\"条件\">%4</td><td "
            "class=\"wrap\" data-label=\"渠道\">%5</td><td class=\"wrap\" data-label=\"终端\">%6"
            "</td><td data-label=\"时段\">%7</td><td data-label=\"状态\">%8</td><td><form "
            "method=\"post\" action=\"/admin/alerts/rules/switch\" "
            "class=\"inline\">%9"_s.arg(
                r.enabled ? u"on"_s : u"off"_s, id, ruleTypeName(r.type), escapeHtml(r.what),
                escapeHtml(r.channels.join(u"，"_s)),
                r.terminals.isEmpty() ? u"全部终端"_s : escapeHtml(r.terminals.join(u"，"_s)),
                r.hours.isEmpty() ? u"全天"_s : escapeHtml(r.hours),
                r.enabled ? u"启用"_s : u"已停用"_s, csrf) +
            u"%1%2<button type=\"submit\">%3</button></form><form method=\"post\" "
            "action=\"/admin/alerts/rules/remove\" class=\"inline\">%4%1<button type=\"submit\" "
            "class=\"danger\">删除</button></form></td></tr>"_s.arg(
                hidden(u"id"_s, id), hidden(u"on"_s, r.enabled ? u"0"_s : u"1"_s),
                r.enabled ? u"停用"_s : u"启用"_s, csrf);
    }
    QString channelBoxes;
    for (const alert::ChannelView &c : alert::channelViews(*db))
        channelBoxes +=
            u"<label class=\"check\"><input type=\"checkbox\" name=\"channel\" "
            "value=\"%1\"> %1（%2）</label>"_s.arg(escapeHtml(c.name), typeName(c.type));
    if (channelBoxes.isEmpty())
        channelBoxes = u"<p class=\"note\">尚无渠道，请先在<a href=\"/admin/alerts/channels\">告警"
                       "渠道</a>页添加。</p>"_s;
    QString typeOptions;
    for (const QString &type : alert::ruleTypes())
        typeOptions += u"<option value=\"%1\">%2</option>"_s.arg(type, ruleTypeName(type));
    const QString content =
        AlertStyle + pageLinks(u"/admin/alerts/rules"_s) + notice(req) +
        u"<div class=\"admin\"><section><h2>告警规则</h2><div class=\"tablewrap\"><table "
        "id=\"rules\"><thead><tr><th>编号</th><th>类型</th><th>条件</th><th>渠道</th><th>终端</th>"
        "<th>时段</th><th>状态</th><th></th></tr></thead><tbody>%1</tbody></table></div>"
        "<p class=\"note\">差评指“不满意”和“非常不满意”。每条规则向所选的每个渠道各发一条消息；"
        "停用的规则保留，不再告警。</p></section>"
        "<section><h2>添加规则</h2><form method=\"post\" action=\"/admin/alerts/rules/add\" "
        "id=\"addRule\" class=\"stacked\">%2<label>类型<select name=\"type\" id=\"ruleType\">%3"
        "</select></label><fieldset><legend>连续差评：最近 M 条评价中至少 N 条差评</legend>"
        "<label>差评数 N<input name=\"bad\" id=\"ruleBad\" type=\"number\" min=\"1\" "
        "max=\"1000\"></label><label>评价数 M<input name=\"of\" id=\"ruleOf\" type=\"number\" "
        "min=\"1\" max=\"1000\"></label></fieldset><fieldset><legend>低分时段：大厅最近 60 分钟"
        "满意度得分低于 X，且至少 K 条评价</legend><label>得分 X<input name=\"below\" "
        "id=\"ruleBelow\" inputmode=\"decimal\" maxlength=\"5\"></label><label>最少评价数 K"
        "<input name=\"minimum\" id=\"ruleMinimum\" type=\"number\" min=\"1\" max=\"100000\">"
        "</label></fieldset><fieldset><legend>渠道（可选多个）</legend>%4</fieldset>"
        "<label>终端（多个以逗号分隔，留空为全部终端）<input name=\"terminals\" "
        "id=\"ruleTerminals\" maxlength=\"2000\" placeholder=\"全部终端\"></label>"
        "<fieldset><legend>工作时段（留空为全天）</legend><label>开始<input name=\"start\" "
        "id=\"ruleStart\" type=\"time\"></label><label>结束<input name=\"end\" id=\"ruleEnd\" "
        "type=\"time\"></label></fieldset><button type=\"submit\" id=\"addRuleButton\">添加"
        "</button></form><p class=\"note\">每条差评、连续差评按评价在终端上的时间判断工作时段；"
        "低分时段和案件逾期按服务器时间。案件逾期：案件超过回访或整改期限（见"
        "<a href=\"/admin/cases\">期限与工作日历</a>）时告警，每个案件的每个期限一次，只报规则"
        "添加之后到期的。</p></section></div>"_s.arg(
            rows.isEmpty() ? u"<tr><td colspan=\"8\">尚未添加规则</td></tr>"_s : rows, csrf,
            typeOptions, channelBoxes);
    sendHtml(res, 200, page(frameOf(account, session, u"告警规则"_s, u"/admin"_s), content));
}

void AlertPages::addRule(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    alert::RuleInput input;
    input.type = field(req, "type");
    input.bad = field(req, "bad");
    input.of = field(req, "of");
    input.below = field(req, "below");
    input.minimum = field(req, "minimum");
    for (size_t i = 0; i < req.get_param_value_count("channel"); ++i) {
        const std::string &raw = req.get_param_value("channel", i);
        if (raw.size() > 256 || i >= 100)
            throw Refused{400, u"参数过长：channel"_s};
        input.channels.append(QString::fromStdString(raw));
    }
    input.terminals = listField(req, "terminals");
    const QString start = field(req, "start"), end = field(req, "end");
    if (!start.isEmpty() || !end.isEmpty())
        input.hours = start + u'-' + end;
    alert::RuleSpec rule;
    if (const auto problem = alert::ruleProblem(input, alert::Wording::Dashboard, rule))
        throw Refused{400, *problem};
    // A kiosk the central database does not know is a typo: the rule would never alert.
    const QStringList known = knownTerminals(m_central);
    for (const QString &t : rule.terminals) {
        if (!known.contains(t))
            throw Refused{400, u"未知终端：%1"_s.arg(t)};
    }
    const auto db = database();
    try {
        alert::addRule(*db, rule);
    } catch (const alert::MissingChannel &e) {
        throw Refused{400, u"没有这个渠道：%1"_s.arg(e.channel)};
    }
    res.set_redirect("/admin/alerts/rules?saved=rule", 303);
}

void AlertPages::removeRule(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    const qint64 id = idField(req);
    if (!alert::removeRule(*database(), id))
        throw Refused{404, u"没有这个规则：%1"_s.arg(id)};
    res.set_redirect("/admin/alerts/rules?saved=ruleRemoved", 303);
}

void AlertPages::switchRule(const Req &req, Res &res, const Account &account)
{
    requireAdmin(account);
    const qint64 id = idField(req);
    const QString on = field(req, "on");
    if (on != u"0"_s && on != u"1"_s)
        throw Refused{400, u"请选择启用或停用"_s};
    if (!alert::setRuleEnabled(*database(), id, on == u"1"_s))
        throw Refused{404, u"没有这个规则：%1"_s.arg(id)};
    res.set_redirect(on == u"1"_s ? "/admin/alerts/rules?saved=ruleOn"
                                  : "/admin/alerts/rules?saved=ruleOff",
                     303);
}

bool AlertPages::staticFile(const std::string &name, Res &res)
{
    QFile file(u":/web/static/"_s + QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    res.set_header("Cache-Control", "no-cache");
    res.set_content(file.readAll().toStdString(), "text/css; charset=utf-8");
    return true;
}

} // namespace web
