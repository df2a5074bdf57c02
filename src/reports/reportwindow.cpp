#include "reports/reportwindow.h"

#include "platform/backgroundjob.h"
#include "platform/error.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "platform/widgets/datebox.h"
#include "platform/widgets/rzbutton.h"
#include "reports/reportcharts.h"
#include "reports/reportsource.h"

#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString DateFormat = u"yyyy-MM-dd"_s;

// Sizes for a finger on a touch screen.
constexpr int TouchHeight = 52;
constexpr int TouchFontPixels = 18;
constexpr int TableFontPixels = 16;

// What a reading of the database hands back to the window.
struct Reading
{
    reports::Report report;
    QString error;
};

// source: the database file, or with allKiosks the central database's URI.
Reading readReport(const QString &source, bool allKiosks, const QDate &from, const QDate &to,
                   int minimumRatings)
{
    Reading reading;
    try {
        const reports::Counts counts = allKiosks ? reports::readCountsFromCentral(source, from, to)
                                                 : reports::readCountsFromFile(source, from, to);
        reading.report = reports::makeReport(from, to, reports::defaultPeriod(from, to),
                                             counts.byName, counts.byDay, minimumRatings);
        reading.report.reasons = reports::reasonRows(counts.byReason);
        reading.report.suspectedRepeats = counts.suspectedRepeats;
    } catch (const KioskError &e) {
        reading.error = e.message();
    } catch (const std::exception &e) {
        reading.error = QString::fromLocal8Bit(e.what());
    }
    return reading;
}

RzButton *makeButton(QWidget *parent, const QString &name, const QString &caption)
{
    auto *button = new RzButton(caption, parent);
    button->setObjectName(name);
    button->setFaceColor(RzButton::defaultFace());
    button->setFrameColor(RzButton::defaultFrame());
    button->setPixelHeight(TouchFontPixels);
    button->setMinimumSize(96, TouchHeight);
    return button;
}

QDateEdit *makeDateEdit(QWidget *parent, const QString &name)
{
    auto *edit = new DateBox(parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(DateFormat);
    edit->setCalendarPopup(true);
    edit->setMinimumSize(170, TouchHeight);
    QFont f = edit->font();
    f.setPixelSize(TouchFontPixels);
    edit->setFont(f);
    return edit;
}

// A column title over two lines when it is longer than three characters, so that the grade
// columns are no wider than their numbers need.
QString wrappedTitle(const QString &title)
{
    QString t = title;
    if (t.size() <= 3)
        return t;
    t.insert(t.startsWith(u"非常"_s) || t.startsWith(u"比较"_s) ? 2 : 3, u'\n');
    return t;
}

QChartView *makeChartView(QWidget *parent, const QString &name)
{
    auto *view = new QChartView(parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

} // namespace

ReportWindow::ReportWindow(const QString &databasePath, QWidget *parent)
    : KioskForm(parent, DialogFlags | Qt::WindowCloseButtonHint), m_databasePath(databasePath)
{
    setObjectName(u"ReportWindow"_s);
    setUpWindow(u"满意度报表"_s, QSize(1000, 700));
    buildControls();
    runCreate();
}

ReportWindow::~ReportWindow() = default;

QString ReportWindow::folderCaption()
{
    return u"选择导出位置"_s;
}

void ReportWindow::buildControls()
{
    QFont base = font();
    base.setPixelSize(TouchFontPixels);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(10, 10, 10, 10);
    outer->setSpacing(8);

    // Range: presets and free dates.
    auto *rangeRow = new QHBoxLayout;
    rangeRow->setSpacing(6);
    const std::array<reports::Preset, 5> presets = {
        reports::Preset::Today, reports::Preset::ThisWeek, reports::Preset::ThisMonth,
        reports::Preset::ThisYear, reports::Preset::LastMonth};
    const std::array<const char16_t *, 5> names = {u"TodayButton", u"WeekButton", u"MonthButton",
                                                   u"YearButton", u"LastMonthButton"};
    for (size_t i = 0; i < presets.size(); ++i) {
        const reports::Preset preset = presets[i];
        RzButton *button =
            makeButton(this, QString::fromUtf16(names[i]), reports::presetName(preset));
        button->setMinimumWidth(80);
        PresetButtons[i] = button;
        rangeRow->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, preset] {
            platform::guarded(this, [this, preset] { PresetClick(preset); });
        });
    }
    rangeRow->addSpacing(16);
    auto *fromLabel = new QLabel(u"从"_s, this);
    fromLabel->setFont(base);
    rangeRow->addWidget(fromLabel);
    FromDate = makeDateEdit(this, u"FromDate"_s);
    rangeRow->addWidget(FromDate);
    auto *toLabel = new QLabel(u"至"_s, this);
    toLabel->setFont(base);
    rangeRow->addWidget(toLabel);
    ToDate = makeDateEdit(this, u"ToDate"_s);
    rangeRow->addWidget(ToDate);
    rangeRow->addStretch(1);
    outer->addLayout(rangeRow);
    for (QDateEdit *edit : {FromDate, ToDate}) {
        connect(edit, &QDateEdit::dateChanged, this,
                [this] { platform::guarded(this, [this] { DateChanged(); }); });
    }

    // This kiosk or all kiosks, shown only when the kiosk forwards to a central database.
    auto *centralRow = new QHBoxLayout;
    centralRow->setSpacing(6);
    LocalButton = makeButton(this, u"LocalButton"_s, u"本机"_s);
    AllButton = makeButton(this, u"AllButton"_s, u"全部终端"_s);
    for (RzButton *b : {LocalButton, AllButton}) {
        b->setCheckable(true);
        b->setVisible(false);
        centralRow->addWidget(b);
    }
    LocalButton->setChecked(true);
    LocalButton->setFaceColor(RzButton::defaultFrame());
    LocalButton->setTextColor(Qt::white);
    CentralLabel = new QLabel(this);
    CentralLabel->setObjectName(u"CentralLabel"_s);
    CentralLabel->setFont(base);
    CentralLabel->setWordWrap(true);
    CentralLabel->setVisible(false);
    centralRow->addWidget(CentralLabel, 1);
    outer->addLayout(centralRow);
    connect(LocalButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { ScopeClick(false); }); });
    connect(AllButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { ScopeClick(true); }); });

    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(u"SummaryLabel"_s);
    SummaryLabel->setFont(base);
    SummaryLabel->setWordWrap(true);
    outer->addWidget(SummaryLabel);

    // The ranked table beside the charts.
    auto *body = new QHBoxLayout;
    body->setSpacing(8);
    RankingTable = new QTableWidget(this);
    RankingTable->setObjectName(u"RankingTable"_s);
    QFont tableFont = font();
    tableFont.setPixelSize(TableFontPixels);
    RankingTable->setFont(tableFont);
    RankingTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RankingTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    RankingTable->setAlternatingRowColors(true);
    RankingTable->verticalHeader()->setDefaultSectionSize(38);
    RankingTable->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Every column fits: the number columns are as wide as their numbers, the name takes what is
    // left (the whole name in its tooltip), so nothing scrolls sideways.
    RankingTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RankingTable->setTextElideMode(Qt::ElideRight);
    QStringList header = reports::tableHeader();
    for (QString &title : header)
        title = wrappedTitle(title);
    RankingTable->setColumnCount(int(header.size()));
    RankingTable->setHorizontalHeaderLabels(header);
    QFont headerFont = font();
    headerFont.setPixelSize(14);
    RankingTable->horizontalHeader()->setFont(headerFont);
    RankingTable->verticalHeader()->setFont(headerFont);
    RankingTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    RankingTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    RankingTable->horizontalHeader()->setMinimumSectionSize(20);
    body->addWidget(RankingTable, 2);

    ChartTabs = new QTabWidget(this);
    ChartTabs->setObjectName(u"ChartTabs"_s);
    // All four tabs stay in sight at 1024x768: no scroll arrows, which are too small to tap.
    ChartTabs->setStyleSheet(
        u"QTabBar::tab { min-height: 40px; padding: 0 10px; font-size: %1px; }"_s.arg(
            TouchFontPixels));
    ChartTabs->tabBar()->setUsesScrollButtons(false);
    ChartTabs->tabBar()->setExpanding(true);
    ScoreChartView = makeChartView(ChartTabs, u"ScoreChartView"_s);
    GradeChartView = makeChartView(ChartTabs, u"GradeChartView"_s);
    TrendChartView = makeChartView(ChartTabs, u"TrendChartView"_s);
    ChartTabs->addTab(ScoreChartView, u"得分"_s);
    ChartTabs->addTab(GradeChartView, u"评价分布"_s);
    ChartTabs->addTab(TrendChartView, u"趋势"_s);
    ReasonTable = new QTableWidget(ChartTabs);
    ReasonTable->setObjectName(u"ReasonTable"_s);
    ReasonTable->setFont(tableFont);
    ReasonTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ReasonTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    ReasonTable->setAlternatingRowColors(true);
    ReasonTable->verticalHeader()->setDefaultSectionSize(38);
    ReasonTable->verticalHeader()->hide();
    ReasonTable->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ReasonTable->setColumnCount(int(reports::reasonsHeader().size()));
    ReasonTable->setHorizontalHeaderLabels(reports::reasonsHeader());
    ReasonTable->horizontalHeader()->setFont(headerFont);
    ReasonTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ReasonTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    ChartTabs->addTab(ReasonTable, reports::reasonsTitle());
    body->addWidget(ChartTabs, 1);
    outer->addLayout(body, 1);

    // Exports and close.
    auto *exportRow = new QHBoxLayout;
    ExcelButton = makeButton(this, u"ExcelButton"_s, u"导出 Excel"_s);
    CsvButton = makeButton(this, u"CsvButton"_s, u"导出 CSV"_s);
    PdfButton = makeButton(this, u"PdfButton"_s, u"导出 PDF"_s);
    CloseButton = makeButton(this, u"CloseButton"_s, u"关  闭"_s);
    for (RzButton *b : {ExcelButton, CsvButton, PdfButton, CloseButton})
        b->setMinimumWidth(150);
    exportRow->addWidget(ExcelButton);
    exportRow->addWidget(CsvButton);
    exportRow->addWidget(PdfButton);
    exportRow->addStretch(1);
    exportRow->addWidget(CloseButton);
    outer->addLayout(exportRow);
    const std::array<std::pair<RzButton *, QString>, 3> exports = {
        std::pair{ExcelButton, u"xlsx"_s}, std::pair{CsvButton, u"csv"_s},
        std::pair{PdfButton, u"pdf"_s}};
    for (const auto &[button, suffix] : exports) {
        connect(button, &QPushButton::clicked, this, [this, suffix = suffix] {
            platform::guarded(this, [this, &suffix] { ExportClick(suffix); });
        });
    }
    connect(CloseButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { CloseButtonClick(); }); });
}

void ReportWindow::FormCreate()
{
    setRange(reports::presetRange(reports::Preset::ThisMonth, platform::services().now().date()));
}

void ReportWindow::FormShow()
{
    // Ratings may have come in since the window was last shown.
    load();
}

void ReportWindow::setRange(const reports::DateRange &range)
{
    const QSignalBlocker blockFrom(FromDate), blockTo(ToDate);
    FromDate->setDate(range.from);
    ToDate->setDate(range.to);
}

void ReportWindow::PresetClick(reports::Preset preset)
{
    setRange(reports::presetRange(preset, platform::services().now().date()));
    load();
}

void ReportWindow::DateChanged()
{
    load();
}

void ReportWindow::setCentralSource(const QString &url)
{
    m_centralUrl = url;
    const bool shown = !url.isEmpty();
    for (QWidget *w : std::initializer_list<QWidget *>{LocalButton, AllButton, CentralLabel})
        w->setVisible(shown);
    if (!shown)
        CentralLabel->clear();
    // Without a central database only this kiosk's figures can be read.
    if (!shown && m_allKiosks)
        ScopeClick(false);
}

void ReportWindow::showCentralState(const QString &line)
{
    CentralLabel->setText(m_centralUrl.isEmpty() ? QString() : line);
}

void ReportWindow::ScopeClick(bool allKiosks)
{
    if (allKiosks && m_centralUrl.isEmpty())
        allKiosks = false;
    // The chosen one is drawn filled, so staff see at a glance whose figures these are.
    for (RzButton *b : {LocalButton, AllButton}) {
        const bool chosen = (b == AllButton) == allKiosks;
        b->setChecked(chosen);
        b->setFaceColor(chosen ? RzButton::defaultFrame() : RzButton::defaultFace());
        b->setTextColor(chosen ? QColor(Qt::white) : QColor(Qt::black));
    }
    if (allKiosks == m_allKiosks)
        return;
    m_allKiosks = allKiosks;
    // A hidden window reads anew when it is shown.
    if (isVisible())
        load();
}

void ReportWindow::load()
{
    const quint64 generation = ++m_generation;
    const QDate from = FromDate->date(), to = ToDate->date();
    if (to < from) {
        m_loading = false;
        showNothing(u"结束日期早于开始日期，请重新选择。"_s,
                    u"没有可导出的报表，请先选择有效的日期范围。"_s);
        emit reportShown();
        return;
    }
    m_loading = true;
    SummaryLabel->setText(
        u"正在统计 %1 至 %2 …"_s.arg(from.toString(DateFormat), to.toString(DateFormat)));
    const bool allKiosks = m_allKiosks && !m_centralUrl.isEmpty();
    const QString source = allKiosks ? m_centralUrl : m_databasePath;
    // Settings are read anew for every reading, so a changed minimum shows at once.
    const int minimum = reports::rankingMinimum(platform::services().exeDir());
    // Every reading runs on a thread of its own, so a slow server never holds up a newer one;
    // the window owns the job until it reports (and waits for it when closed first).
    auto *job = new platform::BackgroundJob(platform::BackgroundJob::Priority::Normal, this);
    const auto reading = std::make_shared<platform::Handover<Reading>>();
    connect(job, &platform::BackgroundJob::finished, this, [this, job, reading, generation] {
        job->deleteLater();
        // Empty only when the reading threw something readReport does not catch.
        const Reading read = reading->take().value_or(Reading{{}, u"未知错误"_s});
        platform::guarded(this, [&] { loaded(generation, read.report, read.error); });
    });
    job->start([reading, source, allKiosks, from, to, minimum] {
        reading->put(readReport(source, allKiosks, from, to, minimum));
    });
}

void ReportWindow::loaded(quint64 generation, const reports::Report &report, const QString &error)
{
    // A reading for a range that has been changed since is of no use.
    if (generation != m_generation)
        return;
    m_loading = false;
    if (!error.isEmpty()) {
        if (m_allKiosks)
            showNothing(u"无法读取中心数据库的评价数据。"_s,
                        u"没有可导出的报表：无法读取中心数据库的评价数据（原因见刚才的错误提示）。"
                        "请检查与中心数据库的连接后重新选择日期，或点“本机”导出这台终端的报表。"_s);
        else
            showNothing(
                u"无法读取评价数据。"_s,
                u"没有可导出的报表：无法读取这台终端的评价数据（原因见刚才的错误提示）。"_s);
        emit reportShown();
        throw KioskError(error);
    }
    m_report = report;
    m_haveReport = true;
    showReport();
    emit reportShown();
}

void ReportWindow::showNothing(const QString &summary, const QString &noExportReason)
{
    m_haveReport = false;
    m_noReportReason = noExportReason;
    SummaryLabel->setText(summary);
    RankingTable->setRowCount(0);
    ReasonTable->setRowCount(0);
    // The charts go with the table: figures of another range or source would pass for these.
    for (QChartView *view : {ScoreChartView, GradeChartView, TrendChartView}) {
        QChart *old = view->chart();
        view->setChart(new QChart);
        delete old;
    }
}

void ReportWindow::showReport()
{
    QStringList summary = {(m_allKiosks ? u"全部终端，"_s : QString()) +
                           reports::rangeText(m_report) + u"："_s + reports::overallLine(m_report) +
                           u"。"_s};
    summary << reports::leftOutLines(m_report) << reports::smallSampleLine(m_report);
    summary.removeAll(QString());
    SummaryLabel->setText(summary.join(QString()));

    RankingTable->setUpdatesEnabled(false);
    RankingTable->clearContents();
    RankingTable->setRowCount(int(m_report.ranking.size()));
    // The widest number of each column decides its width (digits are all equally wide).
    std::array<qint64, 3 + reports::GradeCount> widest{};
    QStringList ranks;
    for (qsizetype row = 0; row < m_report.ranking.size(); ++row) {
        const reports::Figures &f = m_report.ranking.at(row);
        ranks << reports::rankText(m_report, row);
        QStringList cells = {reports::displayName(f.name), QString::number(f.ratings),
                             f.scoreText(), f.rateText() + u'%'};
        for (int i = 0; i < reports::GradeCount; ++i)
            cells << QString::number(f.per[i]);
        widest[0] = std::max(widest[0], f.ratings);
        for (int i = 0; i < reports::GradeCount; ++i)
            widest[size_t(3 + i)] = std::max(widest[size_t(3 + i)], f.per[i]);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (c == 0)
                item->setToolTip(cells.at(c));
            else
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            RankingTable->setItem(int(row), c, item);
        }
    }
    RankingTable->setVerticalHeaderLabels(ranks);
    const QFontMetrics titleMetrics(RankingTable->horizontalHeader()->font());
    const QFontMetrics cellMetrics(RankingTable->font());
    for (int c = 1; c < RankingTable->columnCount(); ++c) {
        const QString sample = c == 2   ? u"100.0"_s
                               : c == 3 ? u"100.0%"_s
                                        : QString::number(widest[size_t(c - 1)]);
        int width = cellMetrics.horizontalAdvance(sample);
        for (const QString &line : RankingTable->horizontalHeaderItem(c)->text().split(u'\n'))
            width = std::max(width, titleMetrics.horizontalAdvance(line));
        RankingTable->setColumnWidth(c, width + 12);
    }
    // A new range starts at its first row, never where the last one was scrolled to.
    RankingTable->scrollToTop();
    RankingTable->horizontalScrollBar()->setValue(0);
    RankingTable->setUpdatesEnabled(true);
    showReasons();

    const std::array<std::pair<QChartView *, reports::Chart>, 3> views = {
        std::pair{ScoreChartView, reports::Chart::Scores},
        std::pair{GradeChartView, reports::Chart::Grades},
        std::pair{TrendChartView, reports::Chart::Trend}};
    for (const auto &[view, kind] : views) {
        QChart *old = view->chart();
        view->setChart(reports::makeChart(kind, m_report));
        // The view gives up an old chart without deleting it.
        delete old;
    }
}

void ReportWindow::showReasons()
{
    ReasonTable->clearContents();
    ReasonTable->setRowCount(int(m_report.reasons.size()));
    for (qsizetype row = 0; row < m_report.reasons.size(); ++row) {
        const reports::NameReasonCount &r = m_report.reasons.at(row);
        const QStringList cells = {reports::displayName(r.name), r.reason,
                                   QString::number(r.count)};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (c == 0)
                item->setToolTip(cells.at(c));
            if (c == 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            ReasonTable->setItem(int(row), c, item);
        }
    }
    ReasonTable->scrollToTop();
}

void ReportWindow::ExportClick(const QString &suffix)
{
    if (m_loading) {
        platform::services().message(this, u"报表正在统计，请稍候再导出。"_s);
        return;
    }
    if (!m_haveReport) {
        platform::services().message(this, m_noReportReason.isEmpty()
                                               ? u"没有可导出的报表，请先选择有效的日期范围。"_s
                                               : m_noReportReason);
        return;
    }
    const QString folder = platform::services().chooseFolder(this, folderCaption());
    if (folder.isEmpty())
        return;
    const QString path = QDir(folder).filePath(reports::exportFileName(m_report, suffix));
    reports::ExportTargets targets;
    if (suffix == u"csv"_s)
        targets.csv = path;
    else if (suffix == u"xlsx"_s)
        targets.xlsx = path;
    else
        targets.pdf = path;
    try {
        reports::exportReport(m_report, targets, reports::paintChart);
    } catch (const KioskError &e) {
        throw KioskError(u"导出失败：%1"_s.arg(e.message()));
    }
    platform::services().message(this, u"已导出：%1"_s.arg(QDir::toNativeSeparators(path)));
}

void ReportWindow::CloseButtonClick()
{
    hide();
}
