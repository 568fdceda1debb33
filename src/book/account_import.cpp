#include "book/account_import.h"

#include <algorithm>

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
    for (std::size_t i = 0; i < incoming.size(); ++i) {
        if (replace) {
            plan.taken.push_back(i);
            continue;
        }
        int present = -1;
        for (int row = 0; !empty && row < book.clients && present < 0; ++row)
            if (sameAccount(book.client.row(row), incoming[i])) present = row;
        const bool earlier = std::any_of(plan.taken.begin(), plan.taken.end(),
                                         [&](std::size_t t) { return sameAccount(incoming[t], incoming[i]); });
        if (present < 0 && !earlier)
            plan.taken.push_back(i);
        else
            plan.leftOut.push_back({i, present});
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
