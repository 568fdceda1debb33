#include "platform/paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

using test::ScopedEnv;

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

enum class Place { BesideProgram, ConfigFolder };

struct LocationCase {
    const char* name;
    bool writable;               // what the caller found out about the program's folder
    const char* alreadyThere;    // "" none, "file" a Settings.ini, "link" a dangling link named so
    Place expected;
};

// The three situations of a user: a portable copy unpacked into their own folder, a program the user
// cannot write beside (the installed package), and a portable copy that already holds its settings;
// the last must keep its file even when the folder has become read-only, or the accounts would seem lost.
TEST(SettingsLocation, FollowsTheProgramFolder) {
    const LocationCase cases[] = {
        {"writable, empty", true, "", Place::BesideProgram},
        {"writable, populated", true, "file", Place::BesideProgram},
        {"unwritable, empty", false, "", Place::ConfigFolder},
        {"unwritable, populated", false, "file", Place::BesideProgram},
        {"unwritable, a link to a file not made yet", false, "link", Place::BesideProgram},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir program;
        test::TempDir config;
        const std::string programDir = program.path().string() + "/";
        if (std::string(c.alreadyThere) == "file") program.write("Settings.ini", "[AUTHENTICATION]\r\n");
        if (std::string(c.alreadyThere) == "link")
            fs::create_symlink(config.path() / "elsewhere.ini", program.path() / "Settings.ini");

        const std::string path = settingsPathFor(programDir, c.writable, config.path().string());

        const fs::path configFolder = config.path() / "korvex";
        if (c.expected == Place::BesideProgram) {
            EXPECT_EQ(path, programDir + "Settings.ini");
            EXPECT_FALSE(fs::exists(configFolder)) << "a portable copy leaves the user's configuration alone";
        } else {
            EXPECT_EQ(path, (configFolder / "Settings.ini").string());
            EXPECT_EQ(modeOf(configFolder), 0700u);
            EXPECT_FALSE(fs::exists(path)) << "the first save makes the file, with the defaults";
        }
    }
}

// Root can write into /usr/bin, but an installed program must not leave its settings among the
// system's programs.
TEST(SettingsLocation, SystemFoldersAreNeverUsedEvenWhenWritable) {
    test::TempDir config;
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/usr/lib/korvex/", "/bin/", "/sbin/"}) {
        SCOPED_TRACE(dir);
        EXPECT_TRUE(systemProgramFolder(dir));
        EXPECT_EQ(settingsPathFor(dir, true, config.path().string()),
                  (config.path() / "korvex" / "Settings.ini").string());
    }
    for (const char* dir : {"/usr2/", "/opt/korvex/", "/home/user/usr/bin/", "/binaries/"}) {
        SCOPED_TRACE(dir);
        EXPECT_FALSE(systemProgramFolder(dir));
    }
}

TEST(SettingsLocation, MissingConfigFoldersAreMadePrivate) {
    test::TempDir home;
    const fs::path configHome = home.path() / "fresh" / ".config";
    const std::string path = settingsPathFor("", false, configHome.string());

    EXPECT_EQ(path, (configHome / "korvex" / "Settings.ini").string());
    EXPECT_EQ(modeOf(home.path() / "fresh"), 0700u);
    EXPECT_EQ(modeOf(configHome), 0700u);
    EXPECT_EQ(modeOf(configHome / "korvex"), 0700u);
}

// korvex-cli show, export and history only read: they find the same path and make no folder.
TEST(SettingsLocation, AReaderFindsThePathAndMakesNoFolder) {
    test::TempDir home;
    const fs::path configHome = home.path() / "fresh" / ".config";
    EXPECT_EQ(settingsPathFor("", false, configHome.string(), false), (configHome / "korvex" / "Settings.ini").string());
    EXPECT_FALSE(fs::exists(home.path() / "fresh"));
}

TEST(SettingsLocation, AFolderThatExistsKeepsItsMode) {
    test::TempDir config;
    fs::create_directory(config.path() / "korvex");
    ::chmod((config.path() / "korvex").c_str(), 0750);
    settingsPathFor("", false, config.path().string());
    EXPECT_EQ(modeOf(config.path() / "korvex"), 0750u);
}

TEST(SettingsLocation, NoConfigFolderKnownFallsBackBesideTheProgram) {
    EXPECT_EQ(settingsPathFor("/opt/korvex/", false, ""), "/opt/korvex/Settings.ini");
}

TEST(SettingsLocation, FolderWritable) {
    test::TempDir dir;
    const std::string file = dir.write("plain", "x");
    EXPECT_TRUE(folderWritable(dir.path().string()));
    EXPECT_FALSE(folderWritable(file)) << "a file is no folder";
    EXPECT_FALSE(folderWritable((dir.path() / "missing").string()));
    EXPECT_FALSE(folderWritable(""));
    if (::geteuid() != 0) {  // root writes into any folder of a writable mount
        ::chmod(dir.path().c_str(), 0555);
        EXPECT_FALSE(folderWritable(dir.path().string()));
        ::chmod(dir.path().c_str(), 0700);
    }
}

TEST(SettingsLocation, UserConfigHomeByTheXdgRule) {
    struct Case {
        std::optional<std::string> xdg, home;
        std::string expected;
    };
    const Case cases[] = {
        {"/cfg", "/home/u", "/cfg"},
        {"/cfg//", "/home/u", "/cfg"},
        {"relative/cfg", "/home/u", "/home/u/.config"},  // relative values are to be ignored
        {"", "/home/u/", "/home/u/.config"},
        {std::nullopt, "/home/u", "/home/u/.config"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdg.value_or("(unset)"));
        const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        const ScopedEnv home("HOME", c.home);
        EXPECT_EQ(userConfigHome(), c.expected);
    }
    // Without HOME the password database still knows the home folder.
    const ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    const ScopedEnv home("HOME", std::nullopt);
    const std::string found = userConfigHome();
    if (!found.empty()) {
        EXPECT_EQ(found.front(), '/');
        EXPECT_TRUE(found.ends_with("/.config"));
    }
}

}  // namespace
}  // namespace korvex
