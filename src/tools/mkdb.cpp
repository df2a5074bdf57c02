// kiosk-mkdb PATH: creates the evaluation database with an empty table 评价, or brings an
// existing one up to date (index, journal mode).
// kiosk-mkdb --postgres URL, or --central-file FILE (the URL on the file's first line, so that
// no process list shows its password): creates the central table 评价 with its key, indexes
// and daily counts in that PostgreSQL database; running it again changes nothing.
// Prints one line; exits non-zero on failure.
#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "store/schema.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

int createCentral(const QString &url, QTextStream &out, QTextStream &err)
{
    // The password never reaches the output: messages name the address without it.
    const QString shown = central::redactedUrl(url);
    try {
        const central::Connection connection = central::parseUrl(url);
        QSqlDatabase db = central::open(connection, u"kiosk-mkdb-central"_s);
        try {
            central::createSchema(db);
        } catch (...) {
            central::close(db);
            throw;
        }
        central::close(db);
    } catch (const KioskError &e) {
        err << central::scrubbed(u"kiosk-mkdb: %1: %2"_s.arg(shown, e.message()), url) << Qt::endl;
        return 1;
    }
    out << u"中心数据库已就绪：%1"_s.arg(shown) << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == u"--postgres"_s)
        return createCentral(args.at(2), out, err);
    if (args.size() == 3 && args.at(1) == u"--central-file"_s) {
        try {
            return createCentral(central::readUrlFile(args.at(2)), out, err);
        } catch (const KioskError &e) {
            err << u"kiosk-mkdb: %1"_s.arg(e.message()) << Qt::endl;
            return 2;
        }
    }
    if (args.size() != 2 || args.at(1).startsWith(u"--"_s)) {
        err << u"用法：kiosk-mkdb 数据库文件（例如 db.dll）\n"
               "      kiosk-mkdb --central-file 存有中心数据库地址的文件\n"
               "      kiosk-mkdb --postgres postgresql://用户@主机:5432/数据库"
               "（密码放在 PGPASSWORD 或 PGPASSFILE 中）"_s
            << Qt::endl;
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
