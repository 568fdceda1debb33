#include "refresh_run.h"

#include "balance_checks.h"

namespace korvex {

RefreshResult refreshRows(BalanceChecks& checks, int first, int last, const RefreshHooks& hooks) {
    RefreshResult result;
    for (int row = first; row <= last; ++row) {
        if (hooks.stopRequested && hooks.stopRequested()) {
            result.stopped = true;
            break;
        }
        if (hooks.rowStarting) hooks.rowStarting(row);
        checks.checkRow(row, hooks.afterRoutine);
        ++result.rowsChecked;
    }
    return result;
}

}  // namespace korvex
