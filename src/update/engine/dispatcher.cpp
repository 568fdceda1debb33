#include "update/engine/dispatcher.h"

#include <algorithm>

namespace korvex {

namespace {
// How often a wait looks at the outside stop flag, which nothing signals.
constexpr std::chrono::milliseconds kStopPoll{100};
}  // namespace

void TupPumpedDispatcher::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_posted.notify_all();
}

int TupPumpedDispatcher::startTimer(int intervalMs, std::function<void()> tick) {
    const auto interval = std::chrono::milliseconds(std::max(1, intervalMs));
    const int id = m_nextTimer++;
    m_timers[id] = Timer{interval, Clock::now() + interval, std::move(tick)};
    return id;
}

void TupPumpedDispatcher::stopTimer(int id) { m_timers.erase(id); }

bool TupPumpedDispatcher::runOne() {
    std::function<void()> job;
    {
        std::lock_guard lock(m_mutex);
        if (!m_jobs.empty()) {
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
    }
    if (job) {
        job();
        return true;
    }
    const auto now = Clock::now();
    for (auto& [id, timer] : m_timers) {
        if (timer.due <= now) {
            timer.due = now + timer.interval;
            // The tick may stop or start timers; run a copy.
            auto tick = timer.tick;
            tick();
            return true;
        }
    }
    return false;
}

void TupPumpedDispatcher::sleepUntil(Clock::time_point deadline) {
    for (const auto& [id, timer] : m_timers) deadline = std::min(deadline, timer.due);
    if (m_stop != nullptr) deadline = std::min(deadline, Clock::now() + kStopPoll);
    std::unique_lock lock(m_mutex);
    m_posted.wait_until(lock, deadline, [this] { return !m_jobs.empty(); });
}

void TupPumpedDispatcher::pumpPending() {
    while (runOne()) {
    }
}

void TupPumpedDispatcher::waitUntil(const std::function<bool()>& done) {
    while (!done() && !stopRequested()) {
        if (!runOne()) sleepUntil(Clock::now() + std::chrono::hours(1));
    }
}

void TupPumpedDispatcher::pumpFor(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    while (Clock::now() < end && !stopRequested()) {
        if (!runOne()) sleepUntil(end);
    }
}

}  // namespace korvex
