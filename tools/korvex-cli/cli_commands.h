#pragma once
// The commands of korvex-cli as functions over streams, so that they run the same in the program and
// in tests. Each answers the exit status. Messages go to `err`, prefixed "korvex-cli: "; tables and
// CSV go to `out`. The single-copy guard and the signal handlers are the caller's (main.cpp).
#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "checks/check_clock.h"
#include "checks/portal_addresses.h"

namespace korvex {

// Exit statuses; where several hold, the first of this order wins: 2, 130, 1, 3, 0.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a check, an import, a file or the notify command failed
inline constexpr int kExitUsage = 2;   // the command line asks for something that cannot be done
inline constexpr int kExitAttention = 3;  // refresh: nothing failed, the summary names a low balance or a changed page
inline constexpr int kExitInterrupted = 130;  // refresh: ended by SIGINT, SIGTERM or SIGHUP (after the save)

// The most bytes an account CSV may have: far more than 500 accounts need, and a file named by
// mistake (a disk image, /dev/zero) is refused instead of read into memory.
inline constexpr std::size_t kMaxImportBytes = std::size_t{32} * 1024 * 1024;

struct CliContext {
    std::string settingsPath;  // the settings file, Settings.ini beside the executable by default
    std::ostream& out;
    std::ostream& err;
    std::istream& in;  // what import reads for "-"
    PortalAddresses addresses;
    const CheckClock& clock;
    // Raised by SIGINT or SIGTERM (StopSignals::flag()); null: nothing stops a run.
    const std::atomic<bool>* stop = nullptr;
    bool progress = false;       // draw the progress line on `err` (it is a terminal)
    bool outIsTerminal = false;  // `out` is a terminal: CSV goes to it without control characters
    // check-update: the publisher key the info file must be signed with; nothing: the build's.
    std::optional<std::string> updatePublicKey = std::nullopt;
};

// Loads the accounts of the settings file as the window does; answers false with the message
// written when there is no file or it cannot be read.
bool loadAccountBook(const CliContext& context, AccountBook& book);

// The balance table as text, or as CSV.
int showCommand(const CliContext& context, bool csv);

// How a refresh goes about it. jobs 1 is the window's own run, one row after another.
struct RefreshOptions {
    int jobs = 1;              // checks at once in all
    int perPortal = 1;         // checks at once on one portal
    int timeoutSeconds = 120;  // the most one account's whole check may take; 0: no limit
    bool summaryJson = false;   // the run summary as JSON on `out`, in place of the table
    std::string notifyCommand{};  // run with the summary text on its standard input when it names anything
    // False: not on the command line, so the window's stored setting (run/refresh_settings.h) holds
    // when there is one.
    bool jobsGiven = true;
    bool perPortalGiven = true;
};

// The refresh run of the window over every row, or over row `row` (from 1) alone, then the save and
// the balance table. With options.jobs above 1 several portals are asked at once (run/refresh_session.h),
// with the same results. Curl1 is set up as the window sets it up, with the proxy of the settings file.
// A raised stop flag aborts the transfer in progress and ends the run after it: the rows checked so
// far are saved, the row whose transfer was cut short is left as it was. A proxy port that is not a
// number ends the run at the row that needs the proxy, without a save, as the window does.
// After the table comes the run summary on `err` (with options.summaryJson, as JSON on `out` in place of
// the table); options.notifyCommand, when given, runs with the summary text on its standard input when
// the summary names anything. Exit status 130 when a stop ended the run, else 1 when anything failed
// (no page, values not found, a refused certificate, an unknown plan code, the save, the notify
// command), else 3 when the summary names a low balance or a changed portal page.
int refreshCommand(const CliContext& context, std::optional<int> row, const RefreshOptions& options = {});

// Accounts from the account CSV at `csvPath` ("-": `in`), after the present ones or, with `replace`,
// in their place, by the rules of book/account_import.h. The settings file is made first when it
// does not exist. Any refusal leaves every file as it was. The accounts left out are said in one
// line, or with `verbose` one line each; plan codes that name no portal are imported and named.
int importCommand(const CliContext& context, const std::string& csvPath, bool replace, bool verbose = false);

// A name under which the file open on `fd` can be opened again, whatever has been renamed over
// `path` since: its /proc/self/fd entry, or `path` itself where there is none.
std::string openedFilePath(int fd, const std::string& path);

// The accounts as an account CSV to `csvPath`, or to `out` when it is "" or "-". A file is replaced
// in one step and made readable by its owner only (it holds the passwords in the clear); a device or
// a FIFO is written into, a symbolic link's target is written, a folder or a disk is refused.
int exportCommand(const CliContext& context, const std::string& csvPath);

// Pins the key that each portal (https://HOST:PORT, or every pinned one with `all`) presents now, in
// Portals.pins beside the settings file: what the user runs after a portal changed its certificate.
// One TLS handshake a portal, through the proxy of the settings file; nothing is sent.
int trustCommand(const CliContext& context, const std::vector<std::string>& portals, bool all);

}  // namespace korvex
