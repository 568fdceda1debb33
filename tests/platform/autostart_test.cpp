#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPortable = "/home/u/Korvex 3/korvex";

// Ticked, the entry is written and reads back as this program's; unticked, it is gone. A portable
// copy is named by its whole path, so the session starts this copy and no other.
TEST(Autostart, WrittenReadBackAndRemoved) {
    test::TempDir config;
    const std::string path = autostartEntryPath(config.path().string());
    ASSERT_EQ(path, config.file("autostart/korvex.desktop"));
    EXPECT_EQ(readAutostart(path, kPortable).state, AutostartState::Off);

    const Expected<AutostartEntry> on = setAutostart(path, kPortable, true);
    ASSERT_TRUE(on) << on.error().message;
    EXPECT_EQ(on->state, AutostartState::On);
    const std::string text = test::readFile(path);
    EXPECT_NE(text.find("\nExec=\"/home/u/Korvex 3/korvex\" --tray\n"), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    const Expected<AutostartEntry> off = setAutostart(path, kPortable, false);
    ASSERT_TRUE(off) << off.error().message;
    EXPECT_EQ(off->state, AutostartState::Off);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(autostartEntryPath(""), "");
}

// The installed program is started by its name, as the menu's entry does; a path with the characters
// the Exec rules reserve is escaped so that desktop-file-validate accepts the entry and it reads back.
TEST(Autostart, ExecLinesTheDesktopReadsAsThisProgram) {
    EXPECT_EQ(autostartExec("/usr/bin/korvex").value_or(""), "korvex --tray");
    EXPECT_EQ(autostartExec("/opt/a\"b$c`d\\e%f/korvex").value_or(""),
              "\"/opt/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e%%f/korvex\" --tray");
    EXPECT_FALSE(autostartExec("/home/u/line\nbreak/korvex"));

    if (std::system("command -v desktop-file-validate >/dev/null") != 0)
        GTEST_SKIP() << "no desktop-file-validate";
    test::TempDir config;
    const std::string path = autostartEntryPath(config.path().string());
    const std::string odd = "/opt/a\"b $c`d\\e%f/korvex";
    ASSERT_TRUE(setAutostart(path, odd, true));
    EXPECT_EQ(readAutostart(path, odd).state, AutostartState::On);
    const int status = std::system(("desktop-file-validate '" + path + "'").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::readFile(path);
}

// A file of that name that Korvex did not write for this program is never written over nor removed,
// whichever way the box is clicked, and the notice names the file and what to do.
TEST(Autostart, AnEntryNotOursForThisProgramIsLeftAloneAndSaid) {
    struct Case {
        const char* name;
        std::string text;
        AutostartState state;
    };
    const std::string big = "[Desktop Entry]\nX-Korvex-Autostart=true\nExec=\"" + std::string(kPortable) +
                            "\" --tray\n#" + std::string(70 * 1024, 'x') + "\n";
    const Case cases[] = {
        {"copied by the desktop's settings", "[Desktop Entry]\nExec=korvex\nType=Application\n",
         AutostartState::Foreign},
        {"the key says false",
         "[Desktop Entry]\nExec=\"/home/u/Korvex 3/korvex\" --tray\nX-Korvex-Autostart=false\n",
         AutostartState::Foreign},
        {"the key in another group",
         "[Desktop Entry]\nExec=\"/home/u/Korvex 3/korvex\" --tray\n[Other]\nX-Korvex-Autostart=true\n",
         AutostartState::Foreign},
        {"larger than an entry", big, AutostartState::Foreign},
        {"ours for a moved copy", "[Desktop Entry]\nExec=\"/old/korvex\" --tray\nX-Korvex-Autostart=true\n",
         AutostartState::OtherCopy},
    };
    for (const Case& c : cases) {
        for (const bool on : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (on ? ", ticked" : ", unticked"));
            test::TempDir config;
            const std::string path = autostartEntryPath(config.path().string());
            fs::create_directories(config.path() / "autostart");
            config.write("autostart/korvex.desktop", c.text);
            const Expected<AutostartEntry> result = setAutostart(path, kPortable, on);
            ASSERT_FALSE(result);
            EXPECT_EQ(test::readFile(path), c.text);
            const AutostartEntry entry = readAutostart(path, kPortable);
            EXPECT_EQ(entry.state, c.state);
            EXPECT_EQ(result.error().message, autostartNotice(entry));
            EXPECT_NE(result.error().message.find(path), std::string::npos);
            EXPECT_NE(result.error().message.find("оставлен как есть"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace korvex
