#include "book/text_grid.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(TextGrid, CellsOutsideTheGridReadEmptyAndIgnoreWrites) {
    TextGrid grid(4, 2);
    grid.setCell(3, 1, "corner");
    const struct { int col, row; } outside[] = {{-1, 0}, {0, -1}, {4, 0}, {0, 2}, {100, 100}};
    for (const auto& at : outside) {
        grid.setCell(at.col, at.row, "lost");
        EXPECT_EQ(grid.cell(at.col, at.row), "") << at.col << "," << at.row;
    }
    EXPECT_EQ(grid.cell(3, 1), "corner");
    EXPECT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.colCount(), 4);
}

TEST(TextGrid, RowCountGrowsWithEmptyRowsAndCutsFromTheEnd) {
    TextGrid grid(2, 3);
    grid.setCell(0, 0, "a");
    grid.setCell(0, 2, "c");
    grid.setRowCount(1);
    grid.setRowCount(3);
    EXPECT_EQ(grid.cell(0, 0), "a");
    EXPECT_EQ(grid.cell(0, 2), "") << "a row cut off does not come back";
    grid.setRowCount(-5);
    EXPECT_EQ(grid.rowCount(), 0);
}

TEST(TextGrid, WholeRowAccess) {
    TextGrid grid(3, 3);
    grid.setRow(0, {"a", "b"});  // short rows are padded to the column count
    grid.setRow(1, {"x", "y", "z", "dropped"});
    EXPECT_EQ(grid.row(0), (Row{"a", "b", ""}));
    EXPECT_EQ(grid.row(1), (Row{"x", "y", "z"}));
    EXPECT_EQ(grid.row(7), (Row{"", "", ""}));

    grid.swapRows(0, 1);
    EXPECT_EQ(grid.cell(0, 0), "x");
    grid.swapRows(0, 3);  // outside: nothing happens
    EXPECT_EQ(grid.cell(0, 0), "x");
    grid.clearRow(0);
    EXPECT_EQ(grid.row(0), (Row{"", "", ""}));
    EXPECT_EQ(grid.rowCount(), 3);
}

}  // namespace
}  // namespace korvex
