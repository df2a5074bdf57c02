#include "web/webpages.h"

using namespace Qt::StringLiterals;

namespace web {

QString escapeHtml(const QString &text)
{
    QString out = text.toHtmlEscaped();
    out.replace(u'\'', u"&#39;"_s);
    return out;
}

QString page(const PageFrame &frame, const QString &content)
{
    QString nav;
    if (!frame.user.isEmpty()) {
        const auto link = [&](const QString &path, const QString &label) {
            return u"<a href=\"%1\"%2>%3</a>"_s.arg(
                path, path == frame.current ? u" class=\"current\""_s : QString(), label);
        };
        nav = u"<nav>"_s + link(u"/"_s, u"总览"_s) + link(u"/person"_s, u"人员/窗口"_s) +
              link(u"/terminals"_s, u"终端"_s) + link(u"/cases"_s, u"案件"_s) +
              (frame.admin ? link(u"/admin"_s, u"管理"_s) : QString()) +
              u"<span class=\"who\">%1</span>"
              "<form method=\"post\" action=\"/logout\" class=\"logout\">"
              "<input type=\"hidden\" name=\"csrf\" value=\"%2\">"
              "<button type=\"submit\">退出</button></form></nav>"_s.arg(escapeHtml(frame.user),
                                                                         escapeHtml(frame.csrf));
    }
    return u"<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>%1 - Quorvel 评价系统</title>"
           "<link rel=\"stylesheet\" href=\"/static/app.css\">"
           "<script src=\"/javascript/chart.js/chart.min.js\" defer></script>"
           "<script src=\"/static/app.js\" defer></script></head>"
           "<body data-csrf=\"%2\"><header><h1>Quorvel 评价系统</h1>%3</header>"
           "<main>%4</main></body></html>"_s.arg(escapeHtml(frame.title), escapeHtml(frame.csrf),
                                                 nav, content);
}

QString messagePage(const QString &title, const QString &message)
{
    return page({title, {}, {}, false, {}},
                u"<section class=\"message\"><h2>%1</h2><p id=\"message\">%2</p>"
                "<p><a href=\"/\">返回总览</a></p></section>"_s.arg(escapeHtml(title),
                                                                    escapeHtml(message)));
}

QString loginContent(const QString &csrf, const QString &message, const QString &name)
{
    return u"<section class=\"login\"><h2>登录</h2>"
           "%1<form method=\"post\" action=\"/login\">"
           "<input type=\"hidden\" name=\"csrf\" value=\"%2\">"
           "<label>用户名<input name=\"name\" id=\"name\" autocomplete=\"username\" "
           "maxlength=\"64\" value=\"%3\" required></label>"
           "<label>密码<input name=\"password\" id=\"password\" type=\"password\" "
           "autocomplete=\"current-password\" maxlength=\"256\" required></label>"
           "<button type=\"submit\" id=\"login\">登录</button></form></section>"_s.arg(
               message.isEmpty()
                   ? QString()
                   : u"<p class=\"error\" id=\"message\">%1</p>"_s.arg(escapeHtml(message)),
               escapeHtml(csrf), escapeHtml(name));
}

} // namespace web

namespace web {

namespace {

QString filterBar(const QString &scopeOptions, const QString &presetsJson, const QString &extra)
{
    return u"<section class=\"filters\" id=\"filters\" data-presets=\"%1\">"
           "<div class=\"presets\" id=\"presets\"></div>"
           "%2"
           "<label>从 <input type=\"date\" id=\"from\"></label>"
           "<label>至 <input type=\"date\" id=\"to\"></label>"
           "<label>范围 <select id=\"scope\"><option "
           "value=\"\">全部终端</option>%3</select></label>"
           "<label>趋势 <select id=\"period\"><option value=\"\">自动</option>"
           "<option value=\"day\">按日</option><option value=\"week\">按周</option>"
           "<option value=\"month\">按月</option></select></label>"
           "<button type=\"button\" id=\"apply\">查询</button></section>"
           "<p class=\"error\" id=\"error\" hidden></p>"_s.arg(escapeHtml(presetsJson), extra,
                                                               scopeOptions);
}

QString gradeHeads()
{
    return u"<th>非常满意</th><th>比较满意</th><th>一般</th><th>不满意</th><th>非常不满意</th>"_s;
}

QString cards()
{
    return u"<section class=\"cards\">"
           "<div><span>评价数</span><b id=\"ratings\">–</b></div>"
           "<div><span>满意度得分</span><b id=\"score\">–</b></div>"
           "<div><span>满意率</span><b id=\"rate\">–</b></div>"
           "<div><span>五级以外</span><b id=\"outside\">–</b></div></section>"
           "<p id=\"leftout\" class=\"leftout\"></p>"
           "<section class=\"charts\"><div><h3>评价分布</h3><div class=\"chartbox\"><canvas "
           "id=\"gradeChart\"></canvas></div>"
           "</div><div><h3 id=\"trendTitle\">趋势</h3><div class=\"chartbox\"><canvas "
           "id=\"trendChart\"></canvas></div></div>"
           "</section>"_s;
}

} // namespace

QString overviewContent(const QString &scopeOptions, const QString &presetsJson)
{
    return u"<div id=\"page\" data-page=\"overview\"></div>"_s +
           filterBar(scopeOptions, presetsJson, QString()) +
           u"<p class=\"exports\">导出：<a id=\"csv\" href=\"#\">CSV</a> "
           "<a id=\"xlsx\" href=\"#\">Excel</a> <a id=\"pdf\" href=\"#\">PDF</a></p>"_s +
           cards() +
           u"<h3>排名</h3><div class=\"tablewrap\"><table id=\"ranking\"><thead><tr>"
           "<th>排名</th><th>名称</th><th>评价数</th><th>满意度得分</th><th>满意率</th>"_s +
           gradeHeads() +
           u"</tr></thead><tbody></tbody></table></div>"
           "<p class=\"note\" id=\"minimum\"></p>"
           "<h3>差评原因</h3><div class=\"tablewrap\"><table id=\"reasons\"><thead><tr>"
           "<th>名称</th><th>差评原因</th><th>次数</th></tr></thead><tbody></tbody></table></div>"
           "<p class=\"note\" id=\"noReasons\" hidden>此期间没有差评原因</p>"
           "<p class=\"note\" id=\"updated\"></p>"_s;
}

QString personContent(const QString &scopeOptions, const QString &presetsJson,
                      const QString &nameOptions)
{
    return u"<div id=\"page\" data-page=\"person\"></div>"_s +
           filterBar(scopeOptions, presetsJson,
                     u"<label>名称 <select id=\"name\">%1</select></label>"_s.arg(nameOptions)) +
           cards() +
           u"<h3>各终端</h3><div class=\"tablewrap\"><table id=\"perTerminal\"><thead><tr>"
           "<th>终端</th><th>评价数</th><th>满意度得分</th><th>满意率</th>"_s +
           gradeHeads() +
           u"</tr></thead><tbody></tbody></table></div><p class=\"note\" id=\"updated\"></p>"_s;
}

QString terminalsContent()
{
    return u"<div id=\"page\" data-page=\"terminals\"></div>"
           "<p class=\"error\" id=\"error\" hidden></p>"
           "<div class=\"tablewrap\"><table id=\"terminals\"><thead><tr><th>终端</th>"
           "<th>大厅</th><th>状态</th><th>最近评价</th><th>最近联系</th><th>待发送</th>"
           "<th>程序版本</th><th>可用空间</th></tr></thead><tbody></tbody></table></div>"
           "<p class=\"note\">超过 10 分钟没有联系的终端标为离线。</p>"
           "<p class=\"note\" id=\"updated\"></p>"_s;
}

} // namespace web
