#include "run/run_history.h"

#include "book/balance_columns.h"
#include "book/balance_text.h"
#include "history/balance_history.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

// Where an entry keeps each balance column that the column table marks as kept in the history. A
// column marked there needs a field here (and a column of the history's table) before it builds.
constexpr std::pair<StatCol, std::string HistoryEntry::*> kKeptColumns[] = {
    {kBalance, &HistoryEntry::balanceText},
    {kSpeed, &HistoryEntry::speed},
    {kStatus, &HistoryEntry::status},
};

constexpr bool keptAsTheTableSays() {
    for (const BalanceColumn& column : kBalanceColumns) {
        bool kept = false;
        for (const auto& [col, field] : kKeptColumns) kept = kept || col == column.col;
        if (kept != column.inHistory) return false;
    }
    return true;
}
static_assert(keptAsTheTableSays(), "every column the table keeps in the history has its field, and no other");

}  // namespace


std::optional<HistoryOutcome> historyOutcome(CheckOutcome outcome) {
    switch (outcome) {
        case CheckOutcome::PageRead:
            return HistoryOutcome::Page;
        case CheckOutcome::NotFound:
            return HistoryOutcome::NotFound;
        case CheckOutcome::ErrorMarker:
            return HistoryOutcome::ErrorMarker;
        case CheckOutcome::TransferFailed:
            return HistoryOutcome::TransferFailed;
        case CheckOutcome::PassedOver:
        case CheckOutcome::Stopped:
        case CheckOutcome::AddressNotSet:  // nothing was asked
            break;
    }
    return std::nullopt;
}

std::optional<HistoryEntry> historyEntry(const AccountBook& book, const RowCheck& check,
                                         std::string timeUtc) {
    const std::optional<HistoryOutcome> outcome = historyOutcome(check.outcome);
    if (!outcome || check.row < 0) return std::nullopt;
    HistoryEntry entry;
    entry.login = cp1251ToUtf8(book.client.cell(kLogin, check.row));
    if (entry.login.empty()) return std::nullopt;
    entry.time = std::move(timeUtc);
    entry.plan = cp1251ToUtf8(book.client.cell(kPlanCode, check.row));
    entry.outcome = *outcome;
    entry.detail = check.errorText;
    if (*outcome != HistoryOutcome::TransferFailed) {
        for (const auto& [col, field] : kKeptColumns) entry.*field = cp1251ToUtf8(book.Stat.cell(col, check.row));
    }
    // After the error marker the balance cell may still be the previous check's: not a reading.
    if (*outcome != HistoryOutcome::ErrorMarker) entry.balance = balanceFromUtf8(entry.balanceText);
    return entry;
}


RunHistory::RunHistory(Clock clock) : m_clock(std::move(clock)) {}

void RunHistory::add(const AccountBook& book, const RowCheck& check) {
    if (auto entry = historyEntry(book, check, utcTimestamp(m_clock())))
        m_entries.push_back(std::move(*entry));
}

std::string RunHistory::save(const std::string& settingsPath) {
    if (m_entries.empty()) return {};
    try {
        BalanceHistory history(historyPathFor(settingsPath));
        history.append(m_entries);
        m_entries.clear();
        return {};
    } catch (const std::exception& e) {
        return std::string(e.what()) + "; the checks of this run are not in the history";
    }
}

}  // namespace korvex
