#include "korvex-cli/cli_commands.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "book/account_book.h"
#include "checks/balance_checks.h"
#include "checks/parallel_refresh.h"
#include "checks/portal_operators.h"
#include "checks/provider_profiles.h"
#include "checks/refresh_run.h"
#include "checks/run_summary.h"
#include "history/balance_history.h"
#include "history/days_left_summary.h"
#include "history/run_history.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_keyring.h"
#include "korvex-cli/progress_bar.h"
#include "korvex-cli/stop_signals.h"
#include "net/curl1_setup.h"
#include "net/portal_pins.h"
#include "net/str_to_int.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "run/refresh_session.h"
#include "run/refresh_settings.h"
#include "settings/settings_file.h"

namespace korvex {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "korvex-cli: ";

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// "row 3 (login)" for messages; the login in UTF-8, without control characters.
std::string rowName(const AccountBook& book, int row) {
    std::string name = "row " + std::to_string(row + 1);
    const std::string& login = book.client.cell(kLogin, row);
    if (!login.empty()) name += " (" + terminalText(cp1251ToUtf8(login)) + ")";
    return name;
}

// "line 3 is not a pin," or "lines 3, 7 are not pins,": named once a run, never pinned again.
std::string unreadablePinLines(const std::vector<int>& lines) {
    std::string numbers;
    for (const int line : lines) numbers += (numbers.empty() ? "" : ", ") + std::to_string(line);
    return lines.size() == 1 ? "line " + numbers + " is not a pin," : "lines " + numbers + " are not pins,";
}

// "2, 5 and 9 to 31": rows (from 0, ascending) as the user numbers them, runs joined.
std::string rowRanges(const std::vector<int>& rows) {
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        parts.push_back(std::to_string(rows[i] + 1) + (j > i ? " to " + std::to_string(rows[j] + 1) : ""));
        i = j + 1;
    }
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

// Loads the settings file the way the window's start does (count and proxy, then both tables).
// Answers false, with the message written, when there is no file to load or it cannot be read.
// Both reads go to the one file that was there when it was opened: a save by the window meanwhile
// replaces the file whole, so the commands that read without the single-copy lock still see one
// consistent file. A count that cannot be read is said, with how many accounts the file holds.
bool loadSettings(const CliContext& context, AccountBook& book, ProxySettings& proxy,
                  StartupValues* startOut = nullptr) {
    const std::string& path = context.settingsPath;
    // Non-blocking: a FIFO in the file's place must not hang the command.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const int openError = errno;
    if (fd < 0 && openError == ENOENT) {
        context.err << kPrefix << "there is no settings file " << path
                    << " (start korvex once, or bring accounts in with korvex-cli import FILE.csv)\n";
        return false;
    }
    // A folder, a file without permission or bytes that are not a settings file would load as an
    // empty book, and a save would write over them.
    SettingsFileState state = settingsFileState(fd < 0 ? path : openedFilePath(fd, path));
    if (fd < 0 && state.usable()) state = {SettingsFileState::Unreadable, {openError, std::generic_category()}};
    if (!state.usable()) {
        if (fd >= 0) ::close(fd);
        context.err << kPrefix << settingsFileProblem(path, state) << '\n';
        return false;
    }
    const std::string opened = openedFilePath(fd, path);
    const StartupValues start = readStartup(opened);
    proxy = start.proxy;
    book.setCount(start.count);
    read(book, opened);
    ::close(fd);
    if (start.countDamaged) {
        context.err << kPrefix << "warning: the account count of " << path << " cannot be read (Count="
                    << quoted(terminalText(cp1251ToUtf8(start.countText))) << "), so " << book.clients
                    << (book.clients == 1 ? " account is" : " accounts are") << " taken; the file holds "
                    << start.accountRows << (start.accountRows == 1 ? " account\n" : " accounts\n");
    }
    if (start.rowsBeyondMax > 0) {
        context.err << kPrefix << "warning: " << path << " holds " << start.rowsBeyondMax
                    << (start.rowsBeyondMax == 1 ? " account" : " accounts") << " beyond row " << kMaxAccounts
                    << ", left unread (Korvex reads " << kMaxAccounts
                    << " accounts); saves keep them in the file as they are\n";
    }
    if (startOut) *startOut = start;
    return true;
}

// The whole content of `path` ("-": the stream), at most kMaxImportBytes. Answers false with the
// message written.
bool readWholeInput(const CliContext& context, const std::string& path, std::string& text) {
    std::istream* stream = &context.in;
    std::ifstream file;
    if (path != "-") {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            context.err << kPrefix << path << " is a folder, not a CSV file\n";
            return false;
        }
        file.open(path, std::ios::binary);
        if (!file) {
            context.err << kPrefix << "cannot read " << path << ": " << std::strerror(errno) << '\n';
            return false;
        }
        stream = &file;
    }
    text.clear();
    char chunk[65536];
    while (*stream) {
        stream->read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(stream->gcount()));
        if (text.size() > kMaxImportBytes) {
            context.err << kPrefix << (path == "-" ? std::string("standard input") : path)
                        << " is larger than an account list can be (" << kMaxImportBytes / (1024 * 1024)
                        << " MiB); nothing was imported\n";
            return false;
        }
    }
    if (stream->bad()) {
        context.err << kPrefix << "cannot read " << path << '\n';
        return false;
    }
    return true;
}

// Writes `text` to `path` in one step (platform/atomic_file.h), the stop signals held back meanwhile.
// Answers the error, or an empty text.
std::string replaceFile(const std::string& path, const std::string& text) {
    const SignalHold hold;
    AtomicWriteOptions options;
    options.tempInfix = ".";
    const Expected<void> written = writeFileAtomically(path, text, options);
    return written ? std::string() : failedStep(written.error(), path);
}

// Writes `text` into what is already open at `path` and stays there: a terminal, a pipe made with
// mkfifo, /dev/null. Answers the error, or an empty text.
std::string writeInto(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::close(fd);  // it changed under our feet: neither guess is safe
        return "it is no longer a device or a pipe";
    }
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return std::strerror(error);
        }
        written += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 ? std::string() : std::string(std::strerror(errno));
}

// The export's target as the user means it: a regular file (or none yet) is replaced in one step;
// a character device or a FIFO is written into; a symbolic link stands for what it points at, and
// the link stays. A folder, a disk and anything else are refused. Answers the error, or "".
std::string writeExport(const std::string& path, const std::string& text) {
    std::error_code ec;
    // What the path leads to, links followed: /dev/stdout leads to a terminal or a pipe through
    // links that only open() can follow, so a device or a pipe is opened by the name given.
    const fs::file_status status = fs::status(path, ec);
    switch (status.type()) {
        case fs::file_type::character:
        case fs::file_type::fifo:
            return writeInto(path, text);
        case fs::file_type::not_found:
        case fs::file_type::regular: {
            // A link is followed by hand, link after link: one that leads to no file yet names the
            // file to make.
            fs::path target = path;
            for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
                if (hops == 40) return std::strerror(ELOOP);
                const fs::path next = fs::read_symlink(target, ec);
                if (ec) return ec.message();
                target = next.is_absolute() ? next : target.parent_path() / next;
            }
            return replaceFile(target.string(), text);
        }
        case fs::file_type::directory:
            return "it is a folder";
        case fs::file_type::block:
            return "it is a disk";
        default:
            return ec ? ec.message() : std::string("it is not a file");
    }
}

// True when the book holds nothing but the one empty row of a first start.
bool holdsNoAccounts(const AccountBook& book) {
    if (book.clients != 1) return false;
    for (int col = 0; col < kAccountCols; ++col)
        if (!book.client.cell(col, 0).empty()) return false;
    return true;
}

// Saves with zapis (rows up to `emptyRowsTo` beyond the count emptied); answers false with the
// message written.
bool save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy, int emptyRowsTo = 0,
          CliKeyring* keyring = nullptr) {
    try {
        const SignalHold hold;
        if (keyring && keyring->enabled()) return keyring->save(context, book, proxy, emptyRowsTo);
        zapis(book, proxy, context.settingsPath, emptyRowsTo);
        return true;
    } catch (const SettingsWriteError& e) {
        context.err << kPrefix << e.what() << '\n';
        return false;
    }
}

// Runs `command` with sh -c, `text` on its standard input, and waits for it. Answers what went
// wrong, or an empty text. A command that does not read its input does not end the program.
std::string runNotifyCommand(const std::string& command, const std::string& text) {
    std::fflush(nullptr);
    FILE* pipe = ::popen(command.c_str(), "we");
    if (!pipe) return std::string("could not be started: ") + std::strerror(errno);
    // SIGPIPE held back (the command is started already, so it keeps the usual disposition), and a
    // pending one taken away before it is let through again.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    std::fwrite(text.data(), 1, text.size(), pipe);
    std::fflush(pipe);
    const int status = ::pclose(pipe);
    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (status == -1) return std::string("failed: ") + std::strerror(errno);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status)) return "ended with status " + std::to_string(WEXITSTATUS(status));
    return "was ended by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace

std::string openedFilePath(int fd, const std::string& path) {
    const std::string alias = "/proc/self/fd/" + std::to_string(fd);
    return ::access(alias.c_str(), R_OK) == 0 ? alias : path;
}

int showCommand(const CliContext& context, bool csv) {
    AccountBook book;
    ProxySettings proxy;
    if (!loadSettings(context, book, proxy)) return kExitFailed;
    if (csv && context.outIsTerminal) {
        std::ostringstream text;
        printBalanceCsv(text, book);
        context.out << terminalCsv(text.str());
    } else if (csv) {
        printBalanceCsv(context.out, book);
    } else {
        printBalanceTable(context.out, book);
    }
    context.out.flush();
    return kExitOk;
}

namespace {

// Says on standard error what became of each row that needs saying; answers whether any failed, and
// sets `interruptedAt` to the row the stop cut short (-1: none).
bool sayRowOutcomes(const CliContext& context, const AccountBook& book, const std::vector<RowCheck>& reports,
                    int& interruptedAt) {
    bool failed = false;
    interruptedAt = -1;
    for (const RowCheck& report : reports) {
        const std::string name = rowName(book, report.row);
        switch (report.outcome) {
            case CheckOutcome::PassedOver: {
                const std::string& code = book.client.cell(kPlanCode, report.row);
                bool emptyRow = true;
                for (int col = 0; col < kAccountCols; ++col)
                    emptyRow = emptyRow && book.client.cell(col, report.row).empty();
                if (emptyRow) break;
                if (code.empty()) {
                    context.err << kPrefix << name << " has no plan code; passed over\n";
                } else {
                    failed = true;  // a typing mistake must not pass for a checked account
                    context.err << kPrefix << name << ": the plan code "
                                << quoted(terminalText(cp1251ToUtf8(code)))
                                << " names no portal; passed over\n";
                }
                break;
            }
            case CheckOutcome::PageRead:
                break;
            case CheckOutcome::NotFound:
                failed = true;
                context.err << kPrefix << name << ": the values were not found on the portal's page ("
                            << kNotFoundMarker << "): a wrong password, or the page has changed\n";
                break;
            case CheckOutcome::TransferFailed:
                failed = true;
                if (certificateRefused(report)) {
                    context.err << kPrefix << name << ": refused: " << terminalText(report.errorText) << '\n';
                    break;
                }
                context.err << kPrefix << name << ": no page from the portal"
                            << (report.errorText.empty() ? "" : " (" + terminalText(report.errorText) + ")")
                            << '\n';
                break;
            case CheckOutcome::ErrorMarker:
                failed = true;
                context.err << kPrefix << name << ": the check failed (" << cp1251ToUtf8(kErrorMarker) << ")"
                            << (report.errorText.empty() ? "" : ": " + terminalText(report.errorText)) << '\n';
                break;
            case CheckOutcome::Stopped:
                interruptedAt = report.row;
                break;
        }
    }
    return failed;
}

// After a stop: which rows were left as they were, and whether the rest was saved.
void sayWhatTheStopLeft(const CliContext& context, const AccountBook& book, const RefreshReport& run,
                        int first, int last, int interruptedAt) {
    const std::vector<RowCheck>& reports = run.run.rows;
    const RefreshResult& result = run.run;
    const bool saved = run.saved;
    const int stoppedAt = interruptedAt >= 0 ? interruptedAt : first + result.rowsChecked;
    context.err << kPrefix << "stopped; ";
    // Checks at once finish out of order: the rows left as they were need not be the last ones.
    std::vector<int> untouched;
    for (int row = first; row <= last; ++row) {
        const auto report =
            std::find_if(reports.begin(), reports.end(), [row](const RowCheck& r) { return r.row == row; });
        if (report == reports.end() || report->outcome == CheckOutcome::Stopped) untouched.push_back(row);
    }
    const bool oneRun =
        !untouched.empty() && untouched.back() - untouched.front() + 1 == static_cast<int>(untouched.size());
    const bool lastRowsOnly = untouched.empty() || (oneRun && untouched.back() == last);
    if (!lastRowsOnly) {
        context.err << (untouched.size() == 1 ? rowName(book, untouched[0]) + " left as it was"
                                              : "rows " + rowRanges(untouched) + " left as they were");
    } else if (stoppedAt <= last) {
        context.err << rowName(book, stoppedAt) << (stoppedAt < last ? " and the rows after it" : "")
                    << " left as they were";
    }
    context.err << (saved
                        ? (lastRowsOnly ? ", the rows checked before saved\n" : ", the rows checked saved\n")
                        : "\n");
}

// Saves the pins learnt in the run and names the portals that showed another key than their pin;
// answers false when the pin file was unreadable or not saved, or a portal was refused.
bool sayPins(const CliContext& context, PortalPins& pins,
             const std::vector<PinMismatch>& changedCertificates) {
    bool failed = false;
    if (!pins.loadError().empty()) failed = true;
    if (const std::string problem = pins.saveChanges(); !problem.empty()) {
        failed = true;
        context.err << kPrefix << "the new pins are not saved: " << terminalText(problem) << '\n';
    }
    for (const PinMismatch& changed : changedCertificates) {
        failed = true;
        context.err << kPrefix << portalWithOperator(context.addresses, changed.origin)
                    << " showed another certificate than the one pinned; no "
                    << "password went to it. If the portal changed its certificate itself: korvex-cli trust "
                    << changed.origin << '\n';
    }
    return !failed;
}

// The summary on standard error, and to the notify command when it names anything; answers false when
// the command failed.
bool saySummary(const CliContext& context, const RunSummary& summary, const RefreshOptions& options) {
    bool failed = false;
    // Balances come from the portals' pages: no control character of theirs reaches the terminal
    // or the notify command.
    std::string text;
    const std::string raw = summaryText(summary);
    for (std::size_t at = 0, end; (end = raw.find('\n', at)) != std::string::npos; at = end + 1)
        text += terminalText(std::string_view(raw).substr(at, end - at)) + '\n';
    context.err << text;
    if (!text.empty() && !options.notifyCommand.empty()) {
        const std::string error = runNotifyCommand(options.notifyCommand, text);
        if (!error.empty()) {
            failed = true;
            context.err << kPrefix << "the notify command " << quoted(options.notifyCommand) << " " << error
                        << '\n';
        }
    }
    return !failed;
}

}  // namespace

int refreshCommand(const CliContext& context, std::optional<int> rowNumber, const RefreshOptions& options) {
    AccountBook book;
    ProxySettings proxy;
    if (!loadSettings(context, book, proxy)) return kExitFailed;
    CliKeyring keyring(context.settingsPath);
    if (!keyring.fill(context, book, "no account was checked")) return kExitFailed;
    int first = 0;
    int last = book.clients - 1;
    if (rowNumber) {
        if (*rowNumber > book.clients) {
            context.err << kPrefix << "there is no row " << *rowNumber << ": " << context.settingsPath
                        << " holds " << book.clients << (book.clients == 1 ? " account\n" : " accounts\n");
            return kExitUsage;
        }
        first = last = *rowNumber - 1;
    }
    const auto stopRaised = [&context] {
        return context.stop && context.stop->load(std::memory_order_relaxed);
    };

    // Curl1 as the window sets it up, and as the window runs it: threaded, with a wait hook that
    // ends the transfer in progress once a stop is asked for.
    THttpTransfer Curl1;
    TextHolder Memo1;
    applyCurl1StoredProperties(Curl1, [&](THttpTransferBase&) {
        if (stopRaised()) Curl1.requestAbort();
    });
    try {
        configureCurl1AtStart(Curl1, proxy);
    } catch (const EConvertError& e) {
        // The window shows this at its start and carries on; the run stops at the first row that
        // needs the proxy.
        context.err << kPrefix << e.what() << " (the proxy port of " << context.settingsPath << ")\n";
    }
    // The portals' certificates, pinned on first use as in the window.
    PortalPins pins(pinsPathBeside(context.settingsPath));
    if (!pins.loadError().empty())
        context.err << kPrefix << "the pinned certificates cannot be read: " << terminalText(pins.loadError())
                    << "; no request goes to an HTTPS portal in this run\n";
    else if (!pins.unreadableLines().empty())
        context.err << kPrefix << terminalText(pins.path()) << ": "
                    << unreadablePinLines(pins.unreadableLines()) << " kept as they are\n";
    Curl1.setPins(&pins);
    BalanceChecks checks(
        book, Curl1, Memo1, context.addresses, [proxy] { return proxy; }, context.clock);
    // Threaded, so that the wait hook sees Ctrl+C at once and ends a stalled transfer, as in the window.
    std::optional<ResponsiveTransfers> responsive(std::in_place, Curl1);

    ProgressBar bar(context.err, context.progress);
    // What the run tells as it goes: the progress bar, and Ctrl+C.
    struct Progress : RefreshObserver {
        std::function<void(int)> starting;
        std::function<bool()> stop;
        void rowStarting(int row) override { starting(row); }
        bool stopRequested() override { return stop(); }
    } progress;
    progress.starting = [&](int row) {
        bar.show(row - first, row - first + 1, last - first + 1, cp1251ToUtf8(book.client.cell(kLogin, row)));
    };
    progress.stop = stopRaised;

    RefreshPlan plan;
    plan.first = first;
    plan.last = last;
    // What the command line leaves out, the window's stored setting gives.
    const RefreshSettings stored = readRefreshSettings(context.settingsPath);
    plan.jobs = !options.jobsGiven && stored.jobsStored ? stored.jobs : options.jobs;
    plan.perPortal = !options.perPortalGiven && stored.perPortalStored ? stored.perPortal : options.perPortal;
    plan.timeout = std::chrono::seconds(options.timeoutSeconds);
    plan.settingsPath = context.settingsPath;
    RefreshSession session({book, checks, Curl1, context.addresses, proxy, context.clock, &pins,
                            [&] { return save(context, book, proxy, 0, &keyring); }},
                           plan);
    const RefreshReport run = session.run(progress);
    responsive.reset();
    bar.clear();

    const std::vector<RowCheck>& reports = run.run.rows;
    const RefreshResult& result = run.run;
    const bool saved = run.saved;
    bool failed = !saved;
    if (run.proxyError) {
        context.err << kPrefix << *run.proxyError << '\n'
                    << kPrefix << "the refresh ended at " << rowName(book, run.proxyFailedRow)
                    << ", which needs the proxy; nothing was saved\n";
    }
    if (!run.historyProblem.empty()) {
        failed = true;  // a file not written
        context.err << kPrefix << run.historyProblem << '\n';
    }
    const double lowBalance = run.lowBalance;
    const RunSummary& summary = run.summary;
    if (!run.daysLeftProblem.empty())
        context.err << kPrefix << run.daysLeftProblem << " (no days left in the summary)\n";
    if (options.summaryJson)
        context.out << summaryJson(summary, lowBalance);
    else
        printBalanceTable(context.out, book);
    context.out.flush();

    int interruptedAt = -1;
    if (sayRowOutcomes(context, book, reports, interruptedAt)) failed = true;
    if (!sayPins(context, pins, run.changedCertificates)) failed = true;
    if (stopRaised() && (result.stopped || interruptedAt >= 0)) {
        failed = true;
        sayWhatTheStopLeft(context, book, run, first, last, interruptedAt);
    }
    if (!saySummary(context, summary, options)) failed = true;
    // A signal that came after the last row still ended what the user started.
    if (stopRaised()) return kExitInterrupted;
    if (failed) return kExitFailed;
    return summary.namesLowBalanceOrChangedPage() ? kExitAttention : kExitOk;
}

bool loadAccountBook(const CliContext& context, AccountBook& book) {
    ProxySettings proxy;
    return loadSettings(context, book, proxy);
}

int importCommand(const CliContext& context, const std::string& csvPath, bool replace) {
    const std::string source = csvPath == "-" ? std::string("standard input") : csvPath;
    std::string text;
    if (!readWholeInput(context, csvPath, text)) return kExitFailed;

    std::vector<ImportedAccount> accounts;
    try {
        accounts = readAccountCsv(text);
    } catch (const AccountCsvError& e) {
        context.err << kPrefix << source << ": " << e.what() << "; nothing was imported\n";
        return kExitFailed;
    }
    if (accounts.empty()) {
        context.err << kPrefix << source << " holds no accounts; nothing was imported\n";
        return kExitFailed;
    }

    const std::string& path = context.settingsPath;
    AccountBook book;
    ProxySettings proxy;
    const bool fileExists = settingsFileState(path).kind != SettingsFileState::Missing;
    StartupValues start;
    if (fileExists && !loadSettings(context, book, proxy, &start)) return kExitFailed;
    CliKeyring keyring(path);
    if (!keyring.fill(context, book, "nothing was imported")) return kExitFailed;

    const int kept = replace || holdsNoAccounts(book) ? 0 : book.clients;
    // An account is its login and plan code. Adding leaves out the accounts already there (an import
    // run twice does not double the book); replacing keeps the results of the accounts that stay.
    const auto sameAccount = [](const Row& a, const Row& b) {
        return a[kLogin] == b[kLogin] && a[kPlanCode] == b[kPlanCode];
    };
    std::vector<std::pair<Row, Row>> before;  // account cells and result cells of the present rows
    if (!holdsNoAccounts(book))
        for (int row = 0; row < book.clients; ++row) before.emplace_back(book.client.row(row), book.Stat.row(row));
    if (!replace) {
        // Looked up by key, and left as soon as more accounts are new than the book can take: the
        // time stays linear in the file, however long.
        const auto keyOf = [](const Row& cells) { return cells[kLogin] + '\0' + cells[kPlanCode]; };
        std::unordered_map<std::string, std::size_t> presentRows, freshKeys;
        for (std::size_t i = 0; i < before.size(); ++i) presentRows.emplace(keyOf(before[i].first), i);
        std::vector<ImportedAccount> fresh;
        int present = 0;
        for (ImportedAccount& account : accounts) {
            const std::string key = keyOf(account.cells);
            const auto there = presentRows.find(key);
            if (there == presentRows.end() && freshKeys.emplace(key, fresh.size()).second) {
                fresh.push_back(std::move(account));
                if (kept + fresh.size() > static_cast<std::size_t>(kMaxAccounts)) break;
                continue;
            }
            ++present;
            context.err << kPrefix << source << ": line " << account.line << ": "
                        << terminalText(cp1251ToUtf8(account.cells[kLogin])) << " on plan "
                        << quoted(terminalText(cp1251ToUtf8(account.cells[kPlanCode])))
                        << (there != presentRows.end() ? " is there already, in row " + std::to_string(there->second + 1)
                                                       : std::string(" comes twice in the file"))
                        << "; left out\n";
        }
        accounts = std::move(fresh);
        if (accounts.empty()) {
            context.out << "imported no account from " << source << ": all " << present
                        << (present == 1 ? " is" : " are") << " there already; " << path << " holds "
                        << book.clients << (book.clients == 1 ? " account\n" : " accounts\n");
            context.out.flush();
            return kExitOk;
        }
        if (present > 0)
            context.err << kPrefix << present << (present == 1 ? " account" : " accounts") << " of " << source
                        << (present == 1 ? " was" : " were") << " there already and left out\n";
    }
    // Rows beyond the count keep their accounts in the file (a lowered or damaged count hides
    // them); the new accounts must not go over them.
    if (!replace && start.accountRows > kept) {
        AccountBook hidden;
        hidden.setCount(start.accountRows);
        read(hidden, path);
        const int end = std::min(start.accountRows, kept + static_cast<int>(accounts.size()));
        for (int row = kept; row < end; ++row) {
            bool holdsAccount = false;
            for (int col = 0; col < kAccountCols; ++col)
                holdsAccount = holdsAccount || !hidden.client.cell(col, row).empty();
            if (!holdsAccount) continue;
            context.err << kPrefix << path << " holds an account in " << rowName(hidden, row)
                        << ", beyond its account count of " << book.clients
                        << ", where the import would write; nothing was imported (raise the count in the "
                           "window to see the hidden accounts, or import with --replace)\n";
            return kExitFailed;
        }
    }
    if (kept + static_cast<long long>(accounts.size()) > kMaxAccounts) {
        const ImportedAccount& beyond = accounts[static_cast<std::size_t>(kMaxAccounts - kept)];
        context.err << kPrefix << source << ": line " << beyond.line << ": more than " << kMaxAccounts
                    << " accounts in all";
        if (kept > 0) context.err << " (" << path << " holds " << kept << " already)";
        context.err << "; nothing was imported\n";
        return kExitFailed;
    }

    if (!fileExists) {
        try {
            const SignalHold hold;
            createNewFile(path, proxy);
        } catch (const SettingsWriteError& e) {
            context.err << kPrefix << e.what() << '\n';
            return kExitFailed;
        }
    }

    const int total = kept + static_cast<int>(accounts.size());
    book.setCount(total);
    for (int i = 0; i < static_cast<int>(accounts.size()); ++i) {
        const int row = kept + i;
        book.client.setRow(row, accounts[static_cast<std::size_t>(i)].cells);
        // A new account starts without results; keys an earlier, longer book left in the file for
        // this row must not show up as its balance. An account that stays through a replace keeps
        // its balance, previous balance and date (each present row lends its results once).
        book.Stat.clearRow(row);
        book.Stat.setCell(kStatLogin, row, book.client.cell(kLogin, row));
        if (!replace) continue;
        const auto stays = std::find_if(before.begin(), before.end(), [&](const auto& b) {
            return !b.second.empty() && sameAccount(b.first, book.client.row(row));
        });
        if (stays == before.end()) continue;
        book.Stat.setRow(row, stays->second);
        stays->second.clear();
    }
    // Replacing leaves none of the old accounts hidden beyond the new count.
    if (!save(context, book, proxy, replace ? start.accountRows : 0, &keyring)) return kExitFailed;
    context.out << "imported " << accounts.size() << (accounts.size() == 1 ? " account" : " accounts")
                << " from " << source << "; " << path << " holds " << total
                << (total == 1 ? " account\n" : " accounts\n");
    context.out.flush();
    return kExitOk;
}

int exportCommand(const CliContext& context, const std::string& csvPath) {
    AccountBook book;
    ProxySettings proxy;
    if (!loadSettings(context, book, proxy)) return kExitFailed;
    // The user's own backup: the passwords as they are, from the keyring when they live there.
    if (!CliKeyring(context.settingsPath).fill(context, book, "nothing was exported")) return kExitFailed;
    const std::string text = writeAccountCsv(book);
    if (csvPath.empty() || csvPath == "-") {
        context.out << (context.outIsTerminal ? terminalCsv(text) : text);
        context.out.flush();
        return context.out ? kExitOk : kExitFailed;
    }
    const std::string error = writeExport(csvPath, text);
    if (!error.empty()) {
        context.err << kPrefix << "cannot write " << csvPath << ": " << error << '\n';
        return kExitFailed;
    }
    context.out << "exported " << book.clients << (book.clients == 1 ? " account" : " accounts") << " to "
                << csvPath << '\n';
    context.out.flush();
    return kExitOk;
}

int trustCommand(const CliContext& context, const std::vector<std::string>& portals, bool all) {
    PortalPins pins(pinsPathBeside(context.settingsPath));
    if (!pins.loadError().empty()) {
        context.err << kPrefix << pins.loadError() << '\n';
        return kExitFailed;
    }
    std::vector<std::string> origins;
    if (all) {
        origins = pins.origins();
        if (origins.empty()) {
            context.out << "no portal is pinned yet (" << pins.path() << ")\n";
            context.out.flush();
            return kExitOk;
        }
    }
    for (const std::string& portal : portals) {
        const std::string origin = pinOrigin(portal);
        if (origin.empty()) {
            context.err << kPrefix << quoted(terminalText(portal))
                        << " is not the address of an HTTPS portal (https://HOST:PORT)\n";
            return kExitUsage;
        }
        origins.push_back(origin);
    }

    // Asked for through the proxy of the settings file, the way the checks reach the portals.
    std::string proxyHost;
    long proxyPort = 0;
    if (settingsFileExists(context.settingsPath)) {
        const ProxySettings proxy = readStartup(context.settingsPath).proxy;
        if (proxy.enabled) {
            proxyHost = proxy.address;
            try {
                if (!proxy.port.empty()) proxyPort = strToInt(proxy.port);
            } catch (const EConvertError& e) {
                context.err << kPrefix << e.what() << " (the proxy port of " << context.settingsPath << ")\n";
                return kExitFailed;
            }
        }
    }

    bool failed = false;
    for (const std::string& origin : origins) {
        const PresentedKey key = fetchPresentedKey(origin, proxyHost, proxyPort, kPortalConnectTimeout);
        if (key.pin.empty()) {
            failed = true;
            context.err << kPrefix << "cannot reach " << origin << ": " << terminalText(key.error) << '\n';
            continue;
        }
        const std::string old = pins.pinOf(origin);
        if (old == key.pin) {
            context.out << origin << ": shows the pinned key " << key.pin << '\n';
            continue;
        }
        if (const std::string error = pins.setPin(origin, key.pin); !error.empty()) {
            failed = true;
            context.err << kPrefix << "cannot write " << error << '\n';
            continue;
        }
        context.out << origin << ": now trusting " << key.pin
                    << (old.empty() ? std::string(" (not pinned before)") : " in place of " + old) << '\n';
    }
    context.out.flush();
    return failed ? kExitFailed : kExitOk;
}

}  // namespace korvex
