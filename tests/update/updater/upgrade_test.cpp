// The whole upgrade through the component: a served info file, the files downloaded into their
// ".updtmp" names beside their places, the wizard, and the real embedded helper that replaces the
// program and starts it again. Every folder has a space and non-ASCII letters.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>

#include "tests/support/recording_update_user_interface.h"
#include "tests/support/temp_dir.h"
#include "tests/update/tampered_info_files.h"
#include "tests/update/update_test_support.h"
#include "update/check/integrity.h"
#include "update/install/paths.h"
#include "update/updater/previous_version.h"
#include "update/updater/program_settings.h"

extern char** environ;

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kLastModified = "Wed, 21 Oct 2015 07:28:00 GMT";
constexpr std::time_t kLastModifiedUnix = 1445412480;

// The wizard as the component drives it, with the user's clicks on its finish and cancel buttons.
class WizardUserInterface : public RecordingUpdateUserInterface {
public:
    bool open = false;
    bool finishPageShown = false;
    bool lostFileAnswer = false;  // Yes goes on with the next file
    UpWizardOptions options;
    TupWizardListener* listener = nullptr;
    std::vector<std::string> files;  // "number/count file name"
    std::vector<std::int64_t> fileSizes;
    int lastTotalPercent = -1;

    bool showMessage(const UpMessageBox& box) override {
        RecordingUpdateUserInterface::showMessage(box);
        return box.ownText.empty() && box.flag == TupUpdaterShowMessage::mLostFile && lostFileAnswer;
    }
    void showWizard(const UpWizardOptions& o, TupWizardListener& l) override {
        open = true;
        options = o;
        listener = &l;
    }
    bool isWizardOpen() const override { return open; }
    void wizardFile(const std::string& url, int number, int count) override {
        files.push_back(std::to_string(number) + "/" + std::to_string(count) + " " +
                        update::urlFileName(url));
    }
    void wizardFileStart(std::int64_t size) override { fileSizes.push_back(size); }
    void wizardProgress(int, int total, double, std::int64_t) override { lastTotalPercent = total; }
    void wizardFinishPage() override { finishPageShown = true; }
    void closeWizard() override { open = false; }
    void finish() {
        open = false;
        listener->wizardFinished();
    }
    void cancel() {
        open = false;
        listener->wizardAbortConfirmed();
    }
};

class Upgrade : public ::testing::Test {
protected:
    void SetUp() override {
        upSetLanguage(TupUpdaterLanguage::wlEnglish);
        programFolder = (dir.path() / "Korvex Программа é").string() + "/";
        tempFolder = (dir.path() / "врем tmp").string() + "/";
        dataFolder = (dir.path() / "данные data").string() + "/";
        for (const auto& folder : {programFolder, tempFolder, dataFolder}) fs::create_directories(folder);
        fs::permissions(tempFolder, fs::perms::owner_all);
        setenv("XDG_DATA_HOME", dataFolder.c_str(), 1);
        programPath = programFolder + "korvex";

        addUpdateEndpoints(server, gate);
        server.get("/inf", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(mutex);
            response.set_content(infoFile, "text/plain");
        });
        server.get("/files/(.+)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex);
            const auto found = served.find(request.matches[1].str());
            if (found == served.end()) {
                response.status = 404;
                return;
            }
            response.set_header("Last-Modified", kLastModified);
            response.set_content(found->second, "application/octet-stream");
        });
        server.start();
        applyProgramUpdaterSettings(updater, server.baseUrl(), server.baseUrl(), "Korvex 3.0");
        updater.Folders = update::upFoldersFor(programPath, tempFolder);
        updater.UpdatePublicKey.clear();
        ui.answerUpgrade = true;
        updater.OnAborted = [this](TupUpdater&) { events.push_back("Aborted"); };
        updater.OnNoInfoFile = [this](TupUpdater&) { events.push_back("NoInfoFile"); };
        updater.OnLostFile = [this](TupUpdater&, const std::string& url, int code, bool&) {
            events.push_back("LostFile " + update::urlFileName(url) + " " + std::to_string(code));
        };
        updater.OnFileStart = [this](TupUpdater&, const std::string& url, int, TDateTime, bool& can) {
            events.push_back("FileStart " + update::urlFileName(url) + (can ? " get" : " skip"));
        };
        updater.OnEndUpgrade = [this](TupUpdater&, bool& restart) {
            events.push_back("EndUpgrade");
            restart = handOver;
        };
    }
    void TearDown() override {
        gate.open();
        upSetLanguage(TupUpdaterLanguage::wlAuto);
    }

    void serve(std::string info, std::map<std::string, std::string> files = {}) {
        std::lock_guard lock(mutex);
        infoFile = std::move(info);
        served = std::move(files);
    }
    std::string url(const std::string& name) const { return server.url("/files/" + name); }
    // Pumps the user-interface loop until `done` (false when 30 s passed first).
    bool pumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            dispatcher.pumpFor(10ms);
        }
        return true;
    }
    // Checks, answers Yes and pumps until the upgrade has stopped or shows its finish page.
    bool checkAndDownload() {
        updater.CheckUpdate(false);
        return pumpUntil([this] { return ui.finishPageShown || (!updater.Busy() && !updater.Upgrading()); });
    }
    int fileRequests() const {
        int n = 0;
        for (const auto& r : server.requests()) n += r.path.starts_with("/files/") ? 1 : 0;
        return n;
    }
    static bool exists(const std::string& path) { return fs::exists(path); }
    static void install(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
        std::ofstream(path, std::ios::binary) << bytes;
        ::chmod(path.c_str(), mode);
    }

    TempDir dir;
    std::string programFolder, tempFolder, dataFolder, programPath;
    Gate gate;
    // What the handlers serve goes after the server has stopped (members end in reverse order).
    std::mutex mutex;
    std::string infoFile;
    std::map<std::string, std::string> served;
    TestServer server;
    TupPumpedDispatcher dispatcher;
    WizardUserInterface ui;
    TupUpdater updater{dispatcher, &ui, nullptr};
    std::vector<std::string> events;
    bool handOver = false;
};

pid_t spawn(const std::string& path, std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// A signed info file offers a new build of a running program, a data file for %appdata% and a
// library at a relative path. All three are fetched with the wizard; its finish button hands over
// to the embedded helper, the program closes, and the helper puts everything in place and starts
// the new program with the restart parameters.
TEST_F(Upgrade, SignedUpgradeReplacesTheRunningProgramAndRestartsIt) {
    const std::string oldProgram = readFile(KORVEX_FAKE_PROGRAM_PATH);
    const std::string newProgram = oldProgram + std::string(4096, 'N');  // still runs
    ASSERT_FALSE(oldProgram.empty());
    install(programPath, oldProgram, 0750);
    const std::string release = programFolder + "closed";
    const pid_t running = spawn(programPath, {"--hold", release});
    ASSERT_GT(running, 0);

    const std::map<std::string, std::string> files{
        {"korvex", newProgram}, {"a.dat", "new data"}, {"b.dll", "library"}};
    const std::string plain = "#version=3.2.0.2\r\n#url=" + url("korvex") + "\r\n#url2=" + url("a.dat") +
                              "=%APPDATA%\\Sub\\a.dat\r\n#url3=" + url("b.dll") +
                              "=sub\\b.dll\r\n#message={Faster}\r\n";
    const auto keys = update::generateKeyPair();
    ASSERT_TRUE(keys);
    const auto digested = update::withDigests(plain, [&files](const std::string&, const std::string& u) {
        return std::optional<std::string>(update::sha256Hex(files.at(update::urlFileName(u))));
    });
    ASSERT_TRUE(digested);
    const auto signedInfo =
        update::signInfoText(*digested, keys->privatePem, update::isoDateAfterDays(std::time(nullptr), 30));
    ASSERT_TRUE(signedInfo);
    serve(*signedInfo, files);
    updater.UpdatePublicKey = keys->publicHex;
    updater.setRestartParams("/afterupdate");
    updater.Wizard.Pic118x218 = "side.png";
    handOver = true;
    updater.CloseApplication = [&] { install(release, "", 0600); };

    ASSERT_TRUE(checkAndDownload());
    ASSERT_TRUE(ui.finishPageShown) << ::testing::PrintToString(ui.shown);
    EXPECT_EQ(ui.files, (std::vector<std::string>{"1/3 korvex", "2/3 a.dat", "3/3 b.dll"}));
    EXPECT_EQ(ui.fileSizes, (std::vector<std::int64_t>{static_cast<std::int64_t>(newProgram.size()), 8, 7}));
    EXPECT_EQ(ui.lastTotalPercent, 100);
    EXPECT_TRUE(ui.options.hideFileLocation);
    EXPECT_EQ(ui.options.pictureFile, "side.png");
    EXPECT_EQ(ui.options.applicationTitle, "Korvex 3.0");
    EXPECT_EQ(readFile(programPath + ".updtmp"), newProgram);
    EXPECT_EQ(readFile(dataFolder + "Sub/a.dat.updtmp"), "new data");
    struct stat st {};
    ASSERT_EQ(::stat((programFolder + "sub/b.dll.updtmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, kLastModifiedUnix);     // the server's Last-Modified
    EXPECT_EQ(readFile(programPath), oldProgram);  // nothing replaced before the program ends

    ui.finish();
    EXPECT_EQ(events, std::vector<std::string>({"FileStart korvex get", "FileStart a.dat get",
                                                "FileStart b.dll get", "EndUpgrade"}));
    int status = 0;
    ASSERT_EQ(waitpid(running, &status, 0), running);
    const std::string report = programPath + ".report";
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while ((!exists(report) || exists(tempFolder + "UpdateQueue.txt")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(readFile(report), "size=" + std::to_string(newProgram.size()) + "\narg=/afterupdate\n");
    EXPECT_EQ(readFile(programPath), newProgram);
    EXPECT_EQ(fs::status(programPath).permissions() & fs::perms::all, fs::perms(0750));
    EXPECT_EQ(readFile(dataFolder + "Sub/a.dat"), "new data");
    EXPECT_EQ(readFile(programFolder + "sub/b.dll"), "library");
    EXPECT_FALSE(exists(tempFolder + "UpdateQueue.txt"));
    EXPECT_FALSE(exists(programPath + ".updtmp"));
    EXPECT_FALSE(exists(dataFolder + "Sub/a.dat.updtmp"));
    // What it replaced is kept under both versions for the way back, and the first start tells what is new.
    const auto kept = update::keptPreviousVersion(updater.Folders);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->previous + " -> " + kept->running, "3.2.0.1 -> 3.2.0.2");
    EXPECT_EQ(update::releaseNews(programFolder, NoticeLanguage::English, true),
              "Korvex now runs version 3.2.0.2, installed by the last update.\nWhat is new:\nFaster");
}

// With mfuOnlyIfSizeDifferent a file of the same size is skipped (and a stale ".updtmp" beside it
// deleted, so the helper cannot install it); the program's own executable is always fetched.
// Upgrading() holds from the download to the finish page, and not once the upgrade is finished:
// a new check may start then, and the component's end deletes no finished files.
TEST(UpdatePhase, UpgradingIsTheDownloadAndTheFinishPage) {
    const struct {
        UpPhase phase;
        bool upgrading;
    } cases[] = {
        {UpPhase::Idle, false},        {UpPhase::Checking, false},   {UpPhase::Decided, false},
        {UpPhase::Downloading, true},  {UpPhase::FinishPage, true},  {UpPhase::Finished, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isUpgradingPhase(c.phase), c.upgrading) << static_cast<int>(c.phase);
}

TEST_F(Upgrade, PhasesFromTheCheckToTheFinishedUpgrade) {
    install(programPath, "program");
    serve("#version=3.2.0.2\r\n#url=" + url("korvex") + "\r\n", {{"korvex", "PROGRAM"}});
    std::vector<std::pair<UpPhase, bool>> seen;
    const auto note = [&] { seen.emplace_back(updater.Phase(), updater.Upgrading()); };
    updater.OnBeginUpgrade = [&](TupUpdater&, const std::string&, TupUpgradeMethod, TupStringList&, bool&) {
        note();
    };
    updater.OnFileStart = [&](TupUpdater&, const std::string&, int, TDateTime, bool&) { note(); };
    updater.OnEndUpgrade = [&](TupUpdater&, bool& restart) {
        note();
        restart = false;
    };
    updater.CheckUpdate(false);
    note();
    ASSERT_TRUE(pumpUntil([this] { return ui.finishPageShown; }));
    note();
    ui.finish();
    using enum UpPhase;
    EXPECT_EQ(seen, (std::vector<std::pair<UpPhase, bool>>{
                        {Checking, false}, {Decided, false}, {Downloading, true}, {FinishPage, true},
                        {Finished, false}}));
    // A new check and its abort leave the finished upgrade's files alone.
    updater.CheckUpdate(false);
    EXPECT_EQ(updater.Phase(), Checking);
    updater.AbortUpgrade();
    EXPECT_EQ(updater.Phase(), Idle);
    EXPECT_EQ(readFile(programPath + ".updtmp"), "PROGRAM");
}

TEST_F(Upgrade, SizeEqualFilesAreSkipped) {
    install(programPath, "program");
    fs::create_directories(dataFolder + "Sub");
    install(dataFolder + "Sub/a.dat", "old data");
    install(dataFolder + "Sub/a.dat.updtmp", "stale, half");
    install(programFolder + "b.dll", "old");
    serve("#version=3.2.0.2\r\n#url=" + url("korvex") + "\r\n#url2=" + url("a.dat") +
              "=%appdata%Sub/a.dat\r\n#url3=" + url("b.dll") + "\r\n",
          {{"korvex", "PROGRAM"}, {"a.dat", "new data"}, {"b.dll", "library"}});
    updater.MiscFilesUpgrade = mfuOnlyIfSizeDifferent;
    updater.Wizard.Enabled = false;
    updater.Wizard.Language = TupUpdaterLanguage::wlRussian;

    ASSERT_TRUE(checkAndDownload());
    EXPECT_EQ(events, std::vector<std::string>({"FileStart korvex get", "FileStart a.dat skip",
                                                "FileStart b.dll get", "EndUpgrade"}));
    EXPECT_FALSE(ui.open);
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_TRUE(ui.shown[0].starts_with("question: Обнаружена новая версия Korvex 3.0")) << ui.shown[0];
    EXPECT_EQ(readFile(programPath + ".updtmp"), "PROGRAM");
    EXPECT_FALSE(exists(dataFolder + "Sub/a.dat.updtmp"));
    EXPECT_EQ(readFile(programFolder + "b.dll.updtmp"), "library");
}

// A file that cannot be had or cannot be trusted is a lost file: the question, then the next
// file on Yes or the abort on No. A refused file is never left where the helper would find it.
TEST_F(Upgrade, LostFiles) {
    const struct {
        const char* name;
        std::string entries;  // after "#url="
        std::string extra;    // further keys
        bool answer;
        std::vector<std::string> events;
        bool programFetched;
    } cases[] = {
        {"digest mismatch, No",
         url("korvex"),
         "#url.sha256=" + std::string(64, '0') + "\r\n",
         false,
         {"FileStart korvex get", "LostFile korvex 0", "Aborted"},
         false},
        {"server has no file, Yes",
         url("missing") + "\r\n#url2=" + url("korvex"),
         "",
         true,
         {"LostFile missing 404", "FileStart korvex get", "EndUpgrade"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        ui.shown.clear();
        ui.finishPageShown = false;
        ui.lostFileAnswer = c.answer;
        install(programPath + ".updtmp", "stale");
        serve("#version=3.2.0.2\r\n#url=" + c.entries + "\r\n" + c.extra, {{"korvex", "PROGRAM"}});
        ASSERT_TRUE(checkAndDownload());
        if (ui.finishPageShown) ui.finish();
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(readFile(programPath + ".updtmp"), c.programFetched ? "PROGRAM" : "");
        EXPECT_FALSE(ui.open);
        ASSERT_FALSE(ui.shown.empty());
        EXPECT_NE(ui.shown.back().find("not found or inaccessible"), std::string::npos);
    }
}

// Cancel in the middle of a download, confirmed: every ".updtmp" of the upgrade goes, also those
// outside the program folder, and the program stays as it was.
TEST_F(Upgrade, CancelDeletesTheTemporaryFiles) {
    install(programPath, "program");
    serve("#version=3.2.0.2\r\n#url=" + url("a.dat") +
              "=%appdata%Sub/a.dat\r\n#url2=" + server.url("/stall-body") + "\r\n",
          {{"a.dat", "new data"}});
    updater.CheckUpdate(false);
    ASSERT_TRUE(pumpUntil([this] { return ui.files.size() == 2 && ui.lastTotalPercent >= 50; }));
    EXPECT_TRUE(exists(dataFolder + "Sub/a.dat.updtmp"));
    ASSERT_TRUE(pumpUntil([this] { return exists(programFolder + "stall-body.updtmp"); }));
    ui.cancel();
    EXPECT_EQ(events,
              std::vector<std::string>({"FileStart a.dat get", "FileStart stall-body get", "Aborted"}));
    EXPECT_FALSE(updater.Busy());
    EXPECT_FALSE(exists(dataFolder + "Sub/a.dat.updtmp"));
    EXPECT_FALSE(exists(programFolder + "stall-body.updtmp"));
    EXPECT_EQ(readFile(programPath), "program");
    dispatcher.pumpFor(50ms);
    EXPECT_FALSE(exists(programFolder + "stall-body.updtmp"));
}

// A file server that cannot be reached stops the upgrade with its box (not as an abort): the
// wizard closes and what was downloaded goes.
TEST_F(Upgrade, UnreachableFileServerStopsTheUpgrade) {
    serve("#version=3.2.0.2\r\n#url=" + url("a.dat") + "\r\n#url2=http://127.0.0.1:1/korvex\r\n",
          {{"a.dat", "new data"}});
    ASSERT_TRUE(checkAndDownload());
    EXPECT_EQ(events, std::vector<std::string>{"FileStart a.dat get"});
    EXPECT_FALSE(ui.open);
    EXPECT_FALSE(ui.finishPageShown);
    EXPECT_TRUE(ui.shown.back().starts_with("Host http://127.0.0.1 unreachable.")) << ui.shown.back();
    EXPECT_FALSE(exists(programFolder + "a.dat.updtmp"));
}

// A program that ends in the middle of a download (its window closed) leaves no ".updtmp" behind.
TEST_F(Upgrade, ComponentGoingMidDownloadDeletesTheTemporaryFiles) {
    serve("#version=3.2.0.2\r\n#url=" + server.url("/stall-body") + "\r\n");
    {
        TupUpdater going{dispatcher, &ui, nullptr};
        applyProgramUpdaterSettings(going, server.baseUrl(), server.baseUrl(), "Korvex 3.0");
        going.Folders = update::upFoldersFor(programPath, tempFolder);
        going.CheckUpdate(false);
        ASSERT_TRUE(pumpUntil([this] { return exists(programFolder + "stall-body.updtmp"); }));
        EXPECT_TRUE(ui.open);
    }
    EXPECT_FALSE(ui.open);
    EXPECT_FALSE(exists(programFolder + "stall-body.updtmp"));
}

// Under a key, an info file that is unsigned, changed after signing, carries keys its signature
// does not cover, or has expired is no info file: its event, a box that says why, and nothing is
// downloaded.
TEST_F(Upgrade, UntrustedInfoFileDownloadsNothing) {
    const auto keys = update::generateKeyPair();
    const auto otherKeys = update::generateKeyPair();
    ASSERT_TRUE(keys && otherKeys);
    const std::string plain = "#version=3.2.0.2\r\n#url=" + url("korvex") + "\r\n";
    const auto digested = update::withDigests(plain, [](const std::string&, const std::string&) {
        return std::optional<std::string>(update::sha256Hex("PROGRAM"));
    });
    ASSERT_TRUE(digested);
    updater.UpdatePublicKey = keys->publicHex;
    updater.ShowMessages |= upShowMessageBit(TupUpdaterShowMessage::mNoInfoFile);
    for (const auto& c : test::tamperedInfoFiles(*digested, *keys, *otherKeys, url("evil"))) {
        SCOPED_TRACE(c.what);
        events.clear();
        serve(c.text, {{"korvex", "PROGRAM"}, {"evil", "EVIL"}});
        ASSERT_TRUE(checkAndDownload());
        EXPECT_EQ(updater.InfoFileTrust(), c.trust);
        EXPECT_EQ(events, std::vector<std::string>{"NoInfoFile"});
        const bool expired = c.trust == update::InfoTrust::Expired || c.trust == update::InfoTrust::NoExpiry;
        EXPECT_EQ(ui.shown.back(), expired ? "The update information has expired and was not used."
                                           : "The update information is not signed by the publisher of this "
                                             "program and was not used.");
        EXPECT_FALSE(updater.UpdateAvailable());
        EXPECT_TRUE(updater.Files().empty());
    }
    EXPECT_EQ(fileRequests(), 0);
}

// A copy the user cannot update (a system-wide install, a folder without write access) is said
// in one box before anything is fetched.
TEST_F(Upgrade, ProgramFolderThatCannotBeWrittenIsRefusedUpFront) {
    const std::string readOnly = programFolder + "ro/";
    fs::create_directories(readOnly);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    const char* folders[] = {"/usr/lib/korvex/", "/proc/self/", readOnly.c_str()};
    serve("#version=3.2.0.2\r\n#url=" + url("korvex") + "\r\n", {{"korvex", "PROGRAM"}});
    for (const char* folder : folders) {
        SCOPED_TRACE(folder);
        if (geteuid() == 0 && folder == readOnly.c_str()) continue;  // root writes there anyway
        ui.shown.clear();
        updater.Folders = update::upFoldersFor(std::string(folder) + "korvex", tempFolder);
        ASSERT_TRUE(checkAndDownload());
        ASSERT_EQ(ui.shown.size(), 2u);  // the question, then the one box
        EXPECT_NE(ui.shown[1].find("updated by the system's package manager"), std::string::npos);
        EXPECT_FALSE(ui.open);
        EXPECT_FALSE(updater.Upgrading());
    }
    // The box speaks the dialogs' language and still gives the reason.
    upSetLanguage(TupUpdaterLanguage::wlGerman);
    ui.shown.clear();
    updater.Folders = update::upFoldersFor("/usr/lib/korvex/korvex", tempFolder);
    ASSERT_TRUE(checkAndDownload());
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_TRUE(ui.shown[1].starts_with("Diese Kopie des Programms wird von der Paketverwaltung des Systems "
                                        "aktualisiert.\n\n"))
        << ui.shown[1];
    EXPECT_GT(ui.shown[1].size(), upText(TupUpdaterLanguage::wlGerman, UpText::PackageManaged).size() + 2);
    EXPECT_EQ(fileRequests(), 0);
    fs::permissions(readOnly, fs::perms::owner_all);
}

// Entries that would write outside the program folder and the macros' folders, or into a dot
// file, refuse the whole info file before anything is fetched, signed or not: the box and the
// event name the entry, and nothing is written anywhere (the home folder is the test's own).
TEST_F(Upgrade, EscapingEntriesRefuseTheWholeInfoFile) {
    const std::string home = (dir.path() / "дом home").string() + "/";
    fs::create_directories(home + ".config");
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + ".config").c_str(), 1);
    const std::string outside = (dir.path() / "outside").string();
    const std::string entries[] = {
        "../escaped",
        outside,
        "%mydocuments%.bashrc",
        "%appdata%../../.config/autostart/evil.desktop",
        "%desktop%..\\..\\.profile",
        "C:\\Korvex\\korvex",
    };
    const auto keys = update::generateKeyPair();
    ASSERT_TRUE(keys);
    for (const bool withKey : {false, true}) {
        updater.UpdatePublicKey = withKey ? keys->publicHex : "";
        for (const auto& entry : entries) {
            SCOPED_TRACE(entry + (withKey ? " signed" : " unsigned"));
            events.clear();
            ui.shown.clear();
            const std::string plain = "#version=3.2.0.2\r\n#url=" + url("korvex") +
                                      "\r\n#url2=" + url("evil") + "=" + entry + "\r\n";
            std::string info = plain;
            if (withKey) {
                const auto digested = update::withDigests(plain, [](const std::string&, const std::string&) {
                    return std::optional<std::string>(update::sha256Hex("EVIL"));
                });
                ASSERT_TRUE(digested);
                info = *update::signInfoText(*digested, keys->privatePem,
                                              update::isoDateAfterDays(std::time(nullptr), 30));
            }
            serve(info, {{"korvex", "EVIL"}, {"evil", "EVIL"}});
            ASSERT_TRUE(checkAndDownload());
            EXPECT_EQ(events, std::vector<std::string>{"NoInfoFile"});
            EXPECT_EQ(updater.RefusedEntry(), url("evil") + "=" + entry);
            ASSERT_EQ(ui.shown.size(), 1u) << "asked about an info file that is refused";
            EXPECT_TRUE(ui.shown[0].starts_with("The update information names a file outside the folders"))
                << ui.shown[0];
            EXPECT_NE(ui.shown[0].find(entry), std::string::npos);
            EXPECT_FALSE(updater.UpdateAvailable());
        }
    }
    setenv("HOME", savedHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(fileRequests(), 0);
    EXPECT_FALSE(exists(outside)) << "written outside";
    EXPECT_FALSE(exists(outside + ".updtmp"));
    EXPECT_FALSE(exists(dir.path() / "escaped.updtmp"));
    EXPECT_FALSE(exists(home + ".bashrc.updtmp"));
    EXPECT_FALSE(exists(home + "Documents"));
    EXPECT_FALSE(exists(home + ".config/autostart"));
    EXPECT_FALSE(exists(programPath + ".updtmp"));
}

// A link planted at a ".updtmp" name, in the program folder or at a queued place, is replaced by
// the downloaded file: the file the link points to keeps its bytes.
TEST_F(Upgrade, LinkAtATemporaryNameIsReplacedNotFollowed) {
    fs::create_directories(dataFolder + "Sub");
    const std::string victims[] = {dir.write("victim one", "victim"), dir.write("victim two", "victim")};
    fs::create_symlink(victims[0], programPath + ".updtmp");
    fs::create_symlink(victims[1], dataFolder + "Sub/a.dat.updtmp");
    fs::create_symlink(dir.file("victim three"), programFolder + "b.dll.updtmp");  // a dangling one
    serve("#version=3.2.0.2\r\n#url=" + url("korvex") + "\r\n#url2=" + url("a.dat") +
              "=%appdata%Sub/a.dat\r\n#url3=" + url("b.dll") + "\r\n",
          {{"korvex", "PROGRAM"}, {"a.dat", "new data"}, {"b.dll", "library"}});
    updater.Wizard.Enabled = false;
    ASSERT_TRUE(checkAndDownload());
    EXPECT_EQ(events.back(), "EndUpgrade");
    for (const auto& victim : victims) EXPECT_EQ(readFile(victim), "victim");
    EXPECT_FALSE(exists(dir.file("victim three")));
    for (const auto& [temp, bytes] : {std::pair<std::string, std::string>{programPath + ".updtmp", "PROGRAM"},
                                      {dataFolder + "Sub/a.dat.updtmp", "new data"},
                                      {programFolder + "b.dll.updtmp", "library"}}) {
        EXPECT_FALSE(fs::is_symlink(temp)) << temp;
        EXPECT_EQ(readFile(temp), bytes);
    }
}

// A downloaded file that cannot be written says so, with the file's name and the system's reason,
// never as a missing file or a lost connection; the upgrade stops and leaves no temporaries. The
// full disk is a file-size limit one byte short of the file, so only its last write fails: the
// flush of the write buffer when the file is closed.
TEST_F(Upgrade, WriteFailureIsSaidWithTheFileAndTheReason) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        const char* reason;
        bool started;  // the server was asked for the file
    } cases[] = {
        {"name taken by a folder", [this] { fs::create_directories(programFolder + "a.dat.updtmp/inside"); },
         "Is a directory", true},
        {"full disk at the last flush",
         [] {
             std::signal(SIGXFSZ, SIG_IGN);
             const rlimit limit{fileResource().size() - 1, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &limit);
         },
         "File too large", true},
        {"folder that cannot be made",
         [this] { install(programFolder + "sub", "a file where the folder goes"); }, "Not a directory",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        ui.shown.clear();
        const std::string entry = std::string(c.name) == "folder that cannot be made" ? "=sub\\a.dat" : "";
        serve("#version=3.2.0.2\r\n#url=" + url("b.dll") + "\r\n#url2=" + url("a.dat") + entry + "\r\n",
              {{"b.dll", "library"}, {"a.dat", fileResource()}});
        updater.Wizard.Enabled = false;
        c.arrange();
        const bool stopped = checkAndDownload();
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &unlimited);
        ASSERT_TRUE(stopped);
        EXPECT_EQ(events, c.started ? std::vector<std::string>(
                                          {"FileStart b.dll get", "FileStart a.dat get", "Aborted"})
                                    : std::vector<std::string>({"FileStart b.dll get", "Aborted"}));
        ASSERT_EQ(ui.shown.size(), 2u);
        EXPECT_TRUE(ui.shown[1].starts_with("A file of the update could not be written")) << ui.shown[1];
        EXPECT_NE(ui.shown[1].find("a.dat"), std::string::npos) << ui.shown[1];
        EXPECT_NE(ui.shown[1].find(c.reason), std::string::npos) << ui.shown[1];
        EXPECT_FALSE(exists(programFolder + "b.dll.updtmp"));
        EXPECT_FALSE(fs::is_regular_file(programFolder + "a.dat.updtmp"));
        fs::remove_all(programFolder + "a.dat.updtmp");
        fs::remove_all(programFolder + "sub");
    }
}

}  // namespace
}  // namespace korvex::test
