#pragma once
// The run summary's heading of accounts about to run out: after a run, its accounts whose balance
// lasts fewer days than the DaysLeft threshold, by the history that holds the run's checks by then.
#include <chrono>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "checks/check_outcome.h"
#include "checks/run_summary.h"

namespace korvex {

// Sets summary.daysLeftThreshold and fills summary.fewDaysLeft (in the order of the forecast: fewest
// days first) with the rows of `rows` whose balance the run read as a number and whose days left, as
// of `now`, are fewer than `threshold`. A row the summary names as a low balance already is not
// named again. The history at `historyPath` is only read, and not at all when the threshold is 0 or
// there is no such file. Answers "" or why the history could not be read (the summary then holds
// no such heading).
std::string noteDaysLeft(RunSummary& summary, const std::vector<RowCheck>& rows, const AccountBook& book,
                         const std::string& historyPath, int threshold,
                         std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace korvex
