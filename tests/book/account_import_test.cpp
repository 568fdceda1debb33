// How imported accounts join a book: what is left out when adding, and which results a replace keeps.
#include <gtest/gtest.h>

#include "book/account_import.h"

namespace korvex {
namespace {

Row account(const std::string& login, const std::string& plan) {
    return {login, "pw", plan, ""};
}

AccountBook bookOf(const std::vector<Row>& accounts) {
    AccountBook book;
    book.setCount(static_cast<int>(accounts.size()));
    for (int row = 0; row < book.clients; ++row) {
        book.client.setRow(row, accounts[static_cast<std::size_t>(row)]);
        book.Stat.setCell(kBalance, row, "balance of " + accounts[static_cast<std::size_t>(row)][kLogin]);
    }
    return book;
}

TEST(AccountImport, AddingLeavesOutWhatIsThereAndWhatComesTwice) {
    const AccountBook book = bookOf({account("a", "39"), account("b", "39")});
    const std::vector<Row> incoming = {account("a", "39"), account("a", "SPS"), account("c", "39"), account("c", "39")};
    const ImportPlan plan = planImport(book, incoming, false);
    EXPECT_EQ(plan.kept, 2);
    EXPECT_EQ(plan.taken, (std::vector<std::size_t>{1, 2}));  // another plan is another account
    ASSERT_EQ(plan.leftOut.size(), 2u);
    EXPECT_EQ(plan.leftOut[0].presentRow, 0);
    EXPECT_EQ(plan.leftOut[1].presentRow, -1);
    // A first start's one empty row counts as no account.
    EXPECT_EQ(planImport(AccountBook{}, incoming, false).kept, 0);
}

TEST(AccountImport, AReplaceKeepsTheResultsOfAnAccountThatStaysOnce) {
    AccountBook book = bookOf({account("a", "39"), account("b", "39")});
    const std::vector<Row> incoming = {account("b", "39"), account("b", "39"), account("n", "39")};
    applyImport(book, incoming, planImport(book, incoming, true));
    ASSERT_EQ(book.clients, 3);
    EXPECT_EQ(book.Stat.cell(kBalance, 0), "balance of b");
    EXPECT_EQ(book.Stat.cell(kBalance, 1), "") << "the present row lends its results once";
    EXPECT_EQ(book.Stat.cell(kBalance, 2), "");
    EXPECT_EQ(book.Stat.cell(kStatLogin, 2), "n");
}

}  // namespace
}  // namespace korvex
