#include "run/refresh_session.h"

#include <algorithm>
#include <utility>

#include "checks/balance_checks.h"
#include "checks/parallel_refresh.h"
#include "history/balance_history.h"
#include "net/proxy_check.h"
#include "run/days_left_summary.h"
#include "run/run_history.h"
#include "run/sequential_run.h"

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

RefreshPlan ruledPlan(RefreshPlan asked) {
    RefreshPlan plan = std::move(asked);
    plan.jobs = std::clamp(plan.jobs, 1, kMaxRefreshJobs);
    plan.perPortal = std::clamp(plan.perPortal, 1, kMaxRefreshPerPortal);
    // One row alone is the window's one-row refresh: on Curl1, as every row of a run one after another.
    if (plan.last <= plan.first) plan.jobs = plan.perPortal = 1;
    std::vector<int> waiting = plan.passwordsWaiting;
    std::sort(waiting.begin(), waiting.end());
    plan.heldRows.clear();
    for (const int row : waiting)
        if (row >= plan.first && row <= plan.last && (plan.heldRows.empty() || plan.heldRows.back() != row))
            plan.heldRows.push_back(row);
    return plan;
}

// The session's own observer: applies the stop rule and keeps the history of each row before the
// front's observer sees it.
class RefreshSession::Steps : public RefreshObserver {
public:
    Steps(RefreshObserver& front, AccountBook& book, RefreshReport& report)
        : m_front(front), m_book(book), m_report(report) {}

    void rowStarting(int row) override {
        currentRow = row;
        m_before = m_book.Stat.row(row);
        m_front.rowStarting(row);
    }
    void afterRoutine(int routine) override { m_front.afterRoutine(routine); }
    void rowsInFlight(const std::vector<int>& rows) override { m_front.rowsInFlight(rows); }
    void rowFinished(const RowCheck& check) override {
        // Asked only for a check that came back without a page: a stop asked for after a page
        // arrived leaves that row's new values.
        const bool stopAsked = check.outcome == CheckOutcome::TransferFailed && m_front.stopRequested();
        RowCheck kept = applyStopRule(check, m_before, stopAsked, m_book.Stat);
        history.add(m_book, kept);
        m_front.rowFinished(kept);
        m_report.run.rows.push_back(std::move(kept));
    }
    bool stopRequested() override { return m_front.stopRequested(); }

    RunHistory history;
    int currentRow = -1;  // the row a proxy port that is not a number ends the run at

private:
    RefreshObserver& m_front;
    AccountBook& m_book;
    RefreshReport& m_report;
    Row m_before;  // the row being checked, as it was when its check began
};

RefreshSession::RefreshSession(RefreshTools tools, RefreshPlan plan)
    : m_tools(std::move(tools)), m_plan(ruledPlan(std::move(plan))) {}

RefreshReport RefreshSession::run(RefreshObserver& observer) {
    RefreshReport report;
    report.plan = m_plan;
    Steps steps(observer, m_tools.book, report);
    try {
        RefreshResult result;
        if (m_plan.jobs > 1)
            result = refreshRowsParallel({m_tools.book, m_tools.addresses, m_tools.proxy, m_tools.clock,
                                          m_tools.pins, m_plan.heldRows},
                                         m_plan.first, m_plan.last, steps,
                                         {m_plan.jobs, m_plan.perPortal, m_plan.timeout});
        else
            result = refreshRowsTimed(m_tools.checks, m_tools.Curl1, m_plan.first, m_plan.last, steps,
                                      m_plan.timeout, m_plan.heldRows);
        report.run.rowsChecked = result.rowsChecked;
        report.run.stopped = result.stopped;
    } catch (const EConvertError& e) {
        report.proxyError = e.what();
        report.proxyFailedRow = steps.currentRow;
    }

    if (!report.proxyError && m_tools.saveSettings) report.saved = m_tools.saveSettings();
    // The checks happened whether or not the settings could be saved.
    report.historyProblem = steps.history.save(m_plan.settingsPath);
    finishRun(report);
    return report;
}

void RefreshSession::finishRun(RefreshReport& report) {
    if (m_tools.pins) {
        report.changedCertificates = m_tools.pins->takeMismatches();
        // Pins learnt on first use are written once, after the whole run.
        report.pinsProblem = m_tools.pins->saveChanges();
    }
    report.lowBalance = m_plan.lowBalance;
    report.summary = summarizeRun(report.run.rows, m_tools.book, report.lowBalance);
    // Days left come from the history, this run's checks included.
    report.daysLeftProblem = noteDaysLeft(report.summary, report.run.rows, m_tools.book,
                                          historyPathFor(m_plan.settingsPath), m_plan.daysLeft);
}

}  // namespace korvex
