#include "account_book.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace korvex
