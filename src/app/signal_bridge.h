#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into an orderly close of the main window on the GUI thread, so a
// desktop logout or a kill from the terminal saves like the close box does. The handler only
// writes one byte into a pipe; a socket notifier reads it in the event loop.
#include <QObject>

class QSocketNotifier;

namespace korvex {

class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void terminationRequested(int signal);

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace korvex
