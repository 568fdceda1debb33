#pragma once
// The balance table's columns, one row each: what the settings file stores a column as, what the
// window and korvex-cli call it, how wide the window draws it, which Portals.ini key edits the pattern
// that fills it and whether the balance history keeps it. Everything that names, stores, shows or
// prints a column reads it here, so a new value is a StatCol and a row (and, when a portal fills it,
// the steps of the profiles that read it).
//
// Rows are in StatCol order. Stored keys and CSV names are part of files and scripts: never change one.
#include <cstddef>
#include <string_view>

#include "book/account_book.h"

namespace korvex {

struct BalanceColumn {
    StatCol col;
    std::string_view storedKey;  // Settings.ini [DATA] key before the row number; "": never stored
    std::string_view heading;    // the window's and korvex-cli's heading, UTF-8
    int width;                   // the window's design width in pixels
    std::string_view widest;     // the widest text the column usually holds; "": the heading decides
    std::string_view csvName;    // korvex-cli's CSV header
    int accountCol;              // the account table's column that korvex-cli prints instead; -1: none
    std::string_view stepKey;    // Portals.ini key of a pattern step that writes it; "": no step does
    bool inHistory;              // the balance history keeps it with every check
};

// The copies of the account table's login, holder and plan code are filled only by a tab change or a
// check in the window, so korvex-cli prints the account's own cells.
// clang-format off
inline constexpr BalanceColumn kBalanceColumns[] = {
    // column        stored      heading           width  widest               CSV         printed from  Portals.ini  history
    {kStatLogin,     "",         "Клиент",         95,    "sat_grigoriev_2",   "login",    kLogin,       "",          false},
    {kBalance,       "Balans_",  "Баланс",         63,    "-12345.67",         "balance",  -1,           "Balance",   true},
    {kPrevious,      "Past_",    "Прошлое",        72,    "-12345.67",         "previous", -1,           "",          false},
    {kSpeed,         "Plan_",    "Скорость",       95,    "",                  "speed",    -1,           "Speed",     true},
    {kDate,          "Date_",    "Дата",           101,   "12/31/2026 23:59",  "date",     -1,           "",          false},
    {kStatus,        "Active_",  "Активна/Тариф",  119,   "",                  "status",   -1,           "Status",    true},
    {kStatHolder,    "",         "ФИО",            145,   "",                  "holder",   kHolder,      "",          false},
    {kStatPlanCode,  "",         "Спутник",        73,    "SKYFI",             "plan",     kPlanCode,    "",          false},
};
// clang-format on
static_assert(std::size(kBalanceColumns) == kStatCols, "one row per balance column");

constexpr const BalanceColumn& balanceColumn(int col) {
    return kBalanceColumns[static_cast<std::size_t>(col)];
}

}  // namespace korvex
