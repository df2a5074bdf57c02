#include "platform/errortext.h"

#include <array>

using namespace Qt::StringLiterals;

namespace errortext {

namespace {

struct Explanation
{
    QString engine; // part of the engine's message
    QString advice; // what happened and what to do
};

// Read-only and locking come before the general open failure: their messages are more precise.
const std::array<Explanation, 9> &explanations()
{
    static const std::array<Explanation, 9> table{{
        {u"attempt to write a readonly database"_s,
         u"数据库文件 db.dll 是只读的，评价无法保存。请去掉它的只读属性，并确认这台电脑的用户"
         u"有权写入它和它所在的文件夹。"_s},
        {u"readonly database"_s,
         u"数据库文件 db.dll 是只读的，评价无法保存。请去掉它的只读属性，并确认这台电脑的用户"
         u"有权写入它和它所在的文件夹。"_s},
        {u"database is locked"_s,
         u"数据库正被另一个程序占用（例如另一台评价机或备份程序）。请稍后再试；如果一直如此，"
         u"请关闭占用 db.dll 的程序。"_s},
        {u"database table is locked"_s,
         u"数据库正被另一个程序占用（例如另一台评价机或备份程序）。请稍后再试；如果一直如此，"
         u"请关闭占用 db.dll 的程序。"_s},
        {u"database or disk is full"_s,
         u"磁盘已满，数据无法保存。请删除不需要的文件，腾出磁盘空间后再试。"_s},
        {u"disk I/O error"_s,
         u"读写磁盘时出错。请检查磁盘（或存放 db.dll 的U盘、网络盘）是否连接正常，然后重新"
         u"启动软件。"_s},
        {u"file is not a database"_s,
         u"db.dll 不是评价数据库，或者已经损坏。请用备份的 db.dll 替换它，然后重新启动软件。"_s},
        {u"unable to open database file"_s,
         u"无法打开数据库文件 db.dll。请确认它在软件所在的文件夹中，并且这台电脑的用户有权读写"
         u"它和这个文件夹，然后重新启动软件。"_s},
        {u"no such table"_s,
         u"数据库文件 db.dll 中没有评价表。请换回正确的 db.dll，或用 kiosk-mkdb 创建新的数据库"
         u"文件。"_s},
    }};
    return table;
}

} // namespace

QString technicianPrefix()
{
    return u"技术信息："_s;
}

QString explained(const QString &message)
{
    for (const Explanation &e : explanations()) {
        if (message.contains(e.engine, Qt::CaseInsensitive))
            return e.advice + u'\n' + technicianPrefix() + message;
    }
    return message;
}

} // namespace errortext
