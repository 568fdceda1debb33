#pragma once
// Stage 3: the search. A backtracking interpreter whose choices live on a heap stack, so that the
// C++ stack stays flat whatever the pattern and the text.
#include <cstddef>
#include <string_view>

#include "regex/program.h"

namespace korvex::regex {

// Searches text for the first match of the program. On success fills
// start[0..4] and end[0..4] (-1 for groups that took no part) and answers true.
// The failure memo starts once a search has backtracked this many times (and only when the memo
// is safe for the program and small enough for the text).
struct SearchOptions {
    long memoAfterBacktracks = 100000;
    std::size_t memoMaxBytes = std::size_t{256} << 20;
};

bool searchProgram(const Program& program, std::string_view text, std::ptrdiff_t* start, std::ptrdiff_t* end,
                   const SearchOptions& options = {});

}  // namespace korvex::regex
