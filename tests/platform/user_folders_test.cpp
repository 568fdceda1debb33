#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/user_folders.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

// An environment variable set for the lifetime of the object.
struct EnvOverride {
    EnvOverride(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride() {
        if (m_old) setenv(m_name, m_old->c_str(), 1);
        else unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

struct stat statOf(mode_t type, mode_t perms, uid_t owner) {
    struct stat st {};
    st.st_mode = type | perms;
    st.st_uid = owner;
    return st;
}

// Which folders may hold a program that we write and then run.
TEST(PrivateFolder, OwnerAndPermissionRules) {
    const uid_t me = 1000, other = 1001;
    const struct {
        const char* what;
        struct stat st;
        bool isPrivate;
        bool safeParent;
    } cases[] = {
        {"own 0700", statOf(S_IFDIR, 0700, me), true, true},
        {"own 0755", statOf(S_IFDIR, 0755, me), true, true},
        {"own, group may write", statOf(S_IFDIR, 0770, me), false, false},
        {"own, anyone may write", statOf(S_IFDIR, 0777, me), false, false},
        {"another user's 0700", statOf(S_IFDIR, 0700, other), false, false},
        {"root's 0755", statOf(S_IFDIR, 0755, 0), false, true},
        {"root's sticky 1777 (/tmp)", statOf(S_IFDIR, 01777, 0), false, true},
        {"another user's sticky 1777", statOf(S_IFDIR, 01777, other), false, false},
        {"a symbolic link", statOf(S_IFLNK, 0700, me), false, false},
        {"a file", statOf(S_IFREG, 0700, me), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isPrivateFolder(c.st, me), c.isPrivate);
        EXPECT_EQ(isSafeParentFolder(c.st, me), c.safeParent);
    }
}

TEST(PrivateFolder, RealFoldersAreCheckedBeforeUse) {
    test::TempDir scratch;
    std::string why;
    const std::string fresh = scratch.file("fresh é");
    ASSERT_TRUE(usePrivateFolder(fresh, &why)) << why;
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string open = scratch.file("open");
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    EXPECT_FALSE(usePrivateFolder(open, &why));
    EXPECT_NE(why.find("others can write"), std::string::npos) << why;
    EXPECT_EQ(stat(open.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u) << "a folder we refuse is left as it is";

    const std::string link = scratch.file("link");
    fs::create_directory_symlink(fresh, link);
    EXPECT_FALSE(usePrivateFolder(link, &why));

    EXPECT_FALSE(usePrivateFolder(scratch.file("open/inner"), &why)) << "a private folder inside an open one";

    if (geteuid() == 0) {  // only root can make a folder that belongs to someone else
        const std::string theirs = scratch.file("theirs");
        fs::create_directory(theirs);
        fs::permissions(theirs, fs::perms::owner_all, fs::perm_options::replace);
        ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(usePrivateFolder(theirs, &why));
        EXPECT_NE(why.find("another user"), std::string::npos) << why;
    }
}

// A runtime folder that others can write into is passed over for the next candidate.
TEST(PrivateFolder, UnsafeRuntimeFolderFallsBackToTheCache) {
    test::TempDir scratch;
    const std::string runtime = scratch.file("runtime");
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::all);
    const std::string cache = scratch.file("cache");
    EnvOverride r("XDG_RUNTIME_DIR", runtime);
    EnvOverride c("XDG_CACHE_HOME", cache);
    EXPECT_EQ(privateTempFolder(), cache + "/korvex/tmp/");

    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_EQ(privateTempFolder(), runtime + "/korvex/");
}

TEST(UserFolders, UserDirsFile) {
    const std::string text =
        "# written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n"
        "XDG_DOCUMENTS_DIR=\"/data/docs\"\n"
        "XDG_PICTURES_DIR=\"$HOME/\"\n"
        "XDG_MUSIC_DIR=$HOME/Music\n"
        "XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\n";
    EXPECT_EQ(userDirFromText(text, "DESKTOP", "/home/u/"), "/home/u/Рабочий стол/");
    EXPECT_EQ(userDirFromText(text, "DOCUMENTS", "/home/u/"), "/home/u/Документы/");  // the last line counts
    EXPECT_EQ(userDirFromText(text, "PICTURES", "/home/u/"), "/home/u/");
    EXPECT_EQ(userDirFromText(text, "MUSIC", "/home/u/"), "");  // not in the file's form
    EXPECT_EQ(userDirFromText(text, "VIDEOS", "/home/u/"), "");

    test::TempDir scratch;
    EnvOverride home("HOME", scratch.path().string());
    EnvOverride config("XDG_CONFIG_HOME", scratch.path().string());
    EXPECT_EQ(xdgUserDir("DESKTOP"), scratch.path().string() + "/Desktop/");
    EXPECT_EQ(xdgUserDir("PICTURES"), scratch.path().string() + "/");
    EnvOverride data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(xdgDataHome(), scratch.path().string() + "/.local/share/");
}

}  // namespace
}  // namespace korvex
