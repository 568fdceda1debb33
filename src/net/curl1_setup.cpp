#include "net/curl1_setup.h"

#include "net/receive_buffer.h"

namespace korvex {

void applyCurl1StoredProperties(THttpTransfer& curl, TNotifyEvent onWait) {
    curl.setOnWait(std::move(onWait));
    curl.setThreaded(false);
    curl.setConnectTimeout(0);
    curl.setFailOnError(false);
    curl.setUpload(false);
    curl.setUserAgent(kCurl1UserAgent);
    curl.setOnReceive(appendToReceiveStream);
}

namespace {
constexpr std::int32_t kStartWaitInterval = 500;
}

void configureCurl1AtStart(THttpTransfer& curl, const ProxySettings& proxy) {
    curl.setConnectTimeout(kPortalConnectTimeout);
    proxycheck(proxy, curl);
    curl.setSslVerifyPeer(false);
    curl.setSslVerifyHost(0);
    curl.setWaitInterval(kStartWaitInterval);
    curl.setThreaded(false);
}

ResponsiveTransfers::ResponsiveTransfers(THttpTransfer& curl) : m_curl(curl) {
    m_curl.setThreaded(true);
    m_curl.setWaitInterval(kResponsiveWaitInterval);
}

ResponsiveTransfers::~ResponsiveTransfers() {
    m_curl.setThreaded(false);
    m_curl.setWaitInterval(kStartWaitInterval);
}

}  // namespace korvex
