#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "update/install/paths.h"

namespace korvex::update {
namespace {

namespace fs = std::filesystem;

PathMacroFolders sampleFolders() {
    PathMacroFolders f;
    f.current = "/opt/Мой Korvex/";
    f.desktop = "/home/u/Рабочий стол/";
    f.myDocuments = "/home/u/Documents/";
    f.myPictures = "/home/u/Pictures/";
    f.appData = "/home/u/.local/share/";
    f.programFiles = "/opt/";
    f.windows = "/home/u/.local/share/korvex/windows/";
    f.system = "/home/u/.local/lib/";
    f.temp = "/run/user/1000/korvex/";
    f.help = "/home/u/.local/share/help/";
    f.media = "/home/u/.local/share/sounds/";
    f.cursors = "/home/u/.local/share/icons/";
    return f;
}

// Where each kind of file entry ends up: the program folder for an entry without local path,
// macros in any case, Windows separators, relative paths under the program folder; entries that
// can name no file here are refused rather than written somewhere odd.
TEST(UpdatePaths, FinalPathOfEntry) {
    const struct {
        const char* entry;
        const char* path;  // "" refused
    } cases[] = {
        {"http://h/upd/korvex", "/opt/Мой Korvex/korvex"},
        {"http://h/upd/a.dat=", "/opt/Мой Korvex/a.dat"},
        {"http://h/upd/a.dat=%APPDATA%\\Sub\\a.dat", "/home/u/.local/share/Sub/a.dat"},
        {"http://h/a=%AppData%Sub\\a.dat", "/home/u/.local/share/Sub/a.dat"},
        {"http://h/b.dll=sub\\b.dll", "/opt/Мой Korvex/sub/b.dll"},
        {"http://h/c=c.txt", "/opt/Мой Korvex/c.txt"},
        {"http://h/d=%current%d.txt", "/opt/Мой Korvex/d.txt"},
        {"http://h/e=%temp%\\e=1", "/run/user/1000/korvex/e=1"},
        {"http://h/f=%desktop%f %mydocuments%x", "/home/u/Рабочий стол/f /home/u/Documents/x"},
        {"http://h/h=%unknown%\\h", "/opt/Мой Korvex/%unknown%/h"},
        {"http://h/k=/opt/Мой Korvex/k.dat", "/opt/Мой Korvex/k.dat"},
        {"http://h/l=%appdata%Sub\\Deeper\\l.dat", "/home/u/.local/share/Sub/Deeper/l.dat"},
        {"http://h/m=%programfiles%Other\\m.dll", "/opt/Other/m.dll"},
        // Escapes: out of every folder an update owns, or into a dot file inside one.
        {"http://h/g=/etc/../tmp/g", ""},
        {"http://h/g=/etc/passwd", ""},
        {"http://h/g=../escaped", ""},
        {"http://h/g=sub\\..\\..\\escaped", ""},
        {"http://h/g=%mydocuments%.bashrc", ""},
        {"http://h/g=%appdata%../../.config/autostart/evil.desktop", ""},
        {"http://h/g=%desktop%..\\..\\.profile", ""},
        {"http://h/g=sub\\.\\g", ""},
        {"http://h/g=.config\\g", ""},
        {"http://h/.bashrc", ""},
        {"http://h/g=%current%", ""},
        {"http://h/g=/home/u/.local/share", ""},
        {"http://h/i=C:\\Windows\\i.dll", ""},
        {"http://h/j=%windows%", ""},
        {"http://h/upd/", ""},
        {"http://h/upd/..", ""},
    };
    const PathMacroFolders folders = sampleFolders();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(finalPathOfEntry(c.entry, folders).value_or(""), c.path);
    }
}

// A macro that stands for no folder here (%programfiles% of a copy in the home folder) refuses
// its entry instead of putting the file under the program folder; one refused entry is named.
TEST(UpdatePaths, RefusedEntryOfTheList) {
    PathMacroFolders folders = sampleFolders();
    folders.programFiles.clear();
    EXPECT_EQ(finalPathOfEntry("http://h/m=%ProgramFiles%m.dll", folders), std::nullopt);
    EXPECT_EQ(refusedEntry({"http://h/korvex", "http://h/a=%appdata%a.dat"}, folders), std::nullopt);
    EXPECT_EQ(refusedEntry({"http://h/korvex", "http://h/b=..\\b", "http://h/c=/c"}, folders),
              "http://h/b=..\\b");
}

// No macro stands for the home folder or above: the user folders fall back to their usual names
// when user-dirs.dirs does not set them or sets them to the home folder (a folder turned off),
// and a copy installed in ~/korvex has no %programfiles%.
TEST(UpdatePaths, NoMacroStandsForTheHomeFolder) {
    test::TempDir dir;
    const std::string home = dir.path().string() + "/";
    const std::string config = home + "config/";
    fs::create_directory(config);
    std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    const char* savedConfig = getenv("XDG_CONFIG_HOME");
    const std::string savedConfigText = savedConfig ? savedConfig : "";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    dir.write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    const PathMacroFolders f = pathMacroFolders(home + "korvex/", "/run/user/1/korvex/");
    setenv("HOME", savedHome.c_str(), 1);
    if (savedConfig)
        setenv("XDG_CONFIG_HOME", savedConfigText.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");

    EXPECT_EQ(f.desktop, home + "Desktop/");
    EXPECT_EQ(f.myDocuments, home + "Documents/");
    EXPECT_EQ(f.myPictures, home + "Bilder/");
    EXPECT_EQ(f.programFiles, "");
    EXPECT_EQ(finalPathOfEntry("http://h/x=%mydocuments%.bashrc", f), std::nullopt);
    EXPECT_EQ(finalPathOfEntry("http://h/x=%mydocuments%Notes\\x.txt", f), home + "Documents/Notes/x.txt");
}

// The folders that follow from the program folder. %programfiles% is the folder above it, as
// "Program Files" holds one folder per program; the program folder itself would put an entry's
// files inside this copy.
TEST(UpdatePaths, MacroFoldersOfTheProgramFolder) {
    const struct {
        const char* program;
        const char* programFiles;
    } cases[] = {
        {"/opt/Мой Korvex/", "/opt/"},
        {"/home/u/apps/korvex/", "/home/u/apps/"},
        {"/korvex/", ""},  // the root is above the home folder: no %programfiles% there
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const PathMacroFolders folders = pathMacroFolders(c.program, "/run/user/1000/korvex/");
        EXPECT_EQ(folders.current, c.program);
        EXPECT_EQ(folders.programFiles, c.programFiles);
        EXPECT_EQ(folders.temp, "/run/user/1000/korvex/");
        EXPECT_EQ(finalPathOfEntry("http://h/x=%ProgramFiles%Other\\x.dll", folders).value_or(""),
                  *c.programFiles ? std::string(c.programFiles) + "Other/x.dll" : "");
    }
}

// Each macro is expanded in every letter case, as often as it stands there; a folder put in by one
// macro is never expanded by that macro again, but the macros after it in the table see it.
TEST(UpdatePaths, ExpandPathMacros) {
    PathMacroFolders folders = sampleFolders();
    folders.temp = "/t/%TEMP%/";
    folders.current = "/c/%help%/";
    const struct {
        const char* localPath;
        const char* expanded;
    } cases[] = {
        {"%temp%%TEMP%x", "/t/%TEMP%//t/%TEMP%/x"},
        {"%%temp%%", "%/t/%TEMP%/%"},
        {"%current%a", "/c//home/u/.local/share/help//a"},
        {"%tem%temp%p%", "%tem/t/%TEMP%/p%"},
        {"%TEMP", "%TEMP"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(expandPathMacros(c.localPath, folders), c.expanded) << c.localPath;
}

// The queue lists the final paths of entries with a local path only, CR LF after each line.
TEST(UpdatePaths, QueueText) {
    const PathMacroFolders folders = sampleFolders();
    EXPECT_EQ(
        updateQueueText({"http://h/korvex", "http://h/a=%appdata%a.dat", "http://h/b=sub\\b.dll"}, folders),
        "/home/u/.local/share/a.dat\r\n/opt/Мой Korvex/sub/b.dll\r\n");
    EXPECT_EQ(updateQueueText({"http://h/korvex", "http://h/x="}, folders), "");
    EXPECT_EQ(updTmpName("/opt/k/korvex"), "/opt/k/korvex.updtmp");
}

TEST(UpdatePaths, MissingFoldersAreMadeFirstToLast) {
    test::TempDir dir;
    const std::string path = (dir.path() / "Данные é" / "a b" / "c" / "file.dat").string();
    ASSERT_TRUE(makeFoldersOf(path));
    EXPECT_TRUE(fs::is_directory(dir.path() / "Данные é" / "a b" / "c"));
    EXPECT_FALSE(fs::exists(path));
    dir.write("plain", "x");
    EXPECT_FALSE(makeFoldersOf(dir.file("plain") + "/sub/file.dat"));
}

// Only the program folder's temporaries go; a queued file's twin elsewhere stays, and so does
// every file that is not a temporary.
TEST(UpdatePaths, DeletingTemporariesTouchesOnlyTheProgramFolder) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "other");
    dir.write("korvex.updtmp", "x");
    dir.write("a b é.dll.updtmp", "x");
    dir.write("korvex", "program");
    dir.write("notes.updtmp.txt", "x");
    dir.write("other/a.dat.updtmp", "x");
    deleteProgramFolderTemporaries(dir.path().string() + "/");
    EXPECT_FALSE(fs::exists(dir.file("korvex.updtmp")));
    EXPECT_FALSE(fs::exists(dir.file("a b é.dll.updtmp")));
    EXPECT_TRUE(fs::exists(dir.file("korvex")));
    EXPECT_TRUE(fs::exists(dir.file("notes.updtmp.txt")));
    EXPECT_TRUE(fs::exists(dir.file("other/a.dat.updtmp")));
}

// A copy installed where this user cannot write (a system-wide install, a read-only mount) is
// found before anything is downloaded, and the probe leaves nothing behind.
TEST(UpdatePaths, ProgramFolderWritable) {
    test::TempDir dir;
    std::string why;
    EXPECT_TRUE(programFolderWritable(dir.path().string() + "/", &why)) << why;
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_FALSE(programFolderWritable("/proc/", &why));
    EXPECT_NE(why, "");
    EXPECT_FALSE(programFolderWritable(dir.file("missing") + "/"));
    EXPECT_FALSE(programFolderWritable("/usr/bin/", &why)) << "a system-wide install, even for root";
    if (geteuid() != 0) {  // root writes through permission bits
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(programFolderWritable(dir.path().string() + "/"));
        fs::permissions(dir.path(), fs::perms::owner_all);
    }
}

TEST(UpdatePaths, AtomicWriteReplacesWholeSetsTheModeAndNeverFollowsALink) {
    test::TempDir dir;
    const std::string path = dir.write("UpdateQueue.txt", "old");
    ASSERT_TRUE(writeUpdateFile(path, "new\r\n", 0600, nullptr));
    EXPECT_EQ(test::readFile(path), "new\r\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string error;
    EXPECT_FALSE(writeUpdateFile(dir.file("missing/x"), "x", 0600, &error));
    EXPECT_NE(error, "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "a leftover";

    // A link planted where the helper or its queue goes is replaced; what it led to stays untouched.
    test::TempDir elsewhere;
    const std::string victim = elsewhere.write("victim", "theirs");
    const std::string helper = dir.file("UpdateHelper");
    fs::create_symlink(victim, helper);
    ASSERT_TRUE(writeUpdateFile(helper, "helper", 0700, &error)) << error;
    EXPECT_FALSE(fs::is_symlink(helper));
    EXPECT_EQ(test::readFile(helper), "helper");
    EXPECT_EQ(test::readFile(victim), "theirs");
}

}  // namespace
}  // namespace korvex::update
