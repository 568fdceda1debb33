#include "run/run_tools.h"

#include <utility>

namespace korvex {

void setUpCurl1(THttpTransfer& Curl1, PortalPins& pins, TNotifyEvent onWait) {
    applyCurl1StoredProperties(Curl1, std::move(onWait));
    Curl1.setPins(&pins);
}

RunTools::RunTools(AccountBook& book, const ProxySettings& proxy, const PortalAddresses& addresses,
                   const CheckClock& clock, PortalPins& pins, std::function<bool()> stopRequested)
    : m_book(book), m_proxy(proxy), m_addresses(addresses), m_clock(clock), m_pins(pins) {
    setUpCurl1(m_curl, pins, [this, stop = std::move(stopRequested)](THttpTransferBase&) {
        if (stop && stop()) m_curl.requestAbort();
    });
    try {
        configureCurl1AtStart(m_curl, proxy);
    } catch (const EConvertError& e) {
        // As the window's start: said, and the run stops at the first row that needs the proxy.
        m_proxyProblem = e.what();
    }
    const ProxySettings kept = proxy;
    m_checks = std::make_unique<BalanceChecks>(
        book, m_curl, m_memo, addresses, [kept] { return kept; }, clock);
    m_responsive.emplace(m_curl);
}

RefreshTools RunTools::tools(std::function<bool()> save) {
    return {m_book, *m_checks, m_curl, m_addresses, m_proxy, m_clock, &m_pins, std::move(save)};
}

}  // namespace korvex
