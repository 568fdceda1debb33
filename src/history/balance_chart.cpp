#include "history/balance_chart.h"

#include <algorithm>
#include <iterator>

namespace korvex {

BalanceChart balanceChart(const std::vector<HistoryEntry>& newestFirst) {
    BalanceChart chart;
    std::vector<std::int64_t> unreadFailures;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) {
        const auto moment = momentFromUtcTimestamp(it->time);
        if (!moment) continue;
        const std::int64_t x =
            std::chrono::duration_cast<std::chrono::milliseconds>(moment->time_since_epoch()).count();
        if (it->balance) chart.line.push_back({x, *it->balance});
        if (!historyCheckFailed(it->outcome)) continue;
        if (it->balance)
            chart.failedMarks.push_back(chart.line.back());
        else
            unreadFailures.push_back(x);
    }
    for (const std::int64_t x : unreadFailures) {
        const auto after = std::upper_bound(chart.line.begin(), chart.line.end(), x,
                                            [](std::int64_t t, const ChartPoint& p) { return t < p.msecs; });
        const double y = after != chart.line.begin() ? std::prev(after)->balance
                         : chart.line.empty()        ? 0.0
                                                     : chart.line.front().balance;
        chart.failedMarks.push_back({x, y});
    }
    return chart;
}

}  // namespace korvex
