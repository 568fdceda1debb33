#include "run/refresh_session.h"

#include <utility>

#include "checks/balance_checks.h"
#include "checks/parallel_refresh.h"
#include "history/balance_history.h"
#include "history/days_left_summary.h"
#include "history/run_history.h"
#include "net/proxy_check.h"
#include "settings/settings_file.h"

namespace korvex {

bool RefreshReport::stopped() const {
    if (run.stopped) return true;
    for (const RowCheck& check : run.rows)
        if (check.outcome == CheckOutcome::Stopped) return true;
    return false;
}

RowCheck applyStopRule(RowCheck check, const Row& before, bool stopAsked, TextGrid& Stat) {
    // A check moves the balance into the previous balance before it asks the portal; a check cut short
    // must not leave that move behind, or the next run would show the balance as its own previous one.
    const bool cutShort = check.outcome == CheckOutcome::Stopped ||
                          (check.outcome == CheckOutcome::TransferFailed && stopAsked);
    if (!cutShort) return check;
    Stat.setRow(check.row, before);
    check.outcome = CheckOutcome::Stopped;
    return check;
}

RefreshSession::RefreshSession(RefreshTools tools, RefreshPlan plan)
    : m_tools(std::move(tools)), m_plan(std::move(plan)) {}

RefreshReport RefreshSession::run(RefreshObserver& observer) {
    RefreshReport report;
    AccountBook& book = m_tools.book;
    RunHistory history;
    Row before;           // the row being checked, as it was when its check began
    int currentRow = -1;  // the row a proxy port that is not a number ends the run at

    RefreshHooks hooks;
    hooks.stopRequested = [&observer] { return observer.stopRequested(); };
    hooks.rowStarting = [&](int row) {
        currentRow = row;
        before = book.Stat.row(row);
        observer.rowStarting(row);
    };
    hooks.afterRoutine = [&observer](int routine) { observer.afterRoutine(routine); };
    hooks.rowsInFlight = [&observer](const std::vector<int>& rows) { observer.rowsInFlight(rows); };
    hooks.rowFinished = [&](const RowCheck& check) {
        // Asked only for a check that came back without a page: a stop asked for after a page
        // arrived leaves that row's new values.
        const bool stopAsked = check.outcome == CheckOutcome::TransferFailed && observer.stopRequested();
        RowCheck kept = applyStopRule(check, before, stopAsked, book.Stat);
        history.add(book, kept);
        observer.rowFinished(kept);
        report.run.rows.push_back(std::move(kept));
    };

    try {
        RefreshResult result;
        if (m_plan.jobs > 1)
            result = refreshRowsParallel(
                {book, m_tools.addresses, m_tools.proxy, m_tools.clock, m_tools.pins}, m_plan.first,
                m_plan.last, hooks, {m_plan.jobs, m_plan.perPortal, m_plan.timeout});
        else
            result = refreshRowsTimed(m_tools.checks, m_tools.Curl1, m_plan.first, m_plan.last, hooks,
                                      m_plan.timeout);
        report.run.rowsChecked = result.rowsChecked;
        report.run.stopped = result.stopped;
    } catch (const EConvertError& e) {
        report.proxyError = e.what();
        report.proxyFailedRow = currentRow;
    }

    if (!report.proxyError && m_tools.saveSettings) report.saved = m_tools.saveSettings();
    // The checks happened whether or not the settings could be saved.
    report.historyProblem = history.save(m_plan.settingsPath);

    report.lowBalance = readLowBalance(m_plan.settingsPath, kDefaultLowBalance);
    report.summary = summarizeRun(report.run.rows, book, report.lowBalance);
    // Days left come from the history, this run's checks included.
    report.daysLeftProblem =
        noteDaysLeft(report.summary, report.run.rows, book, historyPathFor(m_plan.settingsPath),
                     readDaysLeft(m_plan.settingsPath));
    if (m_tools.pins) report.changedCertificates = m_tools.pins->takeMismatches();
    return report;
}

}  // namespace korvex
