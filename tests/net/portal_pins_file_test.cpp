// A pin file that cannot be read whole, as an attacker or an accident leaves it: never replaced.
#include "net/portal_pins.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

// A process whose environment is `bytes` bytes long, NULs included: its /proc/<pid>/environ is a
// regular file that fstat calls empty and whose reads give those bytes.
class EnvironmentOfSize {
public:
    explicit EnvironmentOfSize(std::size_t bytes) {
        std::vector<std::string> strings;
        for (std::size_t left = bytes; left > 0;) {
            const std::size_t n = std::min<std::size_t>(left, 100000);  // the kernel takes 128 KiB a string
            strings.emplace_back(n - 1, 'x');
            left -= n;
        }
        std::vector<char*> envp;
        for (std::string& s : strings) envp.push_back(s.data());
        envp.push_back(nullptr);
        char cat[] = "/bin/cat";
        char* argv[] = {cat, nullptr};
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(input[0], STDIN_FILENO);  // cat waits for an end of input that only we give
            ::execve(argv[0], argv, envp.data());
            ::_exit(126);
        }
        ::close(input[0]);
        m_input = input[1];
        path = "/proc/" + std::to_string(m_pid) + "/environ";
    }
    ~EnvironmentOfSize() {
        ::close(m_input);
        if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
    }
    // Until the child has its new environment it shows ours.
    bool ready(std::size_t bytes) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (m_pid > 0 && test::readFile(path).size() == bytes) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    std::string path;

private:
    pid_t m_pid = -1;
    int m_input = -1;
};

// The file as it lies: what a save must leave byte for byte.
std::string describe(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "nothing";
    if (S_ISLNK(st.st_mode)) return "a link to " + fs::read_symlink(path).string();
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISDIR(st.st_mode)) return "a folder";
    return "a file: " + test::readFile(path);
}

// A save that went ahead would put a file of the one new pin in place of every pin the user had
// (all but the folder could be replaced by a rename); so setPin says why and leaves it as it is.
TEST(PortalPinsFile, AFileThatCannotBeReadIsNeverReplaced) {
    const std::string origin = "https://a.example:443", pin = "sha256//new=";
    const std::string pinLine = origin + " sha256//old=\n";
    const struct {
        const char* name;
        std::function<void(const test::TempDir&, const std::string& path)> make;
        const char* error;
    } cases[] = {
        {"one byte more than the bound",
         [&](const test::TempDir& d, const std::string&) {
             d.write("Portals.pins", pinLine + std::string(kMaxPinsFileBytes + 1 - pinLine.size(), '#'));
         },
         "larger than 1 MiB"},
        {"a link to a file that is not there",
         [](const test::TempDir& d, const std::string& path) { fs::create_symlink(d.file("gone"), path); },
         "a link to a file that is not there"},
        {"a FIFO", [](const test::TempDir&, const std::string& path) { ::mkfifo(path.c_str(), 0600); },
         "not a regular file"},
        {"a folder", [](const test::TempDir&, const std::string& path) { fs::create_directory(path); },
         "a folder, not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.file("Portals.pins");
        c.make(dir, path);
        const std::string before = describe(path);
        PortalPins pins(path);
        EXPECT_EQ(pins.loadError(), path + ": " + c.error);
        EXPECT_EQ(pins.setPin(origin, pin), pins.loadError());
        EXPECT_EQ(pins.pinOf(origin), pin) << "for this session still";
        EXPECT_TRUE(describe(path) == before) << "the file changed";
        EXPECT_EQ(describe(dir.file("gone")), "nothing");
    }
}

// The bound holds for what a read gives, not for what fstat says: a file that grows while it is
// read (here one that fstat calls empty) is refused once it holds one byte more than the bound.
TEST(PortalPinsFile, AReadBeyondTheStatedSizeIsRefusedAsTooLarge) {
    const EnvironmentOfSize file(kMaxPinsFileBytes + 1);
    ASSERT_TRUE(file.ready(kMaxPinsFileBytes + 1)) << "no child with an environment of the size asked for";
    ASSERT_EQ(fs::file_size(file.path), 0u);
    const PortalPins pins(file.path);
    EXPECT_EQ(pins.loadError(), file.path + ": larger than 1 MiB");
}

}  // namespace
}  // namespace korvex
