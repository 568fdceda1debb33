#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "helper_install.h"
#include "temp_dir.h"

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
        const FolderInstall result = installProgramFolder(request, c.programUpdated, log);

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

// A file that replaces another keeps its permission bits (a replaced executable stays runnable);
// the replacement is one rename, so no moment leaves the target missing.
TEST(HelperFolderInstall, ReplacedFileKeepsItsPermissionBits) {
    test::TempDir dir;
    const std::string target = dir.write("korvex", "old");
    const std::string temp = dir.write("korvex.updtmp", "new");
    ASSERT_EQ(chmod(target.c_str(), 0750), 0);
    ASSERT_EQ(chmod(temp.c_str(), 0600), 0);
    ASSERT_TRUE(replaceFile(temp, target));
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(test::readFile(target), "new");
}

TEST(HelperFolderInstall, QueuedFilesWithoutTheirTemporaryAreLeftAlone) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "data é" / "sub");
    const std::string moved = dir.write("data é/sub/a.dat", "old a");
    dir.write("data é/sub/a.dat.updtmp", "new a");
    const std::string kept = dir.write("data é/b.dat", "old b");  // skipped by the download
    std::ostringstream log;
    installQueued({moved, kept}, log);
    EXPECT_EQ(test::readFile(moved), "new a");
    EXPECT_EQ(test::readFile(kept), "old b");
    EXPECT_FALSE(fs::exists(moved + ".updtmp"));
}

}  // namespace
}  // namespace korvex::updatehelper
