#pragma once
// The run of checks at once: several portals asked at once, politely, and no account's check allowed
// to hold the run for good. A mechanism only: how many at once, and when, is the session's to say
// (run/refresh_session.h).
//
// refreshRowsParallel gives what the run one after another (run/sequential_run.h) gives over the same rows: the same cells in the balance
// table and the same RowCheck list, in row order. Only the time differs. Worker threads fetch and
// match, each with a transfer component set up exactly as Curl1 (stored properties, the start-up's
// time-out, certificates and proxy), a text holder and a one-row account book of its own, working on
// a copy of the row; nothing else is shared between them, so no credential, cookie or post state
// passes from one concurrent check to another. A worker keeps its component from row to row, as
// Curl1 is kept from row to row, so an STV logout goes out on the connection state of its own login.
// The tables, the observer and everything the caller does with them (the save) stay on the thread that
// called: a finished row's cells are written there, in row order, between rowStarting and
// rowFinished, as the sequential run writes them. afterRoutine is not called.
//
// Politeness: a portal is the scheme, host and port of a profile's base address (the STV services
// share one, SpaceGate 15 and 21 share one). At most `perPortal` checks are in flight on one portal
// and `jobs` in all; of the portals with a free place, the one with the most work left goes first,
// its rows in row order.
//
// Stopping (stopRequested, polled every few milliseconds): no further row starts, every transfer in
// flight is ended, and the rows that finished are delivered in row order; a row cut short comes back
// Stopped with its cells untouched, and the rows never started do not come back at all.
//
// Time limit (RefreshLimits::timeout): one account's whole check, logout included, may take this
// long; then its transfer is ended. A row whose page had not arrived comes back TransferFailed with
// CURLE_OPERATION_TIMEDOUT (the cells of a failed transfer: only the previous balance moved); a
// logout that overruns is ended quietly and the row keeps what it read. The run goes on.
//
// An EConvertError (a proxy port that is not a number) ends the run at the first row in row order
// that raised it, as in the sequential run: the rows before it are checked and delivered, rowStarting
// is called for it, and the error passes to the caller.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "book/account_book.h"
#include "checks/check_clock.h"
#include "checks/portal_addresses.h"
#include "checks/refresh_observer.h"
#include "net/proxy_settings.h"

namespace korvex {

class PortalPins;
class THttpTransfer;

// How often a run's thread looks at the stop request, the time limits and the finished rows while
// nothing else wakes it.
inline constexpr std::chrono::milliseconds kRunWatchInterval{20};

struct RefreshLimits {
    int jobs = 1;                          // checks in flight in all
    int perPortal = 1;                     // checks in flight on one portal
    std::chrono::milliseconds timeout{0};  // the most one account's whole check may take; 0: no limit
};

// What the run's own checks are made of; each worker makes its own from it.
struct ParallelRefreshSetup {
    AccountBook& book;
    PortalAddresses addresses;
    ProxySettings proxy;      // the settings tab's proxy setting, as it stands for the whole run
    const CheckClock& clock;  // read from several threads at once (both clocks allow it)
    PortalPins* pins = nullptr;  // the portals' pinned keys, shared by every worker's component (thread-safe)
    std::vector<int> held{};     // rows (ascending) neither asked nor delivered
};

// Checks rows first..last as described above.
RefreshResult refreshRowsParallel(const ParallelRefreshSetup& setup, int first, int last, RefreshObserver& observer,
                                  const RefreshLimits& limits);

// What a check cut off by the time limit answers: TransferFailed, CURLE_OPERATION_TIMEDOUT, and a text
// that names the limit.
void markTimedOut(RowCheck& check, std::chrono::milliseconds timeout);

}  // namespace korvex
