#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <random>

#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "tests/settings/test_folder.h"

namespace korvex {
namespace {

using test::readFile;
using test::TempDir;
using test::writeBytes;

const std::string kHolderName = "\xCF\xE5\xF2\xF0\xEE\xE2 \xC8\xE2\xE0\xED";  // "Петров Иван" in cp1251
const std::string kStatusText = "\xC0\xEA\xF2\xE8\xE2\xED\xE0";               // "Активна"

// A book of `count` rows whose every stored cell names its row, column and `tag`.
AccountBook makeBook(int count, const std::string& tag = "") {
    AccountBook book;
    book.setCount(count);
    for (int r = 0; r < count; ++r) {
        const std::string n = std::to_string(r) + tag;
        book.client.setCell(kLogin, r, "login" + n);
        book.client.setCell(kPassword, r, "pw" + n);
        book.client.setCell(kPlanCode, r, "39S");
        book.client.setCell(kHolder, r, kHolderName + n);
        for (int c = kBalance; c <= kStatus; ++c)
            book.Stat.setCell(c, r, kStatusText + std::to_string(c) + "-" + n);
    }
    return book;
}

// Both tables' stored cells of rows 0..count-1 (balance column 0 included: read copies the login).
void expectSameRows(const AccountBook& got, const AccountBook& want, int count) {
    for (int r = 0; r < count; ++r) {
        for (int c = 0; c < kAccountCols; ++c)
            EXPECT_EQ(got.client.cell(c, r), want.client.cell(c, r)) << r << "/" << c;
        EXPECT_EQ(got.Stat.cell(kStatLogin, r), want.client.cell(kLogin, r)) << r;
        for (int c = kBalance; c <= kStatus; ++c)
            EXPECT_EQ(got.Stat.cell(c, r), want.Stat.cell(c, r)) << r << "/" << c;
    }
}

AccountBook load(const std::string& path, int count) {
    AccountBook book;
    book.setCount(count);
    read(book, path);
    return book;
}

std::string enc(const std::string& s) {
    return encode(s);
}

TEST(SettingsFile, NewFileTemplate) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    EXPECT_FALSE(settingsFileExists(path));
    createNewFile(path, ProxySettings{});
    EXPECT_TRUE(settingsFileExists(path));
    EXPECT_EQ(readFile(path),
              "[AUTHENTICATION]\r\nCount=" + enc("1") + "\r\nProxy=" + enc("0") +
                  "\r\nAdress=\r\nPort=\r\nLogin_0=\r\nPassword_0=\r\nSputnik_0=\r\nFIO_0=\r\n"
                  "[DATA]\r\nBalans_0=\r\nPlan_0=\r\nDate_0=\r\nActive_0=\r\nPast_0=\r\n");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the file holds passwords";

    const StartupValues start = readStartup(path);
    EXPECT_EQ(start.count, 1);
    EXPECT_EQ(start.proxy, ProxySettings{});

    // A new file takes the proxy setting in force.
    const std::string withProxy = dir.file("Proxy.ini");
    const ProxySettings proxy{true, "10.1.2.3", "3128"};
    createNewFile(withProxy, proxy);
    EXPECT_EQ(readStartup(withProxy).proxy, proxy);
    const IniFile ini = IniFile::parse(readFile(withProxy));
    EXPECT_EQ(decode(ini.value("AUTHENTICATION", "Proxy")), "-1") << "stored as -1/0, never as a word";
}

TEST(SettingsFile, StartupValuesFromTheFile) {
    struct Case {
        const char *count, *proxy;
        int wantCount;
        bool wantProxy;
        bool wantDamaged = false;  // the count cannot be read as a number at all
    } cases[] = {
        {"3", "-1", 3, true},       {"500", "0", 500, false},
        {"501", "1", 500, true},    {"0", "TRUE", 1, true},
        {"-7", "true", 1, true},    {"abc", "false", 1, false, true},
        {"2.5", "yes", 1, false, true},   {"", "", 1, false, true},
        {" 12 ", "0.0", 12, false}, {"99999999999999999999", "2.5", 500, true},
        {"4", "-0", 4, false},      {"4", "1e3", 4, true},
        {"4", "0,0", 4, false},     {"4", "0,5", 4, true},
        {"4", "1.2.3", 4, false},
    };
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    for (const auto& c : cases) {
        IniFile ini;
        ini.setValue("AUTHENTICATION", "Count", enc(c.count));
        ini.setValue("AUTHENTICATION", "Proxy", enc(c.proxy));
        ini.setValue("AUTHENTICATION", "Adress", enc("proxy.local"));
        ini.setValue("AUTHENTICATION", "Port", enc("80a"));  // taken as typed; reported when applied
        ASSERT_FALSE(ini.save(path));
        const StartupValues start = readStartup(path);
        EXPECT_EQ(start.count, c.wantCount) << "Count " << c.count;
        EXPECT_EQ(start.countDamaged, c.wantDamaged) << "Count " << c.count;
        EXPECT_EQ(start.countText, c.count);
        EXPECT_EQ(start.accountRows, 0);
        EXPECT_EQ(start.proxy.enabled, c.wantProxy) << "Proxy " << c.proxy;
        EXPECT_EQ(start.proxy.address, "proxy.local");
        EXPECT_EQ(start.proxy.port, "80a");
    }
    const StartupValues none = readStartup(dir.file("missing.ini"));
    EXPECT_EQ(none.count, 1);
    EXPECT_FALSE(none.proxy.enabled);
    EXPECT_FALSE(none.countDamaged);
}

// The low-balance threshold has a section of its own; files without it read as before.
TEST(SettingsFile, TheLowBalanceThresholdIsReadFromItsOwnSection) {
    struct Case {
        const char* text;  // nullptr: no key
        double want;
    } cases[] = {{nullptr, 7}, {"0", 0}, {"-50", -50}, {" 100,5 ", 100.5}, {"abc", 7}, {"", 7}, {"1e999", 7}};
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    for (const Case& c : cases) {
        IniFile ini;
        ini.setValue("AUTHENTICATION", "Count", enc("1"));
        if (c.text) ini.setValue("SUMMARY", "LowBalance", c.text);
        ASSERT_FALSE(ini.save(path));
        EXPECT_DOUBLE_EQ(readLowBalance(path, 7), c.want) << (c.text ? c.text : "no key");
        EXPECT_EQ(readStartup(path).count, 1);
    }
    EXPECT_DOUBLE_EQ(readLowBalance(dir.file("missing.ini"), 7), 7);
}

// The days-left threshold beside it: a whole number of days, 0 to turn it off; anything else (a
// fraction, a sign, a number past the bound) keeps the default rather than turning it off.
TEST(SettingsFile, TheDaysLeftThresholdIsAWholeNumberOrTheDefault) {
    struct Case {
        const char* text;  // nullptr: no key
        int want;
    } cases[] = {{nullptr, 7}, {"0", 0},   {" 14 ", 14}, {"36500", 36500}, {"36501", 7},
                 {"-3", 7},    {"2.5", 7}, {"abc", 7},   {"", 7},          {"99999999999", 7}};
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    for (const Case& c : cases) {
        IniFile ini;
        ini.setValue("AUTHENTICATION", "Count", enc("1"));
        if (c.text) ini.setValue("SUMMARY", "DaysLeft", c.text);
        ASSERT_FALSE(ini.save(path));
        EXPECT_EQ(readDaysLeft(path), c.want) << (c.text ? c.text : "no key");
    }
    EXPECT_EQ(readDaysLeft(dir.file("missing.ini")), kDefaultDaysLeft);
}

// What the file holds, whatever its count says: a damaged count hides accounts, a missing count
// in a file with several accounts as well.
TEST(SettingsFile, StartupTellsHowManyAccountRowsTheFileHolds) {
    struct Case {
        const char* count;  // nullptr: no "Count" key
        std::vector<std::pair<const char*, int>> keys;
        int wantRows;
        bool wantDamaged;
    } cases[] = {
        {"abc", {{"Login_", 0}, {"FIO_", 30}}, 31, true},
        {"5", {{"Login_", 0}, {"Sputnik_", 11}}, 12, false},  // a lowered count hides rows on purpose
        {nullptr, {{"Login_", 0}, {"Password_", 3}}, 4, true},
        {nullptr, {{"Login_", 0}}, 1, false},
        {"2", {{"Login_", 499}}, 500, false},
        {"2", {{"Login_", 500}}, 0, false},  // beyond what a book can hold
    };
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    for (const auto& c : cases) {
        IniFile ini;
        if (c.count) ini.setValue("AUTHENTICATION", "Count", enc(c.count));
        ini.setValue("AUTHENTICATION", "Login_1", enc(""));
        for (const auto& [key, row] : c.keys) ini.setValue("AUTHENTICATION", key + std::to_string(row), enc("x"));
        ASSERT_FALSE(ini.save(path));
        const StartupValues start = readStartup(path);
        EXPECT_EQ(start.accountRows, c.wantRows) << (c.count ? c.count : "no count");
        EXPECT_EQ(start.countDamaged, c.wantDamaged) << (c.count ? c.count : "no count");
    }
}

TEST(SettingsFile, SaveAndLoadKeepEveryByte) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    AccountBook book = makeBook(3);
    std::string everyByte;
    for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
    book.client.setCell(kHolder, 0, everyByte);
    book.client.setCell(kPassword, 1, std::string(5000, '\xE9') + "end");  // far beyond the old 2047 cut
    book.client.setCell(kHolder, 2, "");
    book.Stat.setCell(kStatPlanCode, 0, "derived, never stored");
    const ProxySettings proxy{true, "\xEF\xF0\xEE\xEA\xF1\xE8", "8080"};
    zapis(book, proxy, path);

    AccountBook loaded;
    loaded.setCount(3);
    loaded.Stat.setCell(kStatHolder, 1, "kept");
    loaded.Stat.setCell(kStatPlanCode, 1, "kept too");
    read(loaded, path);
    expectSameRows(loaded, book, 3);
    EXPECT_EQ(loaded.Stat.cell(kStatHolder, 1), "kept") << "balance columns 6 and 7 are left alone";
    EXPECT_EQ(loaded.Stat.cell(kStatPlanCode, 1), "kept too");
    EXPECT_EQ(loaded.Stat.cell(kStatPlanCode, 0), "");

    const std::string text = readFile(path);
    EXPECT_NE(text.find("\r\nFIO_2=\r\n"), std::string::npos) << "an empty cell is stored as Key=";
    EXPECT_EQ(text.find("Petrov"), std::string::npos);
    const StartupValues start = readStartup(path);
    EXPECT_EQ(start.count, 3);
    EXPECT_EQ(start.proxy, proxy);
}

TEST(SettingsFile, LoweringTheCountKeepsTheRowsBeyondIt) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    const AccountBook five = makeBook(5);
    zapis(five, {}, path);

    AccountBook three = load(path, 3);
    three.client.setCell(kLogin, 0, "changed");
    zapis(three, {}, path);
    EXPECT_EQ(readStartup(path).count, 3);

    AccountBook again = load(path, 5);
    EXPECT_EQ(again.client.cell(kLogin, 0), "changed");
    AccountBook want = five;
    want.client.setCell(kLogin, 0, "changed");
    expectSameRows(again, want, 5);
}

std::vector<std::string> keysInOrder(const std::string& text) {
    std::vector<std::string> keys;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        const std::string line = text.substr(at, end - at);
        keys.push_back(line.substr(0, line.find('=')));
        at = end + 2;
    }
    return keys;
}

TEST(SettingsFile, SavingFewerRowsRewritesOnlyThoseRows) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    zapis(makeBook(4), {}, path);
    const std::string before = readFile(path);
    const AccountBook two = makeBook(2, "-new");
    zapis(two, {}, path);
    const std::string after = readFile(path);

    EXPECT_EQ(keysInOrder(after), keysInOrder(before)) << "every key keeps its line";
    expectSameRows(load(path, 2), two, 2);
    const IniFile old = IniFile::parse(before), now = IniFile::parse(after);
    for (const char* row : {"2", "3"}) {
        for (const char* key : {"Login_", "Password_", "Sputnik_", "FIO_"})
            EXPECT_EQ(now.value("AUTHENTICATION", key + std::string(row)),
                      old.value("AUTHENTICATION", key + std::string(row)));
        for (const char* key : {"Balans_", "Past_", "Plan_", "Date_", "Active_"})
            EXPECT_EQ(now.value("DATA", key + std::string(row)), old.value("DATA", key + std::string(row)));
    }
}

// The keys are the file's format: a file an earlier Korvex wrote reads back into the same columns.
// Two columns that swapped keys would still read back what they wrote themselves, so the file here
// is written by hand.
TEST(SettingsFile, EachBalanceColumnReadsTheKeyItWasAlwaysStoredUnder) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    const std::pair<const char*, StatCol> keys[] = {
        {"Balans_0", kBalance}, {"Past_0", kPrevious}, {"Plan_0", kSpeed}, {"Date_0", kDate}, {"Active_0", kStatus}};
    IniFile ini;
    for (const auto& [key, col] : keys) ini.setValue("DATA", key, enc(key));
    ASSERT_FALSE(ini.save(path));
    const AccountBook book = load(path, 1);
    for (const auto& [key, col] : keys) EXPECT_EQ(book.Stat.cell(col, 0), key);
}

TEST(SettingsFile, ACountAboveTheStoredRowsGivesEmptyRows) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    const AccountBook two = makeBook(2);
    zapis(two, {}, path);
    IniFile ini;
    ASSERT_EQ(ini.load(path), IniFile::LoadStatus::Loaded);
    ini.setValue("AUTHENTICATION", "Count", enc("3"));
    ASSERT_FALSE(ini.save(path));

    const StartupValues start = readStartup(path);
    ASSERT_EQ(start.count, 3);
    const AccountBook loaded = load(path, start.count);
    expectSameRows(loaded, two, 2);
    for (int c = 0; c < kAccountCols; ++c) EXPECT_EQ(loaded.client.cell(c, 2), "");
    for (int c = 0; c < kStatCols; ++c) EXPECT_EQ(loaded.Stat.cell(c, 2), "");
}

TEST(SettingsFile, ShortTablesSaveTheirMissingCellsEmpty) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    AccountBook book = makeBook(2);
    book.clients = 3;  // an inserted row was dropped while the count stayed
    zapis(book, {}, path);
    const IniFile ini = IniFile::parse(readFile(path));
    EXPECT_TRUE(ini.contains("AUTHENTICATION", "Login_2"));
    EXPECT_EQ(ini.value("AUTHENTICATION", "Login_2"), "");
    EXPECT_EQ(ini.value("DATA", "Active_2"), "");
}

TEST(SettingsFile, ForeignLinesAndAnExistingModeSurviveASave) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    writeBytes(path, "; kept by hand\n[AUTHENTICATION]\nCount=" + enc("1") + "\nNote=x\n[Other]\na=b\n");
    ::chmod(path.c_str(), 0700);  // the owner's own bits stay; group and others lose theirs (passwords)
    zapis(makeBook(1), {}, path);
    const std::string text = readFile(path);
    EXPECT_EQ(
        text.rfind("; kept by hand\r\n[AUTHENTICATION]\r\nCount=" + enc("1") + "\r\nNote=x\r\nProxy=", 0),
        0u);
    EXPECT_NE(text.find("[Other]\r\na=b\r\n[DATA]\r\n"), std::string::npos);
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

// A folder that refuses new files: a writable Settings.ini in it is rewritten in place; a file that
// cannot be written, or a file that does not exist yet, gives the message and stays as it was.
TEST(SettingsFile, AFolderThatRefusesNewFilesSavesAWritableFileInPlace) {
    struct Case {
        const char* name;
        mode_t fileMode;  // 0: no file yet
        int rows;         // rows of the book saved; fewer than the 4 on disk cuts the file shorter
        bool saved;
        const char* said;  // the step and the reason, when not saved
    } const cases[] = {
        {"writable file, longer text", 0666, 5, true, ""},
        {"writable file, shorter text", 0666, 1, true, ""},
        {"read-only file", 0444, 5, false, "checking it may be written: Permission denied"},
        {"no file yet", 0, 1, false, "making a temporary file beside it: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::openToOthers(dir.path());
        const std::string path = dir.file("Settings.ini");
        if (c.fileMode) {
            zapis(makeBook(4), {}, path);
            ::chmod(path.c_str(), c.fileMode);
        }
        ::chmod(dir.path().c_str(), 0555);
        const std::string before = readFile(path);

        const std::string answer = test::runUnprivileged([&] {
            try {
                if (c.fileMode) {
                    zapis(makeBook(c.rows, "-new"), {}, path);
                } else {
                    createNewFile(path, {});
                }
            } catch (const SettingsWriteError& e) {
                return std::string(e.what());
            }
            return std::string("saved");
        });
        EXPECT_TRUE(test::strayFiles(dir.path(), "Settings.ini").empty());
        if (!c.saved) {
            EXPECT_EQ(answer, "Unable to write to " + path + ": " + c.said);
            EXPECT_EQ(readFile(path), before);
            continue;
        }
        EXPECT_EQ(answer, "saved");
        const AccountBook book = makeBook(c.rows, "-new");
        const std::string after = readFile(path);
        EXPECT_EQ(readStartup(path).count, c.rows);
        expectSameRows(load(path, c.rows), book, c.rows);
        EXPECT_EQ(after.size(), IniFile::parse(after).text().size()) << "nothing of the old text after the end";
        struct stat st {};
        ::stat(path.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, 0666u);
    }
}

// Rewriting in place is not one step; a write that fails part way puts the old text back.
TEST(SettingsFile, AFailedRewriteInPlaceLeavesThePreviousFileWhole) {
    TempDir dir;
    test::openToOthers(dir.path());
    const std::string path = dir.file("Settings.ini");
    zapis(makeBook(3), {}, path);
    ::chmod(path.c_str(), 0666);
    ::chmod(dir.path().c_str(), 0555);
    const std::string before = readFile(path);
    const std::string answer = test::runUnprivileged([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
        try {
            zapis(makeBook(50), {}, path);
        } catch (const SettingsWriteError& e) {
            return std::string(e.what());
        }
        return std::string("saved");
    });
    EXPECT_EQ(answer,
              "Unable to write to " + path + ": rewriting it in place (its old text is back): File too large");
    EXPECT_EQ(readFile(path), before);
}

TEST(SettingsFile, AnUnreadableFileIsNotOverwritten) {
    TempDir dir;
    test::openToOthers(dir.path());
    ::chmod(dir.path().c_str(), 0777);
    const std::string path = dir.file("Settings.ini");
    zapis(makeBook(4), {}, path);
    ::chmod(path.c_str(), 0222);  // writable, not readable: saving would lose rows beyond the count
    const std::string before = readFile(path);
    const std::string answer = test::runUnprivileged([&] {
        AccountBook book;
        read(book, path);  // loads empty, fails nothing
        if (!book.client.cell(kLogin, 0).empty()) return std::string("read something");
        try {
            zapis(book, {}, path);
        } catch (const SettingsWriteError& e) {
            return std::string(e.what());
        }
        return std::string("saved");
    });
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(answer, "Unable to write to " + path + ": it cannot be read first: Permission denied");
    EXPECT_EQ(readFile(path), before);
}

TEST(SettingsFile, AFullDiskLeavesThePreviousFileWhole) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    zapis(makeBook(3), {}, path);
    const std::string before = readFile(path);
    // The file size limit makes the write fail part way, as a full disk does.
    const std::string answer = test::runInChild(
        [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
            try {
                zapis(makeBook(50), {}, path);
            } catch (const SettingsWriteError& e) {
                return std::string(e.what());
            }
            return std::string("saved");
        },
        false);
    EXPECT_EQ(answer, "Unable to write to " + path + ": writing the temporary file: File too large");
    EXPECT_EQ(readFile(path), before);
    EXPECT_TRUE(test::strayFiles(dir.path(), "Settings.ini").empty());
}

// A save loop killed at random moments: the file always holds one complete save, never a mixture or a
// cut, and never goes back to an older save than one already seen.
TEST(SettingsFile, KillDuringSaveLeavesACompleteFile) {
    constexpr int kAccounts = 120;
    constexpr int kKills = 30;
    TempDir dir, reference;
    const std::string path = dir.file("Settings.ini");
    const auto bookOf = [](int version) {
        return makeBook(kAccounts,
                        "-v" + std::to_string(version) + std::string(static_cast<size_t>(version % 5), '+'));
    };
    zapis(bookOf(0), {}, path);
    const auto versionIn = [](const std::string& text) {
        const std::string login = decode(IniFile::parse(text).value("AUTHENTICATION", "Login_0"));
        const auto v = login.find("-v");
        return v == std::string::npos ? -1 : std::atoi(login.c_str() + v + 2);
    };
    const auto expectedText = [&](int version) {
        const std::string ref = reference.file("Settings.ini");
        std::filesystem::remove(ref);
        zapis(bookOf(0), {}, ref);
        zapis(bookOf(version), {}, ref);
        return readFile(ref);
    };

    std::mt19937 random(20240607);
    int seen = 0;
    for (int round = 0; round < kKills; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            for (int v = seen + 1;; ++v) {
                zapis(bookOf(v), {}, path);
                if (::write(fds[1], "s", 1) != 1) ::_exit(1);
            }
        }
        ::close(fds[1]);
        char saved = 0;
        ASSERT_EQ(::read(fds[0], &saved, 1), 1) << "the child finished one save";
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 6000)(random));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(fds[0]);

        const std::string text = readFile(path);
        const int version = versionIn(text);
        ASSERT_GT(version, seen) << "round " << round;
        ASSERT_EQ(text, expectedText(version)) << "round " << round;
        seen = version;
    }
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// Every state a settings file can be found in: what it is taken for, and whether a save may go
// over it. A save that may not leaves every byte as it was and says why.
TEST(SettingsFileStates, OnlyABookOrNoFileIsReadAndWrittenOver) {
    const std::string book = "[AUTHENTICATION]\r\nCount=" + encode("1") + "\r\nLogin_0=" + encode("ivanov") + "\r\n";
    std::string utf16;  // the book in UTF-16LE, without a byte order mark
    for (const char c : book) utf16 += std::string(1, c) + '\0';
    std::mt19937 random(42);
    std::string noise(3000, '\0');
    for (char& c : noise) c = static_cast<char>(random() % 255 + 1);  // not one NUL
    struct Case {
        const char* name;
        std::string bytes;  // "/": a folder
        SettingsFileState::Kind kind;
        const char* said;  // what a save says after "Unable to write to PATH: "; "" for saved
    } const cases[] = {
        {"no file", "", SettingsFileState::Missing, ""},
        {"an empty file", " ", SettingsFileState::Book, ""},
        {"a book", book, SettingsFileState::Book, ""},
        {"a book in UTF-8 with a BOM", "\xEF\xBB\xBF" + book, SettingsFileState::Book, ""},
        {"UTF-16 with a BOM", "\xFF\xFE" + utf16, SettingsFileState::NotSettings, "UTF-16 text"},
        {"UTF-16 without a BOM", utf16, SettingsFileState::NotSettings, "UTF-16 text"},
        {"a NUL after the first lines", book + std::string(600, 'x') + '\0', SettingsFileState::NotSettings,
         "binary data"},
        {"random bytes without NUL", noise, SettingsFileState::NotSettings, "binary data"},
        {"a book with a stray escape byte in a cell", book + "Holder_0=\x1b[1m\r\n", SettingsFileState::Book, ""},
        {"text without a section", "Count=5\r\nhello\r\n", SettingsFileState::NotSettings, "without a single"},
        {"a folder", "/", SettingsFileState::Folder, "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("Settings.ini");
        if (c.bytes == "/")
            std::filesystem::create_directory(path);
        else if (c.kind != SettingsFileState::Missing)
            writeBytes(path, c.bytes == " " ? "" : c.bytes);
        EXPECT_EQ(settingsFileState(path).kind, c.kind);
        const std::string before = c.bytes == "/" ? "" : readFile(path);
        std::string said;
        try {
            zapis(makeBook(2), {}, path);
        } catch (const SettingsWriteError& e) {
            said = e.what();
        }
        if (*c.said == '\0') {
            EXPECT_EQ(said, "");
            EXPECT_EQ(load(path, 2).client, makeBook(2).client);
            continue;
        }
        EXPECT_TRUE(said.starts_with("Unable to write to " + path + ": ")) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        if (c.bytes != "/") {
            EXPECT_EQ(readFile(path), before);
        }
        EXPECT_TRUE(test::strayFiles(dir.path(), "Settings.ini").empty());
    }
}

TEST(SettingsFileStates, AFileWithoutReadPermissionIsSaidWithTheSystemsReason) {
    TempDir dir;
    test::openToOthers(dir.path());
    const std::string path = dir.file("Settings.ini");
    zapis(makeBook(1), {}, path);
    ::chmod(path.c_str(), 0200);
    const std::string said = test::runUnprivileged([&] { return settingsFileProblem(path, settingsFileState(path)); });
    EXPECT_EQ(said, "cannot read the settings file " + path + ": Permission denied");
}

// Rows from 500 on are never read and never written; a count above 500 stays while the book is full.
TEST(SettingsFileStates, RowsBeyondFiveHundredAndTheirCountOutliveEverySave) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    std::string text = "[AUTHENTICATION]\r\nCount=" + encode("620") + "\r\n";
    for (int n = 0; n < 620; ++n) text += "Login_" + std::to_string(n) + "=" + encode("u" + std::to_string(n)) + "\r\n";
    text += "[DATA]\r\n";
    writeBytes(path, text);
    const StartupValues start = readStartup(path);
    EXPECT_EQ(start.count, kMaxAccounts);
    EXPECT_EQ(start.rowsBeyondMax, 120);
    AccountBook book = load(path, start.count);
    book.client.setCell(kLogin, 499, "changed");
    zapis(book, {}, path);
    const IniFile saved = IniFile::parse(readFile(path));
    EXPECT_EQ(decode(saved.value(kAuthSection, "Count")), "620");
    EXPECT_EQ(decode(saved.value(kAuthSection, "Login_499")), "changed");
    EXPECT_EQ(decode(saved.value(kAuthSection, "Login_619")), "u619");
    // A count the user lowered is the user's.
    book.setCount(300);
    zapis(book, {}, path);
    EXPECT_EQ(decode(IniFile::parse(readFile(path)).value(kAuthSection, "Count")), "300");
    EXPECT_EQ(readStartup(path).rowsBeyondMax, 120);
}

}  // namespace
}  // namespace korvex
