#pragma once
// BalanceHistory: the history file, History.sqlite beside Settings.ini. Every kept check is one row
// of the table `checks`; nothing but pruning ever removes one, so deleting an account keeps its
// history and it is still found by its account: its login and plan code. One login may stand for
// several accounts (the same subscriber on two plans), so a chart of one row asks for both.
//
// The file is an SQLite database in WAL mode, made readable by its owner only (the WAL and shared
// memory files take the database's mode). Its schema version is PRAGMA user_version; opening a file
// of an older version brings it up to date in one transaction (all steps or none), and a file of a
// newer version is refused untouched.
//
// Threads: one object, one thread. Other processes may read the file while this one writes.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "history/history_entry.h"

struct sqlite3;

namespace korvex {

// The history file could not be opened, read or written. what() says which file and why.
class HistoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// History.sqlite in the folder of `settingsPath`.
std::string historyPathFor(const std::string& settingsPath);

// Which checks to read. Empty texts select everything.
struct HistoryQuery {
    std::string login{};
    std::string since{};  // a timestamp of the history's form: checks at or after it
    int limit = 0;        // the most recent `limit` checks only; 0 for all
    std::string plan{};   // with a login: that account's plan code (UTF-8) only
};

class BalanceHistory {
public:
    // The schema this build writes. Version 1 kept the texts only; version 2 added the balance as a
    // number and the reason of a failed check, and keeps the checks in order of login and time.
    static constexpr int kSchemaVersion = 2;

    // Opens `path`, making the file (mode 0600) when it does not exist. Throws HistoryError.
    explicit BalanceHistory(const std::string& path);

    // Opens an existing `path` for reading only: nothing is made or written, so it works in a
    // read-only folder and on a file this user may not write. A file whose write-ahead log is
    // checkpointed (no -wal file) is read even where SQLite could not make its shared memory file
    // (as immutable). A file of an older schema is brought up to date first, which needs writing.
    // Writing through the object throws. Throws HistoryError with SQLite's reason.
    static BalanceHistory openForReading(const std::string& path);
    ~BalanceHistory();
    BalanceHistory(BalanceHistory&& other) noexcept;
    BalanceHistory& operator=(BalanceHistory&& other) noexcept;
    BalanceHistory(const BalanceHistory&) = delete;
    BalanceHistory& operator=(const BalanceHistory&) = delete;

    const std::string& path() const noexcept { return m_path; }
    int schemaVersion() const;

    // Appends the entries in one transaction: all of them or, on an error, none. Throws HistoryError.
    void append(const std::vector<HistoryEntry>& entries);

    // The checks `query` selects, oldest first (the most recent `limit` of them when it is set).
    std::vector<HistoryEntry> read(const HistoryQuery& query) const;
    // The most recent `limit` checks of the account `login` on plan `plan`, newest first.
    std::vector<HistoryEntry> recent(const std::string& login, const std::string& plan, int limit) const;

    // Removes every check before `timestamp`; answers how many went.
    long long pruneBefore(const std::string& timestamp);

private:
    struct ReadOnly {};
    BalanceHistory(const std::string& path, ReadOnly);
    void openReadOnly(bool immutable);
    void migrate();
    [[noreturn]] void fail(const std::string& doing) const;
    void exec(const char* sql, const char* doing);

    std::string m_path;
    sqlite3* m_db = nullptr;
    // What a failure to read the schema is said as: a writer is writing when it fails.
    const char* m_reading = "write";
};

}  // namespace korvex
