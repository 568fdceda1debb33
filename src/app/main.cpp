// Korvex: one copy per user, one main window, everything saved when it closes.
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/portals_notice.h"
#include "app/qt_translations.h"
#include "app/signal_bridge.h"
#include "app/tform1.h"
#include "app/update_news.h"
#include "checks/portals_ini.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "run/program_start.h"
#include "update/updater/program_settings.h"

namespace {

// Ends open menus and modal boxes (the speed question, a message box): their own event loops would
// otherwise keep the window from closing. A question left this way counts as No.
void leaveMenusAndModalBoxes() {
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* top = QApplication::activePopupWidget();
        if (!top) top = QApplication::activeModalWidget();
        if (!top) return;
        if (auto* dialog = qobject_cast<QDialog*>(top))
            dialog->reject();
        else
            top->close();
    }
}

// The window opens centred on the screen that holds the mouse pointer (a window manager may still
// place it otherwise).
void centreOnPointerScreen(QWidget& window) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->geometry().center());
    window.move(frame.topLeft());
}

}  // namespace

int main(int argc, char** argv) {
    // The version, before any lock, window or file: a script may ask while Korvex runs.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("Korvex %s (update version %s)\n", KORVEX_PACKAGE_VERSION, korvex::kRunningVersion);
        return 0;
    }
    // An update that the helper left half-done is finished or undone before anything else reads a
    // file of this program (the user hears of it once, below); then one window per user, and no
    // korvex-cli writing its book meanwhile.
    korvex::ProgramStart start;
    const std::string settingsPath = korvex::defaultSettingsPath();
    const std::string& installNote = start.installNote;
    if (!start.open(settingsPath, korvex::StartLocks::CopyAndBook, korvex::lockFolderOfThisCopy())) {
        QApplication app(argc, argv);
        korvex::loadQtTranslations(app);
        const QString text = start.refused->anotherCopyRuns()
                                 ? QStringLiteral("Запуск второй копии программы недопустим.")
                                 : QString::fromStdString(start.refused->error());
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        QMessageBox box(QMessageBox::Critical, QString::fromLatin1(korvex::kInstanceName), text, QMessageBox::Ok);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
        return 1;
    }

    QApplication app(argc, argv);
    korvex::loadQtTranslations(app);
    // The application's title. Not its display name as well: Qt would append that to every window
    // title ("Korvex  3.0 — Korvex 3.0"), and the titles are to read as they are set.
    QApplication::setApplicationName(QString::fromLatin1(korvex::kApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("korvex"));  // korvex.desktop: its icon and name on Wayland

    if (!installNote.empty()) {
        QMessageBox box(QMessageBox::Information, QString::fromLatin1(korvex::kApplicationTitle),
                        QString::fromStdString(installNote), QMessageBox::Ok);
        box.exec();
    }
    // After an update or an undo: which version runs now, and what is new in it, once.
    korvex::showUpdateNewsOnce();

    // SIGTERM, SIGINT and SIGHUP (a logout, a kill) close the window as its close box does, in every
    // state: shown, minimised, hidden in the tray, during a run (which stops and saves first), with a
    // modal box open, and already while the window is being made (a message box at start-up).
    korvex::SignalBridge bridge;
    korvex::TForm1* window = nullptr;
    bool terminated = false;
    QObject::connect(&bridge, &korvex::SignalBridge::terminationRequested, &app, [&] {
        terminated = true;
        leaveMenusAndModalBoxes();
        if (window) window->close();
    });

    // Portals.ini: what it cannot give is said once, below, and costs nothing else.
    const korvex::PortalsSetup& portals = start.portals;
    korvex::WindowEnvironment environment;
    environment.addresses = portals.addresses;
    environment.endRequested = [&terminated] { return terminated; };
    korvex::TForm1 form(settingsPath, std::move(environment));
    window = &form;
    if (terminated) return 0;  // the window's destruction saves the book, once it has been read
    // Closing the main window ends the program even when no window is left on the screen to count as
    // the last one closed (hidden in the tray).
    QObject::connect(&form, &korvex::TForm1::windowClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/korvex.png")));  // registered by the window
    centreOnPointerScreen(form);
    // --tray (the session's autostart entry): the window waits hidden in the tray. Where no tray takes
    // the icon, it opens as always, or nothing on the screen would lead back to it.
    const bool inTray = std::find(argv + 1, argv + argc, std::string_view("--tray")) != argv + argc;
    if (!inTray || !QSystemTrayIcon::isSystemTrayAvailable()) form.show();
    korvex::showPortalsProblems(&form, portals.problems, portals.clearText,
                                korvex::portalsWithoutAddress(form.book(), portals.addresses),
                                [&form] { form.PortalsItemClick(); });
    const int status = app.exec();
    window = nullptr;  // a signal during the save on the way out only leaves its message box
    return status;
}
