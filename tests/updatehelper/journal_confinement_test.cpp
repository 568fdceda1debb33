// What an update may touch outside its folders: nothing, whether a planted journal is met at the
// next start or a planted queue or link is met by the real helper at install. Every file outside
// keeps its bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "update/install/handover.h"
#include "update/install/helper_image.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"
#include "updatehelper/install_journal.h"

namespace korvex::update {

pid_t spawn(const std::string& path, std::vector<std::string> args);
int exitStatus(pid_t pid);

namespace {

namespace fs = std::filesystem;

// A program folder two levels down (so that %programfiles% is no folder above the rest), a
// private temporary folder, and a folder outside both with files an attacker wants changed; a
// link "sub" in the program folder leads there.
struct Planted {
    Planted() : runtime(dir.file("run")) {
        fs::create_directories(program);
        fs::create_directories(outside);
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        fs::create_directory_symlink(outside, program + "sub");
        for (const char* name : {"target.conf", "target.conf.updtmp", "precious.txt", "queue.txt"})
            dir.write(std::string("elsewhere/") + name, std::string("bytes of ") + name);
    }
    // Every file outside, with its bytes.
    std::map<std::string, std::string> outsideFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(outside))
            files[entry.path().filename().string()] = test::readFile(entry.path().string());
        return files;
    }

    test::TempDir dir;
    std::string runtime;
    test::ScopedEnv runtimeVariable{"XDG_RUNTIME_DIR", runtime};
    std::string program = dir.file("Programs/korvex") + "/";
    std::string outside = dir.file("elsewhere") + "/";
};

// A journal in the program folder that names one path outside: the start settles nothing, renames
// the journal aside, says so in one line, and reads it never again.
TEST(JournalConfinement, APlantedJournalIsSetAsideAndNothingOutsideChanges) {
    const struct {
        const char* what;
        const char* state;
        std::string lines;  // after the state line; "@" stands for the program folder, "#" for outside
    } cases[] = {
        {"a replacement outside", "installing", "queue \nR #target.conf\n"},
        {"a new file outside, undone", "installing", "queue \nN @a.dat\nN #precious.txt\n"},
        {"an undone file outside", "undone    ", "queue \nN #target.conf\n"},
        {"a queue outside", "installed ", "queue #queue.txt\nN @a.dat\n"},
        {"through a link below the program folder", "installing", "queue \nR @sub/target.conf\n"},
        {"climbing out of the program folder", "installing", "queue \nR @../../elsewhere/target.conf\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Planted planted;
        const auto before = planted.outsideFiles();
        std::string lines = c.lines;
        for (size_t at; (at = lines.find_first_of("@#")) != std::string::npos;)
            lines.replace(at, 1, lines[at] == '@' ? planted.program : planted.outside);
        const std::string journal = planted.program + updatehelper::kJournalFileName;
        const std::string text = std::string("korvex-update-journal 1\nstate ") + c.state + "\n" + lines;
        planted.dir.write("Programs/korvex/UpdateJournal.txt", text);

        const std::string note = settleInterruptedInstall(planted.program);
        EXPECT_NE(note.find(journal + updatehelper::kRefusedJournalSuffix), std::string::npos) << note;
        EXPECT_EQ(note.find('\n'), std::string::npos) << note;
        EXPECT_EQ(planted.outsideFiles(), before);
        EXPECT_FALSE(fs::exists(journal));
        EXPECT_EQ(test::readFile(journal + updatehelper::kRefusedJournalSuffix), text);
        EXPECT_EQ(settleInterruptedInstall(planted.program), "");
    }
}

// The real helper, handed a queue that names a file outside (directly, climbing out, or through
// a link planted in the program folder since korvex checked), installs nothing at all.
TEST(JournalConfinement, TheHelperInstallsNothingThatLeadsOutside) {
    for (const char* queued : {"#target.conf", "@../../elsewhere/target.conf", "@sub/target.conf"}) {
        SCOPED_TRACE(queued);
        Planted planted;
        const std::string programPath = planted.program + "korvex";
        fs::copy_file(KORVEX_FAKE_PROGRAM_PATH, programPath);
        planted.dir.write("Programs/korvex/b.dat", "old");
        planted.dir.write("Programs/korvex/b.dat.updtmp", "new");
        const std::string temp = planted.dir.file("tmp") + "/";
        fs::create_directory(temp);
        fs::permissions(temp, fs::perms::owner_all);
        const std::string target = (queued[0] == '@' ? planted.program : planted.outside) + (queued + 1);
        planted.dir.write("tmp/UpdateQueue.txt", target + "\r\n");
        const auto before = planted.outsideFiles();

        ASSERT_TRUE(writeUpdateHelper(temp + kHelperFileName));
        const pid_t helper =
            spawn(temp + kHelperFileName, updatehelper::helperArguments(programPath, " ", false));
        EXPECT_EQ(exitStatus(helper), 0);
        EXPECT_EQ(planted.outsideFiles(), before);
        EXPECT_EQ(test::readFile(planted.program + "b.dat"), "old") << "half an update was installed";
    }
}

}  // namespace
}  // namespace korvex::update
