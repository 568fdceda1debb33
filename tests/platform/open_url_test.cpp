#include "platform/open_url.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

// Child processes of ours, running or ended but not collected (zombies). None left means every program
// we started has ended and was collected.
int childProcesses() {
    int children = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        char state = 0;
        long ppid = 0;  // after "pid (name)", whose name may hold blanks and parentheses
        if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %ld", &state, &ppid) == 2 &&
            ppid == getpid())
            ++children;
    }
    return children;
}

// Polls until `done`; the bound only keeps a broken build from hanging the suite.
template <typename Done>
bool eventually(Done done) {
    using namespace std::chrono_literals;
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

TEST(DesktopUrlOpener, PassesTheAddressAsOneArgumentWithoutShellOrOurFilesAndCollectsTheChild) {
    test::TempDir dir;
    const std::string out = dir.file("opened.txt");
    // A descriptor of ours without close-on-exec: a browser inheriting it would keep it open after we quit.
    const std::string marker = dir.write("inherit-me", "x");
    const int leaky = ::open(marker.c_str(), O_RDONLY);
    ASSERT_GE(leaky, 0);
    // The stand-in browser appends its argument and the files it holds.
    const std::string script = dir.write("fake-browser",
                                         "#!/bin/sh\n{ printf '%s\\n' \"$1\"; "
                                         "for f in /proc/$$/fd/*; do readlink \"$f\"; done; } >> '" +
                                             out + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);

    const std::string url = "https://127.0.0.1/a b?x=1&y='$(touch " + dir.file("pwned") + ")';`id`|\"q\"";
    DesktopUrlOpener opener(script);
    opener.open("--help");  // xdg-open would read it as an option
    opener.open("");
    opener.open(url);
    DesktopUrlOpener("korvex-no-such-browser-here").open(url);  // quietly nothing

    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(out) && childProcesses() == 0; }));
    const std::string seen = test::readFile(out);
    EXPECT_EQ(seen.substr(0, seen.find('\n')), url);
    EXPECT_EQ(seen.find("--help"), std::string::npos);
    EXPECT_EQ(seen.find(marker), std::string::npos) << seen;
    EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
    ::close(leaky);
}

}  // namespace
}  // namespace korvex
