#include "net/page_probe.h"

#include <memory>
#include <string_view>

#include "net/curl_library.h"
#include "net/portal_pins.h"
#include "platform/ascii_text.h"

namespace korvex {

namespace {

struct EasyFree {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};

int endWhenRaised(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

struct Receiving {
    PageProbeAnswer& answer;
    std::size_t maxBytes;
};

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& receiving = *static_cast<Receiving*>(user);
    const std::size_t bytes = size * count;
    std::string& body = receiving.answer.body;
    if (body.size() + bytes > receiving.maxBytes) {
        body.append(data, receiving.maxBytes - body.size());
        receiving.answer.cut = true;
        return 0;  // ends the transfer: nothing more is read
    }
    body.append(data, bytes);
    return bytes;
}

std::size_t receiveHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& receiving = *static_cast<Receiving*>(user);
    const std::string line = lowerAscii(std::string_view(data, size * count));
    if (line.starts_with("www-authenticate:") && line.find("basic") != std::string::npos)
        receiving.answer.asksBasicLogin = true;
    return size * count;
}

}  // namespace

void setUnverifiedRequest(CURL* handle, const std::string& url, const std::string& proxy, long proxyPort,
                          long connectTimeout, const std::atomic<bool>* stop, char* errorText) {
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, connectTimeout);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    if (!proxy.empty()) {
        curl_easy_setopt(handle, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYPORT, proxyPort);
    }
    if (stop) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &endWhenRaised);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stop));
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    }
}

PageProbeAnswer probePage(const PageProbeRequest& request, const std::atomic<bool>* stop) {
    CurlLibrary::instance();
    PageProbeAnswer answer;
    const std::unique_ptr<CURL, EasyFree> handle(curl_easy_init());
    if (!handle) {
        answer.resultCode = CURLE_FAILED_INIT;
        answer.error = curl_easy_strerror(CURLE_FAILED_INIT);
        return answer;
    }
    CURL* h = handle.get();
    char errorText[CURL_ERROR_SIZE] = {};
    Receiving receiving{answer, request.maxBytes};
    setUnverifiedRequest(h, request.url, request.proxy, request.proxyPort, request.connectTimeout, stop, errorText);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, request.timeout);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &receiveBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &receiving);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &receiveHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &receiving);
    const CURLcode result = curl_easy_perform(h);
    answer.resultCode = result;
    answer.stopped = result == CURLE_ABORTED_BY_CALLBACK;
    answer.presentedPin = presentedPin(h);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && answer.cut))
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
    if (answer.status == 0)
        answer.error = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(result));
    return answer;
}

}  // namespace korvex
