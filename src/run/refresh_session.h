#pragma once
// RefreshSession: one refresh run, the same for the window and for korvex-cli, and the one owner of
// its rules. A front builds a plan (the rows, how many checks at once, the time limit), shows the
// observer's calls and shows the report; every step between is here, once:
//
//   0. the rules of the plan (ruledPlan): at most kMaxRefreshJobs checks at once and
//      kMaxRefreshPerPortal on one portal; one row alone is checked one after another on Curl1;
//      rows whose password the keyring has not given are held back (not asked, not written) and
//      named in the report, and the other rows run;
//   1. the rows are checked one after another through the nine routines on Curl1 (jobs 1, the
//      default, with or without a time limit), or several at once (jobs > 1, refreshRowsParallel);
//   2. the stop rule: a row whose check the stop cut short is put back as it was before its check
//      began, previous balance included, and is reported Stopped; no row is left half-moved;
//   3. a proxy port that is not a number ends the run at its row: the rows before keep their new
//      values and nothing is saved;
//   4. otherwise the settings are saved (the front's saveSettings: zapis);
//   5. the rows' checks go into the history (a history that cannot be written is reported and
//      changes nothing else);
//   6. the pins learnt in the run are saved, and the portals whose certificate was not its pin are
//      named, for the front to ask about or name;
//   7. the summary, with the days left read from the history that now holds this run. The report
//      is then finished: what is to follow a run (a notice) takes it from finishRun.
//
// Threads: everything, the observer's calls included, happens on the thread that calls run(); with
// jobs > 1 the checks themselves run on worker threads of refreshRowsParallel, which owns them.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "checks/check_clock.h"
#include "checks/check_outcome.h"
#include "checks/portal_addresses.h"
#include "checks/refresh_observer.h"
#include "checks/run_summary.h"
#include "net/portal_pins.h"
#include "net/proxy_settings.h"
#include "run/refresh_settings.h"
#include "settings/settings_file.h"

namespace korvex {

// The longest time limit of one account's check that a run takes: a day.
inline constexpr int kMaxCheckTimeoutSeconds = 86400;

class BalanceChecks;
class THttpTransfer;

struct RefreshPlan {
    int first = 0;  // rows first..last of the book
    int last = -1;
    int jobs = 1;                          // 1: one row after another, on Curl1, as the window always did
    int perPortal = 1;                     // with jobs > 1: checks in flight on one portal
    std::chrono::milliseconds timeout{0};  // the most one account's whole check may take; 0: no limit
    std::string settingsPath{};  // the settings file: the history beside it
    // The summary's thresholds, as the book's settings give them (run/book_settings.h).
    double lowBalance = kDefaultLowBalance;
    int daysLeft = kDefaultDaysLeft;
    // Rows whose password is kept in the keyring and was not read from it (KeyringBook::rowsWaiting).
    std::vector<int> passwordsWaiting{};
    // Made by the rules: the rows of first..last among passwordsWaiting, held back.
    std::vector<int> heldRows{};

    // Every row of the plan is held back: the run does not start (nothing is asked, nothing written).
    bool nothingToRun() const {
        return !heldRows.empty() && static_cast<int>(heldRows.size()) == last - first + 1;
    }
};

// The plan the rules make of the one a front asks for (see 0. above).
RefreshPlan ruledPlan(RefreshPlan asked);

// What the run works with. References must outlive the session.
struct RefreshTools {
    AccountBook& book;
    BalanceChecks& checks;  // the nine routines on Curl1: the run one after another
    THttpTransfer& Curl1;   // the component `checks` uses, for the time limit
    PortalAddresses addresses;
    ProxySettings proxy;  // the proxy as it stands for a run of checks at once
    const CheckClock& clock;
    PortalPins* pins = nullptr;
    // Saves both tables (zapis); false when the file could not be written (the front has said why).
    std::function<bool()> saveSettings;
};

struct RefreshReport {
    RefreshPlan plan;  // the plan as the rules made it
    // Every row the run reached, in row order, with the stop rule applied; rowsChecked; stopped.
    RefreshResult run;
    // A proxy port that is not a number ended the run at `proxyFailedRow`; nothing was saved.
    std::optional<std::string> proxyError;
    int proxyFailedRow = -1;
    bool saved = false;
    std::string historyProblem;  // "" or why this run's checks are not in the history
    double lowBalance = kDefaultLowBalance;
    RunSummary summary;
    std::string daysLeftProblem;  // "" or why the summary has no days left
    // The portals that showed another key than their pin: no request went to them.
    std::vector<PinMismatch> changedCertificates;
    std::string pinsProblem;  // "" or why the pins learnt in the run are not saved

    // The stop ended the run, or cut a row short.
    bool stopped() const;
};

class RefreshSession {
public:
    RefreshSession(RefreshTools tools, RefreshPlan plan);
    RefreshReport run(RefreshObserver& observer);

private:
    class Steps;
    // The run is over and its report whole: the one place where what follows a run is fed.
    void finishRun(RefreshReport& report);

    RefreshTools m_tools;
    RefreshPlan m_plan;
};

// The stop rule on its own: `check` came back from a row whose cells were `before` when its check
// began. A check the stop cut short (Stopped, or no page while a stop was asked for) puts the row
// back and answers Stopped; any other check is answered as it is.
RowCheck applyStopRule(RowCheck check, const Row& before, bool stopAsked, TextGrid& Stat);

}  // namespace korvex
