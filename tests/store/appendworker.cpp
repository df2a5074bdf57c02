// Helper process for the store tests: appends COUNT records named NAME to WORKDIR/db.dll through
// its own database module, as a second kiosk on the same file would. Exit code 0 when every
// append succeeded; otherwise the number of failures (at most 100) and their messages on stderr.
#include "platform/error.h"
#include "store/tdatamodule3.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 101;
    const QString workDir = args.at(1);
    const int count = args.at(2).toInt();
    const QString name = args.at(3);
    QTextStream err(stderr);

    TDataModule3 module(workDir);
    int failures = 0;
    try {
        module.OpenConnection();
    } catch (const KioskError &e) {
        err << e.message() << Qt::endl;
        return 100;
    }
    for (int i = 0; i < count; ++i) {
        try {
            module.Append(
                {name, u"2024-03-01"_s,
                 u"10:%1:%2"_s.arg(i / 60, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')),
                 u"一般"_s});
        } catch (const KioskError &e) {
            ++failures;
            err << e.message() << Qt::endl;
        }
    }
    return qMin(failures, 100);
}
