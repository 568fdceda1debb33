#pragma once
// Refresh runs for many accounts: several portals asked at once, politely, and no account's check
// allowed to hold the run for good. korvex-cli's refresh uses these; the window keeps refreshRows.
//
// refreshRowsParallel gives what refreshRows gives over the same rows: the same cells in the balance
// table and the same RowCheck list, in row order. Only the time differs. Worker threads fetch and
// match, each with a transfer component set up exactly as Curl1 (stored properties, the start-up's
// time-out, certificates and proxy), a text holder and a one-row account book of its own, working on
// a copy of the row; nothing else is shared between them, so no credential, cookie or post state
// passes from one concurrent check to another. A worker keeps its component from row to row, as
// Curl1 is kept from row to row, so an STV logout goes out on the connection state of its own login.
// The tables, the hooks and everything the caller does with them (the save) stay on the thread that
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

#include "book/account_book.h"
#include "checks/check_clock.h"
#include "checks/portal_addresses.h"
#include "checks/refresh_run.h"
#include "net/proxy_settings.h"

namespace korvex {

class BalanceChecks;
class PortalPins;
class THttpTransfer;
struct ProviderProfile;

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
};

// Checks rows first..last as described above.
RefreshResult refreshRowsParallel(const ParallelRefreshSetup& setup, int first, int last, const RefreshHooks& hooks,
                                  const RefreshLimits& limits);

// refreshRows itself (the same path and order), with the time limit above on each row: a watch thread
// ends Curl1's transfer once a row's check has taken `timeout`. No limit when it is 0.
RefreshResult refreshRowsTimed(BalanceChecks& checks, THttpTransfer& Curl1, int first, int last,
                               const RefreshHooks& hooks, std::chrono::milliseconds timeout);

// The portal of a base address: "scheme://host:port" as parseUrlOrigin reads it (net/url_origin.h),
// scheme and host in small letters, the scheme's port written out when the address has none,
// anything after the port left off. An address that does not parse is a portal of its own: its
// text in small letters.
std::string portalOf(std::string_view baseAddress);

// The profile that owns the plan code, or nullptr when none does.
const ProviderProfile* profileForPlanCode(std::string_view planCode);

// What a check cut off by the time limit answers: TransferFailed, CURLE_OPERATION_TIMEDOUT, and a text
// that names the limit.
void markTimedOut(RowCheck& check, std::chrono::milliseconds timeout);

}  // namespace korvex
