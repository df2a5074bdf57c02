#pragma once

#include "web/webauth.h"
#include "web/webdata.h"

#include <httplib.h>

#include <atomic>
#include <memory>

namespace alert {
class PgConnection;
}

// The administrator's pages of the alert service: its channels (企业微信 and 钉钉 robots,
// e-mail) with their state, and its rules. The checks of a channel or rule are the alert
// library's, the same as kiosk-alert's command line; the tables are the service's own.
// Only administrators: everybody else is refused by every route.
namespace web {

class AlertPages
{
public:
    AlertPages(Central &central, Clock clock) : m_central(central), m_clock(std::move(clock)) {}

    using Req = httplib::Request;
    using Res = httplib::Response;
    void channels(const Req &req, Res &res, const Account &account, const Session &session);
    void addChannel(const Req &req, Res &res, const Account &account);
    void removeChannel(const Req &req, Res &res, const Account &account);
    void rules(const Req &req, Res &res, const Account &account, const Session &session);
    void addRule(const Req &req, Res &res, const Account &account);
    void removeRule(const Req &req, Res &res, const Account &account);
    void switchRule(const Req &req, Res &res, const Account &account);
    // The pages' style sheet (alerts.css); false for another name.
    static bool staticFile(const std::string &name, Res &res);

private:
    // A connection of the alert library for this request, the alert tables made on first use.
    std::unique_ptr<alert::PgConnection> database();

    Central &m_central;
    Clock m_clock;
    std::atomic<bool> m_ready{false};
};

// Adds the routes to server; handle is the service's wrapper (session, CSRF, refusals).
template <typename Handle>
void addAlertRoutes(httplib::Server &server, Handle handle, Central &central, Clock clock)
{
    const auto pages = std::make_shared<AlertPages>(central, std::move(clock));
    using Req = httplib::Request;
    using Res = httplib::Response;
    server.Get("/admin/alerts/channels",
               handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->channels(q, s, c->account, c->session);
               }));
    server.Post("/admin/alerts/channels/add",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->addChannel(q, s, c->account);
                }));
    server.Post("/admin/alerts/channels/remove",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->removeChannel(q, s, c->account);
                }));
    server.Get("/admin/alerts/rules",
               handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->rules(q, s, c->account, c->session);
               }));
    server.Post("/admin/alerts/rules/add",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->addRule(q, s, c->account);
                }));
    server.Post("/admin/alerts/rules/remove",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->removeRule(q, s, c->account);
                }));
    server.Post("/admin/alerts/rules/switch",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->switchRule(q, s, c->account);
                }));
    server.Get("/static/(alerts\\.css)",
               [](const Req &q, Res &s) { AlertPages::staticFile(q.matches[1], s); });
}

} // namespace web
