#include "history/balance_history.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "book/balance_text.h"

namespace korvex {

namespace {

// The schema, one step per version: step i brings a file of version i to version i + 1.
// Version 1: the checks as texts.
constexpr const char* kToVersion1 =
    "CREATE TABLE checks("
    " id INTEGER PRIMARY KEY,"
    " time TEXT NOT NULL,"  // UTC, YYYY-MM-DDTHH:MM:SSZ
    " login TEXT NOT NULL,"
    " plan TEXT NOT NULL DEFAULT '',"
    " balance_text TEXT NOT NULL DEFAULT '',"  // the portal's text, UTF-8
    " speed TEXT NOT NULL DEFAULT '',"
    " status TEXT NOT NULL DEFAULT '',"
    " outcome TEXT NOT NULL);";  // page, not found, error marker, transfer failed
// Version 2: the balance as a number (NULL when the text is none) and why a check failed; the table
// is kept in order of login and time (a clustered key), so that one account's checks lie together
// and its most recent ones are read from a few pages of the file; an index by time serves listing
// and pruning across accounts. `id` numbers the checks in the order they were kept; next_id holds
// the next number.
constexpr const char* kToVersion2 =
    "CREATE TABLE checks_v2("
    " login TEXT NOT NULL,"
    " time TEXT NOT NULL,"
    " id INTEGER NOT NULL,"
    " plan TEXT NOT NULL DEFAULT '',"
    " balance_text TEXT NOT NULL DEFAULT '',"
    " balance REAL,"
    " speed TEXT NOT NULL DEFAULT '',"
    " status TEXT NOT NULL DEFAULT '',"
    " outcome TEXT NOT NULL,"
    " detail TEXT NOT NULL DEFAULT '',"
    " PRIMARY KEY (login, time, id)) WITHOUT ROWID;"
    "INSERT INTO checks_v2(login, time, id, plan, balance_text, balance, speed, status, outcome)"
    " SELECT login, time, id, plan, balance_text,"
    "  CASE WHEN outcome IN ('page', 'not found') THEN korvex_balance_number(balance_text) END,"
    "  speed, status, outcome FROM checks;"
    "DROP TABLE checks;"
    "ALTER TABLE checks_v2 RENAME TO checks;"
    "CREATE INDEX checks_by_time ON checks(time);"
    "CREATE TABLE next_id(value INTEGER NOT NULL);"
    "INSERT INTO next_id SELECT COALESCE(MAX(id), 0) + 1 FROM checks;";
constexpr const char* kSteps[] = {kToVersion1, kToVersion2};
static_assert(std::size(kSteps) == BalanceHistory::kSchemaVersion);

constexpr const char* kColumns = "time, login, plan, balance_text, balance, speed, status, outcome, detail";

// One prepared statement, finalized in exactly one place.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    bool bind(int index, const std::string& text) {
        return sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    std::string text(int col) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
                     : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// korvex_balance_number(text): the balance text as a number, or NULL (for the migration to version 2).
void balanceNumberFunction(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    if (!bytes) {
        sqlite3_result_null(context);
        return;
    }
    const std::optional<double> value =
        balanceFromUtf8(std::string_view(bytes, static_cast<std::size_t>(sqlite3_value_bytes(args[0]))));
    if (value)
        sqlite3_result_double(context, *value);
    else
        sqlite3_result_null(context);
}

HistoryEntry entryFromRow(const Statement& st) {
    HistoryEntry e;
    e.time = st.text(0);
    e.login = st.text(1);
    e.plan = st.text(2);
    e.balanceText = st.text(3);
    if (sqlite3_column_type(st.get(), 4) != SQLITE_NULL) e.balance = sqlite3_column_double(st.get(), 4);
    e.speed = st.text(5);
    e.status = st.text(6);
    // An outcome this build does not know (a newer program's) reads as a failed check.
    e.outcome = outcomeFromName(st.text(7)).value_or(HistoryOutcome::ErrorMarker);
    e.detail = st.text(8);
    return e;
}

// SQLite's reason, and the system's beside it where a system call failed ("disk I/O error (No space
// left on device)").
std::string sqliteReason(sqlite3* db) {
    if (!db) return "out of memory";
    std::string why = sqlite3_errmsg(db);
    if (const int error = sqlite3_system_errno(db); error != 0) why += std::string(" (") + std::strerror(error) + ")";
    return why;
}

}  // namespace

std::string historyPathFor(const std::string& settingsPath) {
    return (std::filesystem::path(settingsPath).parent_path() / "History.sqlite").string();
}

BalanceHistory::BalanceHistory(const std::string& path) : m_path(path) {
    // SQLite would make the file with the umask's mode; the history names every account, so it is
    // made readable by its owner only before SQLite opens it.
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST)
            throw HistoryError("cannot make the balance history " + path + ": " + std::strerror(errno));
        if (fd >= 0) ::close(fd);
    }
    // One made by an older Korvex (or copied in) that others may read becomes the owner's alone,
    // with the journal files beside it.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string file = path + suffix;
        struct stat st {};
        if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077))
            (void)::chmod(file.c_str(), st.st_mode & 07700);
    }
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string why = sqliteReason(m_db);
        sqlite3_close(std::exchange(m_db, nullptr));
        throw HistoryError("cannot open the balance history " + path + ": " + why);
    }
    try {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, 5000);
        sqlite3_create_function_v2(m_db, "korvex_balance_number", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, &balanceNumberFunction, nullptr, nullptr, nullptr);
        // A file of a newer version is refused before anything (the journal mode too) is written.
        if (const int version = schemaVersion(); version > kSchemaVersion)
            throw HistoryError("the balance history " + path + " was written by a newer Korvex (schema " +
                               std::to_string(version) + "); it is left as it is");
        exec("PRAGMA journal_mode=WAL", "write");
        // In WAL mode NORMAL keeps the file consistent across a crash; a power cut may lose the last run.
        exec("PRAGMA synchronous=NORMAL", "write");
        migrate();
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

BalanceHistory BalanceHistory::openForReading(const std::string& path) {
    BalanceHistory history(path, ReadOnly{});
    // Bringing an older file up to date is a write: the file is opened as a writer would open it.
    if (history.schemaVersion() < kSchemaVersion) return BalanceHistory(path);
    return history;
}

BalanceHistory::BalanceHistory(const std::string& path, ReadOnly) : m_path(path), m_reading("read") {
    openReadOnly(false);
    try {
        try {
            schemaVersion();
        } catch (const HistoryError&) {
            // A WAL file read-only needs its shared memory file, which a folder we may not write
            // cannot take. A checkpointed file (no -wal beside it, or an empty one) holds every check
            // itself and is read as immutable; with checks in the -wal file that would miss them.
            std::error_code ec;
            const auto walSize = std::filesystem::file_size(path + "-wal", ec);
            if (!ec && walSize > 0) throw;
            sqlite3_close(std::exchange(m_db, nullptr));
            openReadOnly(true);
        }
        if (const int version = schemaVersion(); version > kSchemaVersion)
            throw HistoryError("the balance history " + path + " was written by a newer Korvex (schema " +
                               std::to_string(version) + ")");
    } catch (...) {
        sqlite3_close(std::exchange(m_db, nullptr));
        throw;
    }
}

void BalanceHistory::openReadOnly(bool immutable) {
    std::string name = m_path;
    if (immutable) {
        // A URI: every byte but the plain ones percent-encoded.
        name = "file:";
        for (const unsigned char c : m_path) {
            if (std::isalnum(c) || std::strchr("/._-~", c)) {
                name += static_cast<char>(c);
            } else {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X", c);
                name += escaped;
            }
        }
        name += "?immutable=1";
    }
    const int flags = SQLITE_OPEN_READONLY | (immutable ? SQLITE_OPEN_URI : 0);
    if (sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr) == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, 5000);
        return;
    }
    const std::string why = sqliteReason(m_db);
    sqlite3_close(std::exchange(m_db, nullptr));
    throw HistoryError("cannot read the balance history " + m_path + ": " + why);
}

BalanceHistory::~BalanceHistory() {
    sqlite3_close(m_db);
}

BalanceHistory::BalanceHistory(BalanceHistory&& other) noexcept
    : m_path(std::move(other.m_path)), m_db(std::exchange(other.m_db, nullptr)), m_reading(other.m_reading) {}

BalanceHistory& BalanceHistory::operator=(BalanceHistory&& other) noexcept {
    if (this != &other) {
        sqlite3_close(m_db);
        m_path = std::move(other.m_path);
        m_db = std::exchange(other.m_db, nullptr);
        m_reading = other.m_reading;
    }
    return *this;
}

void BalanceHistory::fail(const std::string& doing) const {
    throw HistoryError("cannot " + doing + " the balance history " + m_path + ": " + sqliteReason(m_db));
}

void BalanceHistory::exec(const char* sql, const char* doing) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(doing);
}

int BalanceHistory::schemaVersion() const {
    Statement st(m_db, "PRAGMA user_version");
    if (!st || sqlite3_step(st.get()) != SQLITE_ROW) fail(m_reading);
    return sqlite3_column_int(st.get(), 0);
}

void BalanceHistory::migrate() {
    // Read without a write lock first: the usual file is up to date already.
    int version = schemaVersion();
    if (version >= kSchemaVersion) return;
    exec("BEGIN IMMEDIATE", "update");
    try {
        version = schemaVersion();  // another process may have brought it up to date meanwhile
        for (int v = std::max(version, 0); v < kSchemaVersion; ++v) exec(kSteps[v], "update");
        exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(), "update");
        exec("COMMIT", "update");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void BalanceHistory::append(const std::vector<HistoryEntry>& entries) {
    if (entries.empty()) return;
    exec("BEGIN IMMEDIATE", "write");
    try {
        Statement next(m_db, "SELECT value FROM next_id");
        if (!next || sqlite3_step(next.get()) != SQLITE_ROW) fail("write");
        sqlite3_int64 id = sqlite3_column_int64(next.get(), 0);
        sqlite3_reset(next.get());
        Statement st(m_db, std::string("INSERT INTO checks(") + kColumns +
                               ", id) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)");
        if (!st) fail("write");
        for (const HistoryEntry& e : entries) {
            const std::string outcome(outcomeName(e.outcome));
            bool ok =
                st.bind(1, e.time) && st.bind(2, e.login) && st.bind(3, e.plan) &&
                st.bind(4, e.balanceText) &&
                (e.balance ? sqlite3_bind_double(st.get(), 5, *e.balance) : sqlite3_bind_null(st.get(), 5)) ==
                    SQLITE_OK &&
                st.bind(6, e.speed) && st.bind(7, e.status) && st.bind(8, outcome) && st.bind(9, e.detail);
            ok = ok && sqlite3_bind_int64(st.get(), 10, id++) == SQLITE_OK &&
                 sqlite3_step(st.get()) == SQLITE_DONE;
            if (!ok) fail("write");
            sqlite3_reset(st.get());
        }
        Statement advance(m_db, "UPDATE next_id SET value = ?1");
        if (!advance || sqlite3_bind_int64(advance.get(), 1, id) != SQLITE_OK ||
            sqlite3_step(advance.get()) != SQLITE_DONE)
            fail("write");
        exec("COMMIT", "write");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<HistoryEntry> BalanceHistory::read(const HistoryQuery& query) const {
    std::string sql = std::string("SELECT ") + kColumns + " FROM checks";
    std::string where;
    if (!query.login.empty()) where += "login = ?1";
    if (!query.since.empty()) where += std::string(where.empty() ? "" : " AND ") + "time >= ?2";
    const bool onePlan = !query.login.empty() && !query.plan.empty();
    if (onePlan) where += " AND plan = ?4";
    if (!where.empty()) sql += " WHERE " + where;
    // With a limit the most recent rows are wanted: read them newest first and turn them round.
    const bool newestFirst = query.limit > 0;
    sql += newestFirst ? " ORDER BY time DESC, id DESC LIMIT ?3" : " ORDER BY time, id";
    Statement st(m_db, sql);
    if (!st) fail("read");
    if (!query.login.empty()) st.bind(1, query.login);
    if (!query.since.empty()) st.bind(2, query.since);
    if (newestFirst) sqlite3_bind_int(st.get(), 3, query.limit);
    if (onePlan) st.bind(4, query.plan);
    std::vector<HistoryEntry> entries;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) entries.push_back(entryFromRow(st));
    if (rc != SQLITE_DONE) fail("read");
    if (newestFirst) std::reverse(entries.begin(), entries.end());
    return entries;
}

std::vector<HistoryEntry> BalanceHistory::recent(const std::string& login, const std::string& plan,
                                                 int limit) const {
    std::vector<HistoryEntry> entries = read({login, {}, limit, plan});
    std::reverse(entries.begin(), entries.end());
    return entries;
}

long long BalanceHistory::pruneBefore(const std::string& timestamp) {
    Statement st(m_db, "DELETE FROM checks WHERE time < ?1");
    if (!st || !st.bind(1, timestamp) || sqlite3_step(st.get()) != SQLITE_DONE) fail("prune");
    return sqlite3_changes64(m_db);
}

}  // namespace korvex
