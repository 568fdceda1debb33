#include "app/qt_update_dispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace korvex {

QtUpdateDispatcher::QtUpdateDispatcher(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { m_quitting = true; });
}

QtUpdateDispatcher::~QtUpdateDispatcher() {
    for (const auto& [id, timer] : m_timers) delete timer;
}

void QtUpdateDispatcher::post(std::function<void()> job) {
    // Jobs still queued when this object goes are dropped with it.
    QMetaObject::invokeMethod(this, [job = std::move(job)] { job(); }, Qt::QueuedConnection);
}

void QtUpdateDispatcher::waitUntil(const std::function<bool()>& done) {
    while (!done() && !m_quitting && !QCoreApplication::closingDown())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

int QtUpdateDispatcher::startTimer(int intervalMs, std::function<void()> tick) {
    auto* timer = new QTimer;
    timer->setInterval(intervalMs);
    connect(timer, &QTimer::timeout, this, [tick = std::move(tick)] { tick(); });
    timer->start();
    const int id = m_nextTimer++;
    m_timers[id] = timer;
    return id;
}

void QtUpdateDispatcher::stopTimer(int id) {
    const auto found = m_timers.find(id);
    if (found == m_timers.end()) return;
    found->second->stop();
    found->second->deleteLater();  // it may be the timer whose tick is running
    m_timers.erase(found);
}

}  // namespace korvex
