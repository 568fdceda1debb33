#include "open_url.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "temp_dir.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;

// Polls `done` for up to a generous bound; answers its last value. The bound only keeps a broken
// build from hanging the suite, it asserts nothing about speed.
template <typename Done>
bool eventually(Done done) {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

// Child processes of ours, running or ended but not yet collected (a zombie). None left means every
// program we started has ended and was collected.
int childProcesses() {
    int children = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...; comm may hold blanks and parentheses, so read after the last ')'.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 &&
            std::to_string(ppid) == self)
            ++children;
    }
    return children;
}

TEST(DesktopUrlOpener, HandsTheAddressOverAsOneArgumentWithoutAShellAndLeavesNoZombie) {
    test::TempDir dir;
    const std::string out = dir.file("opened.txt");
    const std::string fds = dir.file("fds.txt");
    // A descriptor of ours without close-on-exec, as a library might leave one; the browser must not
    // inherit it (it would, for instance, keep a lock of ours alive after we quit).
    const std::string marker = dir.write("inherit-me", "x");
    const int leaky = ::open(marker.c_str(), O_RDONLY);
    ASSERT_GE(leaky, 0);
    // The stand-in browser records its argument, then the files it holds, then ends.
    const std::string script = dir.write("fake-browser",
                                         "#!/bin/sh\n"
                                         "for f in /proc/$$/fd/*; do readlink \"$f\"; done > '" +
                                             fds +
                                             ".part'\n"
                                             "mv '" +
                                             fds + ".part' '" + fds +
                                             "'\n"
                                             "printf '%s' \"$1\" > '" +
                                             out +
                                             ".part'\n"
                                             "mv '" +
                                             out + ".part' '" + out + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);

    const std::string url = "https://127.0.0.1/a b?x=1&y='$(touch " + dir.file("pwned") + ")';`id`|\"q\"";
    DesktopUrlOpener(script).open(url);

    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(out); }));
    EXPECT_EQ(test::readFile(out), url);
    EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
    EXPECT_EQ(test::readFile(fds).find(marker), std::string::npos) << test::readFile(fds);
    EXPECT_TRUE(eventually([] { return childProcesses() == 0; }));
    ::close(leaky);
}

TEST(DesktopUrlOpener, MissingProgramAndOptionLikeAddressesAreQuietlyDropped) {
    DesktopUrlOpener("korvex-no-such-browser-here").open("http://127.0.0.1/");
    test::TempDir dir;
    const std::string out = dir.file("called");
    const std::string script =
        dir.write("fake-browser", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + out + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    DesktopUrlOpener opener(script);
    opener.open("--help");
    opener.open("");
    opener.open("http://127.0.0.1/");
    // Once no child of ours is left, everything that was started has written its line.
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(out) && childProcesses() == 0; }));
    EXPECT_EQ(test::readFile(out), "http://127.0.0.1/\n");
}

}  // namespace
}  // namespace korvex
