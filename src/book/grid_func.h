#pragma once
// Row operations on a text grid: insert, delete, move and sort whole rows. The window applies each
// one to the account table and then to the balance table, so that balance row i stays beside
// account row i.
#include "book/text_grid.h"

namespace korvex {

// Rows above this number are never moved, as source or as target.
inline constexpr int kMoveRowLimit = 255;

// Inserts a row of single blanks " " at r (0..rowCount); rows r.. shift down. Answers false, and
// changes nothing, for an r outside that range: the caller sounds the beep.
bool insertRow(TextGrid& grid, int r);

// Deletes row r (0..rowCount-1); rows below shift up. A grid keeps at least one row: deleting the
// only row leaves it empty. Answers false, and changes nothing, for an invalid r.
bool deleteRow(TextGrid& grid, int r);

// Moves row `from` to `to`, shifting the rows between by one. Does nothing when either is outside
// the grid or above kMoveRowLimit.
void moveRow(TextGrid& grid, int from, int to);

// Sorts rows first..last by the text of `col`, bytes compared as unsigned cp1251 values, a prefix
// before the longer text. Hoare's quicksort, not stable; every exchange of two rows is made in
// `follower` as well.
void sortRows(TextGrid& grid, int col, int first, int last, TextGrid& follower);

}  // namespace korvex
