// The one reading of a balance text, for the table's cp1251 cells and the history's UTF-8 alike.
// What each portal's page leaves in the cell is read in tests/demo_portals/demo_balance_texts_test.cpp.
#include "book/balance_text.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace korvex {
namespace {

// Each text (UTF-8 here) read as history text and, in cp1251, as a cell: both must agree, since
// the history keeps the cell converted. A reader that refuses a currency word ("12.5 руб") or reads
// "1 2 3" as 123 fails here, as the run summary's reader once did.
TEST(BalanceText, CellsAndHistoryTextsReadByOneRule) {
    const struct {
        const char* text;
        std::optional<double> amount;
    } cases[] = {
        {"123.45", 123.45},
        {"42.15", 42.15},
        {"-3.80", -3.8},
        {"+7", 7},
        {"-12,50", -12.5},
        {"  300 р.", 300},
        {"1 200,50", 1200.5},
        {"1 234,56 руб.", 1234.56},
        {"12.5 руб", 12.5},
        {"-12,5руб.", -12.5},
        {"12.5 USD", 12.5},
        {"$12", std::nullopt},
        {"12$", 12},
        {"1\u00A0234\u00A0567", 1234567},  // no-break spaces between the thousands
        {".5", 0.5},                       // SatGate's balance may begin with its point
        {"-.5", -0.5},
        {"5.", 5},
        {"0", 0},
        {"--------", std::nullopt},  // the not-found marker
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {".", std::nullopt},
        {"нет данных", std::nullopt},
        {"12-34", std::nullopt},
        {"12 34", std::nullopt},  // not a group of thousands
        {"1 2 3", std::nullopt},
        {"1 2345", std::nullopt},
        {"1234 567", std::nullopt},  // groups only after at most three digits
        {"1.2.3", std::nullopt},
        {"5 из 10", std::nullopt},  // two numbers
        {"12,", std::nullopt},
        {"10%", std::nullopt},
        {"USD 12", std::nullopt},
        {"1e5", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(balanceFromUtf8(c.text), c.amount) << c.text;
        EXPECT_EQ(balanceFromCell(utf8ToCp1251(c.text)), c.amount) << c.text << " as a cell";
    }
}

// Texts only UTF-8 can hold: what a portal speaking UTF-8 writes, as the history keeps it.
TEST(BalanceText, HistoryTextsMayUseUnicodeSignsAndSpaces) {
    EXPECT_EQ(balanceFromUtf8("\u22125"), -5.0);                // a minus sign
    EXPECT_EQ(balanceFromUtf8("1\u202F234,5 \u20BD"), 1234.5);  // narrow no-break space, rouble sign
    EXPECT_EQ(balanceFromUtf8("\u00A012\u00A0"), 12.0);
    // A cell's byte 0xA0 is the no-break space, and 0x96 an en dash that is no minus.
    EXPECT_EQ(balanceFromCell("1\xA0"
                              "234"),
              1234.0);
    EXPECT_EQ(balanceFromCell("\x96"
                              "5"),
              std::nullopt);
}

}  // namespace
}  // namespace korvex
