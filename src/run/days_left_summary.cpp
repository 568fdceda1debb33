#include "run/days_left_summary.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "book/balance_text.h"
#include "history/balance_history.h"
#include "history/forecast.h"

namespace korvex {

std::string noteDaysLeft(RunSummary& summary, const std::vector<RowCheck>& rows, const AccountBook& book,
                         const std::string& historyPath, int threshold,
                         std::chrono::system_clock::time_point now) {
    summary.daysLeftThreshold = threshold;
    summary.fewDaysLeft.clear();
    if (threshold <= 0) return {};
    // The rows whose balance this run read: what the summary's low balances are taken from too.
    std::set<int> read;
    for (const RowCheck& check : rows) {
        if (check.outcome != CheckOutcome::PageRead && check.outcome != CheckOutcome::NotFound) continue;
        if (check.row < 0 || check.row >= book.clients) continue;
        if (balanceFromCell(book.Stat.cell(kBalance, check.row))) read.insert(check.row);
    }
    for (const SummaryAccount& low : summary.lowBalances) read.erase(low.row);
    std::error_code ec;
    if (read.empty() || !std::filesystem::is_regular_file(historyPath, ec)) return {};
    std::vector<AccountForecast> forecasts;
    try {
        forecasts = forecastAccounts(book, BalanceHistory::openForReading(historyPath), now);
    } catch (const HistoryError& e) {
        return e.what();
    }
    for (const AccountForecast& f : forecasts) {
        if (!read.count(f.row) || !fewDaysLeft(f.spending, threshold)) continue;
        const SummaryAccount account{f.row, book.client.cell(kLogin, f.row), book.Stat.cell(kBalance, f.row),
                                     book.Stat.cell(kPrevious, f.row), book.client.cell(kPlanCode, f.row)};
        summary.fewDaysLeft.push_back({account, *f.spending.daysLeft, f.spending.perDay});
    }
    return {};
}

}  // namespace korvex
