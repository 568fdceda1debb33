#pragma once
// The refresh run: every row from the first to the last through the nine check routines, as the
// window's "Обновить все балансы" and korvex-cli's refresh do it. The caller owns what surrounds it
// (captions, progress, the save at the end); this walks the rows and stops when asked.
#include <functional>
#include <vector>

#include "checks/check_outcome.h"

namespace korvex {

class BalanceChecks;

struct RefreshHooks {
    // Before row `row` is checked (the progress bar's position, the current login on a terminal).
    std::function<void(int row)> rowStarting;
    // After check routine `routineIndex` of the dispatch order ran for a row (the window repaints).
    std::function<void(int routineIndex)> afterRoutine;
    // Asked before each row; true ends the run there. The transfer in progress is the caller's to
    // abort (THttpTransfer::requestAbort); an aborted transfer counts as a failed one.
    std::function<bool()> stopRequested;
    // After row `row` was checked (every routine ran, or the run was stopped in it): what became of it.
    std::function<void(const RowCheck& check)> rowFinished;
    // Checks at once only: the rows whose checks are under way, in row order, whenever they change.
    std::function<void(const std::vector<int>& rows)> rowsInFlight;
};

struct RefreshResult {
    int rowsChecked = 0;  // rows whose routines all ran
    bool stopped = false; // ended early by stopRequested
    std::vector<RowCheck> rows;  // one per row the run reached, in the order checked
};

// Checks rows first..last. An EConvertError (a proxy port that is not a number) passes to the caller
// and ends the run at that row; the rows before keep their new values.
RefreshResult refreshRows(BalanceChecks& checks, int first, int last, const RefreshHooks& hooks = {});

}  // namespace korvex
