#pragma once
// The tools of a refresh run, made the one way for both fronts: Curl1 with the stored properties,
// the front's wait hook and the book's pins; for a front that keeps no tools between runs
// (korvex-cli), the whole set, with the book's proxy applied at start as the window's start does.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "book/account_book.h"
#include "checks/balance_checks.h"
#include "checks/check_clock.h"
#include "checks/portal_addresses.h"
#include "checks/text_holder.h"
#include "net/curl1_setup.h"
#include "net/http_transfer.h"
#include "net/portal_pins.h"
#include "net/proxy_settings.h"
#include "run/refresh_session.h"

namespace korvex {

// Curl1 as both fronts make it: the stored properties with `onWait`, and the pins of the book.
void setUpCurl1(THttpTransfer& Curl1, PortalPins& pins, TNotifyEvent onWait);

class RunTools {
public:
    // `stopRequested`: asked while a transfer waits; true ends the transfer in progress.
    RunTools(AccountBook& book, const ProxySettings& proxy, const PortalAddresses& addresses,
             const CheckClock& clock, PortalPins& pins, std::function<bool()> stopRequested);
    RunTools(const RunTools&) = delete;
    RunTools& operator=(const RunTools&) = delete;

    // "" or why the proxy port cannot be used: the run then ends at the first row that needs it.
    const std::string& proxyProblem() const { return m_proxyProblem; }
    // What a session is handed; `save` saves the book (zapis, or through the keyring).
    RefreshTools tools(std::function<bool()> save);

private:
    AccountBook& m_book;
    ProxySettings m_proxy;
    PortalAddresses m_addresses;
    const CheckClock& m_clock;
    PortalPins& m_pins;
    THttpTransfer m_curl;
    TextHolder m_memo;
    std::unique_ptr<BalanceChecks> m_checks;
    std::string m_proxyProblem;
    // Threaded, so that the wait hook sees a stop at once and ends a stalled transfer.
    std::optional<ResponsiveTransfers> m_responsive;
};

}  // namespace korvex
