#pragma once
// The progress of a refresh on a terminal: "[#####...............] 12/40 login", drawn over itself.
#include <ostream>
#include <string>
#include <string_view>

namespace korvex {

// The line for row `current` (from 1) of `total`, `done` rows finished before it. The login is cut
// to `loginWidth` characters and freed of control characters.
std::string progressLine(int done, int current, int total, std::string_view loginUtf8, int barWidth = 20,
                         int loginWidth = 40);

class ProgressBar {
public:
    // Draws nothing when `enabled` is false (standard error is not a terminal).
    ProgressBar(std::ostream& out, bool enabled) : m_out(out), m_enabled(enabled) {}
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void show(int done, int current, int total, std::string_view loginUtf8);
    // Wipes the line, so that what is written next starts on a clean one.
    void clear();

private:
    std::ostream& m_out;
    bool m_enabled;
    bool m_drawn = false;
};

}  // namespace korvex
