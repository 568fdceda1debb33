#pragma once
// The points of an account's balance chart: the line of balances read, and where the checks that
// failed are marked on it. A rule of the history, kept here beside it so the dialog only draws.
#include <cstdint>
#include <vector>

#include "history/history_entry.h"

namespace korvex {

struct ChartPoint {
    std::int64_t msecs = 0;  // milliseconds since the epoch, UTC
    double balance = 0;

    bool operator==(const ChartPoint&) const = default;
};

struct BalanceChart {
    std::vector<ChartPoint> line;         // every balance read, oldest first
    std::vector<ChartPoint> failedMarks;  // one a failed check
};

// The chart of `newestFirst` (one account's checks, newest first, as the history gives them).
// Every balance read is a point of the line, also one read on a page where another value was not
// found. A failed check marks its own balance when it read one; a failed check without a balance
// of its own is marked at its time on the last balance read before it (the first one after it
// when there is none before, 0 when no balance was ever read), so the marks sit on the line. The
// marks with balances of their own come first, in time order, then the others, in time order.
// A check whose time is not a moment of the clock (a damaged or hand-edited file) has no place on
// the time axis and is left off.
BalanceChart balanceChart(const std::vector<HistoryEntry>& newestFirst);

}  // namespace korvex
