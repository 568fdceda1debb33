#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QProgressBar>

#include <filesystem>
#include <fstream>

#include "app/up_qt_user_interface.h"
#include "app/up_updater_wizard.h"
#include "platform/codepage.h"
#include "settings/settings_file.h"
#include "tests/app/window_fixture.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/recording_update_user_interface.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"
#include "tests/support/tiny_proxy.h"
#include "update/install/paths.h"

namespace korvex::test {
namespace {

// "Авто-Обновить" checks the demo publisher's info file through the proxy of the settings tab, and
// the question names the offered release.
TEST_F(WindowTest, UpdateButtonChecksThroughTheProxyOfTheSettingsTab) {
    if (!TinyProxy::available()) GTEST_SKIP() << "tinyproxy is not installed";
    TinyProxy proxy;
    DemoPortals portals;
    PortalAddresses addresses = demoPortalAddresses(portals);
    // Not 127.0.0.1, which the component's proxy bypass list names.
    addresses.updateInfo = "http://localhost:" + addresses.publisher.substr(addresses.publisher.rfind(':') + 1);
    m_addresses = addresses;
    AccountBook book;
    zapis(book, ProxySettings{true, proxy.host(), std::to_string(proxy.port())}, m_settings);
    upSetLanguage(TupUpdaterLanguage::wlEnglish);
    auto ui = std::make_shared<RecordingUpdateUserInterface>();
    m_updateUserInterface = ui;

    TForm1& form = open();
    form.Button100Click();
    QElapsedTimer clock;
    clock.start();
    while (ui->shown.empty() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    upSetLanguage(TupUpdaterLanguage::wlAuto);
    ASSERT_EQ(ui->shown.size(), 1u);
    EXPECT_TRUE(ui->shown[0].starts_with("question: A newer version of Korvex 3.0 was released.\n\nДемонстрационный "
                                         "выпуск 3.2.0.2"))
        << ui->shown[0];
    EXPECT_NE(proxy.log().find("/inf"), std::string::npos) << proxy.log();
}

// The window's own dialogs, with Yes given to the upgrade question.
class YesQtUserInterface : public TupQtUserInterface {
public:
    bool askUpgrade(const UpUpgradeQuestion&) override { return true; }
};

// Yes downloads in the wizard, which follows the download through the engine's notifications
// while the window stays responsive; its finish button hands over to the embedded helper, which
// replaces the program and starts it again.
TEST_F(WindowTest, YesDownloadsInTheWizardAndTheHelperRestartsTheProgram) {
    const std::string oldProgram = readFile(KORVEX_FAKE_PROGRAM_PATH);
    const std::string newProgram = oldProgram + std::string(300000, 'N');  // some progress to show
    const std::filesystem::path folder = m_dir / "Korvex é";
    std::filesystem::create_directories(folder / "tmp");
    std::filesystem::permissions(folder / "tmp", std::filesystem::perms::owner_all);
    const std::string program = (folder / "korvex").string();
    std::ofstream(program, std::ios::binary) << oldProgram;
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);

    TestServer server;
    server.get("/inf", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content("#version=3.2.0.2\r\n#url=" + server.url("/download/korvex") + "\r\n", "text/plain");
    });
    server.get("/download/korvex", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(newProgram, "application/octet-stream");
    });
    server.start();
    PortalAddresses addresses;
    addresses.updateInfo = server.baseUrl();
    m_addresses = addresses;
    m_updateUserInterface = std::make_shared<YesQtUserInterface>();

    TForm1& form = open();
    form.upUpdater1->Folders = update::upFoldersFor(program, (folder / "tmp").string() + "/");
    form.upUpdater1->setRestartParams("/afterupdate");
    bool closed = false;
    form.upUpdater1->CloseApplication = [&closed] { closed = true; };
    form.Button100Click();
    QElapsedTimer clock;
    clock.start();
    const auto wizardDone = [] {
        auto* wizard = TupUpdaterWizardForm::instance();
        return wizard != nullptr && wizard->FinishBtn->isEnabled();
    };
    while (!wizardDone() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(wizardDone());
    auto* wizard = TupUpdaterWizardForm::instance();
    EXPECT_EQ(wizard->ProgressAllFiles->value(), 100);
    EXPECT_EQ(readFile(program + ".updtmp"), newProgram);
    wizard->FinishBtn->click();
    EXPECT_TRUE(closed);
    const std::string report = program + ".report";
    while (!std::filesystem::exists(report) && clock.elapsed() < 40000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(readFile(report), "size=" + std::to_string(newProgram.size()) + "\narg=/afterupdate\n");
}

}  // namespace
}  // namespace korvex::test
