#pragma once
// Stage 3: the search. A backtracking interpreter whose choices live on a heap stack, so that the
// C++ stack stays flat whatever the pattern and the text.
#include <cstddef>
#include <string_view>

#include "program.h"

namespace korvex::regex {

// Searches text for the first match of the program. On success fills
// start[0..4] and end[0..4] (-1 for groups that took no part) and answers true.
bool searchProgram(const Program& program, std::string_view text, std::ptrdiff_t* start, std::ptrdiff_t* end);

}  // namespace korvex::regex
