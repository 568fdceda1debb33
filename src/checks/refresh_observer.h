#pragma once
// What a refresh run tells as it goes, and what it gives back: the one interface between the ways
// of walking the rows (one after another, timed, at once) and whoever follows them (the run's own
// session, then the front's view).
#include <vector>

#include "checks/check_outcome.h"

namespace korvex {

// Every call comes on the thread that started the run.
class RefreshObserver {
public:
    virtual ~RefreshObserver() = default;
    // Before row `row` is checked (one after another), or before its result is written (at once).
    virtual void rowStarting(int /*row*/) {}
    // After check routine `routineIndex` of the dispatch order ran for a row; one after another only.
    virtual void afterRoutine(int /*routineIndex*/) {}
    // Checks at once only: the rows under way, in row order, whenever they change.
    virtual void rowsInFlight(const std::vector<int>& /*rows*/) {}
    // After a row was checked (every routine ran, or the run was stopped in it): what became of it.
    virtual void rowFinished(const RowCheck& /*check*/) {}
    // Asked before each row, and every few milliseconds while checks run at once: true ends the run.
    // Ending the transfer in progress of a run one after another is the caller's
    // (THttpTransfer::requestAbort); an aborted transfer counts as a failed one.
    virtual bool stopRequested() { return false; }
};

struct RefreshResult {
    int rowsChecked = 0;         // rows whose routines all ran
    bool stopped = false;        // ended early by stopRequested
    std::vector<RowCheck> rows;  // one per row the run reached, in the order checked
};

}  // namespace korvex
