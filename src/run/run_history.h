#pragma once
// RunHistory: what one refresh run keeps. The run hands it every row as it finishes (the cells as the
// check left them, stamped with that moment), and once the run is over, and the settings saved, all of
// it goes into the history file in one transaction. A history that cannot be opened or written costs
// the run nothing: save() answers the one message to show, and the checks and the settings stand.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "checks/check_outcome.h"
#include "history/history_entry.h"

namespace korvex {

// The outcome to keep for a check; none for rows passed over and stopped transfers.
std::optional<HistoryOutcome> historyOutcome(CheckOutcome outcome);

// The entry for row `check.row` as the check left it, stamped `timeUtc`; none when the check is not
// kept or the row has no login. A failed transfer changed no cell, so its texts are left empty
// rather than repeating the previous check's balance as if it had been read again.
std::optional<HistoryEntry> historyEntry(const AccountBook& book, const RowCheck& check, std::string timeUtc);


class RunHistory {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    explicit RunHistory(Clock clock = [] { return std::chrono::system_clock::now(); });

    // After a row's check: keeps it unless nothing was learnt.
    void add(const AccountBook& book, const RowCheck& check);
    const std::vector<HistoryEntry>& entries() const noexcept { return m_entries; }

    // Appends the kept checks to the history beside `settingsPath`. Answers "" when they are written
    // (or there were none), otherwise the message saying that this run's checks are not in the history.
    std::string save(const std::string& settingsPath);

private:
    Clock m_clock;
    std::vector<HistoryEntry> m_entries;
};

}  // namespace korvex
