#pragma once
// Stage 3: the search. A backtracking interpreter whose choices live on a heap stack, so that the
// C++ stack stays flat whatever the pattern and the text.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "regex/program.h"

namespace korvex::regex {

// Searches text for the first match of the program. On success fills
// start[0..4] and end[0..4] (-1 for groups that took no part) and answers true.
// The failure memo starts once a search has backtracked this many times (and only when the memo
// is safe for the program and small enough for the text).
//
// The work of one search is counted in steps: a start position tried, a backtrack, a loop's turn, a
// byte that a repeat or a back reference runs over. A search that reaches `stepLimit` raises
// kPmExecTooMuchWork; one whose `stop` turns true raises kPmExecStopped, at most kStopPollSteps steps
// later. Neither changes what a search that ends within the limit finds.
inline constexpr std::uint64_t kStopPollSteps = std::uint64_t{1} << 16;

struct SearchOptions {
    long memoAfterBacktracks = 100000;
    std::size_t memoMaxBytes = std::size_t{256} << 20;
    std::uint64_t stepLimit = UINT64_MAX;
    const std::atomic<bool>* stop = nullptr;
};

// `steps`, when given, gets the steps the search took, also when it raises.
bool searchProgram(const Program& program, std::string_view text, std::ptrdiff_t* start, std::ptrdiff_t* end,
                   const SearchOptions& options = {}, std::uint64_t* steps = nullptr);

}  // namespace korvex::regex
