// The tray icon and its menu: the program lives in the notification area as much as in its window.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include "app/tform1.h"

namespace korvex {

namespace {
// The least time between two counts in the tray icon's tooltip during a run.
constexpr int kTrayProgressMs = 250;
}  // namespace

void TForm1::buildTray() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N4 = PopupMenu1->addAction(QIcon(QStringLiteral(":/check.png")), QStringLiteral("Проверить баланс"));
    N4->setObjectName(QStringLiteral("N4"));
    N3 = PopupMenu1->addAction(QIcon(QStringLiteral(":/window.png")), QStringLiteral("Главное окно"));
    N3->setObjectName(QStringLiteral("N3"));
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    N1 = PopupMenu1->addAction(QIcon(QStringLiteral(":/exit.png")), QStringLiteral("Выход"));
    N1->setObjectName(QStringLiteral("N1"));
    connect(N4, &QAction::triggered, this, &TForm1::N4Click);
    connect(N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);

    JvTrayIcon1 = new QSystemTrayIcon(QIcon(QStringLiteral(":/korvex.png")), this);
    JvTrayIcon1->setObjectName(QStringLiteral("JvTrayIcon1"));
    JvTrayIcon1->setContextMenu(PopupMenu1);
    connect(JvTrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
        if (isVisible() && !isMinimized()) hideToTray();
        else restoreFromTray();
    });
    JvTrayIcon1->show();

    m_trayProgressTimer = new QTimer(this);
    m_trayProgressTimer->setSingleShot(true);
    m_trayProgressTimer->setInterval(kTrayProgressMs);
    connect(m_trayProgressTimer, &QTimer::timeout, this, [this] {
        if (!m_running || JvTrayIcon1->toolTip() == m_trayProgress) return;
        JvTrayIcon1->setToolTip(m_trayProgress);
        m_trayProgressTimer->start();
    });
}

void TForm1::sayRunProgressInTray(int finished, int rowsInRun) {
    m_trayProgress =
        windowTitle() + QStringLiteral("\nОбновление: проверено %1 из %2").arg(finished).arg(rowsInRun);
    // A desktop's tray may take each tooltip as a message of its own: not one for every row.
    if (m_trayProgressTimer->isActive()) return;
    JvTrayIcon1->setToolTip(m_trayProgress);
    m_trayProgressTimer->start();
}

void TForm1::hideToTray() {
    // Without a tray to come back from, hiding would lose the window: minimise it normally instead.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!isMinimized()) showMinimized();
        return;
    }
    hide();
}

void TForm1::restoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && QSystemTrayIcon::isSystemTrayAvailable()) {
        // Leave the state change first; hiding from inside it confuses some window managers.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hideToTray();
        });
    }
}

void TForm1::N4Click() {
    but1->click();
}

void TForm1::N3Click() {
    restoreFromTray();
}

void TForm1::N1Click() {
    close();
    QApplication::quit();
}

}  // namespace korvex
