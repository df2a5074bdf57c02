// kiosk-mkdb PATH: creates the evaluation database with an empty table 评价, or brings an
// existing one up to date (index, journal mode). Prints one line; exits non-zero on failure.
#include "store/schema.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        err << u"用法：kiosk-mkdb 数据库文件（例如 db.dll）"_s << Qt::endl;
        return 2;
    }
    const QString path = args.at(1);
    const bool existed = QFileInfo::exists(path);
    try {
        store::createDatabaseFile(path);
    } catch (const KioskError &e) {
        err << u"kiosk-mkdb: %1: %2"_s.arg(path, e.message()) << Qt::endl;
        return 1;
    }
    out << (existed ? u"已更新数据库：%1"_s : u"已创建空数据库：%1"_s).arg(path) << Qt::endl;
    return 0;
}
