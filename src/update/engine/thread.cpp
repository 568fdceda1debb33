#include "update/engine/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace korvex {

int threadPriorityValue(TThreadPriority priority) {
    switch (priority) {
        case tpIdle: return -15;
        case tpLowest: return -2;
        case tpLower: return -1;
        case tpNormal: return 0;
        case tpHigher: return 1;
        case tpHighest: return 2;
        case tpTimeCritical: return 15;
    }
    return 0;
}

TThreadPriority threadPriorityFromValue(int value) {
    for (const auto priority : {tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical})
        if (threadPriorityValue(priority) == value) return priority;
    return tpNormal;
}

TupEventThread::TupEventThread(TupDispatcher& dispatcher, TThreadPriority priority)
    : m_dispatcher(dispatcher), m_priority(priority) {}

TupEventThread::~TupEventThread() {
    Terminate();
    Abandon();
    Join();
}

void TupEventThread::Resume() {
    if (m_started) return;
    m_started = true;
    m_thread = std::thread([this] { threadProc(); });
}

void TupEventThread::Abandon() {
    {
        std::lock_guard lock(m_sync->mutex);
        m_sync->abandoned = true;
    }
    m_sync->signal.notify_all();
}

bool TupEventThread::Abandoned() const {
    std::lock_guard lock(m_sync->mutex);
    return m_sync->abandoned;
}

void TupEventThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void TupEventThread::WaitFor() {
    if (!m_started) return;
    m_dispatcher.waitUntil([this] { return m_finished.load(); });
}

// Linux threads have a nice value of their own. Only a lower priority is honoured: raising one
// needs privileges a desktop program does not have, and is then silently left as it is.
void TupEventThread::applyPriority() {
    const int value = threadPriorityValue(m_priority);
    if (value >= 0) return;
    const int nice = std::min(19, -value);
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
}

bool TupEventThread::Synchronize(std::function<void()> job) {
    // What the job leaves for the worker lives as long as either side needs it; the job never
    // touches this object, which may be gone by the time the job leaves the queue.
    struct Call {
        std::function<void()> job;
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    call->job = std::move(job);
    const std::shared_ptr<SyncState> sync = m_sync;
    {
        std::lock_guard lock(sync->mutex);
        if (sync->abandoned) return false;
    }
    m_dispatcher.post([sync, call] {
        {
            std::lock_guard lock(sync->mutex);
            if (sync->abandoned) return;
        }
        try {
            call->job();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            std::lock_guard lock(sync->mutex);
            call->done = true;
        }
        sync->signal.notify_all();
    });
    std::unique_lock lock(sync->mutex);
    sync->signal.wait(lock, [&] { return call->done || sync->abandoned; });
    if (!call->done) return false;
    lock.unlock();
    if (call->error) {
        if (!HandleExceptions) std::rethrow_exception(call->error);
        if (OnException) {
            auto error = call->error;
            Synchronize([this, error] { OnException(*this, error); });
        }
    }
    return true;
}

void TupEventThread::threadProc() {
    if (!m_terminated) {
        applyPriority();
        m_running = true;
        try {
            if (OnExecute) OnExecute(*this);
        } catch (...) {
            // Whatever escapes the worker is reported (when wanted) and never ends the program.
            if (HandleExceptions && OnException) {
                auto error = std::current_exception();
                try {
                    Synchronize([this, error] { OnException(*this, error); });
                } catch (...) {
                }
            }
        }
        try {
            if (OnFinish) Synchronize([this] { OnFinish(*this); });
        } catch (...) {
        }
        m_running = false;
    }
    m_finished = true;
}

TupCustomThread::~TupCustomThread() {
    if (m_current) {
        m_current->Terminate();
        m_current->Abandon();
    }
    for (auto& thread : m_previous) {
        thread->Terminate();
        thread->Abandon();
    }
    m_current.reset();
    m_previous.clear();
}

TupEventThread& TupCustomThread::NewThread() {
    joinEnded();
    if (m_current) m_previous.push_back(std::move(m_current));
    m_current = std::make_unique<TupEventThread>(m_dispatcher, Priority);
    m_current->HandleExceptions = HandleExceptions;
    return *m_current;
}

void TupCustomThread::AbandonCurrent() {
    if (!m_current) return;
    m_current->Terminate();
    m_current->Abandon();
    m_previous.push_back(std::move(m_current));
}

void TupCustomThread::joinEnded() {
    std::erase_if(m_previous, [](const std::unique_ptr<TupEventThread>& thread) {
        if (!thread->Finished() && !thread->Suspended()) return false;
        thread->Join();
        return true;
    });
}

}  // namespace korvex
