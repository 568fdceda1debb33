#include "korvex-cli/stop_signals.h"

#include <pthread.h>

namespace korvex {

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void raiseStopFlag(int) {
    g_stopRequested.store(true, std::memory_order_relaxed);
}

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    g_stopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = raiseStopFlag;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
    // The terminal or the ssh session going away ends a run the same way: what was checked is saved.
    sigaction(SIGHUP, &action, &m_previousHup);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    sigaction(SIGHUP, &m_previousHup, nullptr);
}

const std::atomic<bool>& StopSignals::flag() noexcept {
    return g_stopRequested;
}

SignalHold::SignalHold() {
    const sigset_t set = stopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

SignalHold::~SignalHold() {
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

}  // namespace korvex
