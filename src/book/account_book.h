#pragma once
// The account book: what the user keeps (the account table `client`) beside what the portals
// answered (the balance table `Stat`), and the account count `clients` that decides how many rows
// are loaded, saved and checked. Balance row i always belongs to account row i.
#include <string>
#include <string_view>

#include "book/text_grid.h"

namespace korvex {

// Columns of the account table.
enum AccountCol { kLogin = 0, kPassword = 1, kPlanCode = 2, kHolder = 3, kAccountCols = 4 };

// Columns of the balance table.
enum StatCol {
    kStatLogin = 0,     // copy of the login, derived, never stored
    kBalance = 1,       // balance text from the portal, or the not-found marker
    kPrevious = 2,      // column 1 as it was when the last check of the row began
    kSpeed = 3,         // speed or tariff, the error marker, or the speed chosen by a speed change
    kDate = 4,          // time of the last successful page load
    kStatus = 5,        // status, tariff or traffic text
    kStatHolder = 6,    // copy of the holder's name, derived, never stored
    kStatPlanCode = 7,  // copy of the plan code, written once the page arrived, never stored
    kStatCols = 8
};

inline constexpr int kMinAccounts = 1;
inline constexpr int kMaxAccounts = 500;

// The account count as the spin field takes it: the nearer bound outside 1..500.
int clampAccountCount(long long count);
// The account count read from a text: a text that is not a whole decimal number counts as 1.
int accountCountFromText(std::string_view text);

struct AccountBook {
    TextGrid client{kAccountCols, 1};
    TextGrid Stat{kStatCols, 1};
    int clients = 1;

    // Sets the count (clamped) and gives both tables that many rows.
    void setCount(int count);
    // Both tables get exactly `clients` rows; for every row, the balance table's login and holder
    // columns are copied from the account table (what a change of tab does).
    void syncDerivedColumns();

    // Rows [droppedFirst, droppedEnd) were moved out of the count by deleting accounts; the file still
    // holds the accounts that stood there before. The next save writes these rows empty, so a deleted
    // password leaves the file. A successful save and a load (which undoes unsaved deletes along with
    // every other unsaved edit) forget them. Rows merely left beyond a lowered count are not dropped.
    int droppedFirst = 0;
    int droppedEnd = 0;
    // The count goes down by one after a row was deleted: the row at the old end fell off.
    void dropLastRow();
    void forgetDroppedRows() { droppedFirst = droppedEnd = 0; }

    // The row commands of the account table's menu. Each acts on both tables, so that balance row i
    // stays beside account row i; adding and deleting move the count by one, so no row ever lies
    // beyond the count, where it would be neither saved nor checked.
    //
    // Inserts a blank row at r (0..rows). Answers false, and changes nothing, at kMaxAccounts
    // accounts or for an r outside that range.
    bool insertAccount(int r);
    // Deletes row r. The row that falls off the end is dropped (see dropLastRow), so the next save
    // writes it empty. Answers false, and changes nothing, for an invalid r.
    bool deleteAccount(int r);
    // Move row r one place up or down; a row at the far end stays where it is. The first row moves
    // neither way, nor does another row take its place: the answer is then false.
    bool moveAccountUp(int r);
    bool moveAccountDown(int r);
    // Sorts the rows by the account table's column `col`; the first row stays where it is.
    void sortAccounts(int col);
};

}  // namespace korvex
