#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "platform/codepage.h"
#include "tests/support/recording_update_user_interface.h"
#include "tests/support/recording_url_opener.h"
#include "tests/support/temp_dir.h"
#include "tests/update/update_test_support.h"
#include "update/up_language.h"
#include "update/up_program_settings.h"

namespace korvex::test {
namespace {

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        upSetLanguage(TupUpdaterLanguage::wlEnglish);
        server.addStandardEndpoints();
        addUpdateEndpoints(server, gate);
        server.get("/inf", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(mutex);
            response.set_content(infoFile, "text/plain");
        });
        server.start();
        applyProgramUpdaterSettings(updater, server.baseUrl(), server.baseUrl(), "Korvex 3.0");
        updater.OnlineTest = [] { return true; };
        updater.OnBeginUpgrade = [this](TupUpdater&, const std::string& message, TupUpgradeMethod, TupStringList& files,
                                        bool&) { events.push_back("BeginUpgrade " + message + " " + files.front()); };
        updater.OnLaterUpgrade = [this](TupUpdater&) { events.push_back("LaterUpgrade"); };
        updater.OnNoUpdateAvailable = [this](TupUpdater&) { events.push_back("NoUpdateAvailable"); };
        updater.OnNoInfoFile = [this](TupUpdater&) { events.push_back("NoInfoFile"); };
        updater.OnConnLost = [this](TupUpdater&) { events.push_back("ConnLost"); };
        updater.OnAborted = [this](TupUpdater&) { events.push_back("Aborted"); };
        updater.OnHostUnreachable = [this](TupUpdater&, const std::string& url, const std::string& host) {
            events.push_back("HostUnreachable " + url + " " + host);
        };
    }
    void TearDown() override {
        gate.open();
        upSetLanguage(TupUpdaterLanguage::wlAuto);
    }
    void serve(std::string text) {
        std::lock_guard lock(mutex);
        infoFile = std::move(text);
    }
    // A check without waiting, pumped until it is over.
    void checkAndPump() {
        updater.CheckUpdate(false);
        dispatcher.waitUntil([this] { return !updater.Busy(); });
    }

    Gate gate;
    // What the handler serves goes after the server has stopped (members end in reverse order).
    std::mutex mutex;
    std::string infoFile = "#version=3.2.0.2\r\n#url=http://korvex.invalid/korvex\r\n#message={New speeds}\r\n";
    TestServer server;
    TupPumpedDispatcher dispatcher;
    RecordingUpdateUserInterface prompts;
    RecordingUrlOpener browser;
    TupUpdater updater{dispatcher, &prompts, &browser};
    std::vector<std::string> events;
};

TEST_F(UpdateCheck, WaitingCheckAnswersWithoutAskingOrDownloading) {
    EXPECT_TRUE(updater.CheckUpdate(true));
    EXPECT_EQ(updater.OfferedVersion(), "3.2.0.2");
    EXPECT_EQ(updater.UpgradeMsg(), "New speeds");
    EXPECT_EQ(events, std::vector<std::string>{"BeginUpgrade New speeds http://korvex.invalid/korvex"});
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(server.lastRequest().path, "/inf");
    EXPECT_EQ(server.lastRequest().header("Pragma"), "no-cache");
    EXPECT_EQ(updater.CacheOptions.count(coPragmaNoCache), 0u);

    serve("#version=3.2.0.1\r\n#url=http://korvex.invalid/korvex\r\n");
    EXPECT_FALSE(updater.CheckUpdate(true));  // each check answers for itself
    serve("#version=3.2.0.5\r\n");            // newer, but no file entry
    EXPECT_FALSE(updater.CheckUpdate(true));
    EXPECT_EQ(events.back(), "NoUpdateAvailable");
}

TEST_F(UpdateCheck, OfferedReleaseIsAskedAboutAndLaterIsTold) {
    for (const auto language : {TupUpdaterLanguage::wlEnglish, TupUpdaterLanguage::wlRussian}) {
        upSetLanguage(language);
        prompts.shown.clear();
        serve("#version=3.2.0.2\r\n#url=http://h/korvex\r\n#message={" + utf8ToCp1251("Новые тарифы") + "}\r\n");
        checkAndPump();
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0], language == TupUpdaterLanguage::wlEnglish
                                        ? "question: A newer version of Korvex 3.0 was released.\n\nНовые тарифы\n\n"
                                          "Do you want to update your version with the latest one?"
                                        : "question: Обнаружена новая версия Korvex 3.0 доступная для загрузки.\n\n"
                                          "Новые тарифы\n\nЖелаете обновить программу?");
        EXPECT_EQ(events.back(), "LaterUpgrade");
    }
    // A handler that refuses: no question at all.
    prompts.shown.clear();
    updater.OnBeginUpgrade = [](TupUpdater&, const std::string&, TupUpgradeMethod, TupStringList&, bool& can) {
        can = false;
    };
    checkAndPump();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(events.back(), "LaterUpgrade");
}

// An updater that has no one to ask (korvex-cli's, a program without a window) tells of the
// release and downloads nothing: nobody agreed to it.
TEST_F(UpdateCheck, WithoutAUserInterfaceAnOfferedReleaseIsNotDownloaded) {
    TempDir folder;
    TupUpdater unattended{dispatcher, nullptr, &browser};
    applyProgramUpdaterSettings(unattended, server.baseUrl(), server.baseUrl(), "Korvex 3.0");
    unattended.Folders = update::upFoldersFor(folder.file("korvex"), folder.path().string() + "/");
    unattended.OnLaterUpgrade = [this](TupUpdater&) { events.push_back("LaterUpgrade"); };
    ASSERT_NE(unattended.ShowMessages & upShowMessageBit(TupUpdaterShowMessage::mAskUpgrade), 0);
    serve("#version=3.2.0.2\r\n#url=" + server.url("/file") + "\r\n");
    unattended.CheckUpdate(false);
    dispatcher.waitUntil([&] { return !unattended.Busy(); });
    dispatcher.pumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(events, std::vector<std::string>{"LaterUpgrade"});
    for (const RecordedRequest& request : server.requests()) EXPECT_EQ(request.path, "/inf");
    EXPECT_FALSE(unattended.Upgrading());
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(UpdateCheck, RedirectOpensTheFirstEntryInTheBrowser) {
    prompts.answerUpgrade = true;
    serve("#version=3.3\r\n#method=2\r\n#url=korvex.example/download page\r\n#url1=http://other/\r\n");
    checkAndPump();
    EXPECT_EQ(browser.opened, std::vector<std::string>{"http://korvex.example/download page"});
}

TEST_F(UpdateCheck, EachFailureWithItsBox) {
    struct Case {
        std::string infoUrl;
        std::string event;
        std::string english, russian;  // "" for no box
    };
    const std::string unreachable = "http://127.0.0.1:1";
    const Case cases[] = {
        {server.url("/missing"), "NoInfoFile", "", ""},  // mNoInfoFile is not among the program's boxes
        {server.url("/cut?n=4096&after=10&x="), "ConnLost",
         "Connection with remote server lost.\n\nPlease restore connection and try to\nupgrade this software again "
         "later.",
         "Соединение с удалённым сервером прервано.\n\nПожалуйста восстановите связь и попытайтесь\nобновить "
         "программу снова."},
        {unreachable, "HostUnreachable " + unreachable + "/inf 127.0.0.1",
         "Host http://127.0.0.1 unreachable.\n\nPlease check your Internet connection and\ntry to upgrade this "
         "software again later.",
         "Сервер http://127.0.0.1 вне досягаемости.\n\nПожалуйста проверьте соединение с Интернет и\nпопытайтесь "
         "обновить программу снова."},
    };
    for (const Case& c : cases) {
        for (const auto language : {TupUpdaterLanguage::wlEnglish, TupUpdaterLanguage::wlRussian}) {
            events.clear();
            prompts.shown.clear();
            upSetLanguage(language);
            // InfoFileURL is the base followed by "/inf"; the cases give the whole address.
            updater.InfoFileURL = c.infoUrl == unreachable ? unreachable + "/inf" : c.infoUrl;
            EXPECT_FALSE(updater.CheckUpdate(true)) << c.event;
            EXPECT_EQ(events, std::vector<std::string>{c.event});
            const std::string& text = language == TupUpdaterLanguage::wlEnglish ? c.english : c.russian;
            EXPECT_EQ(prompts.shown, text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text});
        }
    }
    // With mNoInfoFile switched on, its box.
    updater.ShowMessages |= upShowMessageBit(TupUpdaterShowMessage::mNoInfoFile);
    prompts.shown.clear();
    updater.InfoFileURL = server.url("/missing");
    updater.CheckUpdate(true);
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"Файл содержащий информацию об обновлениях этой\nпрограммы не "
                                                      "найден на сайте разработчика."});
}

TEST_F(UpdateCheck, NothingNewerShowsItsBoxExceptForAnAutomaticCheck) {
    serve("#version=3.2.0.1\r\n#url=http://h/korvex\r\n");
    checkAndPump();
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"Newer version not found. You actually are\nusing most recent "
                                                      "version of this program."});
    prompts.shown.clear();
    updater.setAutoCheckDelay(50);
    updater.setAutoCheck(true);
    dispatcher.waitUntil([this] { return !events.empty() && events.back() == "NoUpdateAvailable" && events.size() == 2; });
    EXPECT_TRUE(updater.AutomaticCheck());
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_FALSE(updater.TimerRunning());  // one automatic check that reached the server is enough
}

TEST_F(UpdateCheck, AutomaticCheckRetriesAfterAnUnreachableHostWithoutABox) {
    updater.InfoFileURL = "http://127.0.0.1:1/inf";
    bool online = false;
    int tests = 0;
    updater.OnlineTest = [&] {
        ++tests;
        return online;
    };
    updater.setAutoCheckDelay(30);
    updater.setAutoCheck(true);
    dispatcher.pumpFor(std::chrono::milliseconds(400));
    EXPECT_GT(tests, 1);  // offline: the timer keeps running, nothing is fetched
    EXPECT_TRUE(events.empty());
    online = true;
    dispatcher.waitUntil([this] { return events.size() >= 2; });
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(updater.TimerRunning());
    // The host comes back: the next attempt finds the release.
    updater.InfoFileURL = server.url("/inf");
    dispatcher.waitUntil([this] { return events.back() == "LaterUpgrade"; });
    EXPECT_TRUE(events[events.size() - 2].starts_with("BeginUpgrade"));
    EXPECT_FALSE(updater.TimerRunning());
    updater.setAutoCheck(false);
}

TEST_F(UpdateCheck, ACheckWhileATransferRunsStartsNothingAndStillWaits) {
    updater.InfoFileURL = server.url("/stall");
    updater.CheckUpdate(false);
    ASSERT_TRUE(updater.Busy());
    dispatcher.post([this] { gate.open(); });
    EXPECT_FALSE(updater.CheckUpdate(true));  // waits for the running check, which finds no release
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(events, std::vector<std::string>{"NoUpdateAvailable"});
}

TEST_F(UpdateCheck, PasswordWindowRetriesOrCancelAborts) {
    updater.InfoFileURL = server.url("/basic-auth/korvex/right");
    prompts.credentials = UpCredentials{"korvex", "right"};
    updater.CheckUpdate(true);
    EXPECT_EQ(prompts.shown.front(), "password: right");
    EXPECT_EQ(updater.HTTPUsername(), "korvex");
    EXPECT_EQ(events, std::vector<std::string>{"NoUpdateAvailable"});  // "authorized korvex" offers nothing

    events.clear();
    updater.setHTTPPassword("");
    prompts.credentials.reset();
    updater.CheckUpdate(true);
    EXPECT_EQ(events, std::vector<std::string>{"Aborted"});
    dispatcher.waitUntil([this] { return !updater.Busy(); });
    EXPECT_EQ(events, std::vector<std::string>{"Aborted"});  // the aborted check tells nothing more
}

TEST_F(UpdateCheck, ProgramSettingsAndRestartDetection) {
    EXPECT_EQ(updater.InfoFileURL, server.baseUrl() + "/inf");
    EXPECT_EQ(updater.RestartParams(), " ");
    updater.setRestartParams("");
    EXPECT_EQ(updater.RestartParams(), " ");
    TupHTTPProxy proxy;
    applyUpdateProxy({true, "proxy.example", "3128"}, proxy);
    EXPECT_EQ(proxy.AccessType, atUseProxy);
    EXPECT_EQ(proxy.ProxyServer + ":" + std::to_string(proxy.ProxyPort), "proxy.example:3128");
    applyUpdateProxy({true, "10.0.0.1", ""}, proxy);  // a ticked box without a port: port 0, as before
    EXPECT_EQ(proxy.ProxyServer + ":" + std::to_string(proxy.ProxyPort), "10.0.0.1:0");
    applyUpdateProxy({}, proxy);
    EXPECT_EQ(proxy.AccessType, atDirect);

    int restarts = 0;
    updater.OnAfterRestart = [&](TupUpdater&) { ++restarts; };
    updater.setRestartParams("/afterupdate");
    updater.Loaded({"korvex"});
    updater.Loaded({"korvex", "/AFTERUPDATE"});
    updater.Loaded({"korvex", "x", "/afterupdate"});
    EXPECT_EQ(restarts, 0);
    updater.Loaded({"korvex", "/afterupdate"});
    EXPECT_EQ(restarts, 1);
}

}  // namespace
}  // namespace korvex::test
