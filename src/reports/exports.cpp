#include "reports/exports.h"

#include "platform/error.h"
#include "reports/stagedfile.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <xlsxwriter.h>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace reports {

namespace {

const QString DateFormat = u"yyyy-MM-dd"_s;

// One CSV field, quoted when it holds a separator, a quote or a line end.
QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

// The cells of one table row, as text.
QStringList rowCells(const Figures &f)
{
    QStringList cells = {displayName(f.name), QString::number(f.ratings), f.scoreText(),
                         f.rateText()};
    for (int i = 0; i < GradeCount; ++i)
        cells << QString::number(f.per[i]);
    return cells;
}

// ---------------------------------------------------------------------------------------------
// Excel

// The reason counts on a sheet of their own, "差评原因": name, reason, how often.
void writeReasonsSheet(lxw_workbook *workbook, const Report &report, lxw_format *header,
                       lxw_format *text, lxw_format *whole)
{
    const QByteArray name = reasonsTitle().toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(workbook, name.constData());
    worksheet_set_column(ws, 0, 0, 28, nullptr);
    worksheet_set_column(ws, 1, 1, 18, nullptr);
    worksheet_set_column(ws, 2, 2, 9, nullptr);
    worksheet_freeze_panes(ws, 1, 0);
    const QStringList titles = reasonsHeader();
    for (int c = 0; c < titles.size(); ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), titles.at(c).toUtf8().constData(), header);
    lxw_row_t row = 1;
    for (const NameReasonCount &r : report.reasons) {
        worksheet_write_string(ws, row, 0, displayName(r.name).toUtf8().constData(), text);
        worksheet_write_string(ws, row, 1, r.reason.toUtf8().constData(), text);
        worksheet_write_number(ws, row, 2, double(r.count), whole);
        ++row;
    }
}

void writeXlsx(const Report &report, const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    // libxlsxwriter's own scratch files go beside the target, not into a shared /tmp.
    QByteArray tmpdir = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options = {};
    options.tmpdir = tmpdir.data();
    lxw_workbook *workbook = workbook_new_opt(file.constData(), &options);
    if (!workbook)
        throw KioskError(u"无法创建 Excel 文件：%1"_s.arg(path));

    const QByteArray sheet = sheetName().toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(workbook, sheet.constData());

    lxw_format *header = workbook_add_format(workbook);
    format_set_bold(header);
    format_set_bg_color(header, 0xDDEBF7);
    format_set_border(header, LXW_BORDER_THIN);
    format_set_align(header, LXW_ALIGN_CENTER);
    format_set_text_wrap(header);
    lxw_format *text = workbook_add_format(workbook);
    format_set_border(text, LXW_BORDER_THIN);
    lxw_format *whole = workbook_add_format(workbook);
    format_set_num_format(whole, "0");
    format_set_border(whole, LXW_BORDER_THIN);
    lxw_format *tenth = workbook_add_format(workbook);
    format_set_num_format(tenth, "0.0");
    format_set_border(tenth, LXW_BORDER_THIN);

    worksheet_set_column(ws, 0, 0, 28, nullptr);
    worksheet_set_column(ws, 1, 3, 11, nullptr);
    worksheet_set_column(ws, 4, 8, 11, nullptr);
    worksheet_freeze_panes(ws, 1, 0);

    const QStringList titles = tableHeader();
    for (int c = 0; c < titles.size(); ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), titles.at(c).toUtf8().constData(), header);
    lxw_row_t row = 1;
    for (const Figures &f : report.ranking) {
        worksheet_write_string(ws, row, 0, displayName(f.name).toUtf8().constData(), text);
        worksheet_write_number(ws, row, 1, double(f.ratings), whole);
        worksheet_write_number(ws, row, 2, f.score(), tenth);
        worksheet_write_number(ws, row, 3, f.rate(), tenth);
        for (int i = 0; i < GradeCount; ++i)
            worksheet_write_number(ws, row, lxw_col_t(4 + i), double(f.per[i]), whole);
        ++row;
    }

    // The notes after the table, below an empty row, as the CSV has them.
    ++row;
    for (const QString &note : notesAfterTable(report))
        worksheet_write_string(ws, row++, 0, note.toUtf8().constData(), nullptr);

    // The score chart over the ranked names' cells; a chart without any cell would not open.
    if (report.rankedCount > 0) {
        lxw_chart *chart = workbook_add_chart(workbook, LXW_CHART_COLUMN);
        lxw_chart_series *series = chart_add_series(chart, nullptr, nullptr);
        const lxw_row_t last = lxw_row_t(report.rankedCount);
        chart_series_set_categories(series, sheet.constData(), 1, 0, last, 0);
        chart_series_set_values(series, sheet.constData(), 1, 2, last, 2);
        chart_series_set_name(series, titles.at(2).toUtf8().constData());
        const QByteArray title =
            (chartTitle(Chart::Scores, report) + u"（"_s + rangeText(report) + u"）"_s).toUtf8();
        chart_title_set_name(chart, title.constData());
        chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
        chart_axis_set_min(chart->y_axis, 0);
        chart_axis_set_max(chart->y_axis, 100);
        lxw_chart_options place = {};
        place.x_scale = 1.6;
        place.y_scale = 1.4;
        worksheet_insert_chart_opt(ws, 1, 10, chart, &place);
    }

    // As the CSV: a range without any reason keeps the workbook as it was before reasons.
    if (!report.reasons.isEmpty())
        writeReasonsSheet(workbook, report, header, text, whole);

    const lxw_error rc = workbook_close(workbook);
    if (rc != LXW_NO_ERROR)
        throw KioskError(
            u"无法写入 Excel 文件 %1：%2"_s.arg(path, QString::fromUtf8(lxw_strerror(rc))));
}

// ---------------------------------------------------------------------------------------------
// PDF

// Lays the report out on A4 pages in points (1/72 inch).
class PdfLayout
{
public:
    PdfLayout(QPdfWriter &writer, QPainter &painter) : m_writer(writer), m_painter(painter)
    {
        m_area = QRectF(QPointF(0, 0), QSizeF(writer.width(), writer.height()));
        m_y = 0;
    }

    double width() const { return m_area.width(); }
    double remaining() const { return m_area.bottom() - m_y; }

    void newPage()
    {
        m_writer.newPage();
        m_y = 0;
    }
    void ensure(double height)
    {
        if (remaining() < height)
            newPage();
    }
    void text(const QString &line, double pointSize, bool bold = false, double after = 4)
    {
        const QFont f = font(pointSize, bold);
        const QFontMetricsF m(f, &m_writer);
        const QRectF box(0, m_y, width(), 1e6);
        const QRectF used = m.boundingRect(box, Qt::TextWordWrap, line);
        ensure(used.height());
        m_painter.setFont(f);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, m_y, width(), used.height()), Qt::TextWordWrap, line);
        m_y += used.height() + after;
    }
    QRectF take(double height)
    {
        ensure(height);
        const QRectF r(0, m_y, width(), height);
        m_y += height;
        return r;
    }
    void skip(double height) { m_y += height; }
    double y() const { return m_y; }

    static QFont font(double pointSize, bool bold)
    {
        QFont f(QStringList{u"WenQuanYi Micro Hei"_s, u"Noto Sans CJK SC"_s, u"SimHei"_s});
        f.setPointSizeF(pointSize);
        f.setBold(bold);
        return f;
    }

private:
    QPdfWriter &m_writer;
    QPainter &m_painter;
    QRectF m_area;
    double m_y;
};

void drawTable(PdfLayout &layout, QPainter &painter, const Report &report)
{
    const QStringList titles = QStringList{u"名次"_s} + tableHeader();
    // Width shares of the ten columns; the name takes what the numbers leave.
    const double w = layout.width();
    const std::vector<double> widths = {0.08 * w, 0.22 * w, 0.075 * w, 0.1 * w,  0.075 * w,
                                        0.09 * w, 0.09 * w, 0.09 * w,  0.09 * w, 0.09 * w};
    const double rowHeight = 15;
    const QFont headFont = PdfLayout::font(7.5, true);
    const QFont bodyFont = PdfLayout::font(8, false);

    auto drawRow = [&](const QStringList &cells, bool head, double y, bool shaded) {
        painter.setFont(head ? headFont : bodyFont);
        if (head || shaded)
            painter.fillRect(QRectF(0, y, w, rowHeight),
                             head ? QColor(0xDD, 0xEB, 0xF7) : QColor(0xF4, 0xF6, 0xF8));
        double x = 0;
        const QFontMetricsF m(painter.font());
        for (int c = 0; c < cells.size(); ++c) {
            const QRectF cell(x + 2, y, widths[size_t(c)] - 4, rowHeight);
            const Qt::Alignment align =
                Qt::AlignVCenter | (c == 1 && !head ? Qt::AlignLeft : Qt::AlignHCenter);
            painter.drawText(cell, align, m.elidedText(cells.at(c), Qt::ElideRight, cell.width()));
            x += widths[size_t(c)];
        }
        painter.setPen(QPen(QColor(0xB0, 0xB8, 0xC0), 0.5));
        painter.drawLine(QPointF(0, y + rowHeight), QPointF(w, y + rowHeight));
        painter.setPen(Qt::black);
    };

    layout.ensure(rowHeight * 2);
    drawRow(titles, true, layout.take(rowHeight).top(), false);
    for (qsizetype i = 0; i < report.ranking.size(); ++i) {
        if (layout.remaining() < rowHeight) {
            layout.newPage();
            drawRow(titles, true, layout.take(rowHeight).top(), false);
        }
        const double top = layout.take(rowHeight).top();
        drawRow(QStringList{rankText(report, i)} + rowCells(report.ranking.at(i)), false, top,
                i % 2 == 1);
    }
    if (report.ranking.isEmpty())
        layout.text(noRatingsText() + u"。"_s, 9);
    if (const QString small = smallSampleLine(report); !small.isEmpty()) {
        layout.skip(4);
        layout.text(small, 9);
    }
}

// The reason counts after the ranking: name, reason, how often.
void drawReasons(PdfLayout &layout, QPainter &painter, const Report &report)
{
    layout.skip(12);
    layout.text(reasonsTitle(), 12, true, 6);
    if (report.reasons.isEmpty()) {
        layout.text(noReasonsText() + u"。"_s, 9);
        return;
    }
    const double w = layout.width();
    const std::vector<double> widths = {0.5 * w, 0.35 * w, 0.15 * w};
    const double rowHeight = 15;
    auto drawRow = [&](const QStringList &cells, bool head, double y) {
        painter.setFont(PdfLayout::font(head ? 7.5 : 8, head));
        if (head)
            painter.fillRect(QRectF(0, y, w, rowHeight), QColor(0xDD, 0xEB, 0xF7));
        double x = 0;
        const QFontMetricsF m(painter.font());
        for (int c = 0; c < cells.size(); ++c) {
            const QRectF cell(x + 2, y, widths[size_t(c)] - 4, rowHeight);
            const Qt::Alignment align =
                Qt::AlignVCenter | (c < 2 && !head ? Qt::AlignLeft : Qt::AlignHCenter);
            painter.drawText(cell, align, m.elidedText(cells.at(c), Qt::ElideRight, cell.width()));
            x += widths[size_t(c)];
        }
        painter.setPen(QPen(QColor(0xB0, 0xB8, 0xC0), 0.5));
        painter.drawLine(QPointF(0, y + rowHeight), QPointF(w, y + rowHeight));
        painter.setPen(Qt::black);
    };
    layout.ensure(rowHeight * 2);
    drawRow(reasonsHeader(), true, layout.take(rowHeight).top());
    for (const NameReasonCount &r : report.reasons) {
        if (layout.remaining() < rowHeight) {
            layout.newPage();
            drawRow(reasonsHeader(), true, layout.take(rowHeight).top());
        }
        drawRow({displayName(r.name), r.reason, QString::number(r.count)}, false,
                layout.take(rowHeight).top());
    }
}

void writePdf(const Report &report, QIODevice &device, const ChartPainter &chartPainter)
{
    QPdfWriter writer(&device);
    writer.setTitle(u"满意度报表 "_s + rangeText(report));
    writer.setCreator(u"kiosk-report"_s);
    writer.setResolution(72);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(40, 40, 40, 40), QPageLayout::Point));
    QPainter painter;
    if (!painter.begin(&writer))
        throw KioskError(u"无法生成 PDF 文件"_s);
    PdfLayout layout(writer, painter);

    layout.text(u"满意度报表"_s, 20, true, 6);
    layout.text(u"统计期间："_s + rangeText(report), 11, false, 2);
    layout.text(overallLine(report), 11, false, 2);
    for (const QString &line : leftOutLines(report))
        layout.text(line, 9, false, 2);
    layout.skip(8);

    // Charts of no rating would only show empty axes.
    if (chartPainter && report.overall.ratings > 0) {
        const double chartHeight = (layout.remaining() - 8) / 3;
        for (const Chart chart : {Chart::Scores, Chart::Grades, Chart::Trend}) {
            const QRectF area = layout.take(chartHeight);
            painter.save();
            chartPainter(painter, area.adjusted(0, 2, 0, -2), chart, report);
            painter.restore();
        }
        layout.newPage();
    }
    layout.text(u"排名（按满意度得分、评价数、名称）"_s, 12, true, 6);
    drawTable(layout, painter, report);
    drawReasons(layout, painter, report);
    if (!painter.end())
        throw KioskError(u"无法生成 PDF 文件"_s);
}

} // namespace

QStringList tableHeader()
{
    QStringList titles = {u"名称"_s, u"评价数"_s, u"满意度得分"_s, u"满意率"_s};
    for (int i = 0; i < GradeCount; ++i)
        titles << gradeWord(i);
    return titles;
}

QByteArray csvBytes(const Report &report)
{
    QString text = tableHeader().join(u',') + u"\r\n"_s;
    for (const Figures &f : report.ranking) {
        QStringList cells = rowCells(f);
        for (QString &cell : cells)
            cell = csvField(cell);
        text += cells.join(u',') + u"\r\n"_s;
    }
    text += u"\r\n"_s;
    for (const QString &note : notesAfterTable(report))
        text += csvField(note) + u"\r\n"_s;
    text += csvReasonsSection(report);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QString csvReasonsSection(const Report &report)
{
    // After the lines readers of the file already rely on: an empty line, the title, the
    // column titles and one line per name and reason. A range without any reason adds nothing,
    // so such a file is the same as before reasons existed.
    if (report.reasons.isEmpty())
        return {};
    QString text =
        u"\r\n"_s + csvField(reasonsTitle()) + u"\r\n"_s + reasonsHeader().join(u',') + u"\r\n"_s;
    for (const NameReasonCount &r : report.reasons)
        text += csvField(displayName(r.name)) + u',' + csvField(r.reason) + u',' +
                QString::number(r.count) + u"\r\n"_s;
    return text;
}

QString sheetName()
{
    return u"满意度报表"_s;
}

QString chartTitle(Chart chart, const Report &report)
{
    switch (chart) {
    case Chart::Scores:
        return u"满意度得分"_s;
    case Chart::Grades:
        return u"评价分布"_s;
    case Chart::Trend:
        return u"趋势（按%1）"_s.arg(periodName(report.period));
    }
    return {};
}

QString rangeText(const Report &report)
{
    return report.from.toString(DateFormat) + u" 至 "_s + report.to.toString(DateFormat);
}

QString exportFileName(const Report &report, const QString &suffix)
{
    return u"满意度报表_%1_%2.%3"_s.arg(report.from.toString(DateFormat),
                                        report.to.toString(DateFormat), suffix);
}

void exportReport(const Report &report, const ExportTargets &targets,
                  const ChartPainter &chartPainter)
{
    // Two targets naming one file would overwrite each other.
    QStringList seen;
    for (const QString &path : {targets.csv, targets.xlsx, targets.pdf}) {
        if (path.isEmpty())
            continue;
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (seen.contains(absolute))
            throw KioskError(u"同一个文件不能既作 CSV、又作 Excel 或 PDF：%1"_s.arg(path));
        seen << absolute;
    }

    std::vector<std::unique_ptr<StagedFile>> staged;
    if (!targets.csv.isEmpty()) {
        auto file = std::make_unique<StagedFile>(targets.csv);
        const QByteArray bytes = csvBytes(report);
        if (file->device().write(bytes) != bytes.size())
            throw KioskError(u"无法写入 %1：%2"_s.arg(targets.csv, file->device().errorString()));
        staged.push_back(std::move(file));
    }
    if (!targets.xlsx.isEmpty()) {
        auto file = std::make_unique<StagedFile>(targets.xlsx);
        file->device().close();
        writeXlsx(report, file->tempPath());
        staged.push_back(std::move(file));
    }
    if (!targets.pdf.isEmpty()) {
        auto file = std::make_unique<StagedFile>(targets.pdf);
        writePdf(report, file->device(), chartPainter);
        staged.push_back(std::move(file));
    }
    for (const auto &file : staged)
        file->commit();
}

} // namespace reports
