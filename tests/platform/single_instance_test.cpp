#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

// A temporary folder whose path is text, the way SingleInstance takes it.
struct LockFolder : test::TempDir {
    std::string path() const { return TempDir::path().string(); }
};

enum ChildAnswer { kAcquired = 10, kOtherCopy = 11, kError = 12 };

// Tries the lock in a separate process, as a second start of the program would.
int lockInChild(const std::string& folder) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        SingleInstance guard(folder);
        ::_exit(guard.acquired() ? kAcquired : guard.anotherCopyRuns() ? kOtherCopy : kError);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SingleInstance, ASecondCopyIsRefusedWhileTheFirstRuns) {
    LockFolder folder;
    {
        SingleInstance first(folder.path());
        ASSERT_TRUE(first.acquired()) << first.error();
        EXPECT_EQ(first.lockPath(), folder.path() + "/Korvex 2.0.lock");
        EXPECT_EQ(lockInChild(folder.path()), kOtherCopy);

        SingleInstance sameProcess(folder.path());
        EXPECT_FALSE(sameProcess.acquired());
        EXPECT_TRUE(sameProcess.anotherCopyRuns());
        EXPECT_TRUE(sameProcess.error().empty());
    }
    EXPECT_EQ(lockInChild(folder.path()), kAcquired) << "a start after the first copy ended succeeds";
}

TEST(SingleInstance, AKilledHolderDoesNotBlockTheNextStart) {
    LockFolder folder;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::close(ready[0]);
        SingleInstance guard(folder.path());
        const char answer = guard.acquired() ? 'y' : 'n';
        if (::write(ready[1], &answer, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(answer, 'y');

    EXPECT_FALSE(SingleInstance(folder.path()).acquired());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    SingleInstance next(folder.path());
    EXPECT_TRUE(next.acquired()) << next.error();
}

// A program started by us (the browser, the update helper) must not keep the lock after we end.
TEST(SingleInstance, AStartedProgramDoesNotInheritTheLock) {
    LockFolder folder;
    pid_t sleeper = -1;
    {
        SingleInstance guard(folder.path());
        ASSERT_TRUE(guard.acquired());
        // The pipe closes in the child at its exec: reading its end tells that the exec has happened.
        int execed[2];
        ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
        sleeper = ::fork();
        ASSERT_GE(sleeper, 0);
        if (sleeper == 0) {
            ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(execed[1]);
        char byte = 0;
        EXPECT_EQ(::read(execed[0], &byte, 1), 0);
        ::close(execed[0]);
    }
    // The exec'd child runs on, but the lock went with our copy.
    const int answer = lockInChild(folder.path());
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);
    EXPECT_EQ(answer, kAcquired);
}

TEST(SingleInstance, AnUnusableFolderIsAnErrorNotAnotherCopy) {
    LockFolder folder;
    SingleInstance guard(folder.path() + "/missing/deeper");
    EXPECT_FALSE(guard.acquired());
    EXPECT_FALSE(guard.anotherCopyRuns());
    EXPECT_FALSE(guard.error().empty());
}

// A cron job has no XDG_RUNTIME_DIR (nor XDG_CACHE_HOME), the desktop may have both: both must find
// the same lock, and not in a /tmp name another user can make first (today's /tmp/korvex-<uid> let
// anybody stop a cron job): a private folder in the home folder, ~/.cache made when missing.
TEST(SingleInstance, TheFolderDependsOnTheUserAloneNotOnTheEnvironment) {
    LockFolder home;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* oldCache = std::getenv("XDG_CACHE_HOME");
    const std::optional<std::string> savedCache = oldCache ? std::optional<std::string>(oldCache) : std::nullopt;
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home.path() + "/elsewhere").c_str(), 1);
    const std::string desktop = SingleInstance::defaultLockFolder();
    ::unsetenv("XDG_CACHE_HOME");
    const bool acquired = SingleInstance().acquired();
    ::setenv("HOME", oldHome.c_str(), 1);
    if (savedCache) ::setenv("XDG_CACHE_HOME", savedCache->c_str(), 1);
    EXPECT_TRUE(acquired);
    EXPECT_EQ(desktop, home.path() + "/.cache/korvex");
    struct stat st {};
    ASSERT_EQ(::stat(desktop.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// The lock folder must be ours alone: a link or somebody else's folder is refused (not taken for
// another copy), a folder of ours that others may enter is closed, a missing one is made private.
TEST(SingleInstance, TheFolderMustBePrivate) {
    namespace fs = std::filesystem;
    const auto openedTo = [](mode_t mode) {
        return [mode](const std::string& base) {
            fs::create_directory(base + "/open");
            ::chmod((base + "/open").c_str(), mode);
            return base + "/open";
        };
    };
    const struct {
        const char* name;
        std::function<std::string(const std::string& base)> make;  // answers the folder to lock in
        bool acquired;
        mode_t modeAfter;
    } cases[] = {
        {"missing", [](const std::string& base) { return base + "/new"; }, true, 0700},
        {"open to everyone", openedTo(0777), true, 0700},
        {"open to others, not the group", openedTo(0707), true, 0700},
        {"open to the group, not others", openedTo(0750), true, 0700},
        {"a link to a folder",
         [](const std::string& base) {
             fs::create_directory(base + "/real");
             fs::create_directory_symlink(base + "/real", base + "/link");
             return base + "/link";
         },
         false, 0},
        {"somebody else's",
         [](const std::string& base) {
             fs::create_directory(base + "/theirs");
             if (::getuid() == 0 && ::chown((base + "/theirs").c_str(), 65534, 65534) != 0)
                 return std::string();
             return ::getuid() == 0 ? base + "/theirs" : std::string();
         },
         false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LockFolder base;
        const std::string dir = c.make(base.path());
        if (dir.empty()) continue;  // cannot give a folder away without being root
        SingleInstance guard(dir);
        EXPECT_EQ(guard.acquired(), c.acquired) << guard.error();
        EXPECT_FALSE(guard.anotherCopyRuns());
        if (c.acquired) {
            struct stat st {};
            ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, c.modeAfter);
        } else {
            EXPECT_NE(guard.error().find(dir), std::string::npos) << guard.error();
        }
    }
}

// A book's lock is named by the book's real path: every spelling of one file meets the same lock
// (or two writers would share a book), and two books never do (or a second book would be refused).
TEST(SingleInstance, ABooksLockIsNamedByItsRealPath) {
    namespace fs = std::filesystem;
    LockFolder base;
    fs::create_directory(base.path() + "/books");
    fs::create_directory_symlink(base.path() + "/books", base.path() + "/linked");
    const std::string book = base.path() + "/books/Settings.ini";
    std::FILE* made = std::fopen(book.c_str(), "w");
    ASSERT_NE(made, nullptr);
    std::fclose(made);
    const std::string cwd = fs::current_path();
    fs::current_path(base.path());
    const std::string relative = SingleInstance::bookLockName("books/Settings.ini");
    fs::current_path(cwd);

    const std::string name = SingleInstance::bookLockName(book);
    for (const std::string& same :
         {base.path() + "/linked/Settings.ini", base.path() + "/books/./../books/Settings.ini",
          base.path() + "//books/Settings.ini", relative}) {
        SCOPED_TRACE(same);
        EXPECT_EQ(same == relative ? same : SingleInstance::bookLockName(same), name);
    }
    // A book not written yet is named by its folder's real path, so it matches once it exists.
    EXPECT_EQ(SingleInstance::bookLockName(base.path() + "/linked/New.ini"),
              SingleInstance::bookLockName(base.path() + "/books/New.ini"));
    for (const std::string& other : {base.path() + "/books/Other.ini", base.path() + "/Settings.ini"}) {
        SCOPED_TRACE(other);
        EXPECT_NE(SingleInstance::bookLockName(other), name);
    }
    EXPECT_EQ(name.find('/'), std::string::npos);

    // The book's lock and the user's lock are two locks: holding one never refuses the other.
    LockFolder locks;
    SingleInstance user(locks.path());
    SingleInstance first(locks.path(), name);
    ASSERT_TRUE(user.acquired() && first.acquired()) << user.error() << first.error();
    SingleInstance second(locks.path(), name);
    EXPECT_TRUE(second.anotherCopyRuns());
    SingleInstance another(locks.path(), SingleInstance::bookLockName(base.path() + "/books/Other.ini"));
    EXPECT_TRUE(another.acquired()) << another.error();
}

}  // namespace
}  // namespace korvex
