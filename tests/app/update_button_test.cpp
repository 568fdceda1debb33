#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/codepage.h"
#include "settings/settings_file.h"
#include "tests/app/window_fixture.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/recording_update_user_interface.h"
#include "tests/support/tiny_proxy.h"

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

}  // namespace
}  // namespace korvex::test
