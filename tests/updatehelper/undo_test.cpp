// Going back to the version the last update replaced, with the real helper over real files: the
// update keeps what it replaces, the undo puts every file back or none, and a kept folder that is
// not the program's own is refused whole. Folders have spaces and non-ASCII letters; the program
// folder lies two levels down, so that a folder beside "Programs é" is outside every macro's folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "update/install/handover.h"
#include "update/install/helper_image.h"
#include "update/updater/previous_version.h"
#include "updatehelper/helper_install.h"
#include "updatehelper/kept_version.h"
#include "updatehelper/program_wait.h"

namespace korvex::update {

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit);
pid_t spawn(const std::string& path, std::vector<std::string> args);
int exitStatus(pid_t pid);
int runWith(const std::string& path, std::vector<std::string> args,
            const std::vector<std::string>& extraEnvironment, const std::string& errFile,
            const std::string& outFile = "/dev/null");

namespace {

namespace fs = std::filesystem;
using updatehelper::kKeptFolderName;
using updatehelper::kReleaseNoteName;

class Undo : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& folder : {programFolder, dataFolder, tempFolder, outside})
            fs::create_directories(folder);
        fs::permissions(tempFolder, fs::perms::owner_all);
        oldProgram = test::readFile(KORVEX_FAKE_PROGRAM_PATH);
    }

    static void put(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
        std::ofstream(path, std::ios::binary) << bytes;
        ::chmod(path.c_str(), mode);
    }

    // The release in place: the program, a library beside it, a data file and a file elsewhere.
    void installOld(const std::string& program) {
        put(programPath, program, 0750);
        put(programFolder + "a.so", "old a");
        put(dataFolder + "q.dat", "old q");
        put(outside + "precious.txt", "the user's");
    }

    // The update as the helper installs it: the program and the library replaced, the queued data
    // file too, one file added; korvex's note names the versions and the message.
    void update(const std::string& newProgram) {
        put(programPath + ".updtmp", newProgram);
        put(programFolder + "a.so.updtmp", "new a");
        put(programFolder + "added.txt.updtmp", "added");
        put(dataFolder + "q.dat.updtmp", "new q");
        put(queuePath, dataFolder + "q.dat\r\n", 0600);
        ASSERT_TRUE(updatehelper::writeReleaseNote(tempFolder + kReleaseNoteName,
                                                   {"3.1", "3.0", "", false, "Faster"}));
        updatehelper::HelperRequest request{programPath, programFolder, " ", false, false};
        std::ostringstream log;
        ASSERT_TRUE(
            updatehelper::installFiles(updatehelper::readQueue(queuePath), queuePath, request, true, log)
                .installed)
            << log.str();
        ASSERT_EQ(test::readFile(programFolder + "added.txt"), "added");
    }

    // Every file below the test's folder but the private temporary one, with its bytes ("-> target"
    // for a link; a program's as its size and hash); what the started program reports of itself and
    // the release note left out.
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> found;
        for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::recursive_directory_iterator();
             ++it) {
            const std::string path = it->path().string();
            if (path.starts_with(tempFolder.substr(0, tempFolder.size() - 1))) {
                it.disable_recursion_pending();
                continue;
            }
            if (path.ends_with(".report") || path.ends_with(".signals") || path.ends_with(kReleaseNoteName))
                continue;
            if (it->is_symlink())
                found[path] = "-> " + fs::read_symlink(it->path()).string();
            else if (it->is_regular_file())
                found[path] = shortly(test::readFile(path));
            else
                found[path] = "folder";
        }
        return found;
    }

    // A program's bytes as their size and hash, so that a failure prints something readable.
    static std::string shortly(const std::string& bytes) {
        if (bytes.size() <= 64) return bytes;
        return std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(bytes));
    }

    UpFolders folders() const { return upFoldersFor(programPath, tempFolder); }

    test::TempDir dir;
    std::string programFolder = dir.file("Programs é/Korvex Программа") + "/";
    std::string dataFolder = dir.file("Programs é/Данные") + "/";
    std::string tempFolder = dir.file("врем tmp") + "/";
    std::string outside = dir.file("elsewhere") + "/";
    std::string programPath = programFolder + "korvex";
    std::string queuePath = tempFolder + "UpdateQueue.txt";
    std::string kept = programFolder + kKeptFolderName + "/";
    std::string oldProgram;
};

// Update, then undo through the helper korvex starts: the old files come back byte for byte, the
// file the update added is gone, nothing of the kept version or the transaction stays, the program
// is started again, and the first start says once which version runs and which was undone.
TEST_F(Undo, UpdateThenUndoGivesTheOldFilesBack) {
    installOld(oldProgram);
    const auto before = files();
    update(oldProgram + std::string(4096, 'N'));
    struct stat st {};
    ASSERT_EQ(::lstat((programFolder + kKeptFolderName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const auto offered = keptPreviousVersion(folders());
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->running + " " + offered->previous, "3.1 3.0");
    EXPECT_EQ(releaseNews(programFolder, NoticeLanguage::English, true),
              "Korvex now runs version 3.1, installed by the last update.\nWhat is new:\nFaster");

    std::string error;
    ASSERT_TRUE(handOverUndo(folders(), "/afterundo", &error)) << error;
    ASSERT_TRUE(
        waitFor([&] { return !test::readFile(programPath + ".report").empty(); }, std::chrono::seconds(30)))
        << "the program was not started again";
    EXPECT_EQ(test::readFile(programPath + ".report"),
              "size=" + std::to_string(oldProgram.size()) + "\narg=/afterundo\n");
    EXPECT_EQ(files(), before);
    EXPECT_EQ(fs::status(programPath).permissions() & fs::perms::all, fs::perms(0750));
    EXPECT_FALSE(keptPreviousVersion(folders()));
    EXPECT_EQ(
        releaseNews(programFolder, NoticeLanguage::English, true),
        "Korvex runs version 3.0 again: the update to 3.1 was undone, and it is not offered again until a "
        "newer version appears.");
    EXPECT_EQ(releaseNews(programFolder, NoticeLanguage::English, true), "") << "said more than once";
}

// The helper killed (SIGKILL) right after the first file of the undo was put back: the next start
// (korvex-cli from the program folder) settles it, all old when every kept copy is still staged,
// all new when one is gone; then the kept version is gone, or still there to try again.
TEST_F(Undo, KilledMidUndoIsAllOldOrAllNewAtTheNextStart) {
    const std::string oldCli = test::readFile(KORVEX_CLI_EXECUTABLE);
    const std::string newCli = oldCli + std::string(4096, 'N');
    const struct {
        const char* name;
        const char* lost;  // a staged copy lost after the kill; "" none
        bool old;
        const char* note;
    } cases[] = {
        {"every kept copy staged", "", true,
         "An interrupted undo has been completed; the previous version is in place."},
        {"a staged copy lost", "a.so.updtmp", false,
         "An interrupted undo has been taken back; the version of the last update is in place."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(programFolder);
        fs::create_directories(programFolder);
        installOld(oldCli);
        const auto oldFiles = files();
        update(newCli);
        const auto newFiles = files();
        ASSERT_TRUE(writeUpdateHelper(folders().helperPath));
        const std::string err = tempFolder + "stderr";
        const int helper =
            runWith(folders().helperPath, updatehelper::undoHelperArguments(programPath, " "),
                    {std::string("LD_PRELOAD=") + KORVEX_KILL_AFTER_RENAME_PATH,
                     "KORVEX_TEST_KILL_AFTER_RENAMES=1", "ASAN_OPTIONS=verify_asan_link_order=0"},
                    err);
        ASSERT_TRUE(WIFSIGNALED(helper) && WTERMSIG(helper) == SIGKILL)
            << helper << " " << test::readFile(err);
        ASSERT_EQ(test::readFile(dataFolder + "q.dat"), "old q") << "the first file was not put back";
        ASSERT_EQ(test::readFile(programFolder + "a.so"), "new a");
        if (*c.lost) fs::remove(programFolder + c.lost);

        const int start = runWith(programPath, {"--help"}, {"LC_ALL=C"}, err);
        EXPECT_TRUE(WIFEXITED(start) && WEXITSTATUS(start) == 0) << start;
        EXPECT_EQ(test::readFile(err), std::string("korvex-cli: ") + c.note + "\n");
        if (c.old) {
            EXPECT_EQ(files(), oldFiles) << "not all old";
        } else {
            EXPECT_EQ(files(), newFiles) << "not all new";
            EXPECT_TRUE(keptPreviousVersion(folders()))
                << "the kept version was lost with the undo taken back";
        }
    }
}

// A kept folder that is not the program's own is refused with one line, and nothing at all changes:
// no file put back, none taken away, the folder itself left as it was.
TEST_F(Undo, ATamperedKeptFolderIsRefusedWholeAndNothingIsTouched) {
    const std::string precious = outside + "precious.txt";
    const struct {
        const char* what;
        std::function<bool(const std::string& kept)> tamper;  // false: cannot be made here
    } cases[] = {
        {"a link inside",
         [&](const std::string& k) {
             fs::remove(k + "1");
             fs::create_symlink(precious, k + "1");
             return true;
         }},
        {"a folder inside", [](const std::string& k) { return fs::create_directory(k + "sub"); }},
        {"a path outside",
         [&](const std::string& k) {
             std::ofstream(k + "files.txt", std::ios::app) << "N " << precious << "\n";
             return true;
         }},
        {"a path climbing out",
         [&](const std::string& k) {
             std::ofstream(k + "files.txt", std::ios::app)
                 << "N " << programFolder << "../../elsewhere/precious.txt\n";
             return true;
         }},
        {"the folder a link",
         [&](const std::string& k) {
             fs::rename(k, outside + "kept");
             fs::create_directory_symlink(outside + "kept", k.substr(0, k.size() - 1));
             return true;
         }},
        {"open to others", [](const std::string& k) { return ::chmod(k.c_str(), 0755) == 0; }},
        // Only root can give a folder away; elsewhere this case is skipped.
        {"another user's folder", [](const std::string& k) { return ::chown(k.c_str(), 65534, 65534) == 0; }},
        {"another user's copy",
         [](const std::string& k) { return ::chown((k + "0").c_str(), 65534, 65534) == 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir.path() / "Programs é");
        fs::remove_all(outside);
        for (const auto& folder : {programFolder, dataFolder, outside}) fs::create_directories(folder);
        installOld(oldProgram);
        update(oldProgram + "new");
        if (!c.tamper(kept)) {
            ADD_FAILURE() << "could not tamper";
            continue;
        }
        if ((std::string(c.what).starts_with("another user") && ::geteuid() != 0)) continue;
        const std::string settings = dir.file("Settings.ini");
        fs::remove(settings);
        const auto before = files();
        const std::string refusal = undoNow(folders(), settings);
        EXPECT_NE(refusal.find("is refused"), std::string::npos) << refusal;
        EXPECT_EQ(refusal.find('\n'), std::string::npos) << refusal;
        EXPECT_EQ(files(), before);
        EXPECT_FALSE(fs::exists(settings)) << "the version was remembered as undone";
        EXPECT_FALSE(keptPreviousVersion(folders())) << "the window would offer it";
    }
}

// The window has closed for the undo, so what the helper refuses is said at the start it makes next,
// once; nothing was changed and the program runs again.
TEST_F(Undo, AnUndoTheHelperRefusesIsSaidAtTheNextStart) {
    installOld(oldProgram);
    update(oldProgram + "new");
    ::chmod(kept.c_str(), 0755);
    const auto before = files();
    std::string error;
    ASSERT_TRUE(handOverUndo(folders(), " ", &error)) << error;
    ASSERT_TRUE(waitFor([&] { return !test::readFile(programPath + ".report").empty(); }, std::chrono::seconds(30)))
        << "the program was not started again";
    EXPECT_EQ(files(), before);
    EXPECT_EQ(releaseNews(programFolder, NoticeLanguage::English, true),
              "The previous version was not put back; nothing was changed: the kept previous version " + kept +
                  " is refused: others may open it; nothing was changed");
    EXPECT_EQ(releaseNews(programFolder, NoticeLanguage::English, false),
              "Korvex now runs version 3.1, installed by the last update.\nWhat is new:\nFaster");
}

// korvex-cli from the program folder: update names the kept version, --version says what is new,
// update --undo is refused while the program runs and otherwise puts the old files back and
// remembers the undone version in the settings file; then nothing is left to undo.
TEST_F(Undo, KorvexCliNamesAndUndoesTheKeptVersion) {
    installOld(oldProgram);
    const std::string cli = programFolder + "korvex-cli";
    fs::copy_file(KORVEX_CLI_EXECUTABLE, cli);
    const auto before = files();
    update(oldProgram + "new");
    const std::string settings = outside + "Settings.ini", err = tempFolder + "err", out = tempFolder + "out";
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--settings", settings});
        const int status = runWith(cli, args, {"LC_ALL=C"}, err, out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run({"update"}), 0);
    EXPECT_EQ(test::readFile(out),
              "Version 3.0 is kept; the last update replaced it with 3.1. "
              "'korvex-cli update --undo' puts it back.\n");
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_NE(test::readFile(out).find("\nKorvex now runs version 3.1, installed by the last update.\n"
                                       "What is new:\nFaster\n"),
              std::string::npos)
        << test::readFile(out);

    const std::string release = tempFolder + "release";
    const pid_t window = spawn(programPath, {"--hold", release});
    ASSERT_TRUE(
        waitFor([&] { return updatehelper::runByProcessOfThisUser(programPath); }, std::chrono::seconds(30)));
    const auto updated = files();
    EXPECT_EQ(run({"update", "--undo"}), 1);
    EXPECT_EQ(test::readFile(err),
              "korvex-cli: " + programPath +
                  " is running: close it (the Korvex window), then undo again; nothing was changed\n");
    EXPECT_EQ(files(), updated);
    put(release, "");
    EXPECT_EQ(exitStatus(window), 0);

    EXPECT_EQ(run({"update", "--undo"}), 0) << test::readFile(err);
    auto now = files();
    now.erase(settings);
    EXPECT_EQ(now, before);
    EXPECT_EQ(test::readFile(settings), "[UPDATE]\r\nUndone=3.1\r\n");
    EXPECT_EQ(run({"update", "--undo"}), 1);
    EXPECT_EQ(test::readFile(err), "korvex-cli: no previous version is kept: there is nothing to undo\n");
}

// The replaced files are kept only while they are not much larger than the update itself.
TEST_F(Undo, ReplacedFilesFarLargerThanTheUpdateAreNotKept) {
    installOld(std::string(3 * 1024 * 1024, 'o'));
    update("tiny");
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_NE(releaseNews(programFolder, NoticeLanguage::English, false), "")
        << "the news is lost with the copies";
    EXPECT_EQ(undoNow(folders(), dir.file("Settings.ini")),
              "no previous version is kept in " + programFolder);
}

}  // namespace
}  // namespace korvex::update
