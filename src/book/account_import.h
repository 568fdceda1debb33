#pragma once
// Accounts brought into a book from outside (an account CSV): how they join the accounts already
// there. An account is its login and plan code.
//   - Adding: the new accounts go after the present ones; an account already in the book, or one
//     that comes twice in the list, is left out, so an import run twice does not double the book.
//     A book whose only row is empty (a first start) counts as having no accounts.
//   - Replacing: the list takes the place of the present accounts; an account that stays keeps its
//     balance, previous balance and date (each present row lends its results once).
#include <cstddef>
#include <vector>

#include "book/account_book.h"
#include "book/text_grid.h"

namespace korvex {

struct LeftOutAccount {
    std::size_t index = 0;  // in the incoming list
    int presentRow = -1;    // the book's row that holds it already; -1: it comes earlier in the list
};

struct ImportPlan {
    bool replace = false;
    int kept = 0;                      // present rows that stay in front of the new ones
    std::vector<std::size_t> taken;    // the incoming accounts that go into the book, in order
    std::vector<LeftOutAccount> leftOut;
    int total() const { return kept + static_cast<int>(taken.size()); }
};

// True when the book holds nothing but the one empty row of a first start.
bool holdsNoAccounts(const AccountBook& book);

// Which of `incoming` (account rows, kAccountCols cells each) go into `book`, and after which row.
// The plan stops at the first account beyond kMaxAccounts in all (total() then exceeds it).
ImportPlan planImport(const AccountBook& book, const std::vector<Row>& incoming, bool replace);

// Writes the plan into the book: the count set to plan.total(), the new accounts in their rows
// without results (keys an earlier, longer book left must not show up as theirs), and with a
// replace the results of the accounts that stay.
void applyImport(AccountBook& book, const std::vector<Row>& incoming, const ImportPlan& plan);

}  // namespace korvex
