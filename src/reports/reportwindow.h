#pragma once

#include "platform/widgets/form.h"
#include "reports/exports.h"
#include "reports/figures.h"

#include <array>

class QChartView;
class QDateEdit;
class QLabel;
class QTableWidget;
class QTabWidget;
class RzButton;

// The satisfaction report for staff: range presets and free dates, the names ranked by score,
// charts of the scores, the grades and the trend, and exports to Excel, CSV and PDF in a folder
// the staff choose. The figures are read on a worker thread over a connection of their own that
// is closed again after each reading, so neither the kiosk nor the window waits on the database
// and no read stays open while staff look at the figures. When the kiosk forwards its ratings to
// a central database, a line shows the state of that link and staff can switch the figures
// between this kiosk ("本机") and all kiosks ("全部终端", the central daily counts).
class ReportWindow : public KioskForm
{
    Q_OBJECT
public:
    // databasePath: the rating database (db.dll of the run folder).
    explicit ReportWindow(const QString &databasePath, QWidget *parent = nullptr);
    ~ReportWindow() override;

    std::array<RzButton *, 5> PresetButtons{}; // 今天, 本周, 本月, 本年, 上月
    QDateEdit *FromDate = nullptr;
    QDateEdit *ToDate = nullptr;
    QLabel *SummaryLabel = nullptr;
    QTableWidget *RankingTable = nullptr;
    QTabWidget *ChartTabs = nullptr;
    QChartView *ScoreChartView = nullptr;
    QChartView *GradeChartView = nullptr;
    QChartView *TrendChartView = nullptr;
    QTableWidget *ReasonTable = nullptr; // tab 差评原因: name, reason, how often
    RzButton *ExcelButton = nullptr;
    RzButton *CsvButton = nullptr;
    RzButton *PdfButton = nullptr;
    RzButton *CloseButton = nullptr;
    QLabel *CentralLabel = nullptr;  // the state of the central link; hidden without one
    RzButton *LocalButton = nullptr; // 本机
    RzButton *AllButton = nullptr;   // 全部终端

    // The central database the kiosk forwards to (its connection URI), or empty when it forwards
    // nothing: then the figures are this kiosk's only and the scope buttons are hidden.
    void setCentralSource(const QString &url);
    // The state of the link to the central database as staff read it (one line).
    void showCentralState(const QString &line);
    // Whether the figures are those of all kiosks from the central database.
    bool showsAllKiosks() const { return m_allKiosks; }

    // The report shown now (valid once reportShown was emitted).
    const reports::Report &report() const { return m_report; }
    // Whether a reading of the database is under way.
    bool isLoading() const { return m_loading; }

    // The caption of the folder chooser of the exports.
    static QString folderCaption();

signals:
    // The table and the charts show the figures of the current range.
    void reportShown();

protected:
    void FormCreate() override;
    void FormShow() override;
    void PresetClick(reports::Preset preset);
    void DateChanged();
    void ExportClick(const QString &suffix);
    void CloseButtonClick();
    void ScopeClick(bool allKiosks);

private:
    void buildControls();
    // Starts reading the figures of the chosen range; a newer reading supersedes older ones.
    void load();
    void loaded(quint64 generation, const reports::Report &report, const QString &error);
    void showReport();
    // Empties the table and the charts and says why, and why nothing can be exported now.
    void showNothing(const QString &summary, const QString &noExportReason);
    void setRange(const reports::DateRange &range);
    // Fills the reasons tab from the report shown, or empties it.
    void showReasons();

    QString m_databasePath;
    reports::Report m_report;
    bool m_haveReport = false;
    QString m_noReportReason;
    bool m_loading = false;
    quint64 m_generation = 0;
    QString m_centralUrl;
    bool m_allKiosks = false;
};
