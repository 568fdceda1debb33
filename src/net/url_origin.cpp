#include "net/url_origin.h"

#include <curl/curl.h>

#include <charconv>
#include <memory>

#include "platform/ascii_text.h"

namespace korvex {

namespace {

class UrlErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "url"; }
    std::string message(int code) const override { return curl_url_strerror(static_cast<CURLUcode>(code)); }
};

struct UrlFree {
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};

Unexpected<Failure> refused(CURLUcode code, std::string message = {}) {
    const std::error_code ec(static_cast<int>(code), urlErrorCategory());
    return Unexpected(Failure{ec, message.empty() ? ec.message() : std::move(message)});
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// One part of a parsed address; its code when libcurl has none.
Expected<std::string> urlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (const CURLUcode code = curl_url_get(url, part, &text, flags); code != CURLUE_OK || text == nullptr)
        return refused(code == CURLUE_OK ? CURLUE_MALFORMED_INPUT : code);
    std::string value(text);
    curl_free(text);
    return value;
}

}  // namespace

const std::error_category& urlErrorCategory() noexcept {
    static const UrlErrorCategory category;
    return category;
}

std::string UrlOrigin::text() const {
    return scheme + "://" + host + ":" + std::to_string(port);
}

Expected<UrlOrigin> parseUrlOrigin(std::string_view url, std::string_view defaultScheme) {
    url = trimmed(url);
    if (url.size() > kMaxUrlLength) return refused(CURLUE_MALFORMED_INPUT, "the address is too long");
    if (url.empty()) return refused(CURLUE_MALFORMED_INPUT, "no address");
    std::string text(url);
    if (text.find("://") == std::string::npos) {
        if (defaultScheme.empty()) return refused(CURLUE_BAD_SCHEME, "the address names no scheme");
        text = std::string(defaultScheme) + "://" + text;
    }
    const std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
    if (!parsed) return refused(CURLUE_OUT_OF_MEMORY);
    if (const CURLUcode code = curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0); code != CURLUE_OK)
        return refused(code);
    Expected<std::string> scheme = urlPart(parsed.get(), CURLUPART_SCHEME);
    if (!scheme) return Unexpected(std::move(scheme).error());
    Expected<std::string> host = urlPart(parsed.get(), CURLUPART_HOST);
    if (!host || host->empty()) return refused(CURLUE_NO_HOST);
    const Expected<std::string> port = urlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!port) return refused(CURLUE_NO_PORT, "the address names no port and its scheme has none");
    int number = 0;
    const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), number);
    if (error != std::errc() || end != port->data() + port->size() || number < 1 || number > 65535)
        return refused(CURLUE_BAD_PORT_NUMBER, "the port is not a number from 1 to 65535");
    return UrlOrigin{lowerAscii(*scheme), lowerAscii(*host), number};
}

}  // namespace korvex
