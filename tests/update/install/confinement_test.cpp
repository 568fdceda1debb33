// The folder rules of an update against a hostile user-dirs.dirs and links on the way: where a
// signed entry lands, or that the whole info file is refused, as the check decides before anything
// is downloaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "update/install/paths.h"

namespace korvex::update {
namespace {

namespace fs = std::filesystem;

TEST(UpdateConfinement, ResolvedUserFoldersAndNoLinkBelowAFolder) {
    test::TempDir dir;
    const std::string home = dir.path().string() + "/home/";
    const std::string outside = dir.path().string() + "/outside/";
    const std::string program = home + "apps/korvex/";
    fs::create_directories(home + ".config");
    fs::create_directories(home + "Documents");
    fs::create_directories(program);
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, program + "sub");
    fs::create_directory_symlink(outside, home + "Documents/linked");
    const test::ScopedEnv homeVariable("HOME", home);
    const test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    const struct {
        const char* documents;  // XDG_DOCUMENTS_DIR of user-dirs.dirs
        const char* entry;      // the local path of a signed entry
        std::string lands;      // "": the info file is refused
        std::optional<std::string> dataHome;
    } cases[] = {
        {"$HOME/.", "%mydocuments%notes.txt", home + "Documents/notes.txt"},
        {"$HOME/..", "%mydocuments%notes.txt", home + "Documents/notes.txt"},
        {"$HOME/.config", "%mydocuments%autostart/evil.desktop", home + "Documents/autostart/evil.desktop"},
        {"$HOME/Documents/../.config", "%mydocuments%autostart/evil.desktop",
         home + "Documents/autostart/evil.desktop"},
        {"$HOME/Documents/./Mine/", "%mydocuments%notes.txt", home + "Documents/Mine/notes.txt"},
        {"$HOME/Documents", "%mydocuments%linked/notes.txt", ""},
        {"$HOME/Documents", "sub\\a.dat", ""},
        {"$HOME/Documents", "%programfiles%korvex/sub/a.dat", ""},
        {"/srv/..", "%mydocuments%notes.txt", home + "Documents/notes.txt"},
        {"$HOME/Documents", "%appdata%notes.txt", "", home + ".local/share/../../.."},
        {"$HOME/Documents", "%appdata%notes.txt", "", home + "apps/.."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.documents) + " " + c.entry + " " + c.dataHome.value_or(""));
        const test::ScopedEnv data("XDG_DATA_HOME", c.dataHome);
        dir.write("home/.config/user-dirs.dirs", std::string("XDG_DOCUMENTS_DIR=\"") + c.documents + "\"\n");
        const PathMacroFolders folders = pathMacroFolders(program, "/run/user/1/korvex/");
        const std::string entry = std::string("http://h/x=") + c.entry;
        EXPECT_EQ(finalPathOfEntry(entry, folders).value_or(""), c.lands);
        EXPECT_EQ(refusedEntry({"http://h/korvex", entry}, folders).has_value(), c.lands.empty());
    }
}

}  // namespace
}  // namespace korvex::update
