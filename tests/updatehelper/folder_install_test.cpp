#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "updatehelper/helper_install.h"

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

}  // namespace
}  // namespace korvex::updatehelper
