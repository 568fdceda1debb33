#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "book/balance_text.h"
#include "history/balance_history.h"
#include "platform/codepage.h"
#include "tests/settings/test_folder.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

using test::readFile;
using test::TempDir;

HistoryEntry entry(std::string time, std::string login, std::string balanceText,
                   HistoryOutcome outcome = HistoryOutcome::Page) {
    HistoryEntry e;
    e.time = std::move(time);
    e.login = std::move(login);
    e.plan = "SG";
    e.balance = balanceFromUtf8(balanceText);
    e.balanceText = std::move(balanceText);
    e.speed = "256";
    e.status = "Активна";
    e.outcome = outcome;
    return e;
}

// Runs SQL on the file as another program would; answers the first column of the first row.
std::string sql(const std::string& path, const std::string& statement) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string answer;
    sqlite3_exec(
        db, statement.c_str(),
        [](void* out, int, char** values, char**) {
            if (values[0] && static_cast<std::string*>(out)->empty())
                *static_cast<std::string*>(out) = values[0];
            return 0;
        },
        &answer, nullptr);
    sqlite3_close(db);
    return answer;
}

unsigned mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(BalanceHistory, ANewFileIsTheOwnersOnlyInWalModeAndOfTheCurrentSchema) {
    TempDir dir;
    const std::string path = historyPathFor(dir.file("Settings.ini"));
    EXPECT_EQ(path, dir.file("History.sqlite"));
    BalanceHistory history(path);
    history.append({entry("2026-12-07T09:05:00Z", "ivanov", "10")});
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(path + "-wal"), 0600u);
    EXPECT_EQ(sql(path, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(history.schemaVersion(), BalanceHistory::kSchemaVersion);
}

TEST(BalanceHistory, ReadsBackWhatWasAppendedByLoginTimeAndLimit) {
    TempDir dir;
    BalanceHistory history(dir.file("History.sqlite"));
    HistoryEntry failed = entry("2026-12-03T08:00:00Z", "ivanov", "", HistoryOutcome::TransferFailed);
    failed.detail = "Couldn't connect to server";
    history.append({entry("2026-12-01T08:00:00Z", "ivanov", "100,50 руб."),
                    entry("2026-12-01T08:00:01Z", "петров", "7"),
                    entry("2026-12-02T08:00:00Z", "ivanov", "90"), failed});
    history.append({entry("2026-12-04T08:00:00Z", "ivanov", "--------", HistoryOutcome::NotFound)});

    const auto all = history.read({});
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0], entry("2026-12-01T08:00:00Z", "ivanov", "100,50 руб."))
        << "texts and number round-trip";
    EXPECT_EQ(all[0].balance, 100.5);
    EXPECT_EQ(all[3], failed);
    EXPECT_FALSE(all[4].balance);

    const struct {
        HistoryQuery query;
        std::vector<std::string> times;  // oldest first
    } cases[] = {
        {{"петров", "", 0}, {"2026-12-01T08:00:01Z"}},
        {{"ivanov", "2026-12-02T00:00:00Z", 0},
         {"2026-12-02T08:00:00Z", "2026-12-03T08:00:00Z", "2026-12-04T08:00:00Z"}},
        {{"ivanov", "2026-12-02T08:00:00Z", 0},  // a check at the very moment counts
         {"2026-12-02T08:00:00Z", "2026-12-03T08:00:00Z", "2026-12-04T08:00:00Z"}},
        {{"ivanov", "", 2}, {"2026-12-03T08:00:00Z", "2026-12-04T08:00:00Z"}},
        {{"", "2026-12-04T00:00:00Z", 0}, {"2026-12-04T08:00:00Z"}},
        {{"nobody", "", 0}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> times;
        for (const HistoryEntry& e : history.read(c.query)) times.push_back(e.time);
        EXPECT_EQ(times, c.times) << c.query.login << " " << c.query.since << " " << c.query.limit;
    }
    // The same login on another plan is another account.
    HistoryEntry otherPlan = entry("2026-12-05T08:00:00Z", "ivanov", "5");
    otherPlan.plan = "SPS";
    history.append({otherPlan});
    EXPECT_EQ(history.read({"ivanov", "", 0, "SG"}).size(), 4u);
    EXPECT_EQ(history.read({"ivanov", "", 0, "SPS"}), (std::vector<HistoryEntry>{otherPlan}));
    EXPECT_EQ(history.read({"ivanov", "", 0}).size(), 5u) << "a login alone: every plan";
    EXPECT_EQ(history.recent("ivanov", "SPS", 3), (std::vector<HistoryEntry>{otherPlan}));
    const auto newest = history.recent("ivanov", "SG", 3);
    ASSERT_EQ(newest.size(), 3u);
    EXPECT_EQ(newest.front().time, "2026-12-04T08:00:00Z");
    EXPECT_EQ(newest.back().time, "2026-12-02T08:00:00Z");
}

TEST(BalanceHistory, PruneRemovesOnlyTheChecksBeforeTheDate) {
    TempDir dir;
    BalanceHistory history(dir.file("History.sqlite"));
    history.append({entry("2026-11-30T23:59:59Z", "a", "1"), entry("2026-12-01T00:00:00Z", "a", "2"),
                    entry("2026-12-02T00:00:00Z", "b", "3")});
    EXPECT_EQ(history.pruneBefore("2026-12-01T00:00:00Z"), 1);
    EXPECT_EQ(history.read({}).size(), 2u);
    EXPECT_EQ(history.pruneBefore("2026-12-01T00:00:00Z"), 0);
}

// The tables as the first version of the history left them.
void writeVersion1(const std::string& path) {
    sql(path,
        "CREATE TABLE checks(id INTEGER PRIMARY KEY, time TEXT NOT NULL, login TEXT NOT NULL,"
        " plan TEXT NOT NULL DEFAULT '', balance_text TEXT NOT NULL DEFAULT '', speed TEXT NOT NULL DEFAULT "
        "'',"
        " status TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL);"
        "INSERT INTO checks(time, login, plan, balance_text, speed, status, outcome) VALUES"
        " ('2026-01-01T10:00:00Z', 'ivanov', 'SG', '1 234,50 руб.', '256', 'Активна', 'page'),"
        " ('2026-01-02T10:00:00Z', 'ivanov', 'SG', '--------', '256', '', 'not found'),"
        " ('2026-01-03T10:00:00Z', 'ivanov', 'SG', '99', 'ОШИБКА', '', 'error marker');"
        "PRAGMA user_version=1;");
}

TEST(BalanceHistory, OpeningBringsAnEmptyFileAndAVersion1FileUpToDate) {
    const struct {
        const char* name;
        void (*prepare)(const std::string& path);
        std::size_t rows;
    } cases[] = {
        {"empty file", [](const std::string& path) { std::fclose(std::fopen(path.c_str(), "w")); }, 0},
        {"version 1", &writeVersion1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("History.sqlite");
        c.prepare(path);
        BalanceHistory history(path);
        EXPECT_EQ(history.schemaVersion(), BalanceHistory::kSchemaVersion);
        EXPECT_EQ(
            sql(path, "SELECT name FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite_%'"),
            "checks_by_time");
        const auto rows = history.read({"ivanov", "", 0});
        ASSERT_EQ(rows.size(), c.rows);
        if (c.rows == 3) {
            EXPECT_EQ(rows[0].balance, 1234.5) << "the number is filled in from the kept text";
            EXPECT_EQ(rows[0].status, "Активна");
            EXPECT_FALSE(rows[1].balance);
            EXPECT_FALSE(rows[2].balance) << "a balance beside the error marker is no reading";
        }
        history.append({entry("2026-12-07T09:05:00Z", "ivanov", "5")});
        EXPECT_EQ(history.read({}).size(), c.rows + 1);
    }
}

TEST(BalanceHistory, AFileItCannotUseIsRefusedAndLeftAsItIs) {
    TempDir dir;
    // The next version (the first a newer Korvex writes) as well as a far one.
    const std::string next = dir.file("next.sqlite");
    sql(next,
        "CREATE TABLE checks(x); PRAGMA user_version=" + std::to_string(BalanceHistory::kSchemaVersion + 1));
    const std::string newer = dir.file("newer.sqlite");
    sql(newer, "CREATE TABLE checks(x); PRAGMA user_version=99;");
    const std::string garbage = dir.write("garbage.sqlite", std::string(4096, 'x'));
    for (const std::string& path : {next, newer, garbage}) {
        const std::string before = readFile(path);
        EXPECT_THROW(BalanceHistory{path}, HistoryError) << path;
        EXPECT_TRUE(readFile(path) == before) << path << " was changed";
    }
    // A migration that fails half-way (a table of its name is already there) leaves version 1 whole.
    const std::string blocked = dir.file("blocked.sqlite");
    writeVersion1(blocked);
    sql(blocked, "CREATE TABLE checks_v2(x)");
    EXPECT_THROW(BalanceHistory{blocked}, HistoryError);
    EXPECT_EQ(sql(blocked, "PRAGMA user_version"), "1");
    EXPECT_EQ(sql(blocked, "SELECT count(*) FROM checks"), "3");

    std::filesystem::create_directory(dir.file("folder.sqlite"));
    EXPECT_THROW(BalanceHistory{dir.file("folder.sqlite")}, HistoryError);
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// The reading commands read a history in a folder and a file they may not write; what they truly
// cannot read, and a write that fails, are said with the reason.
TEST(BalanceHistoryReadOnly, ReadsWhereItMayNotWriteAndSaysWhyOtherwise) {
    TempDir dir;
    test::openToOthers(dir.path());
    const std::string path = dir.file("History.sqlite");
    BalanceHistory(path).append({entry("2026-12-01T09:00:00Z", "ivanov", "10.00"),
                                 entry("2026-12-02T09:00:00Z", "ivanov", "8.00")});
    ASSERT_FALSE(std::filesystem::exists(path + "-wal")) << "checkpointed when closed";
    ::chmod(path.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0555);
    const auto asUser = [&](const std::function<std::string()>& body) {
        return test::runUnprivileged([&] {
            try {
                return body();
            } catch (const HistoryError& e) {
                return std::string(e.what());
            }
        });
    };
    EXPECT_EQ(asUser([&] { return std::to_string(BalanceHistory::openForReading(path).read({}).size()); }), "2");
    EXPECT_EQ(asUser([&] {
                  BalanceHistory(path).append({entry("2026-12-03T09:00:00Z", "ivanov", "6.00")});
                  return std::string("written");
              }).rfind("cannot write the balance history " + path + ": ", 0),
              0u);
    ::chmod(path.c_str(), 0);
    EXPECT_EQ(asUser([&] { return std::to_string(BalanceHistory::openForReading(path).read({}).size()); }),
              "cannot read the balance history " + path + ": unable to open database file (Permission denied)");
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(test::strayFiles(dir.path(), "History.sqlite"), std::vector<std::string>{}) << "nothing made";
}

}  // namespace
}  // namespace korvex
