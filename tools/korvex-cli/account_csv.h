#pragma once
// Accounts as a spreadsheet holds them: UTF-8 CSV, a header line "login,password,plan,holder", then
// one account per record. The account table keeps cp1251 bytes, so every field must be a text that
// cp1251 can hold.
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "book/account_book.h"

namespace korvex {

// The header line, in the order of the account table's columns.
inline constexpr std::array<std::string_view, kAccountCols> kAccountCsvHeader = {"login", "password", "plan",
                                                                                 "holder"};

struct ImportedAccount {
    Row cells;     // kAccountCols cp1251 texts, in account table order
    int line = 0;  // where the record begins in the CSV text, from 1
};

// An account CSV that cannot be taken as it stands. what() names the line and the problem.
class AccountCsvError : public std::runtime_error {
public:
    AccountCsvError(int line, const std::string& problem);
    int line() const noexcept { return m_line; }

private:
    int m_line;
};

// The accounts of an account CSV, converted to cp1251. Refused with AccountCsvError: text that is
// not CSV, a first line other than the header (names compared without letter case or surrounding
// blanks), a record without exactly four fields, a field that is not UTF-8 or holds a character that
// cp1251 has no byte for, and a field holding a control character other than a tab (a line break in
// a login or a password would go into the requests as it stands).
std::vector<ImportedAccount> readAccountCsv(std::string_view utf8Text);

// The book's account rows 0..clients-1 as an account CSV (header line included), converted to UTF-8;
// readAccountCsv takes it back unchanged.
std::string writeAccountCsv(const AccountBook& book);

}  // namespace korvex
