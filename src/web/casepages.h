#pragma once

#include "web/webauth.h"
#include "web/webdata.h"

#include <httplib.h>

#include <atomic>
#include <memory>

// The dashboard's pages of the cases of bad ratings: the case list, a case with its rating,
// reasons, deadlines, history and step buttons, the redirect from a rating's key to its case,
// the figures of the overview, and the administrator's deadlines and working-day calendar.
// A viewer limited to some kiosks sees and handles only their cases, by every route.
namespace web {

class CasePages
{
public:
    CasePages(Central &central, Clock clock) : m_central(central), m_clock(std::move(clock)) {}

    using Req = httplib::Request;
    using Res = httplib::Response;
    void list(const Req &req, Res &res, const Account &account, const Session &session);
    void show(const Req &req, Res &res, const Account &account, const Session &session);
    void step(const Req &req, Res &res, const Account &account);
    void byRating(const Req &req, Res &res, const Account &account);
    void summary(const Req &req, Res &res, const Account &account);
    void settings(const Req &req, Res &res, const Account &account, const Session &session);
    void setDeadlines(const Req &req, Res &res, const Account &account);
    void setDay(const Req &req, Res &res, const Account &account);
    void removeDay(const Req &req, Res &res, const Account &account);
    // Static files of these pages (cases.js, cases.css); false for another name.
    static bool staticFile(const std::string &name, Res &res);

private:
    void ready();
    QDate today() const;

    Central &m_central;
    Clock m_clock;
    std::atomic<bool> m_ready{false};
};

// The overview's part of case figures (filled by cases.js from /api/cases/summary).
QString caseSummaryContent();
// The overview's content with that part put in above its ranking.
QString withCaseSummary(const QString &overview);

// Adds the routes to server; handle is the service's wrapper (session, CSRF, refusals), whose
// handlers receive the caller with its account and session.
template <typename Handle>
void addCaseRoutes(httplib::Server &server, Handle handle, Central &central, Clock clock)
{
    const auto pages = std::make_shared<CasePages>(central, std::move(clock));
    using Req = httplib::Request;
    using Res = httplib::Response;
    server.Get("/cases",
               handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->list(q, s, c->account, c->session);
               }));
    server.Get("/cases/(\\d{1,18})",
               handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->show(q, s, c->account, c->session);
               }));
    server.Post("/cases/(\\d{1,18})/step",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->step(q, s, c->account);
                }));
    server.Get("/case", handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->byRating(q, s, c->account);
               }));
    server.Get("/api/cases/summary",
               handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->summary(q, s, c->account);
               }));
    server.Get("/admin/cases",
               handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                   pages->settings(q, s, c->account, c->session);
               }));
    server.Post("/admin/cases/deadlines",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->setDeadlines(q, s, c->account);
                }));
    server.Post("/admin/cases/calendar",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->setDay(q, s, c->account);
                }));
    server.Post("/admin/cases/calendar/remove",
                handle(true, [pages](const Req &q, Res &s, const auto *c, const QString &) {
                    pages->removeDay(q, s, c->account);
                }));
    server.Get("/static/(cases\\.js|cases\\.css)",
               [](const Req &q, Res &s) { CasePages::staticFile(q.matches[1], s); });
}

} // namespace web
