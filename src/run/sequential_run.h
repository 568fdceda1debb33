#pragma once
// The run one after another: every row from the first to the last through the nine check routines
// on Curl1, as the window's "Обновить все балансы" always did it. The session (refresh_session.h)
// owns what surrounds it; this walks the rows and stops when asked.
#include <chrono>
#include <vector>

#include "checks/refresh_observer.h"

namespace korvex {

class BalanceChecks;
class THttpTransfer;

// Checks rows first..last but those in `held` (ascending): they are neither asked nor reported. An
// EConvertError (a proxy port that is not a number) passes to the caller
// and ends the run at that row; the rows before keep their new values.
RefreshResult refreshRows(BalanceChecks& checks, int first, int last, RefreshObserver& observer,
                          const std::vector<int>& held = {});

// refreshRows itself (the same path and order), with a time limit on each row: a watch thread ends
// Curl1's transfer once a row's check has taken `timeout`, and the row comes back as markTimedOut
// says (checks/parallel_refresh.h). No limit when it is 0.
RefreshResult refreshRowsTimed(BalanceChecks& checks, THttpTransfer& Curl1, int first, int last,
                               RefreshObserver& observer, std::chrono::milliseconds timeout,
                               const std::vector<int>& held = {});

}  // namespace korvex
