#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/settings/test_folder.h"

namespace korvex {
namespace {

using test::readFile;
using test::TempDir;
using test::writeBytes;

struct Edit {
    const char *section, *key, *value;
};

TEST(IniFile, PlacementRules) {
    struct Case {
        const char* what;
        std::string before;
        std::vector<Edit> edits;
        std::string after;
    } cases[] = {
        {"a new file gets the section, then its keys in order",
         "",
         {{"A", "k", "1"}, {"A", "j", "2"}},
         "[A]\r\nk=1\r\nj=2\r\n"},
        {"an existing key keeps its line and place, names match ignoring case",
         "[Sec]\r\nKey=old\r\nOther=1\r\n",
         {{"SEC", "kEy", "new"}},
         "[Sec]\r\nKey=new\r\nOther=1\r\n"},
        {"a new key goes after the last key of its section, before blank lines and comments",
         "[A]\r\na=1\r\n\r\n; about B\r\n[B]\r\nb=2\r\n",
         {{"a", "x", "9"}},
         "[A]\r\na=1\r\nx=9\r\n\r\n; about B\r\n[B]\r\nb=2\r\n"},
        {"a comment between keys stays where it was",
         "[A]\r\na=1\r\n;c\r\nb=2\r\n",
         {{"A", "c", "3"}},
         "[A]\r\na=1\r\n;c\r\nb=2\r\nc=3\r\n"},
        {"a new key of an empty section goes right under its header",
         "[A]\r\n[B]\r\nb=2\r\n",
         {{"A", "a", "1"}},
         "[A]\r\na=1\r\n[B]\r\nb=2\r\n"},
        {"a missing section is added at the end",
         "[A]\r\na=1\r\n",
         {{"B", "b", "2"}, {"A", "c", "3"}},
         "[A]\r\na=1\r\nc=3\r\n[B]\r\nb=2\r\n"},
        {"lines that mean nothing are kept byte for byte",
         "garbage before=any section\r\n[A]\r\n  spaced = 1 \r\nno equals sign\r\n=no key\r\n[broken\r\n",
         {{"A", "spaced", "2"}},
         "garbage before=any section\r\n[A]\r\nspaced=2\r\nno equals sign\r\n=no key\r\n[broken\r\n"},
        {"LF and a missing last line end are read, CR LF written",
         "[A]\na=1\nb=2",
         {{"A", "b", "3"}},
         "[A]\r\na=1\r\nb=3\r\n"},
        {"of duplicate keys the first is written",
         "[A]\r\nk=1\r\nk=2\r\n",
         {{"A", "k", "3"}},
         "[A]\r\nk=3\r\nk=2\r\n"},
        {"of duplicate sections the first takes new keys",
         "[A]\r\na=1\r\n[B]\r\n[a]\r\nz=0\r\n",
         {{"A", "n", "2"}},
         "[A]\r\na=1\r\nn=2\r\n[B]\r\n[a]\r\nz=0\r\n"},
        {"a key before the first section belongs to none",
         "k=1\r\n[A]\r\n",
         {{"A", "k", "2"}},
         "k=1\r\n[A]\r\nk=2\r\n"},
        {"an empty value is written as key=",
         "[A]\r\na=1\r\n",
         {{"A", "a", ""}, {"A", "b", ""}},
         "[A]\r\na=\r\nb=\r\n"},
    };
    for (const auto& c : cases) {
        IniFile ini = IniFile::parse(c.before);
        for (const auto& e : c.edits) ini.setValue(e.section, e.key, e.value);
        EXPECT_EQ(ini.text(), c.after) << c.what;
    }
}

TEST(IniFile, Reading) {
    const std::string longValue(100000, 'x');
    const IniFile ini = IniFile::parse(
        "\xEF\xBB\xBF[Auth]\r\n"
        "Login = user \t\r\n"
        "Pair=a=b\r\n"
        ";Commented=1\r\n"
        "Long=" +
        longValue +
        "\r\n"
        "Empty=\r\n"
        "Twice=first\r\n"
        "Twice=second\r\n"
        "[Data]\r\n"
        "Login=other\r\n");
    struct Case {
        const char *section, *key;
        std::string expected;
        bool present;
    } cases[] = {
        {"auth", "LOGIN", "user", true},    // blanks around the value dropped, case ignored
        {"Auth", "Pair", "a=b", true},      // only the first "=" separates
        {"Auth", ";Commented", "", false},  // a comment is not a key
        {"Auth", "Long", longValue, true},  // read whole
        {"Auth", "Empty", "", true},       {"Auth", "Twice", "first", true},
        {"Data", "Login", "other", true},  // keys are per section
        {"Data", "Missing", "", false},    {"Nowhere", "Login", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.value(c.section, c.key), c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(ini.contains(c.section, c.key), c.present) << c.section << "/" << c.key;
    }
}

TEST(IniFile, RefusesWhatWouldBreakTheFile) {
    IniFile ini;
    const Edit bad[] = {
        {"A", "k", "two\r\nlines"}, {"A", "k", "x\ny"}, {"A", "k=v", "1"}, {"A", "", "1"},
        {"A", "[k]", "1"},          {"A", ";k", "1"},   {"A]", "k", "1"},  {"", "k", "1"},
        {"A\n", "k", "1"},          {" A", "k", "1"},   {"A", "k ", "1"},
    };
    for (const auto& e : bad) {
        EXPECT_THROW(ini.setValue(e.section, e.key, e.value), std::invalid_argument)
            << e.section << "/" << e.key;
    }
    EXPECT_EQ(ini.text(), "");
}

TEST(IniFile, LoadTellsMissingFromUnreadable) {
    TempDir dir;
    IniFile ini;
    EXPECT_EQ(ini.load(dir.file("none.ini")), IniFile::LoadStatus::Missing);
    std::error_code ec;
    EXPECT_EQ(ini.load(dir.path(), &ec), IniFile::LoadStatus::Failed);  // a folder
    EXPECT_TRUE(ec);
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    EXPECT_EQ(ini.load(dir.file("fifo.ini")), IniFile::LoadStatus::Failed)
        << "and does not wait for a writer";
    writeBytes(dir.file("a.ini"), "[A]\nk=v\n");
    EXPECT_EQ(ini.load(dir.file("a.ini")), IniFile::LoadStatus::Loaded);
    EXPECT_EQ(ini.value("A", "k"), "v");
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(IniFile, SaveWritesTheWholeTextAndKeepsAnExistingMode) {
    TempDir dir;
    const std::string path = dir.file("a.ini");
    IniFile ini;
    ini.setValue("A", "k", "v");
    ASSERT_FALSE(ini.save(path));
    EXPECT_EQ(readFile(path), "[A]\r\nk=v\r\n");
    EXPECT_EQ(modeOf(path), 0600u) << "a new file holds passwords";

    ::chmod(path.c_str(), 0640);
    ini.setValue("A", "k", "w");
    ASSERT_FALSE(ini.save(path));
    EXPECT_EQ(readFile(path), "[A]\r\nk=w\r\n");
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_TRUE(test::strayFiles(dir.path(), "a.ini").empty());
}

TEST(IniFile, SaveThroughASymbolicLinkReplacesItsTarget) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    writeBytes(dir.file("real/a.ini"), "[A]\r\nk=1\r\n");
    std::filesystem::create_symlink("real/a.ini", dir.file("link.ini"));
    IniFile ini;
    ASSERT_EQ(ini.load(dir.file("link.ini")), IniFile::LoadStatus::Loaded);
    ini.setValue("A", "k", "2");
    ASSERT_FALSE(ini.save(dir.file("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(readFile(dir.file("real/a.ini")), "[A]\r\nk=2\r\n");
}

TEST(IniFile, SaveIntoAMissingFolderFails) {
    TempDir dir;
    IniFile ini;
    ini.setValue("A", "k", "v");
    EXPECT_TRUE(ini.save(dir.file("no/such/folder.ini")));
}

TEST(IniFile, AReadOnlyFileIsNotReplaced) {
    TempDir dir;
    test::openToOthers(dir.path());
    ::chmod(dir.path().c_str(), 0777);  // the folder would allow the rename; the file itself forbids it
    const std::string path = dir.file("a.ini");
    writeBytes(path, "[A]\r\nk=1\r\n");
    ::chmod(path.c_str(), 0444);
    const std::string answer = test::runUnprivileged([&] {
        IniFile ini;
        if (ini.load(path) != IniFile::LoadStatus::Loaded) return std::string("not loaded");
        ini.setValue("A", "k", "2");
        return ini.save(path) ? std::string("refused") : std::string("saved");
    });
    EXPECT_EQ(answer, "refused");
    EXPECT_EQ(readFile(path), "[A]\r\nk=1\r\n");
    EXPECT_TRUE(test::strayFiles(dir.path(), "a.ini").empty());
}

}  // namespace
}  // namespace korvex
