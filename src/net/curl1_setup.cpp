#include "curl1_setup.h"

#include "receive_buffer.h"

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

void configureCurl1AtStart(THttpTransfer& curl, const ProxySettings& proxy, UpdateProxySettings& update) {
    curl.setConnectTimeout(15);
    proxycheck(proxy, curl, update);
    curl.setSslVerifyPeer(false);
    curl.setSslVerifyHost(0);
    curl.setWaitInterval(500);
    curl.setThreaded(false);
}

}  // namespace korvex
