#pragma once
// A balance as the portals write it, read as an amount: the one rule by which the run summary names
// low and fallen balances, the days-left summary reads the table, and the history charts its checks.
//
// An optional sign (also U+2212 MINUS SIGN), digits with blanks (spaces, no-break spaces, narrow
// no-break spaces) between groups of three thousands, a decimal comma or point, and after it at most
// a currency word or sign without digits: "-1 234,50 руб.", "12.5 USD", "300 р", ".50" (SatGate's
// balance may begin with its point). Not an amount: the not-found marker, "нет данных", "12-34",
// "12 34", "5 из 10", "12,", "10%", "USD 12", empty text.
#include <optional>
#include <string_view>

namespace korvex {

// A balance cell of the table (cp1251).
std::optional<double> balanceFromCell(std::string_view cp1251);
// A balance text of the history (UTF-8, converted from a cell when the check was kept).
std::optional<double> balanceFromUtf8(std::string_view utf8);

}  // namespace korvex
