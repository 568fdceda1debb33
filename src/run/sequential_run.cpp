#include "run/sequential_run.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "checks/balance_checks.h"
#include "checks/parallel_refresh.h"
#include "net/http_transfer.h"
#include "platform/stop_signals_blocked.h"

namespace korvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The watch of a timed run: armed for each row, it ends Curl1's transfers once the row's time is
// up, and keeps ending them (a logout after its login) until the row is over.
class RowWatch {
public:
    RowWatch(THttpTransfer& Curl1, std::chrono::milliseconds timeout) : m_curl(Curl1), m_timeout(timeout) {
        const StopSignalsBlocked blocked;
        m_thread = std::thread([this] { watch(); });
    }
    ~RowWatch() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    RowWatch(const RowWatch&) = delete;
    RowWatch& operator=(const RowWatch&) = delete;

    void arm() {
        {
            std::lock_guard lock(m_mutex);
            m_armed = true;
            m_timedOut = false;
            m_deadline = SteadyClock::now() + m_timeout;
        }
        m_changed.notify_all();
    }
    // Disarms; answers whether the row's time ran out.
    bool disarm() {
        std::lock_guard lock(m_mutex);
        m_armed = false;
        return m_timedOut;
    }

private:
    void watch() {
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            if (!m_armed) {
                m_changed.wait(lock);
            } else if (SteadyClock::now() >= m_deadline) {
                m_timedOut = true;
                m_curl.requestAbort();
                m_changed.wait_for(lock, kRunWatchInterval);
            } else {
                m_changed.wait_until(lock, m_deadline);
            }
        }
    }

    THttpTransfer& m_curl;
    const std::chrono::milliseconds m_timeout;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_quit = false;
    bool m_armed = false;
    bool m_timedOut = false;
    SteadyClock::time_point m_deadline;
    std::thread m_thread;
};

// Passes every call on, arming the watch for each row and answering a row cut short by it as
// timed out rather than stopped.
class TimedObserver : public RefreshObserver {
public:
    TimedObserver(RefreshObserver& theirs, RowWatch& watch, std::chrono::milliseconds timeout)
        : m_theirs(theirs), m_watch(watch), m_timeout(timeout) {}

    void rowStarting(int row) override {
        m_theirs.rowStarting(row);
        m_watch.arm();
    }
    void afterRoutine(int routine) override { m_theirs.afterRoutine(routine); }
    void rowFinished(const RowCheck& check) override {
        RowCheck report = check;
        if (m_watch.disarm() && check.outcome == CheckOutcome::Stopped && !m_theirs.stopRequested()) {
            markTimedOut(report, m_timeout);
            timedOutRows.insert(check.row);
        }
        m_theirs.rowFinished(report);
    }
    bool stopRequested() override { return m_theirs.stopRequested(); }

    std::set<int> timedOutRows;

private:
    RefreshObserver& m_theirs;
    RowWatch& m_watch;
    std::chrono::milliseconds m_timeout;
};

}  // namespace

RefreshResult refreshRows(BalanceChecks& checks, int first, int last, RefreshObserver& observer,
                          const std::vector<int>& held) {
    RefreshResult result;
    const auto afterRoutine = [&observer](int routine) { observer.afterRoutine(routine); };
    for (int row = first; row <= last; ++row) {
        if (std::binary_search(held.begin(), held.end(), row)) continue;
        if (observer.stopRequested()) {
            result.stopped = true;
            break;
        }
        observer.rowStarting(row);
        RowCheck check = checks.checkRow(row, afterRoutine);
        ++result.rowsChecked;
        observer.rowFinished(check);
        result.rows.push_back(std::move(check));
    }
    return result;
}

RefreshResult refreshRowsTimed(BalanceChecks& checks, THttpTransfer& Curl1, int first, int last,
                               RefreshObserver& observer, std::chrono::milliseconds timeout,
                               const std::vector<int>& held) {
    if (timeout.count() <= 0) return refreshRows(checks, first, last, observer, held);
    RowWatch watch(Curl1, timeout);
    TimedObserver timed(observer, watch, timeout);
    RefreshResult result = refreshRows(checks, first, last, timed, held);
    for (RowCheck& check : result.rows)
        if (timed.timedOutRows.contains(check.row)) markTimedOut(check, timeout);
    return result;
}

}  // namespace korvex
