#include "reports/reportcharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QHorizontalBarSeries>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace reports {

namespace {

const QColor ScoreColour(0x2E, 0x75, 0xB6);
const QColor CountColour(0xA9, 0xC4, 0xE4);

QValueAxis *scoreAxis()
{
    auto *axis = new QValueAxis;
    axis->setRange(0, 100);
    axis->setTickCount(6);
    // One decimal, as the table shows scores.
    axis->setLabelFormat(u"%.1f"_s);
    return axis;
}

// A chart of a range without ratings: its title and the words, no empty axes.
void noRatings(QChart *chart, const QString &title)
{
    chart->legend()->hide();
    chart->setTitle(title + u"<br>"_s + noRatingsText());
}

// The labels of a trend axis thinned to what fits the plot: every step-th label, each centred
// under its own bar. The axis's own labels would hide the first and the last one where they
// reach past the plot's edge, so they only keep their room (drawn transparent) and the shown
// labels are items of the chart, placed again whenever the plot area changes.
void thinLabels(QChart *chart, QBarCategoryAxis *axis, const QStringList &labels)
{
    axis->setLabelsColor(Qt::transparent);
    const QFont font = axis->labelsFont();
    const QFontMetricsF metrics(font);
    double widest = 0;
    for (const QString &label : labels)
        widest = std::max(widest, metrics.horizontalAdvance(label));
    const double labelWidth = widest + metrics.horizontalAdvance(u"  "_s);
    QList<QGraphicsSimpleTextItem *> items;
    for (const QString &label : labels) {
        auto *item = new QGraphicsSimpleTextItem(label, chart);
        item->setFont(font);
        item->setZValue(10);
        items << item;
    }
    auto place = [items, labelWidth](const QRectF &area) {
        const int step = labelStep(items.size(), area.width(), labelWidth);
        for (qsizetype i = 0; i < items.size(); ++i) {
            QGraphicsSimpleTextItem *item = items.at(i);
            // The bar axis spans the plot in equal slots, bar i in the middle of slot i.
            const double x = area.left() + (double(i) + 0.5) * area.width() / double(items.size());
            item->setPos(x - item->boundingRect().width() / 2, area.bottom() + 6);
            item->setVisible(i % step == 0);
        }
    };
    place(chart->plotArea());
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
}

void scores(QChart *chart, const Report &report, int maxNames)
{
    if (report.overall.ratings == 0) {
        noRatings(chart, chartTitle(Chart::Scores, report));
        return;
    }
    if (report.rankedCount == 0) {
        chart->legend()->hide();
        chart->setTitle(chartTitle(Chart::Scores, report) + u"<br>"_s + smallSampleLine(report));
        return;
    }
    // Only ranked names: a bar of a name with too few ratings would rank it after all.
    const int shown = int(std::min<qsizetype>(report.rankedCount, std::max(0, maxNames)));
    auto *set = new QBarSet(u"满意度得分"_s);
    set->setColor(ScoreColour);
    QStringList names;
    // Horizontal bars are drawn bottom up: the best name goes last so that it is on top.
    for (int i = shown - 1; i >= 0; --i) {
        const Figures &f = report.ranking.at(i);
        *set << f.score();
        names << u"%1. %2"_s.arg(i + 1).arg(displayName(f.name));
    }
    set->setLabelColor(Qt::black);
    auto *series = new QHorizontalBarSeries;
    series->setBarWidth(0.7);
    series->append(set);
    series->setLabelsVisible(true);
    series->setLabelsFormat(u"@value"_s);
    series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    chart->addSeries(series);
    auto *names_ = new QBarCategoryAxis;
    names_->append(names);
    names_->setTruncateLabels(true);
    chart->addAxis(names_, Qt::AlignLeft);
    series->attachAxis(names_);
    QValueAxis *axis = scoreAxis();
    chart->addAxis(axis, Qt::AlignBottom);
    series->attachAxis(axis);
    chart->legend()->hide();
    QString title = chartTitle(Chart::Scores, report);
    if (report.rankedCount > shown)
        title += u"（前 %1 名，共 %2 个）"_s.arg(shown).arg(report.rankedCount);
    if (const qsizetype small = report.ranking.size() - report.rankedCount; small > 0)
        title += u"<br>%1 个名称%2，未列入"_s.arg(small).arg(smallSampleText());
    chart->setTitle(title);
}

void grades(QChart *chart, const Report &report)
{
    if (report.overall.ratings == 0) {
        noRatings(chart, chartTitle(Chart::Grades, report));
        return;
    }
    auto *series = new QBarSeries;
    QStringList words;
    auto *set = new QBarSet(u"评价数"_s);
    for (int i = 0; i < GradeCount; ++i) {
        words << gradeWord(i);
        *set << double(report.overall.per[i]);
    }
    set->setColor(CountColour.darker(130));
    series->append(set);
    series->setLabelsVisible(true);
    series->setLabelsFormat(u"@value"_s);
    chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(words);
    axisX->setTruncateLabels(false);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    auto *axisY = new QValueAxis;
    axisY->setLabelFormat(u"%d"_s);
    const qint64 most = *std::max_element(report.overall.per.begin(), report.overall.per.end());
    axisY->setRange(0, std::max<double>(1, double(most) * 1.15));
    axisY->applyNiceNumbers();
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    chart->legend()->hide();
    chart->setTitle(
        u"%1（共 %2 条）"_s.arg(chartTitle(Chart::Grades, report)).arg(report.overall.ratings));
}

void trend(QChart *chart, const Report &report)
{
    if (report.overall.ratings == 0) {
        noRatings(chart, chartTitle(Chart::Trend, report));
        return;
    }
    auto *counts = new QBarSet(u"评价数"_s);
    counts->setColor(CountColour);
    auto *line = new QLineSeries;
    line->setName(u"满意度得分"_s);
    line->setColor(ScoreColour);
    line->setPointsVisible(true);
    QStringList labels;
    qint64 most = 0;
    for (qsizetype i = 0; i < report.trend.size(); ++i) {
        const TrendPoint &p = report.trend.at(i);
        labels << p.label;
        *counts << double(p.figures.ratings);
        most = std::max(most, p.figures.ratings);
        // A period without ratings has no score: the line passes over it.
        if (p.figures.ratings > 0)
            line->append(double(i), p.figures.score());
    }
    auto *bars = new QBarSeries;
    bars->append(counts);
    chart->addSeries(bars);
    chart->addSeries(line);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(labels);
    axisX->setTruncateLabels(false);
    chart->addAxis(axisX, Qt::AlignBottom);
    bars->attachAxis(axisX);
    line->attachAxis(axisX);
    thinLabels(chart, axisX, labels);
    auto *countAxis = new QValueAxis;
    countAxis->setLabelFormat(u"%d"_s);
    countAxis->setRange(0, std::max<double>(1, double(most) * 1.1));
    countAxis->applyNiceNumbers();
    countAxis->setTitleText(u"评价数"_s);
    chart->addAxis(countAxis, Qt::AlignRight);
    bars->attachAxis(countAxis);
    QValueAxis *axis = scoreAxis();
    axis->setTitleText(u"得分"_s);
    chart->addAxis(axis, Qt::AlignLeft);
    line->attachAxis(axis);
    chart->legend()->setAlignment(Qt::AlignBottom);
    // The score is a line, and its legend entry shows one.
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    chart->setTitle(chartTitle(Chart::Trend, report));
}

} // namespace

QChart *makeChart(Chart kind, const Report &report, int maxNames)
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(4, 4, 4, 4));
    QFont titleFont = chart->titleFont();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    switch (kind) {
    case Chart::Scores:
        scores(chart, report, maxNames);
        break;
    case Chart::Grades:
        grades(chart, report);
        break;
    case Chart::Trend:
        trend(chart, report);
        break;
    }
    return chart;
}

void paintChart(QPainter &painter, const QRectF &area, Chart kind, const Report &report)
{
    QGraphicsScene scene;
    QChart *chart = makeChart(kind, report, ChartNamesInPrint);
    scene.addItem(chart); // the scene owns it from here
    // The page has room for whole names; on screen they are cut to the narrow chart.
    for (QAbstractAxis *axis : chart->axes(Qt::Vertical)) {
        if (auto *names = qobject_cast<QBarCategoryAxis *>(axis))
            names->setTruncateLabels(false);
    }
    // Laid out larger than the printed area and scaled down into it, so that the screen-sized
    // fonts of the chart come out at a print size and long names keep their room.
    constexpr double Scale = 1.6;
    const QRectF source(QPointF(0, 0), area.size() * Scale);
    chart->setGeometry(source);
    scene.setSceneRect(source);
    scene.render(&painter, area, source);
}

} // namespace reports
