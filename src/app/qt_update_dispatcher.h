#pragma once
// The update component's way into the GUI thread: posted jobs run as queued calls on this object,
// waits run the event loop, timers are QTimers. The download engine's workers post here and wait
// until their notification has run, so every notification runs in the GUI thread.
#include <QObject>
#include <map>

#include "update/engine/dispatcher.h"

class QTimer;

namespace korvex {

class QtUpdateDispatcher : public QObject, public TupDispatcher {
    Q_OBJECT
public:
    explicit QtUpdateDispatcher(QObject* parent = nullptr);
    ~QtUpdateDispatcher() override;

    void post(std::function<void()> job) override;  // any thread
    void waitUntil(const std::function<bool()>& done) override;
    int startTimer(int intervalMs, std::function<void()> tick) override;
    void stopTimer(int id) override;

    // Ends every wait (the window is going); nothing is waited for after it.
    void quit() { m_quitting = true; }

private:
    bool m_quitting = false;
    std::map<int, QTimer*> m_timers;
    int m_nextTimer = 1;
};

}  // namespace korvex
