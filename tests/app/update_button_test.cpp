#include <QCoreApplication>
#include <QElapsedTimer>

#include "codepage.h"
#include "demo_portal_addresses.h"
#include "settings_file.h"
#include "tiny_proxy.h"
#include "window_fixture.h"

namespace korvex::test {
namespace {

class RecordingCheckPrompts : public TupCheckPrompts {
public:
    bool askUpgrade(const std::string& title, const std::string& message) override {
        asked.push_back(title + "|" + cp1251ToUtf8(message));
        return false;
    }
    std::optional<UpCheckCredentials> askPassword(const std::string&, const std::string&) override { return {}; }
    void showMessage(TupUpdaterShowMessage flag, const std::string& host) override {
        asked.push_back("box " + std::to_string(static_cast<int>(flag)) + " " + host);
    }
    std::vector<std::string> asked;
};

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
    auto prompts = std::make_shared<RecordingCheckPrompts>();
    m_updatePrompts = prompts;

    TForm1& form = open();
    form.Button100Click();
    QElapsedTimer clock;
    clock.start();
    while (prompts->asked.empty() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_TRUE(prompts->asked[0].starts_with("Korvex 3.0|Демонстрационный выпуск 3.2.0.2")) << prompts->asked[0];
    EXPECT_NE(proxy.log().find("/inf"), std::string::npos) << proxy.log();
}

}  // namespace
}  // namespace korvex::test
