#include "run/run_history.h"

#include "book/balance_text.h"
#include "history/balance_history.h"
#include "platform/codepage.h"

namespace korvex {

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
        entry.balanceText = cp1251ToUtf8(book.Stat.cell(kBalance, check.row));
        entry.speed = cp1251ToUtf8(book.Stat.cell(kSpeed, check.row));
        entry.status = cp1251ToUtf8(book.Stat.cell(kStatus, check.row));
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
