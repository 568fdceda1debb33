#include "book/balance_columns.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace korvex {
namespace {

// A row out of StatCol order shows, stores and prints one column's cells under another's name; a key
// or CSV name used twice writes two columns over each other.
TEST(BalanceColumns, EveryRowIsCompleteAndNamesItsColumnOnce) {
    std::set<std::string_view> storedKeys, csvNames, stepKeys, headings;
    for (int col = 0; col < kStatCols; ++col) {
        const BalanceColumn& column = kBalanceColumns[col];
        SCOPED_TRACE(std::string(column.csvName));
        EXPECT_EQ(column.col, col) << "the row is not its column's";
        EXPECT_TRUE(headings.insert(column.heading).second);
        EXPECT_TRUE(csvNames.insert(column.csvName).second);
        EXPECT_FALSE(column.heading.empty());
        EXPECT_FALSE(column.csvName.empty());
        EXPECT_GT(column.width, 0);
        EXPECT_TRUE(column.accountCol >= -1 && column.accountCol < kAccountCols);
        if (!column.storedKey.empty()) {
            EXPECT_TRUE(storedKeys.insert(column.storedKey).second);
            EXPECT_TRUE(column.storedKey.ends_with('_')) << "the row number follows";
            EXPECT_EQ(column.accountCol, -1) << "a copy of the account table is not stored twice";
        }
        if (!column.stepKey.empty()) {
            EXPECT_TRUE(stepKeys.insert(column.stepKey).second);
        }
    }
}

}  // namespace
}  // namespace korvex
