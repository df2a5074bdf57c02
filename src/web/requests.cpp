#include "web/requests.h"

#include "web/refused.h"

using namespace Qt::StringLiterals;

namespace web {

void sendHtml(httplib::Response &res, int status, const QString &html)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(html.toStdString(), "text/html; charset=utf-8");
}

QString textParam(const httplib::Request &req, const char *key, int maxLength)
{
    if (!req.has_param(key))
        return {};
    if (req.get_param_value_count(key) > 1)
        throw Refused{400, u"参数重复：%1"_s.arg(QString::fromLatin1(key))};
    const std::string &raw = req.get_param_value(key);
    // Four bytes a character at most: anything longer is refused before it is decoded.
    const QString value =
        raw.size() > size_t(maxLength) * 4 ? QString() : QString::fromStdString(raw);
    if (raw.size() > size_t(maxLength) * 4 || value.size() > maxLength)
        throw Refused{400, u"参数过长：%1"_s.arg(QString::fromLatin1(key))};
    return value;
}

} // namespace web
