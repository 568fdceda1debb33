// import, export and show on real files in a temporary folder.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "history/balance_history.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/balance_table.h"
#include "platform/codepage.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "tests/cli/cli_test_support.h"

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

std::string accountsCsv(int from, int count) {
    std::string csv = kHeader;
    for (int i = from; i < from + count; ++i)
        csv +=
            "user" + std::to_string(i) + ",pw" + std::to_string(i) + ",39,Холдер " + std::to_string(i) + "\n";
    return csv;
}

TEST(ImportCommandTest, AppendsAfterThePresentAccountsReplacesWithReplaceAndSetsTheCount) {
    CliFolder f;
    // Into a folder without a settings file: the file is made, and the empty row of a first start
    // does not stay in front of the accounts.
    ASSERT_EQ(f.import(accountsCsv(0, 4)), kExitOk) << f.err.str();
    AccountBook book = savedBook(f.settings);
    ASSERT_EQ(book.clients, 4);
    EXPECT_EQ(book.client.cell(kLogin, 0), "user0");
    EXPECT_EQ(book.client.cell(kHolder, 3), "\xD5\xEE\xEB\xE4\xE5\xF0 3");  // Холдер 3 in cp1251

    // Results of a check in rows 0 and 2, then a shorter book: row 2's keys stay in the file.
    book.Stat.setCell(kBalance, 0, "10.00");
    book.Stat.setCell(kBalance, 2, "stale");
    zapis(book, {true, "proxy.example", "3128"}, f.settings);
    ASSERT_EQ(f.import(accountsCsv(10, 2), true), kExitOk) << f.err.str();
    book = savedBook(f.settings);
    ASSERT_EQ(book.clients, 2);
    EXPECT_EQ(book.client.cell(kLogin, 0), "user10");
    EXPECT_EQ(book.Stat.cell(kBalance, 0), "") << "a replaced account keeps no balance of another";

    // Appending reaches row 2 again: the new account must not inherit the stale balance there.
    ASSERT_EQ(f.import(accountsCsv(20, 1)), kExitOk) << f.err.str();
    book = savedBook(f.settings);
    ASSERT_EQ(book.clients, 3);
    EXPECT_EQ(book.client.cell(kLogin, 1), "user11");
    EXPECT_EQ(book.client.cell(kLogin, 2), "user20");
    EXPECT_EQ(book.Stat.cell(kBalance, 2), "");
    EXPECT_EQ(readStartup(f.settings).proxy, (ProxySettings{true, "proxy.example", "3128"}));
    EXPECT_EQ(f.out.str(), "imported 1 account from " + f.dir.file("accounts.csv") + "; " + f.settings +
                               " holds 3 accounts\n");
}

// An account is its login and plan code. Importing the same file again adds nothing and says what
// it left out; a file that brings some new accounts adds only those. Replacing with a file that
// keeps some accounts keeps their results (balance, previous balance, date, the rest of the row).
TEST(ImportCommandTest, PresentAccountsAreNotAddedTwiceAndKeepTheirResultsThroughAReplace) {
    CliFolder f;
    ASSERT_EQ(f.import(accountsCsv(0, 3)), kExitOk) << f.err.str();
    AccountBook book = savedBook(f.settings);
    const Row checked = {"user1", "12.50", "15.00", "256", "7/12/2026 09:05", "Active", "", ""};
    book.Stat.setRow(1, checked);
    zapis(book, {}, f.settings);

    // The same file twice: accepted, nothing added; with --verbose each account named.
    ASSERT_EQ(f.import(accountsCsv(0, 3)), kExitOk) << f.err.str();
    EXPECT_EQ(f.err.str(), "");
    ASSERT_EQ(f.import(accountsCsv(0, 3), false, true), kExitOk) << f.err.str();
    EXPECT_EQ(savedBook(f.settings).clients, 3);
    EXPECT_NE(f.err.str().find(": line 3: user1 on plan \"39\" is there already, in row 2; left out\n"),
              std::string::npos)
        << f.err.str();
    EXPECT_EQ(f.out.str(), "imported no account from " + f.dir.file("accounts.csv") + ": all 3 are there already; " +
                               f.settings + " holds 3 accounts\n");

    // Some new, some there, one twice in the file, one login on another plan (another account).
    // Said in one line (re-importing 31 accounts printed 31 lines).
    ASSERT_EQ(f.import(accountsCsv(2, 3) + "user4,pw,39,\nuser0,pw,SPS,\n"), kExitOk) << f.err.str();
    EXPECT_EQ(f.err.str(), "korvex-cli: 2 accounts of " + f.dir.file("accounts.csv") +
                               " were there already and left out (--verbose names them)\n");
    book = savedBook(f.settings);
    ASSERT_EQ(book.clients, 6);
    const std::vector<std::string> logins = {"user0", "user1", "user2", "user3", "user4", "user0"};
    for (int row = 0; row < 6; ++row) EXPECT_EQ(book.client.cell(kLogin, row), logins[static_cast<std::size_t>(row)]);
    EXPECT_EQ(book.client.cell(kPlanCode, 5), "SPS");
    EXPECT_EQ(book.Stat.row(1), checked);

    // Replaced by a file that keeps user1 (now in row 1) and drops the others: user1's results stay,
    // a new account starts empty; the same login on another plan does not take them.
    ASSERT_EQ(f.import(std::string(kHeader) + "user1,pw1,SPS,\nuser1,new password,39,\nuser9,pw,39,\n", true), kExitOk)
        << f.err.str();
    book = savedBook(f.settings);
    ASSERT_EQ(book.clients, 3);
    EXPECT_EQ(book.Stat.cell(kBalance, 0), "");
    EXPECT_EQ(book.Stat.row(1), checked);
    EXPECT_EQ(book.client.cell(kPassword, 1), "new password");
    EXPECT_EQ(book.Stat.cell(kBalance, 2), "");
    EXPECT_EQ(book.Stat.cell(kStatLogin, 2), "user9");
}

// A plan code of no portal is a typing mistake a refresh would pass over: imported, and named once.
TEST(ImportCommandTest, APlanCodeOfNoPortalIsImportedAndNamedOnce) {
    CliFolder f;
    ASSERT_EQ(f.import(std::string(kHeader) + "a,pw,sps,\nb,pw,39,\nc,pw,sps,\n"), kExitOk) << f.err.str();
    EXPECT_EQ(f.err.str(), "korvex-cli: warning: " + f.dir.file("accounts.csv") +
                               ": the plan code \"sps\" names no portal (lines 2, 4); imported as it is, a refresh "
                               "passes over it until it is mended\n");
    EXPECT_EQ(savedBook(f.settings).clients, 3);
}

TEST(ImportCommandTest, ARefusalWritesNothing) {
    struct Case {
        const char* name;
        int present;  // accounts in the settings file before; 0: no file at all
        std::string csv;
        bool replace;
        const char* message;
    } cases[] = {
        {"a short line", 2, std::string(kHeader) + "a,b,39,d\na,b,39\n", false, ": line 3: 3 fields where 4"},
        {"a character cp1251 lacks", 0, std::string(kHeader) + "a,b,39,★\n", false,
         ": line 2: the holder holds"},
        {"no accounts", 2, kHeader, true, " holds no accounts; nothing was imported"},
        {"501 accounts", 0, accountsCsv(0, 501), false, ": line 502: more than 500 accounts in all"},
        {"501 replacing", 3, accountsCsv(0, 501), true, ": line 502: more than 500 accounts in all"},
        {"3 after 498", 498, accountsCsv(0, 3), false, ": line 4: more than 500 accounts in all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder f;
        if (c.present > 0) {
            ASSERT_EQ(f.import(accountsCsv(100, c.present)), kExitOk);
        }
        const std::string before = f.fileText();

        EXPECT_EQ(f.import(c.csv, c.replace), kExitFailed);
        EXPECT_NE(f.err.str().find(c.message), std::string::npos) << f.err.str();
        EXPECT_NE(f.err.str().find("nothing was imported"), std::string::npos) << f.err.str();
        EXPECT_EQ(f.fileText(), before);
        EXPECT_EQ(fs::exists(f.settings), c.present > 0);
    }
}

// Accounts the file holds beyond its count (a count that cannot be read, a lowered count) are
// said, and an import never writes over them unless it replaces every account.
TEST(ImportCommandTest, AccountsHiddenBeyondTheCountAreSaidAndNeverWrittenOver) {
    struct Case {
        const char* name;
        const char* count;  // written over the count of a file with five accounts
        bool warned;
        bool refused;
    } cases[] = {
        {"count that is no number", "abc", true, true},
        {"lowered count", "2", false, true},
        {"sound count", "5", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder f;
        ASSERT_EQ(f.import(accountsCsv(0, 5)), kExitOk);
        IniFile ini = IniFile::parse(f.fileText());
        ini.setValue("AUTHENTICATION", "Count", encode(c.count));
        ASSERT_FALSE(ini.save(f.settings));
        const std::string before = f.fileText();

        ASSERT_EQ(showCommand(f.context(), false), kExitOk);
        EXPECT_EQ(f.err.str().find("warning: the account count of " + f.settings +
                                   " cannot be read (Count=\"abc\"), so 1 account is taken; the file holds 5 "
                                   "accounts\n") != std::string::npos,
                  c.warned)
            << f.err.str();

        EXPECT_EQ(f.import(accountsCsv(10, 1)), c.refused ? kExitFailed : kExitOk) << f.err.str();
        if (c.refused) {
            EXPECT_NE(f.err.str().find("nothing was imported"), std::string::npos) << f.err.str();
            EXPECT_EQ(f.fileText(), before);
            // Replacing is asked for in so many words: then none of the old accounts stays hidden.
            ASSERT_EQ(f.import(accountsCsv(10, 1), true), kExitOk) << f.err.str();
            ASSERT_EQ(f.import(accountsCsv(20, 1)), kExitOk) << f.err.str();
            const AccountBook book = savedBook(f.settings);
            ASSERT_EQ(book.clients, 2);
            EXPECT_EQ(book.client.cell(kLogin, 1), "user20");
            EXPECT_EQ(readStartup(f.settings).accountRows, 2);
        } else {
            EXPECT_EQ(savedBook(f.settings).client.cell(kLogin, 5), "user10");
        }
    }
}

// A reading command reads the file it opened, whatever a save renames over it meanwhile.
TEST(ShowCommandTest, TheOpenedFileIsReadWholeThoughASaveReplacesIt) {
    CliFolder f;
    ASSERT_EQ(f.import(accountsCsv(0, 3)), kExitOk);
    const int fd = ::open(f.settings.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string opened = openedFilePath(fd, f.settings);
    ASSERT_EQ(f.import(accountsCsv(10, 1), true), kExitOk);  // replaces the file

    EXPECT_EQ(readStartup(opened).count, 3);
    AccountBook book;
    book.setCount(3);
    read(book, opened);
    EXPECT_EQ(book.client.cell(kLogin, 2), "user2");
    ::close(fd);
    EXPECT_EQ(readStartup(f.settings).count, 1);
}

TEST(ImportCommandTest, FiveHundredInAllIsTheLimitNotBeyond) {
    CliFolder f;
    ASSERT_EQ(f.import(accountsCsv(0, 498)), kExitOk);
    ASSERT_EQ(f.import(accountsCsv(498, 2)), kExitOk) << f.err.str();
    const AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.clients, 500);
    EXPECT_EQ(book.client.cell(kLogin, 499), "user499");
}

// The demo accounts come back out byte for byte: Cyrillic holders, a comma and doubled quotes in
// quoted fields, and the same login twice.
// Settings.ini with passwords that others may read (an older Korvex's): a save makes it 0600 and says
// so once (today it kept its mode); without a password its mode stays. The history likewise.
TEST(ImportCommandTest, ASaveOfPasswordsMakesAnOpenSettingsFilePrivate) {
    const auto mode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    };
    const std::tuple<mode_t, const char*, mode_t> rows[] = {{0644, "pw", 0600}, {0660, "pw", 0600}, {0644, "", 0644}};
    for (const auto& [before, password, after] : rows) {
        test::CliFolder f;
        f.writeAccounts({{"a", password, "39"}});
        ::chmod(f.settings.c_str(), before);
        for (const char* login : {"b", "c"}) {
            ASSERT_EQ(f.import(std::string(test::kHeader) + login + "," + password + ",39,\n"), kExitOk);
            EXPECT_EQ(mode(f.settings), after);
            const bool said = f.err.str().find("readable by you alone (mode 0600)") != std::string::npos;
            EXPECT_EQ(said, after != before && *login == 'b') << f.err.str();
        }
    }
    test::CliFolder f;
    const std::string history = historyPathFor(f.settings);
    BalanceHistory(history).append({HistoryEntry{.time = "2026-12-01T08:00:00Z", .login = "a"}});
    ::chmod(history.c_str(), 0644);
    BalanceHistory reopened(history);
    EXPECT_EQ(mode(history), 0600u);
}

TEST(ExportCommandTest, GivesBackTheImportedFileByteForByte) {
    CliFolder f;
    const std::string demo = readFile(KORVEX_DEMO_ACCOUNTS_CSV);
    ASSERT_FALSE(demo.empty());
    ASSERT_EQ(importCommand(f.context(), KORVEX_DEMO_ACCOUNTS_CSV, true), kExitOk) << f.err.str();

    EXPECT_EQ(exportCommand(f.context(), ""), kExitOk);
    EXPECT_EQ(f.out.str(), demo);

    const std::string target = f.dir.file("out.csv");
    f.dir.write("out.csv", "older, longer content that must not survive at the end of the file\n");
    ASSERT_EQ(exportCommand(f.context(), target), kExitOk) << f.err.str();
    EXPECT_EQ(readFile(target), demo);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the passwords stand in it as typed";
    for (const auto& entry : fs::directory_iterator(f.dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("out.csv."), std::string::npos)
            << "a temporary file left";

    // And in again, in place of what is there: the same book.
    const AccountBook before = savedBook(f.settings);
    ASSERT_EQ(importCommand(f.context(), target, true), kExitOk) << f.err.str();
    EXPECT_EQ(savedBook(f.settings).client, before.client);
}

TEST(CommandsWithoutSettingsTest, ShowRefreshAndExportSayThereIsNoFile) {
    CliFolder f;
    for (const auto& run : {+[](CliFolder& c) { return showCommand(c.context(), false); },
                            +[](CliFolder& c) { return refreshCommand(c.context(), std::nullopt); },
                            +[](CliFolder& c) { return exportCommand(c.context(), ""); }}) {
        EXPECT_EQ(run(f), kExitFailed);
        EXPECT_NE(f.err.str().find("there is no settings file " + f.settings), std::string::npos)
            << f.err.str();
        EXPECT_EQ(f.out.str(), "");
        EXPECT_FALSE(fs::exists(f.settings));
    }
    ASSERT_EQ(f.import(accountsCsv(0, 1)), kExitOk);
    EXPECT_EQ(exportCommand(f.context(), f.dir.file("no-such-folder/x.csv")), kExitFailed);
    EXPECT_NE(f.err.str().find("cannot write"), std::string::npos) << f.err.str();
}

TEST(ShowCommandTest, AlignsCyrillicColumnsAndKeepsPortalTextOffTheTerminal) {
    CliFolder f;
    AccountBook book;
    book.setCount(2);
    book.client.setRow(0, {"ivanov", "pw", "39", "\xC8\xE2\xE0\xED\xEE\xE2"});  // Иванов
    book.client.setRow(1, {"a", "pw", "SG", "b"});
    book.Stat.setCell(kBalance, 0, "12.50");
    book.Stat.setCell(kStatus, 0, "\xC0\xEA\xF2\xE8\xE2\xED\xE0");  // Активна
    book.Stat.setCell(kStatus, 1, "x\x1B]0;owned\x07y\r\nz");       // escapes from a page
    zapis(book, {}, f.settings);

    ASSERT_EQ(showCommand(f.context(), false), kExitOk);
    const std::string text = f.out.str();
    EXPECT_EQ(text.find('\x1B'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    ASSERT_EQ(lines.size(), 3u) << text;
    // The status column starts at the same terminal column on every line.
    const auto columnOf = [](const std::string& line, const std::string& cell) {
        return displayWidth(std::string_view(line).substr(0, line.find(cell)));
    };
    EXPECT_EQ(columnOf(lines[0], "Активна/Тариф"), columnOf(lines[1], "Активна"));
    EXPECT_EQ(columnOf(lines[1], "Активна"), columnOf(lines[2], "x\xEF\xBF\xBD]0;owned"));
    EXPECT_EQ(columnOf(lines[0], "ФИО"), columnOf(lines[1], "Иванов"));

    ASSERT_EQ(showCommand(f.context(), true), kExitOk);
    EXPECT_EQ(f.out.str(),
              "login,balance,previous,speed,date,status,holder,plan\n"
              "ivanov,12.50,,,,Активна,Иванов,39\n"
              "a,,,,,\"x\x1B]0;owned\x07y\r\nz\",b,SG\n");
}

// Spreadsheet formulas stay text in `show --csv`, whoever wrote the cell (a portal, or an imported
// list); signed amounts stay numbers.
TEST(ShowCommandTest, CsvNeutralisesFormulasInEveryCell) {
    const struct {
        const char* cell;
        const char* shown;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-SUM(1)", "'-SUM(1)"},
        {"-2+3+cmd|x", "'-2+3+cmd|x"},
        {"\tx", "'\tx"},
        {"-12.50", "-12.50"},
        {"+3,00", "\"+3,00\""},
        {"-", "-"},
        {"+", "+"},
        {"--------", "--------"},  // the not-found marker
        {"--1", "'--1"},
        {"12.50", "12.50"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        AccountBook book;
        book.client.setRow(0, {"=login", "pw", "+39", "@holder"});
        book.Stat.setCell(kBalance, 0, c.cell);
        book.Stat.setCell(kStatus, 0, c.cell);
        std::ostringstream out;
        printBalanceCsv(out, book);
        EXPECT_EQ(out.str(), "login,balance,previous,speed,date,status,holder,plan\n'=login," +
                                 std::string(c.shown) + ",,,," + c.shown + ",'@holder,+39\n");
    }
}

// Export to what is not a plain file: a device or a pipe is written into and stays what it is, a
// link's target is written and the link stays, a folder is refused untouched.
TEST(ExportCommandTest, DevicesPipesLinksAndFoldersAreTreatedAsWhatTheyAre) {
    CliFolder f;
    ASSERT_EQ(f.import(accountsCsv(1, 2)), kExitOk) << f.err.str();
    ASSERT_EQ(exportCommand(f.context(), "-"), kExitOk);
    const std::string csv = f.out.str();
    ASSERT_FALSE(csv.empty());
    const auto typeOf = [](const std::string& path) { return fs::symlink_status(path).type(); };
    const auto drain = [](int fd) {
        std::string text;
        char chunk[4096];
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
        return text;
    };

    {
        SCOPED_TRACE("a FIFO");
        const std::string fifo = f.dir.file("pipe");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        EXPECT_EQ(exportCommand(f.context(), fifo), kExitOk) << f.err.str();
        EXPECT_EQ(drain(reader), csv);
        ::close(reader);
        EXPECT_EQ(typeOf(fifo), fs::file_type::fifo);
    }
    {
        SCOPED_TRACE("a terminal, directly and through a link as /dev/stdout is");
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const std::string terminal = ::ptsname(master);
        // The terminal's own line discipline would turn \n into \r\n; the bytes as sent are wanted.
        const int slave = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        const std::string link = f.dir.file("stdout");
        fs::create_symlink(terminal, link);
        for (const std::string& target : {terminal, link}) {
            EXPECT_EQ(exportCommand(f.context(), target), kExitOk) << f.err.str();
            ::fcntl(master, F_SETFL, O_NONBLOCK);
            EXPECT_EQ(drain(master), csv);
        }
        EXPECT_EQ(typeOf(terminal), fs::file_type::character);
        EXPECT_EQ(typeOf(link), fs::file_type::symlink);
        ::close(slave);
        ::close(master);
    }
    {
        SCOPED_TRACE("a link to a file, and a link to no file yet");
        const std::string real = f.dir.write("real.csv", "old\n");
        const std::string link = f.dir.file("link.csv");
        fs::create_symlink(real, link);
        EXPECT_EQ(exportCommand(f.context(), link), kExitOk) << f.err.str();
        EXPECT_EQ(typeOf(link), fs::file_type::symlink);
        EXPECT_EQ(readFile(real), csv);
        const std::string dangling = f.dir.file("later.csv");
        fs::create_symlink(f.dir.file("made.csv"), dangling);
        EXPECT_EQ(exportCommand(f.context(), dangling), kExitOk) << f.err.str();
        EXPECT_EQ(typeOf(dangling), fs::file_type::symlink);
        EXPECT_EQ(readFile(f.dir.file("made.csv")), csv);
    }
    {
        SCOPED_TRACE("a folder");
        const std::string folder = f.dir.file("folder");
        fs::create_directory(folder);
        EXPECT_EQ(exportCommand(f.context(), folder), kExitFailed);
        EXPECT_EQ(f.err.str(), "korvex-cli: cannot write " + folder + ": it is a folder\n");
        EXPECT_TRUE(fs::is_empty(folder));
        EXPECT_EQ(typeOf(folder), fs::file_type::directory);
    }
}

// A settings file korvex-cli cannot read is said as what it is, and no command writes over it.
TEST(SettingsFileStatesTest, ShowRefreshAndImportLeaveAFileTheyCannotReadByteForByte) {
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("[AUTHENTICATION]\r\nCount=1\r\n")) utf16 += std::string(1, c) + '\0';
    struct Case {
        const char* name;
        std::string bytes;  // "/": a folder
        std::string said;   // after "korvex-cli: " and the file's name
    } const cases[] = {
        {"UTF-16", utf16, " is not a settings file Korvex can read (UTF-16 text, not 8-bit text); it is left as it is"},
        {"binary", std::string("[AUTHENTICATION]\r\n\0\x01\x02", 21),
         " is not a settings file Korvex can read (binary data, not text); it is left as it is"},
        {"text", "just some notes\n", " is not a settings file Korvex can read (text without a single [section] line); "
                                      "it is left as it is"},
        {"a folder", "/", " is a folder, not a settings file (Is a directory)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder f;
        if (c.bytes == "/")
            fs::create_directory(f.settings);
        else
            f.dir.write("Settings.ini", c.bytes);
        const std::string before = c.bytes == "/" ? "" : f.fileText();
        const std::function<int()> commands[] = {
            [&] { return showCommand(f.context(), false); },
            [&] { return refreshCommand(f.context(), std::nullopt); },
            [&] { return f.import(accountsCsv(0, 2)); },
        };
        for (const auto& command : commands) {
            EXPECT_EQ(command(), kExitFailed);
            EXPECT_EQ(f.err.str(), "korvex-cli: " + f.settings + c.said + "\n");
            EXPECT_EQ(f.out.str(), "");
            if (c.bytes != "/") {
                EXPECT_EQ(f.fileText(), before);
            }
        }
    }
}

// A book of more than 500 accounts: 500 are read, the rest named once on stderr and kept by a save.
TEST(SettingsFileStatesTest, RowsBeyondFiveHundredAreSaidAndKeptByRefresh) {
    CliFolder f;
    std::string text = "[AUTHENTICATION]\r\nCount=" + encode("503") + "\r\n";
    for (int n = 0; n < 503; ++n) text += "Login_" + std::to_string(n) + "=" + encode("u" + std::to_string(n)) + "\r\n";
    f.dir.write("Settings.ini", text);
    ASSERT_EQ(showCommand(f.context(), true), kExitOk);
    const std::string shown = f.out.str();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 501);  // heading and 500 rows
    const std::string warning = "korvex-cli: warning: " + f.settings +
                                " holds 3 accounts beyond row 500, left unread (Korvex reads 500 accounts); saves "
                                "keep them in the file as they are\n";
    EXPECT_EQ(f.err.str(), warning);
    refreshCommand(f.context(), 1);  // row 1 has no plan code: nothing is asked, the book is saved
    EXPECT_TRUE(f.err.str().starts_with(warning)) << f.err.str();
    const IniFile saved = IniFile::parse(f.fileText());
    EXPECT_EQ(decode(saved.value(kAuthSection, "Count")), "503");
    EXPECT_EQ(decode(saved.value(kAuthSection, "Login_502")), "u502");
    EXPECT_TRUE(saved.contains(kAuthSection, "Proxy")) << "the book was saved";
}

}  // namespace
}  // namespace korvex::test
