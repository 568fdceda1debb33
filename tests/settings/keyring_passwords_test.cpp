// Passwords kept in the desktop's keyring, against a real one: gnome-keyring-daemon on a private
// session bus, started for each test by tests/support/with_test_keyring.sh (never the user's
// keyring). korvex-cli and the step program run as real processes beside it.
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/codepage.h"
#include "platform/secret_service_keyring.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "settings/keyring_advice.h"
#include "settings/keyring_passwords.h"
#include "settings/settings_file.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace korvex::test {
namespace {

const std::vector<std::string> kPlanCodes = {"SG", "R", "39", "GL"};

// `count` accounts; every third password is Cyrillic (cp1251 bytes), so the keyring's UTF-8 is crossed.
AccountBook makeBook(int count, const std::string& tag = "") {
    AccountBook book;
    book.setCount(count);
    for (int n = 0; n < count; ++n) {
        const std::string password =
            n % 3 == 0 ? utf8ToCp1251("пароль-" + std::to_string(n) + tag) : "pw-" + std::to_string(n) + tag;
        book.client.setRow(n, {"user" + std::to_string(n) + tag, password, kPlanCodes[n % kPlanCodes.size()],
                               utf8ToCp1251("Владелец " + std::to_string(n))});
        book.Stat.setCell(kBalance, n, std::to_string(100 + n));
    }
    return book;
}

// The passwords the file itself holds, by row.
std::map<int, std::string> filePasswords(const std::string& path) {
    IniFile ini;
    ini.load(path);
    std::map<int, std::string> passwords;
    for (int n = 0; n < kMaxAccounts; ++n) {
        const std::string password = decode(ini.value(kAuthSection, "Password_" + std::to_string(n)));
        if (!password.empty()) passwords[n] = password;
    }
    return passwords;
}

// The accounts of the file (`rows` of them, beyond the count too) as the window loads them:
// passwords from the keyring when the file says so.
AccountBook loadBook(PasswordKeyring& keyring, const std::string& path, int rows,
                     KeyringAnswer* answer = nullptr) {
    AccountBook book;
    book.setCount(rows);
    read(book, path);
    KeyringAnswer filled;
    if (keyringEnabled(path)) filled = KeyringBook(keyring, path).fill(book);
    if (answer) *answer = filled;
    return book;
}

using Entry = std::tuple<std::string, std::string, std::string>;

std::set<Entry> entriesOf(PasswordKeyring& keyring, const std::string& path) {
    std::vector<KeyringEntry> entries;
    EXPECT_TRUE(keyring.readAll(KeyringBook(keyring, path).bookId(), entries).ok());
    std::set<Entry> set;
    for (const KeyringEntry& e : entries) set.insert({e.login, e.planCode, e.password});
    return set;
}

std::set<Entry> entriesWanted(const AccountBook& book) {
    std::set<Entry> set;
    for (int n = 0; n < book.clients; ++n)
        if (!book.client.cell(kPassword, n).empty())
            set.insert({book.client.cell(kLogin, n), book.client.cell(kPlanCode, n),
                        book.client.cell(kPassword, n)});
    return set;
}

// Locks the test keyring's default collection, as a screen lock or the user would.
void lockKeyring() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    ASSERT_NE(service, nullptr) << (error ? error->message : "");
    SecretCollection* collection = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT,
                                                                    SECRET_COLLECTION_NONE, nullptr, &error);
    ASSERT_NE(collection, nullptr) << (error ? error->message : "");
    GList objects{collection, nullptr, nullptr};
    const gint locked = secret_service_lock_sync(service, &objects, nullptr, nullptr, &error);
    ASSERT_EQ(locked, 1) << (error ? error->message : "");
    g_object_unref(collection);
    g_object_unref(service);
}

struct ProgramRun {
    int status = -1;  // exit status; -1 when it did not exit
    bool stopped = false;
    std::string out, err;
};

// Runs `args` as a child process with `extraEnv` over this process's environment (a bare NAME in it
// removes NAME). With `killWhenStopped` a child that stops itself (SIGSTOP) is killed there with SIGKILL.
ProgramRun runProgram(const TempDir& dir, const std::vector<std::string>& args,
                      const std::vector<std::string>& extraEnv = {}, bool killWhenStopped = false) {
    std::vector<std::string> env = extraEnv;
    env.push_back("KORVEX_TEST_LOCK_FOLDER=" + dir.path().string());
    // A variable given replaces the one of this process (the first of two would win).
    const auto name = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    const auto given = [&](const std::string& entry) {
        for (const std::string& e : env)
            if (name(e) == name(entry)) return true;
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e)
        if (!given(*e)) env.push_back(*e);
    std::vector<char*> envp, argv;
    for (std::string& e : env)
        if (e.find('=') != std::string::npos) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argsCopy = args;
    for (std::string& a : argsCopy) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = dir.file("child.out"), errPath = dir.file("child.err");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(126);
    }
    ProgramRun run;
    int status = 0;
    ::waitpid(pid, &status, killWhenStopped ? WUNTRACED : 0);
    if (WIFSTOPPED(status)) {
        run.stopped = true;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

int lineCount(const std::string& text) {
    int lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines;
}

class KeyringPasswordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Without the keyring that with_test_keyring.sh starts there is nothing to test: fail, never skip.
        const char* marker = std::getenv("KORVEX_TEST_KEYRING");
        ASSERT_TRUE(marker && std::string(marker) == "1")
            << "run this program through tests/support/with_test_keyring.sh (ctest does)";
        std::vector<KeyringEntry> entries;
        const KeyringAnswer answer = m_keyring.readAll("/probe", entries);
        ASSERT_TRUE(answer.ok()) << "the test keyring does not answer: " << answer.message;
    }

    SecretServiceKeyring m_keyring;
    TempDir m_dir;
    std::string m_path = m_dir.file("Settings.ini");
};

TEST_F(KeyringPasswordsTest, OnOffOnAgainKeepsEveryPasswordOf50Accounts) {
    const AccountBook book = makeBook(50);
    zapis(book, {}, m_path);
    // Rows beyond a lowered count hold passwords too, and move with the rest.
    AccountBook shown = book;
    shown.setCount(45);
    zapis(shown, {}, m_path);
    // Another book in the same keyring, which no change of this one may touch.
    const std::string other = m_dir.file("Other.ini");
    const AccountBook otherBook = makeBook(3, "-other");
    zapis(otherBook, {}, other);
    ASSERT_TRUE(KeyringBook(m_keyring, other).turnOn().ok());

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOn().ok());
        EXPECT_TRUE(keyringEnabled(m_path));
        EXPECT_EQ(filePasswords(m_path), (std::map<int, std::string>{}));
        EXPECT_EQ(loadBook(m_keyring, m_path, 50).client, book.client);

        // A save while on keeps them out of the file.
        KeyringBook passwords(m_keyring, m_path);
        AccountBook loaded;
        loaded.setCount(45);
        read(loaded, m_path);
        ASSERT_TRUE(passwords.fill(loaded).ok());
        ASSERT_TRUE(passwords.save(loaded, {}).ok());
        EXPECT_EQ(filePasswords(m_path), (std::map<int, std::string>{}));
        EXPECT_EQ(loadBook(m_keyring, m_path, 50).client, book.client);

        ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOff().ok());
        EXPECT_FALSE(keyringEnabled(m_path));
        AccountBook plain;
        plain.setCount(50);
        read(plain, m_path);
        EXPECT_EQ(plain.client, book.client);
        EXPECT_EQ(entriesOf(m_keyring, m_path), (std::set<Entry>{}));
    }
    EXPECT_EQ(loadBook(m_keyring, other, 3).client, otherBook.client);
    EXPECT_EQ(filePasswords(other), (std::map<int, std::string>{}));
}

TEST_F(KeyringPasswordsTest, AccountsAddedEditedOrDeletedWhileOnChangeTheirEntriesAtTheSave) {
    struct Case {
        const char* name;
        std::function<void(AccountBook&)> edit;
        // What a load fills in besides: an empty cell of an account the keyring holds.
        std::function<void(AccountBook&)> filled = {};
    };
    const std::vector<Case> cases = {
        {"added",
         [](AccountBook& b) {
             ASSERT_TRUE(b.insertAccount(b.clients));
             b.client.setRow(b.clients - 1, {"newcomer", "fresh", "R", ""});
         }},
        {"password edited", [](AccountBook& b) { b.client.setCell(kPassword, 1, "changed"); }},
        {"login edited", [](AccountBook& b) { b.client.setCell(kLogin, 2, "renamed"); }},
        {"plan code edited", [](AccountBook& b) { b.client.setCell(kPlanCode, 2, "GL"); }},
        {"deleted", [](AccountBook& b) { ASSERT_TRUE(b.deleteAccount(1)); }},
        {"last deleted", [](AccountBook& b) { ASSERT_TRUE(b.deleteAccount(b.clients - 1)); }},
        {"password emptied", [](AccountBook& b) { b.client.setCell(kPassword, 0, ""); }},
        {"a second row of an account, its password blank",
         [](AccountBook& b) {
             b.client.setRow(3, {b.client.cell(kLogin, 0), "", b.client.cell(kPlanCode, 0), ""});
         },
         [](AccountBook& b) { b.client.setCell(kPassword, 3, b.client.cell(kPassword, 0)); }},
    };
    int fileNumber = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.file("case" + std::to_string(++fileNumber) + ".ini");
        zapis(makeBook(4), {}, path);
        ASSERT_TRUE(KeyringBook(m_keyring, path).turnOn().ok());

        KeyringBook passwords(m_keyring, path);  // as the window holds it
        AccountBook book;
        book.setCount(4);
        read(book, path);
        ASSERT_TRUE(passwords.fill(book).ok());
        c.edit(book);
        ASSERT_TRUE(passwords.save(book, {}).ok());

        EXPECT_EQ(filePasswords(path), (std::map<int, std::string>{}));
        AccountBook loaded = book;
        if (c.filled) c.filled(loaded);
        EXPECT_EQ(loadBook(m_keyring, path, book.clients).client, loaded.client);
        EXPECT_EQ(entriesOf(m_keyring, path), entriesWanted(book)) << "no entry left for an account gone";
    }
}

// A password typed into the file while the keyring is on (or one the keyring did not take) wins
// over the keyring's older one, also when the keyring is turned off.
TEST_F(KeyringPasswordsTest, TurningOffKeepsAPasswordTypedIntoTheFile) {
    const AccountBook book = makeBook(2);
    zapis(book, {}, m_path);
    ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOn().ok());
    IniFile ini;
    ini.load(m_path);
    ini.setValue(kAuthSection, "Password_1", encode("typed"));
    ASSERT_FALSE(ini.save(m_path));
    ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOff().ok());
    EXPECT_EQ(filePasswords(m_path),
              (std::map<int, std::string>{{0, book.client.cell(kPassword, 0)}, {1, "typed"}}));
}

TEST_F(KeyringPasswordsTest, ExportAndRefreshOfKorvexCliTakeThePasswordsFromTheKeyring) {
    AccountBook book = makeBook(3);
    for (int n = 0; n < 3; ++n) book.client.setCell(kPlanCode, n, "");  // checks nothing: no portal
    zapis(book, {}, m_path);
    ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOn().ok());

    const ProgramRun exported =
        runProgram(m_dir, {KORVEX_CLI_EXECUTABLE, "--settings", m_path, "export", m_dir.file("backup.csv")});
    EXPECT_EQ(exported.status, 0) << exported.err;
    const std::string csv = readFile(m_dir.file("backup.csv"));
    for (int n = 0; n < 3; ++n)
        EXPECT_NE(csv.find(cp1251ToUtf8(book.client.cell(kPassword, n))), std::string::npos) << csv;

    const ProgramRun refreshed = runProgram(m_dir, {KORVEX_CLI_EXECUTABLE, "--settings", m_path, "refresh"});
    EXPECT_EQ(refreshed.status, 0) << refreshed.err;
    EXPECT_EQ(filePasswords(m_path), (std::map<int, std::string>{})) << "the save went through the keyring";
    EXPECT_EQ(loadBook(m_keyring, m_path, 3).client, book.client);
}

// What a stopped keyring must leave: one line from korvex-cli, exit 1, no file changed.
void expectRefusedByKorvexCli(const TempDir& dir, const std::string& path,
                              const std::vector<std::string>& env, const std::vector<std::string>& words) {
    const std::string before = readFile(path);
    std::ofstream(dir.file("import.csv")) << "login,password,plan,holder\nnewcomer,secret,SG,\n";
    const std::vector<std::vector<std::string>> commands = {
        {"export", dir.file("backup.csv")}, {"refresh"}, {"import", dir.file("import.csv")}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = {KORVEX_CLI_EXECUTABLE, "--settings", path};
        args.insert(args.end(), command.begin(), command.end());
        const ProgramRun run = runProgram(dir, args, env);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(lineCount(run.err), 1) << run.err;
        EXPECT_NE(run.err.find("keyring"), std::string::npos) << run.err;
        for (const std::string& why : words) EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        EXPECT_EQ(readFile(path), before);
        EXPECT_FALSE(std::filesystem::exists(dir.file("backup.csv")));
    }
}

TEST_F(KeyringPasswordsTest, ALockedKeyringIsSaidAndNothingIsWrittenOver) {
    zapis(makeBook(5), {}, m_path);
    ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOn().ok());
    const std::string offPath = m_dir.file("Off.ini");
    zapis(makeBook(2), {}, offPath);
    lockKeyring();
    const std::string onBefore = readFile(m_path), offBefore = readFile(offPath);

    // The window's load: the passwords wait for the keyring, and a save leaves both places alone.
    KeyringBook passwords(m_keyring, m_path);
    AccountBook book;
    book.setCount(5);
    read(book, m_path);
    EXPECT_EQ(passwords.fill(book).state, KeyringState::Locked);
    EXPECT_EQ(passwords.rowsWaiting(book), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(passwords.save(book, {}).ok());
    EXPECT_EQ(readFile(m_path), onBefore);
    EXPECT_EQ(passwords.turnOff().state, KeyringState::Locked);
    EXPECT_EQ(readFile(m_path), onBefore);
    EXPECT_EQ(KeyringBook(m_keyring, offPath).turnOn().state, KeyringState::Locked);
    EXPECT_EQ(readFile(offPath), offBefore);

    expectRefusedByKorvexCli(m_dir, m_path, {}, {"locked", "Unlock the desktop's keyring"});

    // A password the file holds is its row's own: a refresh checks that row, holds back and names
    // the rows whose password is in the locked keyring, and moves no password anywhere.
    AccountBook typed;
    typed.setCount(5);
    read(typed, m_path);
    typed.client.setCell(kPassword, 2, "typed");
    zapis(typed, {}, m_path);
    const ProgramRun partly = runProgram(m_dir, {KORVEX_CLI_EXECUTABLE, "--settings", m_path, "refresh"});
    EXPECT_EQ(partly.status, 1);
    EXPECT_NE(partly.err.find("locked; not checked: rows 1 to 2 and 4 to 5."), std::string::npos) << partly.err;
    EXPECT_NE(partly.out.find("user2"), std::string::npos) << "the run went on to its table";
    EXPECT_EQ(filePasswords(m_path), (std::map<int, std::string>{{2, "typed"}}));
}

// No session bus: korvex-cli says what is missing, with the line a crontab needs, and starts no bus of
// its own (a dbus-launch on the PATH would be run by D-Bus's autolaunch) nor anything on one.
TEST_F(KeyringPasswordsTest, NoKeyringInTheSessionIsSaidAndNothingIsWrittenOver) {
    zapis(makeBook(5), {}, m_path);
    ASSERT_TRUE(KeyringBook(m_keyring, m_path).turnOn().ok());
    const std::string fakeBin = m_dir.file("bin"), launched = m_dir.file("dbus-launch-ran");
    std::filesystem::create_directory(fakeBin);
    std::ofstream(fakeBin + "/dbus-launch") << "#!/bin/sh\ntouch '" << launched << "'\nexit 1\n";
    std::filesystem::permissions(fakeBin + "/dbus-launch", std::filesystem::perms::owner_all);
    std::filesystem::create_directory(m_dir.file("run"));
    struct Case {
        std::vector<std::string> env;
        std::string why;
    };
    const Case cases[] = {
        {{"DBUS_SESSION_BUS_ADDRESS", "DISPLAY=:31999", "XDG_RUNTIME_DIR=" + m_dir.file("run"),
          "PATH=" + fakeBin + ":" + std::getenv("PATH")},
         "DBUS_SESSION_BUS_ADDRESS is not set"},
        {{"DBUS_SESSION_BUS_ADDRESS=unix:path=" + m_dir.file("no-bus")}, "names does not answer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        expectRefusedByKorvexCli(m_dir, m_path, c.env, {c.why, "crontab: " + crontabBusLine()});
    }
    EXPECT_FALSE(std::filesystem::exists(launched)) << "D-Bus autolaunch ran dbus-launch";
    const std::vector<std::string> noBus = cases[1].env;

    // Turning the option on without a keyring changes nothing.
    const std::string offPath = m_dir.file("Off.ini");
    zapis(makeBook(2), {}, offPath);
    const std::string before = readFile(offPath);
    const ProgramRun run = runProgram(m_dir, {KORVEX_KEYRING_STEP, offPath, "on", "none"}, noBus);
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(readFile(offPath), before);
}

TEST_F(KeyringPasswordsTest, AKillBetweenTheStepsLeavesEveryPasswordInOnePlace) {
    struct Case {
        const char* action;
        const char* step;
        bool startOn;
    };
    const std::vector<Case> cases = {
        {"on", "keyring-written", false}, {"on", "file-saved", false}, {"off", "file-saved", true},
        {"add", "keyring-written", true}, {"add", "file-saved", true},
    };
    const AccountBook book = makeBook(20);
    int fileNumber = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " stopped after " + c.step);
        const std::string path = m_dir.file("kill" + std::to_string(++fileNumber) + ".ini");
        zapis(book, {}, path);
        if (c.startOn) {
            ASSERT_TRUE(KeyringBook(m_keyring, path).turnOn().ok());
        }

        const ProgramRun killed = runProgram(m_dir, {KORVEX_KEYRING_STEP, path, c.action, c.step}, {}, true);
        ASSERT_TRUE(killed.stopped) << "the step program did not reach " << c.step << ": " << killed.err;

        // The file is whole, and each password is in it or in the keyring.
        AccountBook after = loadBook(m_keyring, path, 21);
        for (int n = 0; n < 20; ++n) EXPECT_EQ(after.client.row(n), book.client.row(n)) << "row " << n;
        const Row added = after.client.row(20);
        EXPECT_TRUE(added == Row(kAccountCols) || added == (Row{"added", "added-pw", "SG", "New"}));

        // The program started again finishes the change.
        const ProgramRun again = runProgram(m_dir, {KORVEX_KEYRING_STEP, path, c.action, "none"});
        EXPECT_EQ(again.status, 0) << again.err;
        after = loadBook(m_keyring, path, 20);
        for (int n = 0; n < 20; ++n) EXPECT_EQ(after.client.row(n), book.client.row(n)) << "row " << n;
        EXPECT_EQ(keyringEnabled(path), std::string(c.action) != "off");
    }
}

}  // namespace
}  // namespace korvex::test
