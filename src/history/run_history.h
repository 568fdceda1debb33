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
#include "checks/refresh_run.h"
#include "history/history_entry.h"

namespace korvex {

class RunHistory {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    explicit RunHistory(Clock clock = [] { return std::chrono::system_clock::now(); });

    // After a row's check: keeps it unless nothing was learnt.
    void add(const AccountBook& book, const RowCheck& check);
    // `hooks` with a rowFinished that first does what theirs does, then adds the row: what a refresh
    // run is handed, so that the run's own readers of the outcomes keep theirs.
    RefreshHooks keeping(RefreshHooks hooks, const AccountBook& book);
    const std::vector<HistoryEntry>& entries() const noexcept { return m_entries; }

    // Appends the kept checks to the history beside `settingsPath`. Answers "" when they are written
    // (or there were none), otherwise the message saying that this run's checks are not in the history.
    std::string save(const std::string& settingsPath);

private:
    Clock m_clock;
    std::vector<HistoryEntry> m_entries;
};

}  // namespace korvex
