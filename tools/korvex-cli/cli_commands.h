#pragma once
// The commands of korvex-cli as functions over streams, so that they run the same in the program and
// in tests. Each answers the exit status. Messages go to `err`, prefixed "korvex-cli: "; tables and
// CSV go to `out`. The single-copy guard and the signal handlers are the caller's (main.cpp).
#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>

#include "check_clock.h"
#include "portal_addresses.h"

namespace korvex {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a check, an import or a file failed, or the run was stopped
inline constexpr int kExitUsage = 2;   // the command line asks for something that cannot be done
inline constexpr int kExitAttention = 3;  // refresh: the summary names a low balance or a changed page

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
    bool progress = false;  // draw the progress line on `err` (it is a terminal)
};

// The balance table as text, or as CSV.
int showCommand(const CliContext& context, bool csv);

// The refresh run of the window over every row, or over row `row` (from 1) alone, then the save and
// the balance table. Curl1 is set up as the window sets it up, with the proxy of the settings file.
// A raised stop flag aborts the transfer in progress and ends the run after it: the rows checked so
// far are saved, the row whose transfer was cut short is left as it was. A proxy port that is not a
// number ends the run at the row that needs the proxy, without a save, as the window does.
// After the table comes the run summary on `err` (with `jsonSummary`, as JSON on `out` in place of
// the table); `notifyCommand`, when given, runs with the summary text on its standard input when the
// summary names anything. Exit status 3 when it names a low balance or a changed portal page.
int refreshCommand(const CliContext& context, std::optional<int> row, bool jsonSummary = false,
                   const std::string& notifyCommand = {});

// Accounts from the account CSV at `csvPath` ("-": `in`), after the present ones or, with `replace`,
// in their place. A book whose only row is empty (a first start) counts as having no accounts. The
// settings file is made first when it does not exist. Any refusal leaves every file as it was.
int importCommand(const CliContext& context, const std::string& csvPath, bool replace);

// A name under which the file open on `fd` can be opened again, whatever has been renamed over
// `path` since: its /proc/self/fd entry, or `path` itself where there is none.
std::string openedFilePath(int fd, const std::string& path);

// The accounts as an account CSV to `csvPath`, or to `out` when it is "" or "-". The file is
// replaced in one step and made readable by its owner only (it holds the passwords in the clear).
int exportCommand(const CliContext& context, const std::string& csvPath);

}  // namespace korvex
