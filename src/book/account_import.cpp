#include "book/account_import.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace korvex {

namespace {

bool sameAccount(const Row& a, const Row& b) {
    return a[kLogin] == b[kLogin] && a[kPlanCode] == b[kPlanCode];
}

}  // namespace

bool holdsNoAccounts(const AccountBook& book) {
    if (book.clients != 1) return false;
    for (int col = 0; col < kAccountCols; ++col)
        if (!book.client.cell(col, 0).empty()) return false;
    return true;
}

ImportPlan planImport(const AccountBook& book, const std::vector<Row>& incoming, bool replace) {
    ImportPlan plan;
    plan.replace = replace;
    const bool empty = holdsNoAccounts(book);
    plan.kept = replace || empty ? 0 : book.clients;
    // Looked up by key, and left as soon as more accounts are taken than a book can hold: the time
    // stays linear in the list, however long it is.
    const auto keyOf = [](const Row& cells) { return cells[kLogin] + '\0' + cells[kPlanCode]; };
    std::unordered_map<std::string, int> presentRows;
    std::unordered_set<std::string> takenKeys;
    for (int row = 0; !replace && !empty && row < book.clients; ++row)
        presentRows.emplace(keyOf(book.client.row(row)), row);
    for (std::size_t i = 0; i < incoming.size() && plan.total() <= kMaxAccounts; ++i) {
        if (replace) {
            plan.taken.push_back(i);
            continue;
        }
        const std::string key = keyOf(incoming[i]);
        const auto present = presentRows.find(key);
        if (present == presentRows.end() && takenKeys.insert(key).second)
            plan.taken.push_back(i);
        else
            plan.leftOut.push_back({i, present == presentRows.end() ? -1 : present->second});
    }
    return plan;
}

void applyImport(AccountBook& book, const std::vector<Row>& incoming, const ImportPlan& plan) {
    // The present rows' accounts and results, for a replace.
    std::vector<std::pair<Row, Row>> before;
    if (plan.replace && !holdsNoAccounts(book))
        for (int row = 0; row < book.clients; ++row) before.emplace_back(book.client.row(row), book.Stat.row(row));
    book.setCount(plan.total());
    for (std::size_t i = 0; i < plan.taken.size(); ++i) {
        const int row = plan.kept + static_cast<int>(i);
        book.client.setRow(row, incoming[plan.taken[i]]);
        book.Stat.clearRow(row);
        book.Stat.setCell(kStatLogin, row, book.client.cell(kLogin, row));
        const auto stays = std::find_if(before.begin(), before.end(), [&](const auto& b) {
            return !b.second.empty() && sameAccount(b.first, book.client.row(row));
        });
        if (stays == before.end()) continue;
        book.Stat.setRow(row, stays->second);
        stays->second.clear();
    }
}

}  // namespace korvex
