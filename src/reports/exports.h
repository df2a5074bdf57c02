#pragma once

#include "reports/figures.h"

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>

class QPainter;

// The report's files: CSV, Excel workbook and PDF. Each writer puts its file beside the target
// under a temporary name and renames it over the target only once it is complete; on failure
// the target is left as it was and KioskError is thrown.
namespace reports {

// The column titles of the table, as the CSV header and the Excel sheet show them.
QStringList tableHeader();

// The CSV text: UTF-8 with a byte-order mark, CRLF line ends, fields quoted as RFC 4180 asks
// (a comma, a double quote, CR or LF in a field), the header line, one line per name (ranked ones
// first, then those marked 样本不足), an empty line and the notes after the table
// (notesAfterTable), one field each.
// After the notes follows the section of the reason counts (csvReasonsSection).
QByteArray csvBytes(const Report &report);
// The CSV lines of the reason counts: an empty line, "差评原因", the column titles 名称,差评原因,
// 次数 and one line per name and reason (reasonRows order), CRLF each; nothing when the report has
// no reason counts.
QString csvReasonsSection(const Report &report);

// The name of the sheet of the Excel workbook.
QString sheetName();

// The charts a report draws.
enum class Chart
{
    Scores,
    Grades,
    Trend
};
// The title of a chart ("满意度得分", "评价分布", "趋势（按月）").
QString chartTitle(Chart chart, const Report &report);
// Draws a chart of the report into a rectangle of a painter; used for the PDF's charts.
using ChartPainter = std::function<void(QPainter &, const QRectF &, Chart, const Report &)>;

// "2026-01-01 至 2026-12-31".
QString rangeText(const Report &report);

// File names a report is exported under: "满意度报表_<from>_<to>.<suffix>".
QString exportFileName(const Report &report, const QString &suffix);

// The files a report is exported to; an empty path is not written.
struct ExportTargets
{
    QString csv, xlsx, pdf;
};

// Writes every file of targets: all are written under temporary names first and renamed over
// their targets only when all are complete, so a failure leaves every target as it was.
// chartPainter draws the PDF's charts; without one the PDF has no charts. Throws KioskError.
void exportReport(const Report &report, const ExportTargets &targets,
                  const ChartPainter &chartPainter = {});

} // namespace reports
