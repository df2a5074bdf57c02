#pragma once

#include "reports/exports.h"
#include "reports/figures.h"

class QChart;
class QPainter;
class QRectF;

// The report's charts on Qt Charts, for the report window and for the PDF.
namespace reports {

// How many names the score chart shows at most (the best of the ranking).
constexpr int ChartNamesOnScreen = 20;
constexpr int ChartNamesInPrint = 15;

// A new chart of the report; the caller owns it. The score chart shows the first maxNames
// names of the ranking, best at the top.
QChart *makeChart(Chart chart, const Report &report, int maxNames = ChartNamesOnScreen);

// Renders a chart of the report into area of painter (the PDF's chart painter). Needs a
// QApplication.
void paintChart(QPainter &painter, const QRectF &area, Chart chart, const Report &report);

} // namespace reports
