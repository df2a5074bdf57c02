#pragma once

#include <QString>

#include <httplib.h>

// What the dashboard's pages share in reading a request and answering it.
namespace web {

// An HTML page, never kept by the browser or a proxy.
void sendHtml(httplib::Response &res, int status, const QString &html);

// A parameter of the query or form, empty when missing: refused (Refused 400) when repeated or
// longer than maxLength characters.
QString textParam(const httplib::Request &req, const char *key, int maxLength = 200);

} // namespace web
