#include "book/account_book.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace korvex {
namespace {

TEST(AccountCount, OutsideTheRangeTakesTheNearerBound) {
    const struct {
        long long in;
        int out;
    } cases[] = {{1, 1},  {250, 250}, {500, 500},       {0, 1},
                 {-3, 1}, {501, 500}, {1LL << 40, 500}, {-(1LL << 40), 1}};
    for (const auto& c : cases) EXPECT_EQ(clampAccountCount(c.in), c.out) << c.in;
}

TEST(AccountCount, FromText) {
    const struct {
        const char* text;
        int count;
    } cases[] = {
        {"3", 3},
        {"500", 500},
        {" 42 ", 42},
        {"+7", 7},
        {"0", 1},
        {"-2", 1},
        {"501", 500},
        {"99999999999999999999", 500},
        {"-99999999999999999999", 1},
        {"", 1},
        {"abc", 1},
        {"2.5", 1},
        {"3x", 1},
        {"0x10", 1},
        {"1e2", 1},
        {"+-3", 1},
        {"\xD2\xF0\xE8", 1},  // Cyrillic letters
    };
    for (const auto& c : cases) EXPECT_EQ(accountCountFromText(c.text), c.count) << '"' << c.text << '"';
}

TEST(AccountBook, SetCountSizesBothTables) {
    AccountBook book;
    for (const int count : {5, 1, 700, 0}) {
        book.setCount(count);
        const int want = clampAccountCount(count);
        EXPECT_EQ(book.clients, want);
        EXPECT_EQ(book.client.rowCount(), want);
        EXPECT_EQ(book.Stat.rowCount(), want);
    }
    EXPECT_EQ(book.client.colCount(), kAccountCols);
    EXPECT_EQ(book.Stat.colCount(), kStatCols);
}

TEST(AccountBook, SyncCopiesLoginAndHolderAndCutsRowsBeyondTheCount) {
    AccountBook book;
    book.setCount(2);
    book.client.setCell(kLogin, 1, "user");
    book.client.setCell(kHolder, 1, "\xC8\xE2\xE0\xED");
    book.client.setCell(kPlanCode, 1, "39S");
    book.client.setRowCount(3);  // an inserted row beyond the count
    book.Stat.setRowCount(3);
    book.client.setCell(kLogin, 2, "beyond");
    book.syncDerivedColumns();
    EXPECT_EQ(book.client.rowCount(), 2);
    EXPECT_EQ(book.Stat.rowCount(), 2);
    EXPECT_EQ(book.Stat.cell(kStatLogin, 1), "user");
    EXPECT_EQ(book.Stat.cell(kStatHolder, 1), "\xC8\xE2\xE0\xED");
    EXPECT_EQ(book.Stat.cell(kStatPlanCode, 1), "") << "the plan code is copied by a check, not here";
}

// A book of `count` rows whose account row i ("login<i>") sits beside balance row i ("balance<i>").
AccountBook pairedBook(int count) {
    AccountBook book;
    book.setCount(count);
    for (int r = 0; r < count; ++r) {
        book.client.setCell(kLogin, r, "login" + std::to_string(r));
        book.Stat.setCell(kBalance, r, "balance" + std::to_string(r));
    }
    return book;
}

// The logins in row order, with "!" for a row whose balance belongs to another account.
std::string rowsOf(const AccountBook& book) {
    std::string out;
    for (int r = 0; r < book.client.rowCount(); ++r) {
        const std::string& login = book.client.cell(kLogin, r);
        const std::string& balance = book.Stat.cell(kBalance, r);
        const bool paired = login.starts_with("login") ? balance == "balance" + login.substr(5) : true;
        out += (out.empty() ? "" : ",") + (login.starts_with("login") ? login.substr(5) : login) +
               (paired ? "" : "!");
    }
    return out;
}

TEST(AccountRows, EveryCommandKeepsEachBalanceBesideItsAccount) {
    const struct {
        const char* what;
        int count;
        std::function<bool(AccountBook&)> command;
        bool applied;
        const char* rows;
        int clients;
    } cases[] = {
        {"insert in the middle", 3, [](AccountBook& b) { return b.insertAccount(1); }, true, "0, ,1,2", 4},
        {"insert after the last", 3, [](AccountBook& b) { return b.insertAccount(3); }, true, "0,1,2, ", 4},
        {"insert beyond the rows", 3, [](AccountBook& b) { return b.insertAccount(4); }, false, "0,1,2", 3},
        {"insert before no row", 3, [](AccountBook& b) { return b.insertAccount(-1); }, false, "0,1,2", 3},
        {"delete the middle", 3, [](AccountBook& b) { return b.deleteAccount(1); }, true, "0,2", 2},
        {"delete the first", 3, [](AccountBook& b) { return b.deleteAccount(0); }, true, "1,2", 2},
        {"delete no row", 3, [](AccountBook& b) { return b.deleteAccount(3); }, false, "0,1,2", 3},
        {"delete the only row", 1, [](AccountBook& b) { return b.deleteAccount(0); }, true, "", 1},
        {"move up", 4, [](AccountBook& b) { return b.moveAccountUp(2); }, true, "0,2,1,3", 4},
        {"move down", 4, [](AccountBook& b) { return b.moveAccountDown(2); }, true, "0,1,3,2", 4},
        {"move the last down", 4, [](AccountBook& b) { return b.moveAccountDown(3); }, true, "0,1,2,3", 4},
        {"the first row stays up", 4, [](AccountBook& b) { return b.moveAccountUp(0); }, false, "0,1,2,3", 4},
        {"the first row stays down", 4, [](AccountBook& b) { return b.moveAccountDown(0); }, false, "0,1,2,3", 4},
        {"row 1 takes not the first place", 4, [](AccountBook& b) { return b.moveAccountUp(1); }, true,
         "1,0,2,3", 4},
    };
    for (const auto& c : cases) {
        AccountBook book = pairedBook(c.count);
        EXPECT_EQ(c.command(book), c.applied) << c.what;
        EXPECT_EQ(rowsOf(book), c.rows) << c.what;
        EXPECT_EQ(book.clients, c.clients) << c.what;
        EXPECT_EQ(book.Stat.rowCount(), book.client.rowCount()) << c.what;
    }
}

TEST(AccountRows, NoAccountIsAddedBeyondTheCap) {
    AccountBook book = pairedBook(kMaxAccounts);
    EXPECT_FALSE(book.insertAccount(0));
    EXPECT_EQ(book.clients, kMaxAccounts);
    EXPECT_EQ(book.client.rowCount(), kMaxAccounts);
    EXPECT_EQ(book.Stat.rowCount(), kMaxAccounts);
    EXPECT_EQ(book.client.cell(kLogin, 0), "login0");

    ASSERT_TRUE(book.deleteAccount(0));
    EXPECT_TRUE(book.insertAccount(0)) << "one below the cap takes one more";
    EXPECT_EQ(book.clients, kMaxAccounts);
}

TEST(AccountRows, DeletedRowsAreMarkedForEmptyingAtTheNextSave) {
    AccountBook book = pairedBook(5);
    ASSERT_TRUE(book.deleteAccount(1));
    ASSERT_TRUE(book.deleteAccount(0));
    EXPECT_EQ(book.clients, 3);
    EXPECT_EQ(book.droppedFirst, 3) << "the rows the file still holds beyond the new count";
    EXPECT_EQ(book.droppedEnd, 5);
    ASSERT_TRUE(book.insertAccount(0));
    EXPECT_EQ(book.clients, 4);
    EXPECT_EQ(book.droppedFirst, 3) << "adding a row leaves the marks as they are";

    AccountBook single = pairedBook(1);
    ASSERT_TRUE(single.deleteAccount(0));
    EXPECT_EQ(single.droppedEnd, single.droppedFirst) << "the last row is emptied in place, not dropped";
}

TEST(AccountRows, SortLeavesTheFirstRowAndCarriesTheBalances) {
    AccountBook book = pairedBook(5);
    const std::pair<int, const char*> shuffled[] = {{0, "login4"}, {1, "login3"}, {2, "login0"}, {3, "login2"},
                                                    {4, "login1"}};
    for (const auto& [row, login] : shuffled) {
        book.client.setCell(kLogin, row, login);
        book.Stat.setCell(kBalance, row, "balance" + std::string(login + 5));
    }
    book.sortAccounts(kLogin);
    EXPECT_EQ(rowsOf(book), "4,0,1,2,3");
}

}  // namespace
}  // namespace korvex
