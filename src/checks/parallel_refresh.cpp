#include "checks/parallel_refresh.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "checks/balance_checks.h"
#include "checks/provider_profiles.h"
#include "checks/text_holder.h"
#include "net/curl1_setup.h"
#include "net/http_transfer.h"
#include "platform/stop_signals_blocked.h"

namespace korvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

// What a worker hands back for one row.
struct RowResult {
    RowCheck check;
    Row statAfter;             // the balance row as the check left it
    std::exception_ptr error;  // what the check let out (EConvertError)
};

// The rows of one portal still to start, in row order, and what it has in hand.
struct PortalQueue {
    std::vector<int> rows;  // front first
    std::size_t next = 0;
    int inFlight = 0;
    int workLeft = 0;  // requests of the rows not yet started

    bool hasRowBelow(int limit) const { return next < rows.size() && rows[next] < limit; }
};

class ParallelRun {
public:
    ParallelRun(const ParallelRefreshSetup& setup, int first, int last, RefreshObserver& observer,
                const RefreshLimits& limits)
        : m_setup(setup),
          m_first(first),
          m_last(last),
          m_observer(observer),
          m_jobs(std::max(1, limits.jobs)),
          m_perPortal(std::max(1, limits.perPortal)),
          m_timeout(limits.timeout),
          m_limitRow(last + 1) {}

    RefreshResult run();

private:
    struct Worker {
        THttpTransfer curl;
        TextHolder memo;
        AccountBook book;  // row 0: the copy of the row in hand
        std::unique_ptr<BalanceChecks> checks;
        std::thread thread;
        // Guarded by m_mutex.
        int row = -1;  // the row in hand, -1 for none
        SteadyClock::time_point deadline;
        bool timedOut = false;
    };

    int slot(int row) const { return row - m_first; }
    bool held(int row) const { return std::binary_search(m_setup.held.begin(), m_setup.held.end(), row); }
    void queueRows();
    void startWorkers(int count);
    void work(Worker& worker);
    // The next row for a free worker, or -1; under m_mutex.
    int takeRowLocked();
    bool rowsLeftLocked() const;
    // Ends the transfers that must end (stop, time limit, rows beyond an error); answers when the run's
    // thread should look again at the latest. Under m_mutex.
    SteadyClock::time_point watchLocked();
    void deliver(int row, RowResult& result, RefreshResult& out);
    void joinWorkers();

    const ParallelRefreshSetup& m_setup;
    const int m_first;
    const int m_last;
    RefreshObserver& m_observer;
    const int m_jobs;
    const int m_perPortal;
    const std::chrono::milliseconds m_timeout;

    // Written before the workers start, read-only afterwards.
    std::vector<Row> m_clientRows;
    std::vector<Row> m_statRows;
    std::vector<const ProviderProfile*> m_profiles;
    std::vector<std::unique_ptr<Worker>> m_workers;

    std::mutex m_mutex;
    std::condition_variable m_workChanged;  // a row may be taken, or the run ends
    std::condition_variable m_rowFinished;  // a row's result is in, or a worker ended
    std::map<std::string, PortalQueue> m_queues;
    std::vector<std::optional<RowResult>> m_results;  // by slot
    int m_limitRow;  // rows from here on are not started (an error came from a row before)
    bool m_stopping = false;
    int m_workersRunning = 0;
};

void ParallelRun::queueRows() {
    const int count = m_last - m_first + 1;
    m_clientRows.resize(static_cast<std::size_t>(count));
    m_statRows.resize(static_cast<std::size_t>(count));
    m_profiles.resize(static_cast<std::size_t>(count));
    m_results.resize(static_cast<std::size_t>(count));
    for (int row = m_first; row <= m_last; ++row) {
        if (held(row)) continue;
        const auto i = static_cast<std::size_t>(slot(row));
        m_clientRows[i] = m_setup.book.client.row(row);
        m_statRows[i] = m_setup.book.Stat.row(row);
        m_profiles[i] = profileForPlanCode(m_setup.book.client.cell(kPlanCode, row));
        if (!m_profiles[i]) {
            // No routine owns the code: nothing is asked, nothing written.
            RowResult passed;
            passed.check.row = row;
            passed.statAfter = m_statRows[i];
            m_results[i] = std::move(passed);
            continue;
        }
        PortalQueue& queue = m_queues[portalOf(m_setup.addresses.*m_profiles[i]->baseAddress)];
        queue.rows.push_back(row);
        queue.workLeft += m_profiles[i]->logoutPath.empty() ? 1 : 2;
    }
}

void ParallelRun::startWorkers(int count) {
    for (int i = 0; i < count; ++i) {
        auto worker = std::make_unique<Worker>();
        // Curl1's set-up, as korvex-cli's refresh gives it to Curl1; a proxy port that is not a number
        // is met again at the first check that applies the proxy, as there.
        applyCurl1StoredProperties(worker->curl);
        try {
            configureCurl1AtStart(worker->curl, m_setup.proxy);
        } catch (const EConvertError&) {
        }
        // The same pins as Curl1: a worker's request to a portal with another key goes nowhere.
        worker->curl.setPins(m_setup.pins);
        worker->book.setCount(1);
        const ProxySettings proxy = m_setup.proxy;
        worker->checks = std::make_unique<BalanceChecks>(
            worker->book, worker->curl, worker->memo, m_setup.addresses, [proxy] { return proxy; }, m_setup.clock);
        m_workers.push_back(std::move(worker));
    }
    const StopSignalsBlocked blocked;
    std::lock_guard lock(m_mutex);
    for (auto& worker : m_workers) {
        // Made on this thread; from here on only its worker thread uses it (and requestAbort from here).
        worker->thread = std::thread([this, w = worker.get()] { work(*w); });
        ++m_workersRunning;
    }
}

bool ParallelRun::rowsLeftLocked() const {
    for (const auto& [portal, queue] : m_queues)
        if (queue.hasRowBelow(m_limitRow)) return true;
    return false;
}

int ParallelRun::takeRowLocked() {
    PortalQueue* best = nullptr;
    for (auto& [portal, queue] : m_queues) {
        if (queue.inFlight >= m_perPortal || !queue.hasRowBelow(m_limitRow)) continue;
        if (!best || queue.workLeft > best->workLeft ||
            (queue.workLeft == best->workLeft && queue.rows[queue.next] < best->rows[best->next]))
            best = &queue;
    }
    if (!best) return -1;
    const int row = best->rows[best->next++];
    ++best->inFlight;
    best->workLeft -= m_profiles[static_cast<std::size_t>(slot(row))]->logoutPath.empty() ? 1 : 2;
    return row;
}

void ParallelRun::work(Worker& worker) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        int row = -1;
        m_workChanged.wait(lock, [&] {
            if (m_stopping || !rowsLeftLocked()) return true;
            row = takeRowLocked();
            return row >= 0;
        });
        if (row < 0) break;
        worker.row = row;
        worker.timedOut = false;
        worker.deadline = m_timeout.count() > 0 ? SteadyClock::now() + m_timeout : SteadyClock::time_point::max();
        lock.unlock();

        const auto i = static_cast<std::size_t>(slot(row));
        RowResult result;
        worker.book.client.setRow(0, m_clientRows[i]);
        worker.book.Stat.setRow(0, m_statRows[i]);
        try {
            result.check = worker.checks->checkRow(0);
        } catch (...) {
            result.error = std::current_exception();
        }
        result.check.row = row;
        result.statAfter = worker.book.Stat.row(0);

        lock.lock();
        worker.row = -1;
        if (result.check.outcome == CheckOutcome::Stopped && worker.timedOut && !m_stopping)
            markTimedOut(result.check, m_timeout);
        if (result.error && row < m_limitRow) m_limitRow = row;  // nothing after it starts
        --m_queues[portalOf(m_setup.addresses.*m_profiles[i]->baseAddress)].inFlight;
        m_results[i] = std::move(result);
        m_rowFinished.notify_one();
        m_workChanged.notify_all();  // a place on that portal is free
    }
    --m_workersRunning;
    m_rowFinished.notify_one();
    m_workChanged.notify_all();  // another worker may be waiting for a row that will not come
}

SteadyClock::time_point ParallelRun::watchLocked() {
    const auto now = SteadyClock::now();
    auto next = now + kRunWatchInterval;
    for (auto& worker : m_workers) {
        if (worker->row < 0) continue;
        if (!worker->timedOut && now >= worker->deadline) worker->timedOut = true;
        // Asked again at every look: an abort that falls between two transfers of a check (an STV
        // login and its logout) ends nothing, and the next transfer must not run its course.
        if (m_stopping || worker->timedOut || worker->row > m_limitRow)
            worker->curl.requestAbort();
        else
            next = std::min(next, worker->deadline);
    }
    return next;
}

void ParallelRun::deliver(int row, RowResult& result, RefreshResult& out) {
    m_observer.rowStarting(row);
    if (result.error) std::rethrow_exception(result.error);
    // A row cut short by the stop stays as it was, previous balance included.
    if (result.check.outcome != CheckOutcome::Stopped) {
        TextGrid& stat = m_setup.book.Stat;
        const Row& before = m_statRows[static_cast<std::size_t>(slot(row))];
        for (int col = 0; col < kStatCols; ++col) {
            const auto c = static_cast<std::size_t>(col);
            if (c < result.statAfter.size() && (c >= before.size() || result.statAfter[c] != before[c]))
                stat.setCell(col, row, result.statAfter[c]);
        }
    }
    ++out.rowsChecked;
    m_observer.rowFinished(result.check);
    out.rows.push_back(std::move(result.check));
}

void ParallelRun::joinWorkers() {
    {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_workChanged.notify_all();
        // Asked again at every look, so that a transfer that began meanwhile is ended too.
        while (m_workersRunning > 0) {
            for (auto& worker : m_workers)
                if (worker->row >= 0) worker->curl.requestAbort();
            m_rowFinished.wait_for(lock, kRunWatchInterval);
        }
    }
    for (auto& worker : m_workers)
        if (worker->thread.joinable()) worker->thread.join();
}

RefreshResult ParallelRun::run() {
    RefreshResult out;
    if (m_last < m_first) return out;
    queueRows();
    int networked = 0;
    for (const auto& [portal, queue] : m_queues) networked += static_cast<int>(queue.rows.size());
    // Whatever leaves this function early (an error, a hook that throws, a thread that cannot be
    // started), no worker outlives it.
    struct JoinGuard {
        ParallelRun& run;
        ~JoinGuard() { run.joinWorkers(); }
    } guard{*this};
    startWorkers(std::min(m_jobs, networked));

    int nextRow = m_first;
    bool stopped = false;
    std::vector<int> inFlight;
    while (nextRow <= m_last) {
        if (held(nextRow)) {
            ++nextRow;
            continue;
        }
        std::optional<RowResult> ready;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                std::vector<int> now;
                for (const auto& worker : m_workers)
                    if (worker->row >= 0) now.push_back(worker->row);
                std::sort(now.begin(), now.end());
                if (now != inFlight) {
                    inFlight = std::move(now);
                    lock.unlock();
                    m_observer.rowsInFlight(inFlight);
                    lock.lock();
                }
                if (!m_stopping) {
                    lock.unlock();
                    const bool stop = m_observer.stopRequested();
                    lock.lock();
                    if (stop) {
                        m_stopping = true;
                        m_workChanged.notify_all();
                    }
                }
                auto& result = m_results[static_cast<std::size_t>(slot(nextRow))];
                if (result) {
                    ready = std::move(result);
                    result.reset();
                    break;
                }
                // Nothing more will come for this row: the run was stopped, or an earlier row failed.
                if (m_workersRunning == 0) break;
                m_rowFinished.wait_until(lock, watchLocked());
            }
            stopped = m_stopping;
        }
        if (!ready) break;
        const bool failed = static_cast<bool>(ready->error);
        deliver(nextRow, *ready, out);  // rethrows the error of the row that raised one
        if (failed) break;
        ++nextRow;
    }
    joinWorkers();
    // After a stop: what finished beyond the first row that did not, in row order.
    for (; nextRow <= m_last; ++nextRow) {
        auto& result = m_results[static_cast<std::size_t>(slot(nextRow))];
        if (result && !result->error && nextRow < m_limitRow) deliver(nextRow, *result, out);
    }
    out.stopped = stopped;
    return out;
}

}  // namespace

void markTimedOut(RowCheck& check, std::chrono::milliseconds timeout) {
    check.outcome = CheckOutcome::TransferFailed;
    check.resultCode = CURLE_OPERATION_TIMEDOUT;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout).count();
    check.errorText = seconds > 0 && std::chrono::seconds(seconds) == timeout
                          ? "the check took longer than " + std::to_string(seconds) + " s"
                          : "the check took longer than " + std::to_string(timeout.count()) + " ms";
}

RefreshResult refreshRowsParallel(const ParallelRefreshSetup& setup, int first, int last, RefreshObserver& observer,
                                  const RefreshLimits& limits) {
    ParallelRun run(setup, first, last, observer, limits);
    return run.run();
}

}  // namespace korvex
