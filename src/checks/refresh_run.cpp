#include "checks/refresh_run.h"

#include "checks/balance_checks.h"

namespace korvex {

RefreshResult refreshRows(BalanceChecks& checks, int first, int last, const RefreshHooks& hooks) {
    RefreshResult result;
    for (int row = first; row <= last; ++row) {
        if (hooks.stopRequested && hooks.stopRequested()) {
            result.stopped = true;
            break;
        }
        if (hooks.rowStarting) hooks.rowStarting(row);
        RowCheck check = checks.checkRow(row, hooks.afterRoutine);
        ++result.rowsChecked;
        if (hooks.rowFinished) hooks.rowFinished(check);
        result.rows.push_back(std::move(check));
    }
    return result;
}

}  // namespace korvex
