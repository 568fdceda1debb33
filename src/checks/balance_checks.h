#pragma once
// BalanceChecks: the nine check routines of the main window. Each takes an account row, logs into
// the portal that the row's plan code names, fetches one page and writes what its patterns find
// into the same row of the balance table; a row whose plan code is not one of the routine's own is
// left alone. All nine run one procedure (runProfile) over the data of provider_profiles.h.
//
// What a check writes into balance row `row`:
//   kPrevious  the old kBalance, as soon as the check begins (also when the transfer fails)
//   kBalance, kSpeed, kStatus  the profile's pattern steps, empty texts, or the markers
//              (each found value as portalValue keeps it: short, without control bytes)
//   kDate      the check timestamp, kStatPlanCode the plan code: on every page received
//   kSpeed     kErrorMarker when anything fails between the request's set-up and the last step (a
//              page larger than Memo1's capacity, refused as it arrives; a pattern that does not
//              compile; memory...); the cells written before stay
// A portal whose address is the build's placeholder (isPlaceholderAddress) is not asked: the row is
// left as it was and answered AddressNotSet.
// A transfer that fails (no connection, TLS, time-out, or Curl1.requestAbort()) changes nothing
// but kPrevious. What became of the row is answered as a RowCheck (check_outcome.h); no routine
// throws, with one exception: an EConvertError from applying the proxy setting (a proxy port that
// is not a number) passes to the caller before anything is written, and the caller ends its run
// there.
//
// Credentials go only where they belong: a basic-login request carries login ":" password, and
// every form-login request (and the STV logout) first clears UserPwd, so that no earlier account's
// password travels to another operator's portal.
//
// The page is received into a buffer of the check's own (attached as Curl1's ReceiveStream and
// detached again); while it arrives Curl1's OnReceive handler is wrapped to stop at Memo1's
// capacity, and put back afterwards.
//
// Threads: the thread that owns Curl1 and the tables. Curl1.requestAbort() may be called from any
// thread while a check runs; the check then ends as a failed transfer.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "book/account_book.h"
#include "checks/check_clock.h"
#include "checks/check_outcome.h"
#include "checks/page_values.h"
#include "checks/portal_addresses.h"
#include "checks/provider_profiles.h"
#include "checks/text_holder.h"
#include "net/http_transfer.h"
#include "net/proxy_check.h"

namespace korvex {

class BalanceChecks {
public:
    // Holds references to everything but `addresses`; they must outlive this object.
    // `proxySource` answers the proxy setting of the settings tab as it stands at each check.
    BalanceChecks(AccountBook& book, THttpTransfer& Curl1, TextHolder& Memo1, PortalAddresses addresses,
                  std::function<ProxySettings()> proxySource, const CheckClock& clock);

    // The check routines, by the services whose plan codes they own (plan_codes.h).
    void check39_95(int row);           // SpectrumSat
    void checkR(int row);               // Raduga
    void check15_75_21_39_95(int row);  // SpaceGate 75, 39, 95, 15 and 21
    void checkGL(int row);              // Globax
    void check42_5(int row);            // SatGate
    void check40_53(int row);           // PlanetSky
    void checkSKYFI(int row);           // SKY-FI
    void check602(int row);             // STV, second gate
    void check60(int row);              // STV

    // One row of a refresh run: Curl1 back to GET requests, the nine routines in the order of
    // kDispatchTable with afterRoutine(i) after routine i (the window repaints there, except after
    // kCheckRIndex), and Curl1 back to GET requests again. An EConvertError passes out of it.
    // Answers what became of the row: the check of the profile that owns its plan code, or
    // PassedOver when none does.
    RowCheck checkRow(int row, const std::function<void(int routineIndex)>& afterRoutine = {});

    // The routines by their data: every profile of `routine` in turn; answers the check of the
    // profile that ran (PassedOver when none selected the row).
    RowCheck runRoutine(const CheckRoutine& routine, int row);
    // The balance check procedure for one profile and one row, and what became of the row.
    RowCheck runProfile(const ProviderProfile& profile, int row);

    const PortalAddresses& addresses() const noexcept { return m_addresses; }

private:
    std::string postBody(const ProviderProfile& profile, int row) const;
    // Answers the columns whose marker step missed.
    std::vector<int> runSteps(const ProviderProfile& profile, int row);
    void sendLogout(const ProviderProfile& profile);

    AccountBook& m_book;
    THttpTransfer& m_curl;
    TextHolder& m_memo;
    PortalAddresses m_addresses;
    std::function<ProxySettings()> m_proxySource;
    const CheckClock& m_clock;
};

}  // namespace korvex
