#pragma once
// Ctrl+C, SIGTERM and SIGHUP during a refresh: while a StopSignals object lives, these three only
// raise a flag (an atomic store, which a signal handler may do); the refresh polls it and aborts the
// transfer in progress itself. SignalHold keeps them back while a file is being replaced.
#include <signal.h>

#include <atomic>

namespace korvex {

class StopSignals {
public:
    // Installs the handlers; the previous ones come back when the object goes. One object at a time.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Raised by the first SIGINT, SIGTERM or SIGHUP; it stays raised.
    static const std::atomic<bool>& flag() noexcept;

private:
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
    struct sigaction m_previousHup {};
};

// Blocks those signals for the calling thread while it lives; a signal that arrives meanwhile
// is delivered when it goes. For the short moments in which a file is written and renamed, so that
// Ctrl+C never leaves a half-written file or a stray temporary one behind.
class SignalHold {
public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

private:
    sigset_t m_previous{};
};

}  // namespace korvex
