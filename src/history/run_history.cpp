#include "history/run_history.h"

#include "history/balance_history.h"

namespace korvex {

RunHistory::RunHistory(Clock clock) : m_clock(std::move(clock)) {}

void RunHistory::add(const AccountBook& book, const RowCheck& check) {
    if (auto entry = historyEntry(book, check, utcTimestamp(m_clock())))
        m_entries.push_back(std::move(*entry));
}

RefreshHooks RunHistory::keeping(RefreshHooks hooks, const AccountBook& book) {
    hooks.rowFinished = [this, &book, theirs = std::move(hooks.rowFinished)](const RowCheck& check) {
        if (theirs) theirs(check);
        add(book, check);
    };
    return hooks;
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
