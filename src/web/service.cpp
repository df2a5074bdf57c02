#include "web/service.h"

#include "reports/exports.h"
#include "web/alertpages.h"
#include "web/casepages.h"
#include "web/ranking.h"
#include "web/refused.h"
#include "web/requests.h"
#include "web/webpages.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace web {

namespace {

const QString Unreachable = u"中心数据库暂时无法连接"_s;
const char *const SessionCookie = "__Host-session";
const char *const LoginCookie = "__Host-login";
constexpr int MaxParameterLength = 200;
constexpr qint64 MaxRangeDays = 3700;
constexpr qint64 OfflineSeconds = 10 * 60;
constexpr size_t WorkerThreads = 24;

void logLine(const QString &line)
{
    QTextStream(stderr) << u"kiosk-web：%1"_s.arg(line) << Qt::endl;
}

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString param(const httplib::Request &req, const char *key)
{
    if (!req.has_param(key))
        return {};
    if (req.get_param_value_count(key) > 1)
        throw Refused{400, u"参数重复：%1"_s.arg(QString::fromLatin1(key))};
    const std::string &raw = req.get_param_value(key);
    if (raw.size() > MaxParameterLength * 4)
        throw Refused{400, u"参数过长：%1"_s.arg(QString::fromLatin1(key))};
    const QString value = QString::fromStdString(raw);
    if (value.size() > MaxParameterLength)
        throw Refused{400, u"参数过长：%1"_s.arg(QString::fromLatin1(key))};
    return value;
}

QString cookie(const httplib::Request &req, const std::string &name)
{
    const std::string header = req.get_header_value("Cookie");
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find(';', at);
        if (end == std::string::npos)
            end = header.size();
        std::string part = header.substr(at, end - at);
        const size_t first = part.find_first_not_of(' ');
        part = first == std::string::npos ? std::string() : part.substr(first);
        if (part.compare(0, name.size() + 1, name + "=") == 0)
            return QString::fromLatin1(part.substr(name.size() + 1)).left(64);
        at = end + 1;
    }
    return {};
}

std::string sessionCookie(const QString &token, bool expire)
{
    return std::string(SessionCookie) + "=" + (expire ? "" : token.toStdString()) +
           "; Path=/; Secure; HttpOnly; SameSite=Strict" + (expire ? "; Max-Age=0" : "");
}

void sendJsonBytes(httplib::Response &res, int status, const std::string &bytes)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(bytes, "application/json; charset=utf-8");
}

void sendJson(httplib::Response &res, int status, const QJsonObject &object)
{
    sendJsonBytes(res, status, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}

// Answers of recent requests by a key naming everything they are made from (for the overview:
// the range, the period, the kiosks, the minimum count and the change mark of the counts they
// were made of): the same question on the same data gets the same bytes without building them
// again.
class Answers
{
public:
    std::optional<std::string> find(const QString &key)
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_answers.constFind(key);
        return it == m_answers.constEnd() ? std::nullopt : std::optional(*it);
    }
    void keep(const QString &key, const std::string &bytes)
    {
        QMutexLocker lock(&m_mutex);
        if (m_answers.size() >= 64)
            m_answers.clear();
        m_answers.insert(key, bytes);
    }

private:
    QMutex m_mutex;
    QHash<QString, std::string> m_answers;
};

bool wantsJson(const httplib::Request &req)
{
    return req.path.rfind("/api/", 0) == 0;
}

void sendRefusal(const httplib::Request &req, httplib::Response &res, int status,
                 const QString &message)
{
    if (wantsJson(req))
        sendJson(res, status, {{u"error"_s, message}});
    else if (req.path.rfind("/export.", 0) == 0 || req.path == "/healthz") {
        res.status = status;
        res.set_content(utf8(message + u'\n'), "text/plain; charset=utf-8");
    } else
        sendHtml(res, status, messagePage(status == 503 ? Unreachable : u"请求无效"_s, message));
}

QDate dateParam(const httplib::Request &req, const char *key, const char *label)
{
    const QString text = param(req, key);
    if (text.isEmpty())
        throw Refused{400, u"缺少%1日期（yyyy-MM-dd）"_s.arg(QString::fromUtf8(label))};
    const QDate date = QDate::fromString(text, u"yyyy-MM-dd"_s);
    if (!date.isValid() || date.toString(u"yyyy-MM-dd"_s) != text)
        throw Refused{
            400, u"%1日期无效，应为 yyyy-MM-dd 格式的真实日期"_s.arg(QString::fromUtf8(label))};
    return date;
}

struct Range
{
    QDate from, to;
};

Range rangeParams(const httplib::Request &req)
{
    const Range range{dateParam(req, "from", "开始"), dateParam(req, "to", "结束")};
    if (range.to < range.from)
        throw Refused{400, u"结束日期早于开始日期"_s};
    if (range.from.daysTo(range.to) > MaxRangeDays)
        throw Refused{400, u"日期范围过长（最多 10 年）"_s};
    return range;
}

reports::Period periodParam(const httplib::Request &req, const Range &range)
{
    const QString text = param(req, "period");
    if (text.isEmpty())
        return reports::defaultPeriod(range.from, range.to);
    if (text == u"day"_s)
        return reports::Period::Day;
    if (text == u"week"_s)
        return reports::Period::Week;
    if (text == u"month"_s)
        return reports::Period::Month;
    throw Refused{400, u"趋势周期无效，应为 day、week 或 month"_s};
}

QJsonObject figuresJson(const reports::Figures &f)
{
    QJsonArray per;
    for (const qint64 n : f.per)
        per.append(n);
    return {{u"name"_s, f.name},
            {u"ratings"_s, f.ratings},
            {u"score"_s, f.scoreText()},
            {u"rate"_s, f.rateText()},
            {u"per"_s, per}};
}

// The reports' sentences on the ratings left out ("另有 N 条疑似重复未计入。").
QJsonArray leftOutJson(const reports::Report &report)
{
    return QJsonArray::fromStringList(reports::leftOutLines(report));
}

QJsonArray trendJson(const QList<reports::TrendPoint> &trend)
{
    QJsonArray points;
    for (const reports::TrendPoint &p : trend)
        // A period without ratings has no score (null, a gap in the chart), not a score of 0.
        points.append(
            QJsonObject{{u"label"_s, p.label},
                        {u"ratings"_s, p.figures.ratings},
                        {u"score"_s, p.figures.ratings > 0 ? QJsonValue(p.figures.scoreText())
                                                           : QJsonValue(QJsonValue::Null)}});
    return points;
}

QString presetsJson(const QDate &today)
{
    QJsonArray list;
    for (const auto preset :
         {reports::Preset::Today, reports::Preset::ThisWeek, reports::Preset::ThisMonth,
          reports::Preset::ThisYear, reports::Preset::LastMonth}) {
        const reports::DateRange range = reports::presetRange(preset, today);
        list.append(QJsonObject{{u"name"_s, reports::presetName(preset)},
                                {u"from"_s, range.from.toString(u"yyyy-MM-dd"_s)},
                                {u"to"_s, range.to.toString(u"yyyy-MM-dd"_s)}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

QString formatTime(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss"_s) : QString();
}

QString freeText(qint64 bytes)
{
    if (bytes < 0)
        return {};
    return u"%1 GB"_s.arg(double(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 1);
}

QString roleOptions(const QString &role)
{
    return u"<option value=\"viewer\"%1>查看者</option><option value=\"admin\"%2>管理员</option>"_s
        .arg(role == u"viewer"_s ? u" selected"_s : QString(),
             role == u"admin"_s ? u" selected"_s : QString());
}

// What the administration page says after a change; fixed texts, never the request's.
QString noticeText(const QString &key)
{
    static const QHash<QString, QString> texts = {
        {u"minimum"_s, u"已保存最少评价数。"_s},
        {u"hall"_s, u"已保存终端所属大厅。"_s},
        {u"added"_s, u"已添加账户。"_s},
        {u"changed"_s, u"已保存账户的角色和终端。"_s},
        {u"password"_s, u"已重置密码，该账户需用新密码重新登录。"_s},
        {u"removed"_s, u"已删除账户。"_s}};
    return texts.value(key);
}

// The kiosks of a form field, separated by commas (also the Chinese one), without repeats.
QStringList terminalList(const httplib::Request &req)
{
    if (!req.has_param("terminals"))
        return {};
    if (req.get_param_value_count("terminals") > 1)
        throw Refused{400, u"参数重复：terminals"_s};
    const std::string &raw = req.get_param_value("terminals");
    if (raw.size() > 8000)
        throw Refused{400, u"终端列表过长"_s};
    QStringList list;
    for (const QString &part : QString::fromStdString(raw).split(QRegularExpression(u"[,，]"_s))) {
        const QString t = part.trimmed();
        if (!t.isEmpty() && !list.contains(t))
            list.append(t);
    }
    return list;
}

// A new password from the fields password and again, which must agree.
QString newPassword(const httplib::Request &req)
{
    for (const char *key : {"password", "again"}) {
        if (req.get_param_value_count(key) != 1)
            throw Refused{400, u"请输入两次新密码"_s};
        if (req.get_param_value(key).size() > 1024)
            throw Refused{400, u"密码至少 8 个字符，最多 256 个字符"_s};
    }
    const QString password = QString::fromStdString(req.get_param_value("password"));
    if (password != QString::fromStdString(req.get_param_value("again")))
        throw Refused{400, u"两次输入的密码不一致"_s};
    const QString problem = passwordProblem(password);
    if (!problem.isEmpty())
        throw Refused{400, problem};
    return password;
}

} // namespace

Service::Service(Central &central, Clock clock)
    : m_central(central), m_clock(clock), m_sessions(clock), m_guard(clock)
{
    routes();
}

int Service::bind(const QString &host, int port)
{
    if (port == 0)
        return m_server.bind_to_any_port(utf8(host));
    return m_server.bind_to_port(utf8(host), port) ? port : -1;
}

bool Service::run()
{
    return m_server.listen_after_bind();
}

void Service::stop()
{
    m_server.stop();
}

void Service::routes()
{
    // A worker per connection that nginx (16 kept open) or a few office screens hold open,
    // each with its own database connection.
    m_server.new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
    m_server.set_keep_alive_max_count(1000);
    m_server.set_payload_max_length(64 * 1024);
    m_server.set_read_timeout(10, 0);
    m_server.set_write_timeout(10, 0);
    m_server.set_keep_alive_timeout(30);
    m_server.set_default_headers(
        {{"X-Content-Type-Options", "nosniff"},
         {"X-Frame-Options", "DENY"},
         {"Referrer-Policy", "same-origin"},
         {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; "
                                     "frame-ancestors 'none'; form-action 'self'"}});
    // Answers the library makes itself (a request too large, a path nobody serves) in Chinese.
    m_server.set_error_handler([](const httplib::Request &req, httplib::Response &res) {
        if (!res.body.empty())
            return;
        QString message;
        switch (res.status) {
        case 404:
            message = u"页面不存在"_s;
            break;
        case 405:
            message = u"不支持此请求方法"_s;
            break;
        case 413:
            message = u"请求内容过大"_s;
            break;
        case 414:
            message = u"请求地址过长"_s;
            break;
        default:
            message = u"请求无效"_s;
        }
        if (res.status >= 500)
            res.status = 503;
        sendRefusal(req, res, res.status, message);
    });
    m_server.set_exception_handler(
        [](const httplib::Request &req, httplib::Response &res, std::exception_ptr) {
            logLine(u"请求处理出错"_s);
            sendRefusal(req, res, 503, Unreachable);
        });

    struct Caller
    {
        Session session;
        Account account;
    };
    // Wraps a handler: the database's tables, the caller's session (none for open routes),
    // CSRF on every POST, and the refusals as 4xx/503 answers.
    const auto handle = [this](bool needsLogin, auto body) {
        return [this, needsLogin, body](const httplib::Request &req, httplib::Response &res) {
            try {
                if (!m_schemaReady) {
                    m_central.createWebSchema();
                    m_schemaReady = true;
                }
                // The request's reads share one reading of the marks (the accounts', the
                // counts', the kiosks' and the minimum count), which decide whether what is
                // kept in memory still holds.
                const RequestMarks marks(m_central);
                std::optional<Caller> caller;
                const QString token = cookie(req, SessionCookie);
                if (!token.isEmpty()) {
                    if (const auto session = m_sessions.use(token)) {
                        // A new password set elsewhere (the command) ends the session too.
                        auto account = sessionAccount(m_central, session->user);
                        if (account && account->hash == session->hash)
                            caller = Caller{*session, *account};
                        else
                            m_sessions.remove(token);
                    }
                }
                if (needsLogin && !caller) {
                    if (wantsJson(req) || req.method == "POST" ||
                        req.path.rfind("/export.", 0) == 0) {
                        sendRefusal(req, res, 401, u"请先登录"_s);
                    } else {
                        res.set_redirect("/login", 303);
                    }
                    return;
                }
                if (needsLogin && req.method == "POST") {
                    const QString sent =
                        req.has_header("X-CSRF-Token")
                            ? QString::fromStdString(req.get_header_value("X-CSRF-Token"))
                            : param(req, "csrf");
                    if (!sameToken(sent, caller->session.csrf))
                        throw Refused{403, u"请求缺少有效的安全令牌，请刷新页面后重试"_s};
                }
                body(req, res, caller ? &*caller : nullptr, token);
            } catch (const Refused &refused) {
                sendRefusal(req, res, refused.status, refused.message);
            } catch (const Unavailable &e) {
                logLine(e.message());
                m_schemaReady = false;
                sendRefusal(req, res, 503, Unreachable);
            } catch (const KioskError &e) {
                logLine(e.message());
                sendRefusal(req, res, 503, Unreachable);
            }
        };
    };

    const auto frame = [](const Caller &caller, const QString &title, const QString &path) {
        return PageFrame{title, caller.account.name, caller.session.csrf, caller.account.isAdmin(),
                         path};
    };

    // The kiosks a request asks for, within what the caller may see; refused when it names a
    // kiosk or hall outside that.
    const auto scope = [this](const httplib::Request &req,
                              const Caller &caller) -> std::optional<QStringList> {
        const QString terminal = param(req, "terminal");
        const QString hall = param(req, "hall");
        const std::optional<QStringList> allowed = caller.account.allowed();
        if (!terminal.isEmpty() && !hall.isEmpty())
            throw Refused{400, u"只能选择一个终端或一个大厅"_s};
        if (!terminal.isEmpty()) {
            if (allowed && !allowed->contains(terminal))
                throw Refused{403, u"无权查看该终端"_s};
            if (!knownTerminals(m_central).contains(terminal))
                throw Refused{404, u"未知终端"_s};
            return QStringList{terminal};
        }
        if (!hall.isEmpty()) {
            QStringList members;
            for (const auto &[t, h] : halls(m_central)) {
                if (h == hall)
                    members.append(t);
            }
            if (allowed && std::any_of(members.cbegin(), members.cend(),
                                       [&](const QString &t) { return !allowed->contains(t); }))
                throw Refused{403, u"无权查看该大厅"_s};
            if (members.isEmpty())
                throw Refused{allowed ? 403 : 404, allowed ? u"无权查看该大厅"_s : u"未知大厅"_s};
            return members;
        }
        return allowed;
    };

    const auto scopeOptions = [this](const Caller &caller) {
        const std::optional<QStringList> allowed = caller.account.allowed();
        QString halls_, terminals_;
        QMap<QString, QStringList> byHall;
        for (const auto &[t, h] : halls(m_central))
            byHall[h].append(t);
        for (auto it = byHall.cbegin(); it != byHall.cend(); ++it) {
            if (!allowed || std::all_of(it->cbegin(), it->cend(),
                                        [&](const QString &t) { return allowed->contains(t); }))
                halls_ += u"<option value=\"hall=%1\">%2</option>"_s.arg(escapeHtml(it.key()),
                                                                         escapeHtml(it.key()));
        }
        for (const QString &t : knownTerminals(m_central)) {
            if (!allowed || allowed->contains(t))
                terminals_ += u"<option value=\"terminal=%1\">%2</option>"_s.arg(escapeHtml(t),
                                                                                 escapeHtml(t));
        }
        return (halls_.isEmpty() ? QString()
                                 : u"<optgroup label=\"大厅\">%1</optgroup>"_s.arg(halls_)) +
               u"<optgroup label=\"终端\">%1</optgroup>"_s.arg(terminals_);
    };
    const auto today = [this] {
        return QDateTime::fromSecsSinceEpoch(m_clock()).toLocalTime().date();
    };

    m_server.Get("/healthz", [this](const httplib::Request &, httplib::Response &res) {
        const bool ok = m_central.healthy();
        res.status = ok ? 200 : 503;
        res.set_header("Cache-Control", "no-store");
        res.set_content(ok ? "ok\n" : utf8(Unreachable + u'\n'), "text/plain; charset=utf-8");
    });

    m_server.Get("/static/(app\\.js|app\\.css)",
                 [](const httplib::Request &req, httplib::Response &res) {
                     const std::string name = req.matches[1];
                     QFile file(u":/web/static/"_s + QString::fromStdString(name));
                     file.open(QIODevice::ReadOnly);
                     res.set_header("Cache-Control", "no-cache");
                     res.set_content(file.readAll().toStdString(),
                                     name.ends_with(".js") ? "text/javascript; charset=utf-8"
                                                           : "text/css; charset=utf-8");
                 });

    const auto loginPage = [](httplib::Response &res, int status, const QString &message,
                              const QString &name) {
        const QString csrf = randomToken();
        res.set_header("Set-Cookie", std::string(LoginCookie) + "=" + csrf.toStdString() +
                                         "; Path=/; Secure; HttpOnly; SameSite=Strict");
        sendHtml(res, status,
                 page({u"登录"_s, {}, {}, false, {}}, loginContent(csrf, message, name)));
    };

    m_server.Get(
        "/login",
        handle(false, [loginPage](const httplib::Request &, httplib::Response &res, const Caller *,
                                  const QString &) { loginPage(res, 200, {}, {}); }));

    m_server.Post("/login", handle(false, [this, loginPage](const httplib::Request &req,
                                                            httplib::Response &res, const Caller *,
                                                            const QString &oldToken) {
                      const QString expected = cookie(req, LoginCookie);
                      if (!sameToken(param(req, "csrf"), expected))
                          throw Refused{403, u"登录页已过期或缺少安全令牌，请重新打开登录页"_s};
                      const QString name = param(req, "name").trimmed();
                      const QString password =
                          QString::fromStdString(req.get_param_value("password"));
                      if (m_guard.isLocked(name)) {
                          loginPage(res, 429, u"登录失败次数过多，请 15 分钟后再试"_s, name);
                          return;
                      }
                      const std::optional<Account> account =
                          name.isEmpty() ? std::nullopt : findAccount(m_central, name);
                      // An unknown name costs the same work as a wrong password.
                      static const QString dummy = hashPassword(randomToken());
                      const bool ok = verifyPassword(account ? account->hash : dummy, password) &&
                                      account.has_value() && password.size() <= 256;
                      if (!ok) {
                          m_guard.failed(name);
                          loginPage(res, 401, u"用户名或密码错误"_s, name);
                          return;
                      }
                      m_guard.succeeded(name);
                      if (!oldToken.isEmpty())
                          m_sessions.remove(oldToken);
                      const QString token = m_sessions.create(account->name, account->hash);
                      res.set_header("Set-Cookie", sessionCookie(token, false));
                      res.set_redirect("/", 303);
                  }));

    m_server.Post("/logout", handle(true, [this](const httplib::Request &, httplib::Response &res,
                                                 const Caller *, const QString &token) {
                      m_sessions.remove(token);
                      res.set_header("Set-Cookie", sessionCookie({}, true));
                      res.set_redirect("/login", 303);
                  }));

    m_server.Get("/", handle(true, [=, this](const httplib::Request &, httplib::Response &res,
                                             const Caller *caller, const QString &) {
                     sendHtml(res, 200,
                              page(frame(*caller, u"总览"_s, u"/"_s),
                                   withCaseSummary(overviewContent(scopeOptions(*caller),
                                                                   presetsJson(today())))));
                 }));

    m_server.Get("/person", handle(true, [=, this](const httplib::Request &, httplib::Response &res,
                                                   const Caller *caller, const QString &) {
                     QString names;
                     for (const QString &n : ratedNames(m_central, caller->account.allowed()))
                         names += u"<option>%1</option>"_s.arg(escapeHtml(n));
                     sendHtml(
                         res, 200,
                         page(frame(*caller, u"人员/窗口"_s, u"/person"_s),
                              personContent(scopeOptions(*caller), presetsJson(today()), names)));
                 }));

    m_server.Get("/terminals", handle(true, [=](const httplib::Request &, httplib::Response &res,
                                                const Caller *caller, const QString &) {
                     sendHtml(res, 200,
                              page(frame(*caller, u"终端"_s, u"/terminals"_s), terminalsContent()));
                 }));

    m_server.Get(
        "/api/overview", handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                                                const Caller *caller, const QString &) {
            const Range range = rangeParams(req);
            const reports::Period period = periodParam(req, range);
            const std::optional<QStringList> terminals = scope(req, *caller);
            const ScopedCounts counts =
                readScopedCounts(m_central, range.from, range.to, terminals);
            const int minimum = minimumRatings(m_central);
            static Answers answers;
            const QString key = u"%1|%2|%3|%4|%5|%6"_s.arg(
                range.from.toString(Qt::ISODate), range.to.toString(Qt::ISODate),
                QString::number(int(period)), QString::number(minimum),
                QString::number(counts.mark),
                terminals ? QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(*terminals))
                                                  .toJson(QJsonDocument::Compact))
                          : u"*"_s);
            if (const auto kept = answers.find(key)) {
                sendJsonBytes(res, 200, *kept);
                return;
            }
            reports::Report report =
                reports::makeReport(range.from, range.to, period, counts.byName, counts.byDay);
            report.suspectedRepeats = counts.suspectedRepeats;
            QJsonArray reasons;
            for (const reports::NameReasonCount &r : counts.reasons)
                reasons.append(QJsonObject{{u"name"_s, reports::displayName(r.name)},
                                           {u"reason"_s, r.reason},
                                           {u"count"_s, r.count}});
            QJsonArray ranking;
            for (const RankedName &row : rankWithMinimum(report.ranking, minimum)) {
                QJsonObject o = figuresJson(row.figures);
                o.insert(u"rank"_s, row.rank);
                o.insert(u"enough"_s, row.enough);
                ranking.append(o);
            }
            const std::string bytes =
                QJsonDocument(QJsonObject{{u"from"_s, range.from.toString(u"yyyy-MM-dd"_s)},
                                          {u"to"_s, range.to.toString(u"yyyy-MM-dd"_s)},
                                          {u"periodName"_s, reports::periodName(report.period)},
                                          {u"overall"_s, figuresJson(report.overall)},
                                          {u"outside"_s, report.outsideGrades},
                                          {u"leftOut"_s, leftOutJson(report)},
                                          {u"ranking"_s, ranking},
                                          {u"minimum"_s, minimum},
                                          {u"reasons"_s, reasons},
                                          {u"trend"_s, trendJson(report.trend)}})
                    .toJson(QJsonDocument::Compact)
                    .toStdString();
            answers.keep(key, bytes);
            sendJsonBytes(res, 200, bytes);
        }));

    m_server.Get("/api/person",
                 handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                                        const Caller *caller, const QString &) {
                     const Range range = rangeParams(req);
                     const reports::Period period = periodParam(req, range);
                     const QString name = param(req, "name");
                     if (name.isEmpty())
                         throw Refused{400, u"缺少名称"_s};
                     const std::optional<QStringList> terminals = scope(req, *caller);
                     const NameCounts counts =
                         readNameCounts(m_central, name, range.from, range.to, terminals);
                     QList<reports::NameGradeCount> asOne;
                     for (const auto &c : counts.byTerminal)
                         asOne.append({name, c.grade, c.count});
                     reports::Report report =
                         reports::makeReport(range.from, range.to, period, asOne, counts.byDay);
                     report.suspectedRepeats = counts.suspectedRepeats;
                     QJsonArray perTerminal;
                     for (const reports::Figures &f : reports::rank(counts.byTerminal))
                         perTerminal.append(figuresJson(f));
                     sendJson(res, 200,
                              {{u"name"_s, name},
                               {u"periodName"_s, reports::periodName(report.period)},
                               {u"overall"_s, figuresJson(report.overall)},
                               {u"outside"_s, report.outsideGrades},
                               {u"leftOut"_s, leftOutJson(report)},
                               {u"terminals"_s, perTerminal},
                               {u"trend"_s, trendJson(report.trend)}});
                 }));

    m_server.Get(
        "/api/terminals", handle(true, [this](const httplib::Request &, httplib::Response &res,
                                              const Caller *caller, const QString &) {
            const qint64 now = m_clock();
            QString marks;
            const std::optional<QStringList> allowed = caller->account.allowed();
            const QList<TerminalState> states = terminalStates(m_central, allowed, &marks);
            // The same list with the same kiosks offline gets the same bytes.
            QString offlineNow;
            for (const TerminalState &t : states)
                offlineNow += !t.lastContact.isValid() ||
                                      now - t.lastContact.toSecsSinceEpoch() > OfflineSeconds
                                  ? u'1'
                                  : u'0';
            static Answers answers;
            const QString key =
                marks + u'|' + offlineNow + u'|' +
                (allowed ? QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(*allowed))
                                                 .toJson(QJsonDocument::Compact))
                         : u"*"_s);
            if (const auto kept = answers.find(key)) {
                sendJsonBytes(res, 200, *kept);
                return;
            }
            QJsonArray rows;
            for (qsizetype i = 0; i < states.size(); ++i) {
                const TerminalState &t = states[i];
                const bool offline = offlineNow[i] == u'1';
                rows.append(QJsonObject{{u"terminal"_s, t.terminal},
                                        {u"hall"_s, t.hall},
                                        {u"lastRating"_s, formatTime(t.lastRating)},
                                        {u"lastContact"_s, formatTime(t.lastContact)},
                                        {u"pending"_s, t.pending},
                                        {u"version"_s, t.version},
                                        {u"free"_s, freeText(t.freeBytes)},
                                        {u"offline"_s, offline}});
            }
            const std::string bytes = QJsonDocument(QJsonObject{{u"terminals"_s, rows}})
                                          .toJson(QJsonDocument::Compact)
                                          .toStdString();
            answers.keep(key, bytes);
            sendJsonBytes(res, 200, bytes);
        }));

    m_server.Get(
        "/export\\.(csv|xlsx|pdf)",
        handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                               const Caller *caller, const QString &) {
            const std::string kind = req.matches[1];
            const Range range = rangeParams(req);
            const std::optional<QStringList> terminals = scope(req, *caller);
            const ScopedCounts counts =
                readScopedCounts(m_central, range.from, range.to, terminals);
            reports::Report report = reports::makeReport(
                range.from, range.to, reports::defaultPeriod(range.from, range.to), counts.byName,
                counts.byDay);
            report.reasons = readScopedReasonCounts(m_central, range.from, range.to, terminals);
            report.suspectedRepeats = counts.suspectedRepeats;
            const QString suffix = QString::fromStdString(kind);
            QByteArray bytes;
            if (kind == "csv") {
                bytes = reports::csvBytes(report);
            } else {
                // The workbook and the PDF are written as files by the reports
                // library; a private folder holds them while they are read back.
                QTemporaryDir dir;
                if (!dir.isValid())
                    throw KioskError(u"无法创建临时文件夹"_s);
                const QString path = dir.filePath(u"report."_s + suffix);
                reports::exportReport(report, kind == "xlsx"
                                                  ? reports::ExportTargets{{}, path, {}}
                                                  : reports::ExportTargets{{}, {}, path});
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    throw KioskError(u"无法读取导出文件"_s);
                bytes = file.readAll();
            }
            const QString fileName = reports::exportFileName(report, suffix);
            res.set_header("Content-Disposition",
                           "attachment; filename=\"report." + kind + "\"; filename*=UTF-8''" +
                               QUrl::toPercentEncoding(fileName).toStdString());
            res.set_header("Cache-Control", "no-store");
            res.set_content(bytes.toStdString(),
                            kind == "csv"    ? "text/csv; charset=utf-8"
                            : kind == "xlsx" ? "application/vnd.openxmlformats-officedocument."
                                               "spreadsheetml.sheet"
                                             : "application/pdf");
        }));

    addCaseRoutes(m_server, handle, m_central, m_clock);
    addAlertRoutes(m_server, handle, m_central, m_clock);

    // Administration: the minimum count of the ranking, and the hall of each kiosk.
    m_server.Get(
        "/admin", handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                                         const Caller *caller, const QString &) {
            if (!caller->account.isAdmin())
                throw Refused{403, u"只有管理员可以打开管理页"_s};
            QHash<QString, QString> hallOf;
            for (const auto &[t, h] : halls(m_central))
                hallOf.insert(t, h);
            const QString csrf = escapeHtml(caller->session.csrf);
            QString hallRows;
            for (const QString &t : knownTerminals(m_central))
                hallRows += u"<tr><td>%1</td><td><form method=\"post\" action=\"/admin/hall\">"
                            "<input type=\"hidden\" name=\"csrf\" value=\"%2\">"
                            "<input type=\"hidden\" name=\"terminal\" value=\"%1\">"
                            "<input name=\"hall\" maxlength=\"64\" value=\"%3\">"
                            "<button type=\"submit\">保存</button></form></td></tr>"_s.arg(
                                escapeHtml(t), csrf, escapeHtml(hallOf.value(t)));
            QString userRows;
            for (const Account &a : accounts(m_central)) {
                const QString name = escapeHtml(a.name);
                const QString hidden =
                    u"<input type=\"hidden\" name=\"csrf\" value=\"%1\">"
                    "<input type=\"hidden\" name=\"name\" value=\"%2\">"_s.arg(csrf, name);
                userRows +=
                    u"<tr><td>%1</td><td><form method=\"post\" action=\"/admin/user/change\" "
                    "class=\"inline\">%2<select name=\"role\">%3</select>"
                    "<input name=\"terminals\" maxlength=\"2000\" value=\"%4\" "
                    "placeholder=\"全部终端\" aria-label=\"终端\">"
                    "<button type=\"submit\">保存</button></form></td>"
                    "<td><form method=\"post\" action=\"/admin/user/password\" "
                    "class=\"inline\">%2<input name=\"password\" type=\"password\" "
                    "autocomplete=\"new-password\" maxlength=\"256\" placeholder=\"新密码\" "
                    "aria-label=\"新密码\"><input name=\"again\" type=\"password\" "
                    "autocomplete=\"new-password\" maxlength=\"256\" placeholder=\"再输入一次\" "
                    "aria-label=\"再输入一次\"><button "
                    "type=\"submit\">重置密码</button></form></td>"
                    "<td><form method=\"post\" action=\"/admin/user/remove\">%2"
                    "<button type=\"submit\" class=\"danger\">删除</button></form></td></tr>"_s.arg(
                        name, hidden, roleOptions(a.role), escapeHtml(a.terminals.join(u"，"_s)));
            }
            const QString notice = noticeText(param(req, "saved"));
            const QString content =
                (notice.isEmpty() ? QString()
                                  : u"<p class=\"notice\" id=\"notice\">%1</p>"_s.arg(notice)) +
                u"<div class=\"admin\"><section><h2>排名的最少评价数</h2>"
                "<form method=\"post\" action=\"/admin/minimum\">"
                "<input type=\"hidden\" name=\"csrf\" value=\"%1\">"
                "<input name=\"minimum\" id=\"minimumInput\" type=\"number\" min=\"0\" "
                "max=\"1000000\" value=\"%2\"> <button type=\"submit\">保存</button></form>"
                "</section><section><h2>终端所属大厅</h2><div class=\"tablewrap\"><table "
                "id=\"halls\"><thead><tr><th>终端</th><th>大厅</th></tr></thead><tbody>%3"
                "</tbody></table></div></section><section><h2>账户</h2>"
                "<p class=\"note\">查看者只看到所列终端（用逗号分隔）；不列终端即可查看全部终端。"
                "管理员查看全部终端。</p>"
                "<div class=\"tablewrap\"><table id=\"users\"><thead><tr><th>用户名</th>"
                "<th>角色和终端</th><th>密码</th><th></th></tr></thead><tbody>%4</tbody></table>"
                "</div><h3>添加账户</h3><form method=\"post\" action=\"/admin/user/add\" "
                "id=\"addUser\" class=\"stacked\">"
                "<input type=\"hidden\" name=\"csrf\" value=\"%1\">"
                "<label>用户名<input name=\"name\" id=\"newName\" maxlength=\"64\" "
                "required></label><label>角色<select name=\"role\" id=\"newRole\">%5"
                "</select></label><label>终端<input name=\"terminals\" id=\"newTerminals\" "
                "maxlength=\"2000\" placeholder=\"全部终端\"></label>"
                "<label>密码<input name=\"password\" id=\"newPassword\" type=\"password\" "
                "autocomplete=\"new-password\" maxlength=\"256\" required></label>"
                "<label>再输入一次<input name=\"again\" id=\"newAgain\" type=\"password\" "
                "autocomplete=\"new-password\" maxlength=\"256\" required></label>"
                "<button type=\"submit\" id=\"addButton\">添加</button></form>"
                "</section><section><h2>告警</h2><p><a href=\"/admin/alerts/channels\" "
                "id=\"alertChannels\">告警渠道</a>　<a href=\"/admin/alerts/rules\" "
                "id=\"alertRules\">告警规则</a></p></section></div>"_s.arg(csrf)
                    .arg(minimumRatings(m_central))
                    .arg(hallRows, userRows, roleOptions(u"viewer"_s));
            sendHtml(res, 200, page(frame(*caller, u"管理"_s, u"/admin"_s), content));
        }));

    m_server.Post("/admin/minimum",
                  handle(true, [this](const httplib::Request &req, httplib::Response &res,
                                      const Caller *caller, const QString &) {
                      if (!caller->account.isAdmin())
                          throw Refused{403, u"只有管理员可以修改设置"_s};
                      bool ok = false;
                      const int minimum = param(req, "minimum").toInt(&ok);
                      if (!ok || minimum < 0 || minimum > 1000000)
                          throw Refused{400, u"最少评价数应为 0 到 1000000 之间的整数"_s};
                      setMinimumRatings(m_central, minimum);
                      res.set_redirect("/admin?saved=minimum", 303);
                  }));

    m_server.Post("/admin/hall",
                  handle(true, [this](const httplib::Request &req, httplib::Response &res,
                                      const Caller *caller, const QString &) {
                      if (!caller->account.isAdmin())
                          throw Refused{403, u"只有管理员可以修改设置"_s};
                      const QString terminal = param(req, "terminal");
                      const QString hall = param(req, "hall").trimmed();
                      if (!knownTerminals(m_central).contains(terminal))
                          throw Refused{404, u"未知终端"_s};
                      if (hall.size() > 64)
                          throw Refused{400, u"大厅名称最多 64 个字符"_s};
                      setHall(m_central, terminal, hall);
                      res.set_redirect("/admin?saved=hall", 303);
                  }));

    // Accounts: added, changed (role and kiosks), given a new password and removed by an
    // administrator. An administrator's own account is never removed or demoted from the
    // dashboard, and no change leaves it without an administrator.
    const auto adminOnly = [](const Caller *caller) {
        if (!caller->account.isAdmin())
            throw Refused{403, u"只有管理员可以管理账户"_s};
    };
    const auto outcome = [](AccountChange change, const QString &name) {
        switch (change) {
        case AccountChange::Done:
            return;
        case AccountChange::Missing:
            throw Refused{404, u"没有这个账户：%1"_s.arg(name)};
        case AccountChange::Exists:
            throw Refused{409, u"账户已存在：%1"_s.arg(name)};
        case AccountChange::LastAdmin:
            throw Refused{409, u"至少要保留一个管理员账户"_s};
        }
    };
    const auto accountFields = [this](const httplib::Request &req, bool withName) {
        const QString name = param(req, "name");
        const QString role = param(req, "role");
        const QStringList terminals = terminalList(req);
        const QString problem =
            accountProblem(withName ? name : u"x"_s, role, terminals, knownTerminals(m_central));
        if (!problem.isEmpty())
            throw Refused{400, problem};
        return std::make_tuple(name, role, terminals);
    };

    m_server.Post(
        "/admin/user/add",
        handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                               const Caller *caller, const QString &) {
            adminOnly(caller);
            const auto [name, role, terminals] = accountFields(req, true);
            const QString password = newPassword(req);
            outcome(addAccount(m_central, {name, role, terminals, hashPassword(password)}), name);
            res.set_redirect("/admin?saved=added", 303);
        }));

    m_server.Post("/admin/user/change",
                  handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                                         const Caller *caller, const QString &) {
                      adminOnly(caller);
                      const auto [name, role, terminals] = accountFields(req, false);
                      if (name == caller->account.name && role != caller->account.role)
                          throw Refused{409, u"不能更改自己账户的角色"_s};
                      outcome(changeAccount(m_central, name, role, terminals), name);
                      res.set_redirect("/admin?saved=changed", 303);
                  }));

    m_server.Post("/admin/user/password",
                  handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                                         const Caller *caller, const QString &token) {
                      adminOnly(caller);
                      const QString name = param(req, "name");
                      const QString password = newPassword(req);
                      const QString hash = hashPassword(password);
                      outcome(setPassword(m_central, name, hash), name);
                      // Whoever knew the old password is logged out; the administrator who
                      // set it for themselves stays.
                      m_sessions.removeUser(name, token);
                      if (name == caller->account.name)
                          m_sessions.setHash(token, hash);
                      res.set_redirect("/admin?saved=password", 303);
                  }));

    m_server.Post("/admin/user/remove",
                  handle(true, [=, this](const httplib::Request &req, httplib::Response &res,
                                         const Caller *caller, const QString &) {
                      adminOnly(caller);
                      const QString name = param(req, "name");
                      if (name == caller->account.name)
                          throw Refused{409, u"不能删除自己的账户"_s};
                      outcome(deleteAccount(m_central, name), name);
                      m_sessions.removeUser(name);
                      res.set_redirect("/admin?saved=removed", 303);
                  }));
}

} // namespace web
