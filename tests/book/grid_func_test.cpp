#include "book/grid_func.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "book/account_book.h"

namespace korvex {
namespace {

// A book of `rows` rows; every cell of row r carries the tag "r" (and balance row r the same tag), so
// that a test can tell where each row went and whether balance rows stayed beside their accounts.
AccountBook taggedBook(int rows) {
    AccountBook book;
    book.setCount(rows);
    for (int r = 0; r < rows; ++r) {
        const std::string tag = std::to_string(r);
        for (int c = 0; c < kAccountCols; ++c) book.client.setCell(c, r, "c" + std::to_string(c) + "-" + tag);
        for (int c = 0; c < kStatCols; ++c) book.Stat.setCell(c, r, "s" + std::to_string(c) + "-" + tag);
    }
    return book;
}

// The tag of each account row, checking that its balance row carries the same one in every cell.
// `keyCol`, an account column that a sort test filled with its own keys, is not checked.
std::vector<std::string> rowTags(const AccountBook& book, int keyCol = -1) {
    EXPECT_EQ(book.client.rowCount(), book.Stat.rowCount());
    std::vector<std::string> tags;
    for (int r = 0; r < book.client.rowCount(); ++r) {
        const std::string& holder = book.client.cell(kHolder, r);
        const std::string tag = holder.substr(holder.find('-') + 1);
        for (int c = 0; c < kAccountCols; ++c) {
            if (c == keyCol) continue;
            EXPECT_EQ(book.client.cell(c, r), "c" + std::to_string(c) + "-" + tag) << "row " << r;
        }
        for (int c = 0; c < kStatCols; ++c)
            EXPECT_EQ(book.Stat.cell(c, r), "s" + std::to_string(c) + "-" + tag) << "balance row " << r;
        tags.push_back(tag);
    }
    return tags;
}

using Tags = std::vector<std::string>;

// The row commands of the account table's menu, applied to both tables as the window applies them.
bool insertBoth(AccountBook& b, int r) {
    const bool done = insertRow(b.client, r);
    return insertRow(b.Stat, r) && done;
}
bool deleteBoth(AccountBook& b, int r) {
    const bool done = deleteRow(b.client, r);
    return deleteRow(b.Stat, r) && done;
}
void moveBoth(AccountBook& b, int from, int to) {
    moveRow(b.client, from, to);
    moveRow(b.Stat, from, to);
}

TEST(GridFunc, InsertOnRowTwoOfFive) {
    AccountBook book = taggedBook(5);
    ASSERT_TRUE(insertBoth(book, 2));
    EXPECT_EQ(book.client.rowCount(), 6);
    EXPECT_EQ(book.Stat.rowCount(), 6);
    EXPECT_EQ(book.clients, 5) << "the account count is not changed";
    EXPECT_EQ(book.client.row(2), Row(kAccountCols, " "));
    EXPECT_EQ(book.Stat.row(2), Row(kStatCols, " "));
    book.client.setRow(2, {"c0-x", "c1-x", "c2-x", "c3-x"});
    book.Stat.setRow(2, {"s0-x", "s1-x", "s2-x", "s3-x", "s4-x", "s5-x", "s6-x", "s7-x"});
    EXPECT_EQ(rowTags(book), (Tags{"0", "1", "x", "2", "3", "4"}));
}

TEST(GridFunc, InsertAtTheEndsAndOutside) {
    AccountBook book = taggedBook(2);
    ASSERT_TRUE(insertBoth(book, 2));  // the row count itself: a blank row at the end
    EXPECT_EQ(book.client.row(2), Row(kAccountCols, " "));
    ASSERT_TRUE(insertBoth(book, 0));
    EXPECT_EQ(book.client.row(0), Row(kAccountCols, " "));
    EXPECT_EQ(book.client.cell(0, 1), "c0-0");
    const AccountBook before = book;
    EXPECT_FALSE(insertBoth(book, -1));
    EXPECT_FALSE(insertBoth(book, 5));
    EXPECT_EQ(book.client, before.client);
    EXPECT_EQ(book.Stat, before.Stat);
}

TEST(GridFunc, Delete) {
    struct Case {
        int rows, at;
        bool done;
        Tags after;
    } cases[] = {
        {5, 2, true, {"0", "1", "3", "4"}},        {5, 0, true, {"1", "2", "3", "4"}},
        {5, 4, true, {"0", "1", "2", "3"}},        {5, 5, false, {"0", "1", "2", "3", "4"}},
        {5, -1, false, {"0", "1", "2", "3", "4"}},
    };
    for (const auto& c : cases) {
        AccountBook book = taggedBook(c.rows);
        EXPECT_EQ(deleteBoth(book, c.at), c.done) << c.at;
        EXPECT_EQ(rowTags(book), c.after) << c.at;
    }
}

TEST(GridFunc, DeletingTheOnlyRowLeavesOneEmptyRow) {
    AccountBook book = taggedBook(1);
    ASSERT_TRUE(deleteBoth(book, 0));
    EXPECT_EQ(book.client.rowCount(), 1);
    EXPECT_EQ(book.Stat.rowCount(), 1);
    EXPECT_EQ(book.client.row(0), Row(kAccountCols));
    EXPECT_EQ(book.Stat.row(0), Row(kStatCols));
}

TEST(GridFunc, Move) {
    struct Case {
        int rows, from, to;
        Tags after;
    } cases[] = {
        {4, 1, 0, {"1", "0", "2", "3"}},   // "Сдвиг вверх" on row 1 swaps the first two rows
        {4, 1, 2, {"0", "2", "1", "3"}},   // "Сдвиг вниз" on row 1
        {4, 3, 4, {"0", "1", "2", "3"}},   // down from the last row: nothing
        {4, 0, -1, {"0", "1", "2", "3"}},  // up from the first row: nothing
        {4, 2, 2, {"0", "1", "2", "3"}},
        {5, 0, 3, {"1", "2", "3", "0", "4"}},  // rows between shift up by one
        {5, 4, 1, {"0", "4", "1", "2", "3"}},  // rows between shift down by one
    };
    for (const auto& c : cases) {
        AccountBook book = taggedBook(c.rows);
        moveBoth(book, c.from, c.to);
        EXPECT_EQ(rowTags(book), c.after) << c.from << "->" << c.to;
    }
}

TEST(GridFunc, RowsAbove255AreNeverMoved) {
    const AccountBook start = taggedBook(400);
    struct Case {
        int from, to;
        bool moves;
    } cases[] = {{255, 256, false}, {256, 255, false}, {300, 299, false}, {0, 300, false},
                 {254, 255, true},  {255, 254, true},  {255, 0, true}};
    for (const auto& c : cases) {
        AccountBook book = start;
        moveBoth(book, c.from, c.to);
        EXPECT_EQ(book.client.cell(0, c.to), start.client.cell(0, c.moves ? c.from : c.to))
            << c.from << "->" << c.to;
        EXPECT_EQ(book.client == start.client, !c.moves) << c.from << "->" << c.to;
        rowTags(book);
    }
}

// Sorts rows 1..last by `col`, as the sort command does, and answers the keys in row order.
std::vector<std::string> sortByColumn(AccountBook& book, int col) {
    sortRows(book.client, col, 1, book.client.rowCount() - 1, book.Stat);
    std::vector<std::string> keys;
    for (int r = 0; r < book.client.rowCount(); ++r) keys.push_back(book.client.cell(col, r));
    return keys;
}

// Puts `keys` into the login column of a tagged book, keeping each row's tag findable.
AccountBook bookWithLogins(const std::vector<std::string>& keys) {
    AccountBook book = taggedBook(static_cast<int>(keys.size()));
    for (int r = 0; r < static_cast<int>(keys.size()); ++r)
        book.client.setCell(kLogin, r, keys[static_cast<size_t>(r)]);
    return book;
}

TEST(GridFunc, SortComparesBytesOfCodePage1251) {
    const std::string cyrillicA = "\xC0\xE1\xE2";  // "Абв"
    const std::string smallCyrillicA = "\xE0";     // "а"
    AccountBook book =
        bookWithLogins({"zzz first", "abc", smallCyrillicA, "Abc", "ab", cyrillicA, "b", "ab"});
    const auto keys = sortByColumn(book, kLogin);
    EXPECT_EQ(keys, (std::vector<std::string>{"zzz first", "Abc", "ab", "ab", "abc", "b", cyrillicA,
                                              smallCyrillicA}))
        << "capital before small, a prefix before the longer key, Latin before Cyrillic, the first row stays";
    rowTags(book, kLogin);  // every balance row followed its account row
}

TEST(GridFunc, SortOfOneOrTwoRowsChangesNothing) {
    for (const auto& keys : {std::vector<std::string>{"z"}, std::vector<std::string>{"z", "a"}}) {
        AccountBook book = bookWithLogins(keys);
        const AccountBook before = book;
        sortByColumn(book, kLogin);
        EXPECT_EQ(book.client, before.client);
        EXPECT_EQ(book.Stat, before.Stat);
    }
}

TEST(GridFunc, SortOfManyRowsWithRepeatsIsOrderedAndKeepsEveryRow) {
    std::mt19937 random(1251);
    for (const int rows : {3, 4, 17, 500}) {
        std::vector<std::string> keys;
        for (int r = 0; r < rows; ++r) {
            std::string key;
            const int length = static_cast<int>(random() % 4);
            for (int i = 0; i < length; ++i) key += "aAz\xC0\xFF"[random() % 5];
            keys.push_back(key);
        }
        AccountBook book = bookWithLogins(keys);
        const auto sorted = sortByColumn(book, kLogin);
        std::vector<std::string> want = keys;
        std::sort(want.begin() + 1, want.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            });
        });
        EXPECT_EQ(sorted, want) << rows << " rows";
        Tags tags = rowTags(book, kLogin);
        std::sort(tags.begin(), tags.end());
        Tags all;
        for (int r = 0; r < rows; ++r) all.push_back(std::to_string(r));
        std::sort(all.begin(), all.end());
        EXPECT_EQ(tags, all) << "no row lost or doubled";
    }
}

}  // namespace
}  // namespace korvex
