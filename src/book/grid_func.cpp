#include "book/grid_func.h"

#include <string>
#include <string_view>

namespace korvex {

bool insertRow(TextGrid& grid, int r) {
    const int count = grid.rowCount();
    if (r < 0 || r > count) return false;
    grid.setRowCount(count + 1);
    grid.setRow(count, Row(static_cast<size_t>(grid.colCount()), " "));
    for (int i = count; i > r; --i) grid.swapRows(i, i - 1);
    return true;
}

bool deleteRow(TextGrid& grid, int r) {
    const int count = grid.rowCount();
    if (r < 0 || count == 0 || r >= count) return false;
    for (int i = r; i < count - 1; ++i) grid.swapRows(i, i + 1);
    grid.clearRow(count - 1);
    if (count > 1) grid.setRowCount(count - 1);
    return true;
}

void moveRow(TextGrid& grid, int from, int to) {
    const int last = grid.rowCount() - 1;
    if (from < 0 || to < 0 || from > last || to > last) return;
    if (from > kMoveRowLimit || to > kMoveRowLimit) return;
    Row moved = grid.row(from);
    if (to < from) {
        for (int i = from - 1; i >= to; --i) grid.setRow(i + 1, grid.row(i));
    } else {
        for (int i = from + 1; i <= to; ++i) grid.setRow(i - 1, grid.row(i));
    }
    grid.setRow(to, std::move(moved));
}

namespace {

// Byte-wise comparison as unsigned values; std::string's char_traits<char> compares through
// memcmp, which is unsigned, so a prefix sorts before any longer text beginning with it.
bool keyLess(std::string_view a, std::string_view b) {
    return a.compare(b) < 0;
}

void quickSort(TextGrid& grid, int col, int first, int last, TextGrid& follower) {
    // Recurse into the smaller part and loop over the larger, so the depth stays logarithmic.
    while (first < last) {
        const std::string pivot = grid.cell(col, first + (last - first) / 2);
        int i = first;
        int j = last;
        do {
            while (keyLess(grid.cell(col, i), pivot)) ++i;
            while (keyLess(pivot, grid.cell(col, j))) --j;
            if (i <= j) {
                grid.swapRows(i, j);
                follower.swapRows(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - first < last - i) {
            if (first < j) quickSort(grid, col, first, j, follower);
            first = i;
        } else {
            if (i < last) quickSort(grid, col, i, last, follower);
            last = j;
        }
    }
}

}  // namespace

void sortRows(TextGrid& grid, int col, int first, int last, TextGrid& follower) {
    if (first < 0 || last >= grid.rowCount() || first >= last) return;
    quickSort(grid, col, first, last, follower);
}

}  // namespace korvex
