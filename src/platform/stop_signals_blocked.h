#pragma once
// Keeps the stop signals (SIGINT, SIGTERM, SIGHUP) away from the threads started while it lives:
// the thread that made it takes them, and a helper thread's system calls are not interrupted.
#include <pthread.h>
#include <signal.h>

namespace korvex {

class StopSignalsBlocked {
public:
    StopSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, &m_previous);
    }
    ~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

private:
    sigset_t m_previous{};
};

}  // namespace korvex
