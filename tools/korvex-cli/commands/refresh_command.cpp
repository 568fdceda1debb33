#include <pthread.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include <unistd.h>

#include "checks/portal_operators.h"
#include "korvex-cli/stop_signals.h"
#include "korvex-cli/command_table.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_keyring.h"
#include "korvex-cli/cli_support.h"
#include "korvex-cli/progress_bar.h"
#include "net/portal_pins.h"
#include "platform/codepage.h"
#include "run/book_settings.h"
#include "run/refresh_session.h"
#include "run/run_tools.h"

namespace korvex {

namespace {

constexpr const char* kAddressNotSetText =
    "the portal's address is not set: Portals.ini, or korvex-cli profiles set";

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


// The portals of the run that the build left without their address, in one line: their accounts are
// not asked, and the summary counts them.
void sayPortalsWithoutAddress(const CliContext& context, const AccountBook& book, int first, int last) {
    std::string names;
    for (const std::string& name : portalsWithoutAddress(book, context.addresses, first, last))
        names += (names.empty() ? "" : ", ") + name;
    if (!names.empty())
        context.err << kPrefix << names << ": " << kAddressNotSetText << " NAME Address URL; not asked\n";
}

// What became of a row, as a line for standard error ("" when nothing needs saying), and whether
// it failed. `summaryNamesIt`: the text summary follows on standard error and names the row itself.
struct RowWords {
    std::string line;
    bool failed = false;
};

RowWords rowOutcome(const AccountBook& book, const RowCheck& report, bool summaryNamesIt) {
    const std::string name = rowName(book, report.row);
    const TextFields fields = {{"error", terminalText(report.errorText)},
                               {"marker", cp1251ToUtf8(report.outcome == CheckOutcome::ErrorMarker ? kErrorMarker
                                                                                                  : kNotFoundMarker)},
                               {"plan", quoted(terminalText(cp1251ToUtf8(book.client.cell(kPlanCode, report.row))))}};
    const auto said = [&](RowOutcome outcome) { return name + englishText(rowOutcomeTexts(outcome), fields); };
    switch (report.outcome) {
        case CheckOutcome::PassedOver: {
            const std::string& code = book.client.cell(kPlanCode, report.row);
            bool emptyRow = true;
            for (int col = 0; col < kAccountCols; ++col)
                emptyRow = emptyRow && book.client.cell(col, report.row).empty();
            if (emptyRow) return {};
            if (code.empty()) return {said(RowOutcome::NoPlanCode), false};
            // A typing mistake must not pass for a checked account.
            return {summaryNamesIt ? std::string() : said(RowOutcome::UnknownPlanCode), true};
        }
        case CheckOutcome::PageRead:
        case CheckOutcome::Stopped:
            return {};
        case CheckOutcome::NotFound:
            return {summaryNamesIt ? std::string() : said(RowOutcome::NotFound), true};
        case CheckOutcome::TransferFailed:
            return {said(rowOutcomeOf(report)), true};
        case CheckOutcome::AddressNotSet:
            return {{}, true};  // said once for the run, by portal
        case CheckOutcome::ErrorMarker:
            return {said(RowOutcome::ErrorMarker), true};
    }
    return {};
}

// Says on standard error what became of each row that needs saying, each row once; answers whether
// any failed, and sets `interruptedAt` to the row the stop cut short (-1: none).
bool sayRowOutcomes(const CliContext& context, const AccountBook& book, const std::vector<RowCheck>& reports,
                    bool summaryNamesThem, int& interruptedAt) {
    bool failed = false;
    interruptedAt = -1;
    for (const RowCheck& report : reports) {
        if (report.outcome == CheckOutcome::Stopped) interruptedAt = report.row;
        const RowWords words = rowOutcome(book, report, summaryNamesThem);
        failed = failed || words.failed;
        if (!words.line.empty()) context.err << kPrefix << words.line << '\n';
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

// Names the pins the run could not save and the portals that showed another key than their pin;
// answers false when the pin file was unreadable or not saved, or a portal was refused.
bool sayPins(const CliContext& context, const PortalPins& pins, const RefreshReport& run) {
    bool failed = !pins.loadError().empty();
    if (!run.pinsProblem.empty()) {
        failed = true;
        context.err << kPrefix << "the new pins are not saved: " << terminalText(run.pinsProblem) << '\n';
    }
    for (const PinMismatch& changed : run.changedCertificates) {
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
    // With the summary as JSON on standard output, standard error holds only what went wrong.
    if (!options.summaryJson) context.err << text;
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

namespace {

bool stopRaised(const CliContext& context) {
    return context.stop && context.stop->load(std::memory_order_relaxed);
}

// The portals' certificates, pinned on first use as in the window: what of the file cannot be used.
void sayPinFile(const CliContext& context, const PortalPins& pins) {
    if (!pins.loadError().empty())
        context.err << kPrefix << "the pinned certificates cannot be read: " << terminalText(pins.loadError())
                    << "; no request goes to an HTTPS portal in this run\n";
    else if (!pins.unreadableLines().empty())
        context.err << kPrefix << terminalText(pins.path()) << ": "
                    << unreadablePinLines(pins.unreadableLines()) << " kept as they are\n";
}

// What the command line leaves out, the window's stored setting gives; the rules are the session's.
RefreshPlan planOf(const CliContext& context, const BookSettings& settings, const RefreshOptions& options,
                   int first, int last, std::vector<int> passwordsWaiting) {
    const RefreshSettings& stored = settings.refresh;
    if (const std::string notice = refreshSettingsNotice(stored, context.settingsPath, NoticeLanguage::English);
        !notice.empty())
        context.err << kPrefix << terminalText(notice) << '\n';
    return ruledPlan({.first = first,
                      .last = last,
                      .jobs = !options.jobsGiven && stored.jobsStored ? stored.jobs : options.jobs,
                      .perPortal = !options.perPortalGiven && stored.perPortalStored ? stored.perPortal
                                                                                      : options.perPortal,
                      .timeout = std::chrono::seconds(options.timeoutSeconds),
                      .settingsPath = context.settingsPath,
                      .lowBalance = settings.lowBalance,
                      .daysLeft = settings.daysLeft,
                      .passwordsWaiting = std::move(passwordsWaiting)});
}

// What the run tells as it goes: the progress bar, and Ctrl+C.
class Progress : public RefreshObserver {
public:
    Progress(const CliContext& context, const AccountBook& book, const RefreshPlan& plan)
        : m_context(context), m_book(book), m_plan(plan), m_bar(context.err, context.progress) {}
    ~Progress() override { m_bar.clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void rowStarting(int row) override {
        const int at = row - m_plan.first;
        m_bar.show(at, at + 1, m_plan.last - m_plan.first + 1, cp1251ToUtf8(m_book.client.cell(kLogin, row)));
    }
    bool stopRequested() override { return stopRaised(m_context); }

private:
    const CliContext& m_context;
    const AccountBook& m_book;
    const RefreshPlan& m_plan;
    ProgressBar m_bar;
};

// The run over the plan's rows, with Curl1 set up as the window sets it up, and the save through
// the keyring onto the text the settings were read from.
RefreshReport checkRows(const CliContext& context, AccountBook& book, BookSettings& settings, CliKeyring& keyring,
                        PortalPins& pins, const RefreshPlan& plan) {
    const ProxySettings proxy = settings.start.proxy;
    RunTools tools(book, proxy, context.addresses, context.clock, pins, [&context] { return stopRaised(context); });
    // The window shows this at its start and carries on; the run stops at the first row that needs it.
    if (!tools.proxyProblem().empty())
        context.err << kPrefix << tools.proxyProblem() << " (the proxy port of " << context.settingsPath << ")\n";
    Progress progress(context, book, plan);
    RefreshSession session(tools.tools([&] { return save(context, book, proxy, 0, &keyring, &settings); }), plan);
    return session.run(progress);
}

// The table or the JSON summary, then on standard error what went wrong and the text summary;
// answers the exit status.
int reportRun(const CliContext& context, const AccountBook& book, const RefreshReport& run, const PortalPins& pins,
              const RefreshOptions& options) {
    bool failed = !run.saved || !run.plan.heldRows.empty();
    if (run.proxyError)
        context.err << kPrefix << *run.proxyError << '\n'
                    << kPrefix << "the refresh ended at " << rowName(book, run.proxyFailedRow)
                    << ", which needs the proxy; nothing was saved\n";
    if (!run.historyProblem.empty()) {
        failed = true;  // a file not written
        context.err << kPrefix << run.historyProblem << '\n';
    }
    if (!run.daysLeftProblem.empty())
        context.err << kPrefix << run.daysLeftProblem << " (no days left in the summary)\n";
    if (options.summaryJson)
        context.out << summaryJson(run.summary, run.lowBalance);
    else
        printBalanceTable(context.out, book);
    context.out.flush();

    int interruptedAt = -1;
    if (sayRowOutcomes(context, book, run.run.rows, !options.summaryJson, interruptedAt)) failed = true;
    if (!sayPins(context, pins, run)) failed = true;
    if (stopRaised(context) && (run.run.stopped || interruptedAt >= 0)) {
        failed = true;
        sayWhatTheStopLeft(context, book, run, run.plan.first, run.plan.last, interruptedAt);
    }
    if (!saySummary(context, run.summary, options)) failed = true;
    // A signal that came after the last row still ended what the user started.
    if (stopRaised(context)) return kExitInterrupted;
    if (failed) return kExitFailed;
    return run.summary.namesLowBalanceOrChangedPage() ? kExitAttention : kExitOk;
}

}  // namespace

int refreshCommand(const CliContext& context, std::optional<int> rowNumber, const RefreshOptions& options) {
    AccountBook book;
    ProxySettings proxy;
    BookSettings settings;
    if (!loadSettings(context, book, proxy, nullptr, &settings)) return kExitFailed;
    CliKeyring keyring(context.settingsPath, settings.keyringPasswords);
    std::vector<int> waiting = keyring.fillForRun(book);
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
    PortalPins pins(pinsPathBeside(context.settingsPath));
    sayPinFile(context, pins);
    const RefreshPlan plan = planOf(context, settings, options, first, last, std::move(waiting));
    if (!plan.heldRows.empty())
        keyring.sayNotRead(context, plan.nothingToRun() ? "no account was checked"
                                                        : (plan.heldRows.size() == 1 ? "not checked: row " : "not checked: rows ") +
                                                              rowRanges(plan.heldRows));
    if (plan.nothingToRun()) return kExitFailed;
    sayPortalsWithoutAddress(context, book, first, last);
    const RefreshReport run = checkRows(context, book, settings, keyring, pins, plan);
    return reportRun(context, book, run, pins, options);
}

namespace {

constexpr CliOption kRefreshOptions[] = {
    {.name = "--row",
     .argument = "N",
     .kind = ArgKind::Number,
     .help = "check only the account in row N (from 1, as show numbers them)",
     .set = [](CliInvocation& call, const std::string&, int row) { call.row = row; },
     .low = 1,
     .high = kNoUpperBound,
     .what = "a row number"},
    {.name = "--jobs",
     .argument = "N",
     .kind = ArgKind::Number,
     .help = "check up to N accounts at once (1, the default, checks\n"
             "them one after another in row order, as the window does); the\n"
             "results are the same, only sooner",
     .set = [](CliInvocation& call, const std::string&, int jobs) { call.jobs = jobs, call.jobsGiven = true; },
     .low = 1,
     .high = kMaxRefreshJobs,
     .what = "a number of checks at once"},
    {.name = "--per-portal",
     .argument = "P",
     .kind = ArgKind::Number,
     .help = "with --jobs, at most P checks at once on one portal (default 1)\n"
             "Either one not given is the window's own setting, when its\n"
             "settings tab stored one (section [REFRESH] of the settings file)",
     .set = [](CliInvocation& call, const std::string&, int n) { call.perPortal = n, call.perPortalGiven = true; },
     .low = 1,
     .high = kMaxRefreshPerPortal,
     .what = "a number of checks at once"},
    {.name = "--timeout",
     .argument = "SECONDS",
     .kind = ArgKind::Number,
     .help = "the most one account's check may take (default 120, 0 for no\n"
             "limit); an account over it counts as a portal that gave no page",
     .set = [](CliInvocation& call, const std::string&, int seconds) { call.timeoutSeconds = seconds; },
     .low = 0,
     .high = kMaxCheckTimeoutSeconds,
     .what = "seconds"},
    {.name = "--summary",
     .argument = "json",
     .kind = ArgKind::Word,
     .help = "the run summary as JSON on standard output, in place of the table;\n"
             "standard error then holds only what went wrong",
     .set = [](CliInvocation& call, const std::string&, int) { call.summaryJson = true; },
     .what = "json"},
    {.name = "--notify",
     .argument = "COMMAND",
     .kind = ArgKind::Text,
     .help = "run COMMAND (with sh -c) with the summary text on its standard\n"
             "input, when the summary names anything",
     .set = [](CliInvocation& call, const std::string& value, int) { call.notifyCommand = value; },
     .what = "a command"},
};

void refreshFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    // An option that only shapes another must not pass for one that did something.
    if (call.perPortalGiven && !call.jobsGiven)
        throw CliUsageError("--per-portal goes with --jobs: without it one account is checked at a time",
                            call.command);
    takesNoOperand(call, operands);
}

int runRefresh(CliContext& context, const CliInvocation& call) {
    const StopSignals signals;
    context.stop = &StopSignals::flag();
    context.progress = ::isatty(STDERR_FILENO) == 1;
    return refreshCommand(context, call.row,
                          {call.jobs, call.perPortal, call.timeoutSeconds, call.summaryJson, call.notifyCommand,
                           call.jobsGiven, call.perPortalGiven});
}

}  // namespace

const CliCommandRow kRefreshRow{
    .command = CliCommand::Refresh,
    .name = "refresh",
    .summary = "check the accounts on their portals, save, print",
    .description = "Checks every account on its operator's portal, as \"Обновить все балансы\" in the\n"
                   "window does, saves the results to the settings file and prints the balance table.\n"
                   "A progress line on standard error shows the account being checked when standard\n"
                   "error is a terminal. Ctrl+C, SIGTERM or a closed terminal (SIGHUP) ends the\n"
                   "transfer in progress and the run; the accounts checked until then are saved.\n"
                   "A portal whose certificate is not the one pinned gets nothing (see trust).\n",
    .epilogue = "After the table, the run summary on standard error: portals whose page seems to\n"
                "have changed (no account found its balance), portals whose certificate changed,\n"
                "accounts whose values were not found (a wrong password), plan codes that name no\n"
                "portal, portals whose address is still the build's placeholder (not asked; see\n"
                "profiles set), balances below the threshold (LowBalance in section [SUMMARY] of\n"
                "the settings file, 0 when not set), portals that gave no page and balances that\n"
                "fell.\n"
                "\n"
                "Exit status, the first that holds: 2 a bad command line; 130 the run was\n"
                "interrupted (SIGINT, SIGTERM, SIGHUP; after the save); 1 anything failed (a\n"
                "portal gave no page or has no address, a check ended with the error marker,\n"
                "values were not found, a certificate was refused, a plan code names no portal,\n"
                "a file could not be written, the notify command failed);\n"
                "3 the summary names a low balance or a changed page; 0 otherwise.\n"
                "Accounts whose balance lasts fewer days than DaysLeft in [SUMMARY] (default 7, 0\n"
                "turns it off; see forecast) are named under \"days left\" and count as a low\n"
                "balance.\n",
    .options = kRefreshOptions,
    .onlyReads = alwaysWrites,
    .readsPortals = true,
    .finish = refreshFinish,
    .run = runRefresh,
};

}  // namespace korvex
