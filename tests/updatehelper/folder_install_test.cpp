#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "updatehelper/helper_install.h"
#include "updatehelper/install_journal.h"

namespace korvex::updatehelper {
namespace {

namespace fs = std::filesystem;

// Which downloaded file of the program folder becomes the setup to run: the first by name whose
// name ends in lower-case "exe", unless the program itself was updated, and only in external-
// setup mode. Every file is put in place either way.
TEST(HelperFolderInstall, SetupRule) {
    const struct {
        std::vector<std::string> names;
        bool programUpdated;
        bool external;
        const char* setup;  // "" none
    } cases[] = {
        {{"SETUP.EXE"}, false, true, ""},
        {{"setup.exe"}, false, true, "setup.exe"},
        {{"setup.exe"}, true, true, ""},
        {{"setup.exe"}, false, false, ""},
        {{"readme.txt", "tool.exe", "b.exe"}, false, true, "b.exe"},
        {{"Setup.Exe", "zz.exe"}, false, true, "zz.exe"},
        {{"myexe"}, false, true, "myexe"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string folder = (dir.path() / "Папка с программой").string() + "/";
        fs::create_directory(folder);
        for (const auto& name : c.names) dir.write("Папка с программой/" + name + ".updtmp", name);
        HelperRequest request;
        request.programPath = folder + "korvex";
        request.programFolder = folder;
        request.externalSetup = c.external;
        std::ostringstream log;
        const FolderInstall result = installFiles({}, dir.file("queue"), request, c.programUpdated, log);

        SCOPED_TRACE(c.names.front());
        EXPECT_EQ(result.setup.value_or(folder), folder + c.setup);
        for (const auto& name : c.names) {
            EXPECT_EQ(test::readFile(folder + name), name);
            EXPECT_FALSE(fs::exists(folder + name + ".updtmp"));
        }
        if (*c.setup) {
            struct stat st {};
            ASSERT_EQ(stat((folder + c.setup).c_str(), &st), 0);
            EXPECT_TRUE(st.st_mode & S_IXUSR) << "a setup that cannot be run";
        }
        EXPECT_EQ(log.str(), "");
    }
}

// One installation is all or nothing: a ".updtmp" that is a link (never moved into place, its
// target never touched) or a rename that fails undoes every file already moved, and the journal
// stays for the next start to say so once. A good one leaves no old copies, queue or journal.
TEST(HelperTransaction, AllOrNothing) {
    const struct {
        const char* name;
        std::function<void(test::TempDir&)> arrange;
        bool installed;
    } cases[] = {
        {"every file regular", [](test::TempDir&) {}, true},
        {"a link at a queued temporary",
         [](test::TempDir& dir) {
             fs::remove(dir.file("данные/q.dat.updtmp"));
             fs::create_symlink(dir.file("victim"), dir.file("данные/q.dat.updtmp"));
         },
         false},
        {"a link in the program folder",
         [](test::TempDir& dir) {
             fs::remove(dir.file("Программа/a.so.updtmp"));
             fs::create_symlink(dir.file("victim"), dir.file("Программа/a.so.updtmp"));
         },
         false},
        {"the last rename fails",
         [](test::TempDir& dir) {
             fs::remove(dir.file("Программа/korvex"));
             fs::create_directories(dir.file("Программа/korvex/in the way"));
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string folder = dir.file("Программа") + "/";
        fs::create_directories(folder);
        fs::create_directories(dir.file("данные"));
        const std::string queued = dir.write("данные/q.dat", "old");
        dir.write("данные/q.dat.updtmp", "new");
        dir.write("Программа/a.so", "old");
        dir.write("Программа/a.so.updtmp", "new");
        dir.write("Программа/korvex", "old");
        dir.write("Программа/korvex.updtmp", "new");
        dir.write("victim", "victim");
        const std::string queue = dir.write("queue", queued + "\r\n");
        c.arrange(dir);
        HelperRequest request;
        request.programPath = folder + "korvex";
        request.programFolder = folder;
        std::ostringstream log;
        EXPECT_EQ(installFiles(readQueue(queue), queue, request, true, log).installed, c.installed)
            << log.str();

        const char* expected = c.installed ? "new" : "old";
        EXPECT_EQ(test::readFile(queued), expected);
        EXPECT_EQ(test::readFile(folder + "a.so"), expected);
        if (fs::is_regular_file(folder + "korvex")) {
            EXPECT_EQ(test::readFile(folder + "korvex"), expected);
        }
        EXPECT_FALSE(fs::is_symlink(queued));
        EXPECT_FALSE(fs::is_symlink(folder + "a.so"));
        EXPECT_EQ(test::readFile(dir.file("victim")), "victim");
        for (const auto& left : fs::recursive_directory_iterator(dir.path())) {
            const std::string name = left.path().filename().string();
            EXPECT_FALSE(name.ends_with(kTempSuffix) || name.ends_with(kBackupSuffix)) << left.path();
        }
        EXPECT_FALSE(fs::exists(queue));
        EXPECT_EQ(fs::exists(folder + kJournalFileName), !c.installed);
        EXPECT_EQ(recoverInterruptedInstall(folder, log),
                  c.installed ? InterruptedInstall::None : InterruptedInstall::RolledBack);
        EXPECT_EQ(recoverInterruptedInstall(folder, log), InterruptedInstall::None) << "told twice";
        EXPECT_FALSE(fs::exists(folder + kJournalFileName));
    }
}

}  // namespace
}  // namespace korvex::updatehelper
