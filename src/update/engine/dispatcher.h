#pragma once
// TupDispatcher: how the update component reaches the user-interface thread. The worker threads of
// the download engine hand every notification to it and wait until the handler has run; the
// component's automatic check runs on its timers; a waiting check keeps the program responsive
// through waitUntil. The window implements it over Qt's event loop; korvex-cli and the tests use
// TupPumpedDispatcher, a loop they pump themselves.
//
// Threads: post() may be called from any thread. Everything else, and every job and timer tick,
// runs on the user-interface thread (the thread that pumps).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace korvex {

class TupDispatcher {
public:
    virtual ~TupDispatcher() = default;
    // Runs `job` on the user-interface thread, later and in the order of posting. Never runs it
    // inside post() itself.
    virtual void post(std::function<void()> job) = 0;
    // Runs the user-interface loop (posted jobs, timers, the window's own events) until `done`
    // answers true or the program is ending. Called on the user-interface thread.
    virtual void waitUntil(const std::function<bool()>& done) = 0;
    // A periodic timer on the user-interface thread; answers its identifier (above 0).
    virtual int startTimer(int intervalMs, std::function<void()> tick) = 0;
    virtual void stopTimer(int id) = 0;
};

// A dispatcher whose user-interface thread is whoever calls waitUntil() or pumpFor(). `stop`, when
// given, is an outside request to end every wait (korvex-cli's SIGINT flag); it is polled.
class TupPumpedDispatcher : public TupDispatcher {
public:
    explicit TupPumpedDispatcher(const std::atomic<bool>* stop = nullptr) : m_stop(stop) {}

    void post(std::function<void()> job) override;
    void waitUntil(const std::function<bool()>& done) override;
    int startTimer(int intervalMs, std::function<void()> tick) override;
    void stopTimer(int id) override;

    // Pumps for `duration`, then returns.
    void pumpFor(std::chrono::milliseconds duration);
    // Runs what is due now (posted jobs, timers) without waiting.
    void pumpPending();
    bool stopRequested() const { return m_stop != nullptr && m_stop->load(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds interval;
        Clock::time_point due;
        std::function<void()> tick;
    };
    // Runs one posted job or one due timer; false when nothing was due.
    bool runOne();
    // Waits until a job is posted, a timer is due or `deadline`, whichever is first.
    void sleepUntil(Clock::time_point deadline);

    const std::atomic<bool>* m_stop;
    std::mutex m_mutex;  // guards m_jobs
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_jobs;
    std::map<int, Timer> m_timers;  // user-interface thread only
    int m_nextTimer = 1;
};

}  // namespace korvex
