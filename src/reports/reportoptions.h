#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// The command line of kiosk-report:
//   kiosk-report --from yyyy-MM-dd --to yyyy-MM-dd [--db PATH | --central URL |
//   --central-file FILE] [--csv FILE] [--xlsx FILE] [--pdf FILE]
namespace reports {

struct ReportOptions
{
    QDate from, to;
    QString db = QStringLiteral("db.dll"); // relative to the current directory
    QString central;     // a postgresql:// URI: the counts of all kiosks instead of db
    QString centralFile; // a file holding that URI (central::readUrlFile)
    QString csv, xlsx, pdf;
};

// The usage line printed with every complaint about the command line.
QString usageText();

// Reads the arguments (without the program name). On bad input returns false and sets error to
// a complete Chinese sentence: an unknown or repeated option, an option without its value, a
// missing --from or --to, more than one of --db, --central and --central-file, a date that is not a
// date of the form yyyy-MM-dd, --to before
// --from, no output file, or one file named for two outputs.
bool parseReportOptions(const QStringList &arguments, ReportOptions &options, QString &error);

// A date written exactly as yyyy-MM-dd that names a real day; invalid otherwise.
QDate parseDay(const QString &text);

} // namespace reports
