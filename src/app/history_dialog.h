#pragma once
// The balance history of one account: a line chart of the balance over time, the checks that failed
// marked on it, and the table of checks below, newest first. It reads the history file once, when
// it opens; a file that is missing or cannot be read is said in the dialog instead of the chart.
// Under the chart: the account's spend per day and days left (history/forecast.h), and on it the
// balance projected down to zero as a dashed line.
#include <QDialog>
#include <QList>
#include <QPointF>
#include <optional>
#include <string>
#include <vector>

#include "history/history_entry.h"

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QTableWidget;

namespace korvex {

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // The most recent checks shown: years of daily runs, and still quick to draw.
    static constexpr int kMostChecks = 10000;

    // `historyPath`: the history file; `login` and `plan`: the account's login and plan code in UTF-8
    // (the same login on another plan is another account).
    HistoryDialog(const std::string& historyPath, const std::string& login, const std::string& plan,
                  QWidget* parent = nullptr);

    QLineSeries* balanceSeries() const { return m_balance; }
    QScatterSeries* failedSeries() const { return m_failed; }
    QTableWidget* checksTable() const { return m_table; }
    // What the dialog says above the chart (the account, or why nothing is shown).
    QLabel* note() const { return m_note; }
    // The projection of the balance to zero (empty when the days left cannot be told or none are
    // left), and the line under the chart with the spend per day and the days left.
    QLineSeries* forecastSeries() const { return m_forecast; }
    QLabel* forecastNote() const { return m_forecastNote; }

private:
    QLabel* m_note = nullptr;
    QChartView* m_chartView = nullptr;
    QLineSeries* m_balance = nullptr;
    QScatterSeries* m_failed = nullptr;
    QTableWidget* m_table = nullptr;
    QLineSeries* m_forecast = nullptr;
    QLabel* m_forecastNote = nullptr;

    // The chart of `entries` (newest first) with its three series, and the forecast note.
    QChart* makeChart(const std::vector<HistoryEntry>& entries, const std::string& plan);
    // The table of checks, newest first, failed ones tinted.
    QTableWidget* makeTable(const std::vector<HistoryEntry>& entries);
    // The forecast of the account from `entries` (newest first): fills m_forecast and
    // m_forecastNote. Answers the projection's points.
    QList<QPointF> showForecast(const std::vector<HistoryEntry>& entries,
                                const std::optional<std::string>& plan);
};

}  // namespace korvex
