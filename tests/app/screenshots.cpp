// Takes the pictures of the README: the window after a refresh against the substitute portals, the
// portals dialog, and the tray menu, on a real X server with a tray host.
//   korvex_screenshots OUTPUT_FOLDER
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/portals_dialog.h"
#include "app/up_qt_user_interface.h"
#include "app/up_updater_upgrade_msg.h"
#include "app/up_updater_wizard.h"
#include "checks/portals_ini_writer.h"
#include "checks/profile_edits.h"
#include "korvex-cli/account_csv.h"
#include "korvex-demo-portals/demo_portals.h"
#include "platform/codepage.h"
#include "tests/app/portal_window_fixture.h"
#include "tests/app/xserver.h"
#include "update/texts/language.h"

using namespace korvex;

namespace {
void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
// The portals dialog as a user leaves it after the first start: every address written into the user's
// Portals.ini, the keys pinned by the refresh, and "Проверить" of the first portal.
void savePortalsDialog(TForm1& form, const PortalAddresses& demo, const std::string& settings,
                       const std::filesystem::path& picture) {
    for (const ProviderProfile* profile : allProfiles())
        if (!writePortalAddress(settings, std::string(profile->name), demo.*profile->baseAddress))
            std::fprintf(stderr, "%s: its address was not written\n", std::string(profile->name).c_str());
    const PortalPins pins(pinsPathBeside(settings));
    PortalsDialog dialog({settings, &form.book(), &pins, form.lastRun().rows, form.proxySettings(),
                          loadPortals(settings).addresses, {}},
                         &form);
    dialog.show();
    dialog.probeButton->click();
    QElapsedTimer waited;
    waited.start();
    while (!dialog.probeButton->isEnabled() && waited.elapsed() < 20000) settle(50);
    settle(300);
    dialog.grab().save(QString::fromStdString(picture.string()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    test::XServerWithTray x;
    if (x.display().empty()) {
        std::fprintf(stderr, "%s\n", x.error().c_str());
        return 1;
    }
    setenv("DISPLAY", x.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);

    DemoPortals portals;
    const auto dir = std::filesystem::temp_directory_path() / "korvex-screenshots";
    std::filesystem::create_directories(dir);
    // A fresh start: no accounts, no pinned keys of an earlier run's portals (their keys are new each
    // time, and the question about them would wait for an answer), no history.
    for (const char* file : {"Settings.ini", "Portals.pins", "History.sqlite", "Portals.ini"})
        std::filesystem::remove(dir / file);
    WindowEnvironment env;
    env.addresses = test::demoPortalAddresses(portals);
    TForm1 form((dir / "Settings.ini").string(), env);
    // The demo's own accounts, as scripts/run fills them in, so that the picture shows the demo as it is.
    std::ifstream csv(KORVEX_DEMO_ACCOUNTS_CSV, std::ios::binary);
    const std::string csvText{std::istreambuf_iterator<char>(csv), {}};
    const std::vector<ImportedAccount> accounts = readAccountCsv(csvText);
    form.clients->setValue(static_cast<int>(accounts.size()));
    for (int row = 0; row < static_cast<int>(accounts.size()); ++row)
        form.book().client.setRow(row, accounts[static_cast<std::size_t>(row)].cells);
    form.book().syncDerivedColumns();
    form.show();
    settle(500);
    form.PageControl1->setCurrentWidget(form.tab1);
    form.bbb111Click();
    settle(300);
    form.grab().save(QString::fromStdString((out / "window.png").string()));
    // The settings tab with the refresh settings beyond the design: 16 at once, 2 per portal, daily.
    form.PageControl1->setCurrentWidget(form.tab2);
    form.RefreshJobs->setValue(16);
    form.RefreshPerPortal->setValue(2);
    form.RefreshEveryHours->setValue(24);
    settle(300);
    form.grab().save(QString::fromStdString((out / "settings-tab.png").string()));
    form.PageControl1->setCurrentWidget(form.tab1);
    savePortalsDialog(form, env.addresses, (dir / "Settings.ini").string(), out / "portals-dialog.png");

    QElapsedTimer t;
    t.start();
    while (!form.JvTrayIcon1->geometry().isValid() && t.elapsed() < 5000) settle(50);
    const QRect icon = form.JvTrayIcon1->geometry();
    form.PopupMenu1->popup(icon.bottomLeft() + QPoint(-150, 4));
    settle(500);
    const QRect menu = form.PopupMenu1->geometry();
    const QRect area = menu.united(icon).adjusted(-20, -10, 20, 10);
    QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(QString::fromStdString((out / "tray-menu.png").string()));
    form.PopupMenu1->hide();
    std::printf("wrote %s, %s, %s and %s\n", (out / "window.png").c_str(), (out / "settings-tab.png").c_str(),
                (out / "portals-dialog.png").c_str(), (out / "tray-menu.png").c_str());

    // The update windows, in the language of this program's users, the wizard in the middle of a
    // download fed by timers as the engine's notifications would feed it.
    upSetLanguage(TupUpdaterLanguage::wlRussian);
    TupQtUserInterface ui(&form);
    QTimer::singleShot(500, [&out] {
        if (auto* question = TupUpdaterUpgradeMessageForm::instance()) {
            question->grab().save(QString::fromStdString((out / "update-question.png").string()));
            question->LaterBtn->click();
        }
    });
    ui.askUpgrade({kApplicationTitle, utf8ToCp1251("Версия 3.2.0.2: новые тарифы SpaceGate, быстрее обновление "
                                                   "балансов.")});

    struct NoListener : TupWizardListener {
        void wizardFinished() override {}
        void wizardAbortConfirmed() override {}
    } listener;
    UpWizardOptions options;
    options.applicationTitle = kApplicationTitle;
    options.hideFileLocation = true;
    ui.showWizard(options, listener);
    ui.wizardFile("http://korvex.invalid/korvex", 1, 2);
    QTimer engine;
    int percent = 0;
    QObject::connect(&engine, &QTimer::timeout, [&] {
        if (percent == 0) ui.wizardFileStart(24'576'000);
        percent += 8;
        if (percent > 64) return engine.stop();
        ui.wizardProgress(percent, percent / 2, 187.4, (100 - percent) * 131 / 100);
    });
    engine.start(30);
    settle(600);
    TupUpdaterWizardForm::instance()->grab().save(QString::fromStdString((out / "update-wizard.png").string()));
    ui.closeWizard();
    std::printf("wrote %s and %s\n", (out / "update-question.png").c_str(), (out / "update-wizard.png").c_str());
    return 0;
}
