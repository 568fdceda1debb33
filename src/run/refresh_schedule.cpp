#include "run/refresh_schedule.h"

#include <utility>

namespace korvex {

RefreshSchedule::RefreshSchedule(Clock clock) : m_clock(std::move(clock)), m_lastEnd(m_clock()) {}

void RefreshSchedule::setPeriod(int hours) {
    m_hours = hours > 0 ? hours : 0;
}

void RefreshSchedule::runEnded() {
    m_lastEnd = m_clock();
}

bool RefreshSchedule::due() const {
    if (m_hours <= 0) return false;
    const auto now = m_clock();
    // A clock set back: count from now, rather than wait until it passes the last end again.
    if (now < m_lastEnd) {
        m_lastEnd = now;
        return false;
    }
    return now - m_lastEnd >= std::chrono::hours(m_hours);
}

}  // namespace korvex
