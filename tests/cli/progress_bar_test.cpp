// The progress line of a refresh on a terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "korvex-cli/progress_bar.h"

namespace korvex {
namespace {

TEST(ProgressBarTest, LinesShowTheRowsDoneTheRowAndItsLogin) {
    struct Case {
        int done, current, total;
        std::string login;
        std::string line;
    } cases[] = {
        {0, 1, 40, "sps_ivanov", "[....................] 1/40 sps_ivanov"},
        {11, 12, 40, "a", "[#####...............] 12/40 a"},
        {5, 5, 4, "x", "[####################] 5/4 x"},  // never more than full
        {0, 1, 2, "ab\x1B[2Jc", "[....................] 1/2 ab\xEF\xBF\xBD[2Jc"},
        {0, 1, 2, std::string(45, 'L') + "Жж", "[....................] 1/2 " + std::string(40, 'L') + "…"},
        {0, 1, 2, std::string(39, 'L') + "Жж", "[....................] 1/2 " + std::string(39, 'L') + "Ж…"},
    };
    for (const Case& c : cases) EXPECT_EQ(progressLine(c.done, c.current, c.total, c.login), c.line);
}

TEST(ProgressBarTest, DrawsOverItselfAndWipesTheLineOnlyOnATerminal) {
    std::ostringstream terminal, pipe;
    for (auto [out, enabled] : {std::pair{&terminal, true}, {&pipe, false}}) {
        ProgressBar bar(*out, enabled);
        bar.show(0, 1, 2, "a");
        bar.show(1, 2, 2, "b");
    }
    EXPECT_EQ(terminal.str(),
              "\r\x1b[K[....................] 1/2 a\r\x1b[K[##########..........] 2/2 b\r\x1b[K");
    EXPECT_EQ(pipe.str(), "");
}

}  // namespace
}  // namespace korvex
