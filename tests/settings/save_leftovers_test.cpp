// What a crashed save leaves beside Settings.ini goes at the next start; nothing else does.
#include "settings/save_leftovers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/settings/test_folder.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeBytes;

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

TEST(SaveLeftovers, OnlyUnlockedTemporaryFilesOfTheSettingsFileGo) {
    TempDir dir;
    writeBytes(dir.file("Settings.ini"), "[AUTHENTICATION]\nCount=1\n");
    writeBytes(dir.file("elsewhere.txt"), "someone's file");
    const struct {
        const char* name;
        bool removed;
    } entries[] = {
        {"Settings.ini.tmp-Ab12Cd", true},       // a save killed mid-way
        {"Settings.ini.tmp-zzzzzz", true},
        {"Settings.ini.tmp-Ab12C", false},       // not a name a save makes
        {"Settings.ini.tmp-Ab12Cde", false},
        {"Settings.ini.tmp-Ab-2Cd", false},
        {"Settings.ini.tmp-Ab12Cd.bak", false},
        {"Other.ini.tmp-Ab12Cd", false},
        {"Settings.ini.tmp-LnK999", false},      // a link: neither it nor its target
        {"Settings.ini.tmp-D1r000", false},      // a folder
        {"Settings.ini.tmp-Wr1t1n", false},      // a save of another copy, writing now
    };
    for (const auto& e : entries) writeBytes(dir.file(e.name), "Login_0=secret");
    fs::remove(dir.file("Settings.ini.tmp-LnK999"));
    fs::create_symlink(dir.file("elsewhere.txt"), dir.file("Settings.ini.tmp-LnK999"));
    fs::remove(dir.file("Settings.ini.tmp-D1r000"));
    fs::create_directory(dir.file("Settings.ini.tmp-D1r000"));
    const int writing = ::open(dir.file("Settings.ini.tmp-Wr1t1n").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(writing, LOCK_EX), 0);

    EXPECT_EQ(removeSaveLeftovers(dir.file("Settings.ini")), 2);

    const std::set<std::string> left = namesIn(dir.path());
    for (const auto& e : entries) EXPECT_EQ(left.count(e.name), e.removed ? 0u : 1u) << e.name;
    EXPECT_EQ(readFile(dir.file("Settings.ini")), "[AUTHENTICATION]\nCount=1\n");
    EXPECT_EQ(readFile(dir.file("elsewhere.txt")), "someone's file");
    ::close(writing);
}

// A linked Settings.ini is saved beside its target, and cleared there.
TEST(SaveLeftovers, ALinkedSettingsFileIsClearedBesideItsTarget) {
    TempDir dir;
    fs::create_directory(dir.file("real"));
    writeBytes(dir.file("real/Settings.ini"), "");
    fs::create_symlink(dir.file("real/Settings.ini"), dir.file("Settings.ini"));
    writeBytes(dir.file("real/Settings.ini.tmp-Ab12Cd"), "Login_0=secret");

    EXPECT_EQ(removeSaveLeftovers(dir.file("Settings.ini")), 1);
    EXPECT_FALSE(fs::exists(dir.file("real/Settings.ini.tmp-Ab12Cd")));
}

}  // namespace
}  // namespace korvex
