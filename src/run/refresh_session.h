#pragma once
// RefreshSession: one refresh run, the same for the window and for korvex-cli. A front hands it a
// plan (the rows, how many checks at once, the time limit) and an observer, and shows what the
// report says; every step between is here, once:
//
//   1. the rows are checked one after another through the nine routines on Curl1 (jobs 1, the
//      default, with or without a time limit), or several at once (jobs > 1, refreshRowsParallel);
//   2. the stop rule: a row whose check the stop cut short is put back as it was before its check
//      began, previous balance included, and is reported Stopped; no row is left half-moved;
//   3. a proxy port that is not a number ends the run at its row: the rows before keep their new
//      values and nothing is saved;
//   4. otherwise the settings are saved (the front's saveSettings: zapis);
//   5. the rows' checks go into the history (a history that cannot be written is reported and
//      changes nothing else);
//   6. the summary, with the days left read from the history that now holds this run;
//   7. the portals whose certificate was not its pin, for the front to ask about or name.
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
#include "checks/refresh_run.h"
#include "checks/run_summary.h"
#include "net/portal_pins.h"
#include "net/proxy_settings.h"

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
    std::string settingsPath{};  // the settings file: the history beside it, the summary's thresholds
};

// What the run tells as it goes. Every call comes on the thread that called run().
class RefreshObserver {
public:
    virtual ~RefreshObserver() = default;
    // Before row `row` is checked (one after another), or before its result is written (at once).
    virtual void rowStarting(int /*row*/) {}
    // After routine `routineIndex` of the dispatch order ran for a row; one after another only.
    virtual void afterRoutine(int /*routineIndex*/) {}
    // Checks at once only: the rows under way, in row order, whenever they change.
    virtual void rowsInFlight(const std::vector<int>& /*rows*/) {}
    // The row's cells as they stay, and what became of it (the stop rule applied).
    virtual void rowFinished(const RowCheck& /*check*/) {}
    // Asked before each row, and every few milliseconds while checks run at once: true ends the run.
    // Ending the transfer in progress of a run one after another is the front's (Curl1.requestAbort).
    virtual bool stopRequested() { return false; }
};

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

    // The stop ended the run, or cut a row short.
    bool stopped() const;
};

class RefreshSession {
public:
    RefreshSession(RefreshTools tools, RefreshPlan plan);
    RefreshReport run(RefreshObserver& observer);

private:
    RefreshTools m_tools;
    RefreshPlan m_plan;
};

// The stop rule on its own: `check` came back from a row whose cells were `before` when its check
// began. A check the stop cut short (Stopped, or no page while a stop was asked for) puts the row
// back and answers Stopped; any other check is answered as it is.
RowCheck applyStopRule(RowCheck check, const Row& before, bool stopAsked, TextGrid& Stat);

}  // namespace korvex
