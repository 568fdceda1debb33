// The window's side of the forecast: the menu item that lists every account by its days left, and
// the days left of one account in the tooltip of its balance cell.
#include <QAction>
#include <QMenu>
#include <filesystem>

#include "app/forecast_dialog.h"
#include "app/forecast_text.h"
#include "app/text_grid_model.h"
#include "app/tform1.h"
#include "history/balance_history.h"
#include "history/forecast.h"
#include "platform/codepage.h"
#include "settings/settings_file.h"

namespace korvex {

void TForm1::buildForecast() {
    ForecastItem = PopupMenu2->addAction(QStringLiteral("Прогноз…"), this, &TForm1::ForecastItemClick);
    ForecastItem->setObjectName(QStringLiteral("ForecastItem"));
    m_statModel->setCellTip(
        [this](int col, int row) { return col == kBalance ? balanceTip(row) : QString(); });
}

QString TForm1::balanceTip(int row) const {
    if (row < 0 || row >= m_book.clients) return {};
    const std::string login = cp1251ToUtf8(m_book.client.cell(kLogin, row));
    if (login.empty()) return {};
    const std::string plan = cp1251ToUtf8(m_book.client.cell(kPlanCode, row));
    const std::string path = historyPathFor(FileName);
    const auto now = std::chrono::system_clock::now();
    std::vector<HistoryEntry> checks;
    std::error_code ec;
    // A tooltip makes no history file.
    if (std::filesystem::is_regular_file(path, ec)) {
        try {
            checks = BalanceHistory::openForReading(path).read({login, forecastWindowStart(now), 0});
        } catch (const HistoryError&) {
            return QStringLiteral("Осталось дней: — (история баланса не читается)");
        }
    }
    std::erase_if(checks, [&](const HistoryEntry& e) { return e.plan != plan; });
    return daysLeftLine(estimateSpending(checks, now));
}

void TForm1::ForecastItemClick() {
    const std::string path = historyPathFor(FileName);
    const auto now = std::chrono::system_clock::now();
    std::vector<AccountForecast> forecasts;
    QString problem;
    std::error_code ec;
    try {
        // The account table as it stands, edits not yet saved included.
        forecasts = std::filesystem::exists(path, ec)
                        ? forecastAccounts(m_book, BalanceHistory::openForReading(path), now)
                        : forecastAccounts(m_book, std::span<const HistoryEntry>{}, now);
    } catch (const HistoryError& e) {
        problem = QString::fromStdString(e.what());
    }
    auto* dialog = new ForecastDialog(forecasts, readDaysLeft(FileName), problem, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

}  // namespace korvex
