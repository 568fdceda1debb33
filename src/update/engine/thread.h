#pragma once
// The worker threads of the download engine. TupEventThread is one system thread that runs its
// OnExecute hook once and then its OnFinish hook on the user-interface thread; TupCustomThread owns
// the current one and keeps the previous ones until they have ended on their own.
//
// Threads: a TupEventThread is made, started, terminated, abandoned and destroyed on the
// user-interface thread; OnExecute runs on its own thread; OnException and OnFinish run on the
// user-interface thread through the dispatcher (synchronized calls).
//
// A synchronized call hands a job to the dispatcher and waits until the job has run. Abandon()
// releases every present and later wait at once and turns the jobs still queued into nothing, so
// a worker that is no longer wanted never waits for the user-interface thread and never reaches
// it again; it then only has to notice Terminated() and return. No thread is ever killed.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "update/engine/dispatcher.h"

namespace korvex {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The Windows priority value of a TThreadPriority (tpIdle -15 ... tpTimeCritical 15) and back
// (an unrecognised value reads as tpNormal).
int threadPriorityValue(TThreadPriority priority);
TThreadPriority threadPriorityFromValue(int value);

class TupEventThread {
public:
    TupEventThread(TupDispatcher& dispatcher, TThreadPriority priority);
    // Terminates and abandons the thread, then waits for it to end.
    ~TupEventThread();
    TupEventThread(const TupEventThread&) = delete;
    TupEventThread& operator=(const TupEventThread&) = delete;

    std::function<void(TupEventThread&)> OnExecute;                      // worker thread
    std::function<void(TupEventThread&, std::exception_ptr)> OnException;  // UI thread
    std::function<void(TupEventThread&)> OnFinish;                       // UI thread
    // Caught exceptions of OnExecute and of synchronized calls go to OnException; when false, one
    // thrown by a synchronized call is raised again in the worker (and ends OnExecute).
    bool HandleExceptions = true;

    // Starts the system thread (once); a thread terminated before it starts runs nothing.
    void Resume();
    bool Suspended() const noexcept { return !m_started; }
    void Terminate() noexcept { m_terminated = true; }
    bool Terminated() const noexcept { return m_terminated; }
    void Abandon();
    bool Abandoned() const;
    bool Running() const noexcept { return m_running; }
    // OnExecute and OnFinish are over (or never ran); the system thread is about to end.
    bool Finished() const noexcept { return m_finished; }
    int ReturnValue = 0;

    // Worker thread: runs `job` on the user-interface thread and returns when it has run; false
    // when the thread was abandoned (the job then does not run, or its end is not awaited).
    bool Synchronize(std::function<void()> job);
    // User-interface thread: runs the dispatcher's loop until the thread has finished.
    void WaitFor();
    // Any thread but this one: blocks until the system thread has ended.
    void Join();

private:
    void threadProc();
    void applyPriority();

    TupDispatcher& m_dispatcher;
    TThreadPriority m_priority;
    std::thread m_thread;
    bool m_started = false;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_finished{false};
    // Shared with the jobs in the dispatcher's queue, which may outlive this object.
    struct SyncState {
        std::mutex mutex;  // guards `abandoned` and the `done` flags of the calls
        std::condition_variable signal;
        bool abandoned = false;
    };
    std::shared_ptr<SyncState> m_sync = std::make_shared<SyncState>();
};

class TupCustomThread {
public:
    explicit TupCustomThread(TupDispatcher& dispatcher) : m_dispatcher(dispatcher) {}
    // Abandons every thread and waits for each to end (they notice within a second).
    ~TupCustomThread();
    TupCustomThread(const TupCustomThread&) = delete;
    TupCustomThread& operator=(const TupCustomThread&) = delete;

    bool HandleExceptions = true;
    // Kept for settings that carry them; this program never frees its owner from a thread.
    bool FreeOwnerOnTerminate = false;
    bool WaitThread = false;  // Start waits for the transfer to end
    int WaitTimeout = 0;      // milliseconds, 0: no limit
    TThreadPriority Priority = tpNormal;

    // A fresh, suspended thread in place of the current one, which is kept until it has ended.
    TupEventThread& NewThread();
    TupEventThread* Current() noexcept { return m_current.get(); }
    TupDispatcher& Dispatcher() noexcept { return m_dispatcher; }
    // The current thread is given up: it keeps running until it notices, but is never waited
    // for by the user-interface thread and never reaches it again.
    void AbandonCurrent();

private:
    void joinEnded();

    TupDispatcher& m_dispatcher;
    std::unique_ptr<TupEventThread> m_current;
    std::vector<std::unique_ptr<TupEventThread>> m_previous;
};

}  // namespace korvex
