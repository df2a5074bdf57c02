#pragma once

#include <QString>

// The dashboard's HTML: one layout for every page, the pages' own parts, and the script and
// style sheet they share. Text from the database or the request is always escaped.
namespace web {

QString escapeHtml(const QString &text);

struct PageFrame
{
    QString title;
    QString user; // empty: not logged in (no navigation)
    QString csrf; // the session's token, for the logout form and the script's POSTs
    bool admin = false;
    QString current; // path of the page, marked in the navigation
};

// A complete page around content.
QString page(const PageFrame &frame, const QString &content);
// A page with only a message (errors, database unreachable).
QString messagePage(const QString &title, const QString &message);

QString loginContent(const QString &csrf, const QString &message, const QString &name);

// The page of an overview, of one name, of the kiosks: a frame the script fills from the JSON
// answers, so that it follows new ratings without reloading.
QString overviewContent(const QString &scopeOptions, const QString &presetsJson);
QString personContent(const QString &scopeOptions, const QString &presetsJson,
                      const QString &nameOptions);
QString terminalsContent();

} // namespace web
