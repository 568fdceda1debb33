#pragma once
// RefreshSchedule: when the window's scheduled refresh is due. The period is counted from the end of
// the last run, whichever started it (a manual run resets it), or from the start of the program. The
// clock is the wall clock, so that time the machine spent asleep counts: a run missed while it slept
// is due at once on waking, and only once, because the next is counted from its end.
//
// The schedule only answers; the window asks it on a timer and starts the run when it is due and
// nothing else is under way (a run, a speed change, the news, an update, a modal box), so a due run
// waits and starts after. Threads: the window's thread alone.
#include <chrono>
#include <functional>

namespace korvex {

class RefreshSchedule {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    explicit RefreshSchedule(Clock clock = [] { return std::chrono::system_clock::now(); });

    // 0 turns the schedule off; otherwise a run every `hours` hours.
    void setPeriod(int hours);
    int periodHours() const noexcept { return m_hours; }
    // A run ended (any run: manual, from the tray, scheduled): the next is counted from now.
    void runEnded();
    // The schedule is on and its period has passed since the last run ended.
    bool due() const;

private:
    Clock m_clock;
    int m_hours = 0;
    mutable std::chrono::system_clock::time_point m_lastEnd;  // due() moves it back with the clock
};

}  // namespace korvex
