#include "app/history_dialog.h"

#include <QBrush>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/forecast_text.h"
#include "history/balance_chart.h"
#include "history/balance_history.h"
#include "history/forecast.h"

namespace korvex {

namespace {

QString outcomeCaption(const HistoryEntry& e) {
    QString text;
    switch (e.outcome) {
        case HistoryOutcome::Page:
            return QStringLiteral("прочитано");
        case HistoryOutcome::NotFound:
            text = QStringLiteral("значения не найдены");
            break;
        case HistoryOutcome::ErrorMarker:
            text = QStringLiteral("ошибка проверки");
            break;
        case HistoryOutcome::TransferFailed:
            text = QStringLiteral("нет ответа портала");
            break;
    }
    if (!e.detail.empty()) text += QStringLiteral(" (") + QString::fromStdString(e.detail) + QLatin1Char(')');
    return text;
}

// None for a time that is not a moment of the clock (a damaged or hand-edited history file).
std::optional<qint64> msecs(const HistoryEntry& e) {
    const auto moment = momentFromUtcTimestamp(e.time);
    if (!moment) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(moment->time_since_epoch()).count();
}

QList<QPointF> qtPoints(const std::vector<ChartPoint>& points) {
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const ChartPoint& p : points) list.append(QPointF(static_cast<qreal>(p.msecs), p.balance));
    return list;
}

// The account's checks, newest first, into `entries`; answers what the dialog says instead of the
// count when there is nothing to show.
QString readChecks(const std::string& historyPath, const std::string& login, const std::string& plan,
                   std::vector<HistoryEntry>& entries) {
    if (login.empty()) return QStringLiteral("В этой строке нет логина.");
    std::error_code ec;
    if (std::filesystem::exists(historyPath, ec)) {
        try {
            entries = BalanceHistory::openForReading(historyPath).recent(login, plan, HistoryDialog::kMostChecks);
        } catch (const HistoryError& e) {
            return QStringLiteral("История баланса не читается: ") + QString::fromStdString(e.what());
        }
    }
    return entries.empty() ? QStringLiteral("Проверок этого счёта ещё нет.") : QString();
}

// Axes that hold every point; one point, or a flat line, still gets some height and width.
void fitAxes(QDateTimeAxis* timeAxis, QValueAxis* valueAxis, const QList<QPointF>& all) {
    if (all.isEmpty()) return;
    const auto [minX, maxX] = std::minmax_element(
        all.begin(), all.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    const auto [minY, maxY] = std::minmax_element(
        all.begin(), all.end(), [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    const qreal pad = std::max<qreal>((maxY->y() - minY->y()) * 0.1, 1.0);
    const qint64 hour = 3600 * 1000;
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(minX->x()) - hour),
                       QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(maxX->x()) + hour));
    valueAxis->setRange(minY->y() - pad, maxY->y() + pad);
}

}  // namespace

HistoryDialog::HistoryDialog(const std::string& historyPath, const std::string& login, const std::string& plan,
                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("HistoryDialog"));
    const QString account = QString::fromStdString(login) +
                            (plan.empty() ? QString() : QStringLiteral(" (") + QString::fromStdString(plan) + ')');
    setWindowTitle(QStringLiteral("История баланса — ") + account);
    resize(760, 600);

    std::vector<HistoryEntry> entries;  // newest first, as the table shows them
    const QString problem = readChecks(historyPath, login, plan, entries);

    auto* layout = new QVBoxLayout(this);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("HistoryNote"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note->setText(problem.isEmpty()
                        ? account + QStringLiteral(": проверок ") + QString::number(entries.size())
                        : problem);
    layout->addWidget(m_note);

    m_chartView = new QChartView(makeChart(entries, plan), this);
    m_chartView->setObjectName(QStringLiteral("HistoryChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumHeight(260);
    layout->addWidget(m_chartView, 3);
    layout->addWidget(m_forecastNote);
    layout->addWidget(makeTable(entries), 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QChart* HistoryDialog::makeChart(const std::vector<HistoryEntry>& entries, const std::string& plan) {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_balance = new QLineSeries(chart);
    m_balance->setName(QStringLiteral("Баланс"));
    m_balance->setPointsVisible(entries.size() < 200);
    m_failed = new QScatterSeries(chart);
    m_failed->setName(QStringLiteral("Проверка не удалась"));
    m_failed->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_failed->setMarkerSize(entries.size() < 200 ? 8 : 5);
    m_failed->setColor(QColor(0xD0, 0x30, 0x30));
    m_failed->setBorderColor(QColor(0xD0, 0x30, 0x30));

    const BalanceChart points = balanceChart(entries);
    const QList<QPointF> line = qtPoints(points.line);
    const QList<QPointF> marks = qtPoints(points.failedMarks);
    m_balance->replace(line);
    m_failed->replace(marks);
    chart->addSeries(m_balance);
    chart->addSeries(m_failed);
    m_forecast = new QLineSeries(chart);
    const QList<QPointF> projection =
        showForecast(entries, plan.empty() ? std::nullopt : std::optional<std::string>(plan));
    chart->addSeries(m_forecast);

    auto* timeAxis = new QDateTimeAxis(chart);
    timeAxis->setFormat(QStringLiteral("dd.MM.yy HH:mm"));
    timeAxis->setTickCount(5);
    auto* valueAxis = new QValueAxis(chart);
    valueAxis->setLabelFormat(QStringLiteral("%.2f"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(valueAxis, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_balance), static_cast<QAbstractSeries*>(m_failed),
          static_cast<QAbstractSeries*>(m_forecast)}) {
        series->attachAxis(timeAxis);
        series->attachAxis(valueAxis);
    }
    fitAxes(timeAxis, valueAxis, line + marks + projection);
    return chart;
}

QTableWidget* HistoryDialog::makeTable(const std::vector<HistoryEntry>& entries) {
    m_table = new QTableWidget(static_cast<int>(entries.size()), 5, this);
    m_table->setObjectName(QStringLiteral("HistoryTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Время"), QStringLiteral("Баланс"),
                                        QStringLiteral("Скорость"), QStringLiteral("Активна/Тариф"),
                                        QStringLiteral("Итог")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const QBrush failedTint(QColor(0xFF, 0xE4, 0xE1));
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const HistoryEntry& e = entries[static_cast<std::size_t>(row)];
        const std::optional<qint64> moment = msecs(e);
        const QString when = moment ? QDateTime::fromMSecsSinceEpoch(*moment, Qt::UTC)
                                          .toLocalTime()
                                          .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                                    : QStringLiteral("не читается: ") + QString::fromStdString(e.time);
        const QString cells[] = {when, QString::fromStdString(e.balanceText), QString::fromStdString(e.speed),
                                 QString::fromStdString(e.status), outcomeCaption(e)};
        for (int col = 0; col < 5; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (historyCheckFailed(e.outcome)) item->setBackground(failedTint);
            m_table->setItem(row, col, item);
        }
    }
    m_table->resizeColumnsToContents();
    return m_table;
}

QList<QPointF> HistoryDialog::showForecast(const std::vector<HistoryEntry>& entries,
                                           const std::optional<std::string>& plan) {
    m_forecast->setName(QStringLiteral("Прогноз"));
    QPen dashed = m_forecast->pen();
    dashed.setStyle(Qt::DashLine);
    dashed.setWidth(2);
    dashed.setColor(QColor(0x60, 0x60, 0x60));
    m_forecast->setPen(dashed);
    m_forecastNote = new QLabel(this);
    m_forecastNote->setObjectName(QStringLiteral("HistoryForecast"));
    m_forecastNote->setWordWrap(true);
    m_forecastNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (entries.empty()) {
        m_forecastNote->hide();
        m_forecast->setVisible(false);
        return {};
    }
    // The account is a login and a plan code: without one given, the plan of the newest check.
    const std::string& account = plan ? *plan : entries.front().plan;
    std::vector<HistoryEntry> checks;
    for (const HistoryEntry& e : entries)
        if (e.plan == account) checks.push_back(e);
    const Spending spending = estimateSpending(checks, std::chrono::system_clock::now());
    QString text = QStringLiteral("Расход в день: ") + perDayCaption(spending) +
                   QStringLiteral(" · осталось дней: ") + daysLeftCaption(spending);
    if (const QString gap = forecastGapCaption(spending); !gap.isEmpty())
        text += QStringLiteral(" (") + gap + QLatin1Char(')');
    else if (const QString asOf = asOfCaption(spending); !asOf.isEmpty())
        text += QStringLiteral(" (на ") + asOf + QLatin1Char(')');
    m_forecastNote->setText(text);

    m_forecast->setVisible(spending.state == ForecastState::Estimated);  // no empty entry in the legend
    if (spending.state != ForecastState::Estimated) return {};
    // From the latest reading down to zero at the rate spent; a year at most, so that an account that
    // spends little does not squeeze its history into the chart's left edge.
    const auto from = momentFromUtcTimestamp(spending.asOf);
    if (!from) return {};
    const double x0 = static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(from->time_since_epoch()).count());
    const double days = std::min(*spending.balance / *spending.perDay, 366.0);
    const QList<QPointF> points = {
        QPointF(x0, *spending.balance),
        QPointF(x0 + days * 86400.0 * 1000.0, *spending.balance - days * *spending.perDay)};
    m_forecast->replace(points);
    return points;
}

}  // namespace korvex
