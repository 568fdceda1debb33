#pragma once
// A grid of 8-bit text cells (cp1251 byte strings), the model behind both tables of the window.
// Rows and columns count from 0; there are no fixed rows. Reading a cell outside the grid gives the
// empty text, so callers may address rows beyond the row count without checking.
#include <string>
#include <vector>

namespace korvex {

using Row = std::vector<std::string>;

class TextGrid {
public:
    explicit TextGrid(int colCount, int rowCount = 1);

    int colCount() const { return m_colCount; }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    // Rows added at the end are empty; rows cut from the end are gone.
    void setRowCount(int rowCount);

    const std::string& cell(int col, int row) const;
    // Writing outside the grid is ignored, as a grid control ignores it.
    void setCell(int col, int row, std::string text);

    // Whole-row access for the row operations (insert, delete, move, sort).
    Row row(int r) const;
    void setRow(int r, Row cells);
    void clearRow(int r);
    void swapRows(int a, int b);

    bool operator==(const TextGrid&) const = default;

private:
    bool inside(int col, int row) const;

    int m_colCount;
    std::vector<Row> m_rows;
};

}  // namespace korvex
