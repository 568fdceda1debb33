#pragma once
// The balance table as korvex-cli prints it: for every account row, the columns of the column table
// (book/balance_columns.h) in its order, converted from cp1251 to UTF-8: login, balance, previous
// balance, speed, date, status, holder and plan code. Login, holder and plan code are the account's
// own cells (the copies the balance table holds of them are filled only by a tab change or a check in
// the window); the other five are the balance table's cells.
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "book/account_book.h"

namespace korvex {

// The printed cells of rows 0..clients-1, in UTF-8.
std::vector<std::vector<std::string>> balanceTableRows(const AccountBook& book);

// Aligned text for a terminal, a row number in front (from 1, as `refresh --row` counts) and the
// window's column headings on top. Control characters a portal may have put into a cell are shown
// as U+FFFD, so that a page can neither break the layout nor send escape sequences to the terminal.
void printBalanceTable(std::ostream& out, const AccountBook& book);

// Lines of cells (already safe for a terminal) as aligned columns: the first right-aligned, the
// others left-aligned, two blanks between them and none at the end of a line.
void printAlignedLines(std::ostream& out, const std::vector<std::vector<std::string>>& lines);

// CSV with the header line of the columns' CSV names ("login,balance,previous,speed,date,status,holder,
// plan"), written by csvLine.
void printBalanceCsv(std::ostream& out, const AccountBook& book);

// `utf8` with every C0 and C1 control character and DEL replaced by U+FFFD.
std::string terminalText(std::string_view utf8);
// CSV text for a terminal: terminalText of each line, the line ends ("\n", "\r\n") kept. What a
// portal wrote into a cell (an escape sequence, a backspace) cannot act on the terminal.
std::string terminalCsv(std::string_view csv);
// The columns `utf8` takes on a terminal: one per character (Cyrillic, Latin and the like).
std::size_t displayWidth(std::string_view utf8);

}  // namespace korvex
