#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "platform/codepage.h"
#include "tests/support/recording_update_user_interface.h"
#include "tests/support/recording_url_opener.h"
#include "tests/support/temp_dir.h"
#include "tests/update/update_test_support.h"
#include "update/texts/language.h"
#include "update/updater/previous_version.h"
#include "update/updater/program_settings.h"
#include "update/check/trusted_info.h"

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
        server.get("/to-ftp", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("ftp://127.0.0.1:1/inf");
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

// After an undo the release the user went back from, remembered in Settings.ini, is not offered
// again, nor an older one; a newer one is. Remembering it keeps every other line of the file, and a
// value that is no version number is none.
TEST_F(UpdateCheck, TheUndoneVersionIsNotOfferedUntilANewerOneAppears) {
    TempDir folder;
    const std::string settings = folder.write("Settings.ini", "; mine\r\n[AUTHENTICATION]\r\nCount=Bw\r\n");
    update::rememberUndoneVersion(settings, "3.2.0.5");
    EXPECT_EQ(readFile(settings), "; mine\r\n[AUTHENTICATION]\r\nCount=Bw\r\n[UPDATE]\r\nUndone=3.2.0.5\r\n");
    updater.UndoneVersion = update::readUndoneVersion(settings);
    const struct {
        const char* offered;
        bool taken;
        bool undone;  // held back as undone (not merely as not newer than the running 3.2.0.1)
    } cases[] = {{"3.2.0.5", false, true}, {"3.2.0.3", false, true}, {"3.2.0.1", false, false},
                 {"3.2.0.10", true, false}, {"4", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offered);
        serve(std::string("#version=") + c.offered + "\r\n#url=http://korvex.invalid/korvex\r\n");
        EXPECT_EQ(updater.CheckUpdate(true), c.taken);
        EXPECT_EQ(updater.OfferedUndone(), c.undone);
    }
    for (const char* value : {"3.2.0.2; rm", "", "..", "3.2.0.2.1.1"}) {
        SCOPED_TRACE(value);
        folder.write("Settings.ini", std::string("[UPDATE]\r\nUndone=") + value + "\r\n");
        EXPECT_EQ(update::readUndoneVersion(settings), "");
    }
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

// The first entry is opened when it is a web page; any other scheme (a local file, another
// program's handler) is said and never handed to the desktop's opener.
TEST_F(UpdateCheck, RedirectOpensTheFirstEntryInTheBrowser) {
    prompts.answerUpgrade = true;
    const struct {
        const char* entry;
        const char* opened;  // "" nothing
    } cases[] = {
        {"korvex.example/download page", "http://korvex.example/download page"},
        {"HTTPS://korvex.example/", "HTTPS://korvex.example/"},
        {"file:///home/u/.bashrc", ""},
        {"sftp://korvex.example/x", ""},
        {"javascript://alert", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        browser.opened.clear();
        prompts.shown.clear();
        serve(std::string("#version=3.3\r\n#method=2\r\n#url=") + c.entry + "\r\n#url1=http://other/\r\n");
        checkAndPump();
        EXPECT_EQ(browser.opened,
                  *c.opened ? std::vector<std::string>{c.opened} : std::vector<std::string>{});
        ASSERT_EQ(prompts.shown.size(), *c.opened ? 1u : 2u);
        if (!*c.opened) {
            EXPECT_NE(prompts.shown[1].find(c.entry), std::string::npos) << prompts.shown[1];
        }
    }
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
        {server.url("/to-ftp"), "HostUnreachable " + server.url("/to-ftp") + " 127.0.0.1",
         "The update server redirected to an address that is not http:// or https://; it was not followed.",
         "Сервер обновлений перенаправил на адрес не http:// и не https://; перенаправление не выполнено."},
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

// An info file may be 1 MiB and may take 60 s: a server that sends a gigabyte, announced or not, or
// that drips a byte now and then, ends the check with its own cause, and the program never holds
// more than the limit.
TEST_F(UpdateCheck, InfoFileBoundedInSizeAndTime) {
    constexpr std::int64_t kGigabyte = 1024LL * 1024 * 1024;
    std::atomic<std::int64_t> sent{0};
    auto provide = [&sent](std::size_t offset, httplib::DataSink& sink) {
        static const std::string chunk(64 * 1024, '#');
        if (offset >= static_cast<std::size_t>(kGigabyte)) {
            sink.done();
            return true;
        }
        sent += static_cast<std::int64_t>(chunk.size());
        return sink.write(chunk.data(), chunk.size());
    };
    TestServer big;
    big.get("/announced", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            static_cast<std::size_t>(kGigabyte), "text/plain",
            [&](std::size_t offset, std::size_t, httplib::DataSink& sink) { return provide(offset, sink); });
    });
    big.get("/chunked", [&](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain", provide);
    });
    big.start();
    updater.ShowMessages |= upShowMessageBit(TupUpdaterShowMessage::mNoInfoFile);
    const std::string tooLarge = "The update information is too large (more than 1 MB) and was not read.";
    struct rusage before {};
    getrusage(RUSAGE_SELF, &before);
    for (const char* path : {"/announced", "/chunked"}) {
        SCOPED_TRACE(path);
        events.clear();
        prompts.shown.clear();
        updater.InfoFileURL = big.url(path);
        EXPECT_FALSE(updater.CheckUpdate(true));
        EXPECT_EQ(updater.CheckFailure(), UpCheckFailure::TooLarge);
        EXPECT_EQ(events, std::vector<std::string>{"NoInfoFile"});
        EXPECT_EQ(prompts.shown, std::vector<std::string>{tooLarge});
        EXPECT_LE(updater.BytesRead(), static_cast<std::int64_t>(update::kMaxInfoFileSize));
        EXPECT_LT(sent.load(), 64LL * 1024 * 1024) << "the transfer went on after the limit";
        sent = 0;
    }
    struct rusage after {};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64L * 1024) << "kilobytes more at the peak";

    // Two bytes a second pass the stall rule; the time limit ends it (here 2 s for 60).
    events.clear();
    prompts.shown.clear();
    updater.InfoFileTimeLimit = 2;
    updater.InfoFileURL = server.url("/drip?chunks=1000&ms=500&size=1");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(updater.CheckUpdate(true));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(updater.CheckFailure(), UpCheckFailure::TimedOut);
    EXPECT_EQ(events, std::vector<std::string>{"ConnLost"});
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"The update server did not answer in time."});
    // A server that accepts and never answers: no status, out of time, still its own text.
    events.clear();
    prompts.shown.clear();
    updater.InfoFileURL = server.url("/stall");
    EXPECT_FALSE(updater.CheckUpdate(true));
    EXPECT_EQ(updater.CheckFailure(), UpCheckFailure::TimedOut);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].starts_with("HostUnreachable"));
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"The update server did not answer in time."});
    // The limit is the info file's alone: the settings of the update files are as they were.
    EXPECT_EQ(updater.TimeLimit, 0);
    EXPECT_EQ(updater.MaxMemoryBody, TupCustomHTTP::kDefaultMaxMemoryBody);
}

// What the server writes reaches the question and the program without its control bytes, and a
// version with a blank after it is not newer than itself.
TEST_F(UpdateCheck, ServerTextsLoseTheirControlBytes) {
    serve("#version=3.2.0.2\x7f\r\n#url=http://h/korvex\r\n#message={Line\x1b]0;title\x07\r\nNext}\r\n");
    EXPECT_TRUE(updater.CheckUpdate(true));
    EXPECT_EQ(updater.OfferedVersion(), "3.2.0.2?");
    EXPECT_EQ(updater.UpgradeMsg(), "Line?]0;title?\nNext");
    serve("#version=3.2.0.1 \r\n#url=http://h/korvex\r\n");
    EXPECT_FALSE(updater.CheckUpdate(true));
    EXPECT_EQ(events.back(), "NoUpdateAvailable");
}

// Wizard.Language reaches every box, not only the question; back to automatic, the user's language
// is detected again.
TEST_F(UpdateCheck, WizardLanguageReachesTheBoxesAndAutomaticDetectsAgain) {
    serve("#version=3.2.0.1\r\n#url=http://h/korvex\r\n");
    const char* previous = std::getenv("LC_ALL");
    const std::string kept = previous ? previous : "";
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    updater.Wizard.Language = TupUpdaterLanguage::wlRussian;
    checkAndPump();
    updater.Wizard.Language = TupUpdaterLanguage::wlAuto;
    checkAndPump();
    if (previous)
        ::setenv("LC_ALL", kept.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0],
              "Новая версия не обнаружена. Сейчас вы\nиспользуете последнюю версию этой программы.");
    EXPECT_EQ(prompts.shown[1].substr(0, 30),
              std::string(upText(TupUpdaterLanguage::wlGerman, UpText::NoUpdateAvailable)).substr(0, 30));
}

// An exception in the automatic check's timer step goes to the program's exception handler, and
// without one it is not swallowed.
TEST_F(UpdateCheck, AnExceptionOfTheAutomaticCheckReachesTheProgramsHandler) {
    updater.OnlineTest = []() -> bool { throw std::runtime_error("no network test"); };
    std::vector<std::string> reported;
    updater.OnApplicationException = [&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported.push_back(e.what());
        }
    };
    updater.setAutoCheckDelay(20);
    updater.setAutoCheck(true);
    dispatcher.waitUntil([&] { return !reported.empty(); });
    EXPECT_EQ(reported.front(), "no network test");
    updater.OnApplicationException = nullptr;
    EXPECT_THROW(dispatcher.pumpFor(std::chrono::milliseconds(200)), std::runtime_error);
    updater.setAutoCheck(false);
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
    EXPECT_EQ(events, std::vector<std::string>{"NoInfoFile"});  // what /stall sends is no info file
    EXPECT_EQ(updater.CheckFailure(), UpCheckFailure::NotAnInfoFile);
}

TEST_F(UpdateCheck, PasswordWindowRetriesOrCancelAborts) {
    updater.InfoFileURL = server.url("/basic-auth/korvex/right");
    prompts.credentials = UpCredentials{"korvex", "right"};
    updater.CheckUpdate(true);
    EXPECT_EQ(prompts.shown.front(), "password: right");
    EXPECT_EQ(updater.HTTPUsername(), "korvex");
    EXPECT_EQ(events, std::vector<std::string>{"NoInfoFile"});  // "authorized korvex" is no info file

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
