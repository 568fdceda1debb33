#include "book/text_grid.h"

#include <algorithm>
#include <utility>

namespace korvex {

namespace {
const std::string kEmpty;
}

TextGrid::TextGrid(int colCount, int rowCount) : m_colCount(std::max(colCount, 0)) {
    setRowCount(rowCount);
}

void TextGrid::setRowCount(int rowCount) {
    m_rows.resize(static_cast<size_t>(std::max(rowCount, 0)), Row(static_cast<size_t>(m_colCount)));
}

bool TextGrid::inside(int col, int row) const {
    return col >= 0 && col < m_colCount && row >= 0 && row < rowCount();
}

const std::string& TextGrid::cell(int col, int row) const {
    return inside(col, row) ? m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)] : kEmpty;
}

void TextGrid::setCell(int col, int row, std::string text) {
    if (inside(col, row)) m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)] = std::move(text);
}

Row TextGrid::row(int r) const {
    if (r < 0 || r >= rowCount()) return Row(static_cast<size_t>(m_colCount));
    return m_rows[static_cast<size_t>(r)];
}

void TextGrid::setRow(int r, Row cells) {
    if (r < 0 || r >= rowCount()) return;
    cells.resize(static_cast<size_t>(m_colCount));
    m_rows[static_cast<size_t>(r)] = std::move(cells);
}

void TextGrid::clearRow(int r) {
    if (r >= 0 && r < rowCount()) m_rows[static_cast<size_t>(r)] = Row(static_cast<size_t>(m_colCount));
}

void TextGrid::swapRows(int a, int b) {
    if (a < 0 || b < 0 || a >= rowCount() || b >= rowCount()) return;
    std::swap(m_rows[static_cast<size_t>(a)], m_rows[static_cast<size_t>(b)]);
}

}  // namespace korvex
