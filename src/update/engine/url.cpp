#include "update/engine/url.h"

#include "net/url_origin.h"
#include "platform/ascii_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace korvex {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, unsigned char byte) {
    out += '%';
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

int defaultPort(std::string_view scheme) {
    if (scheme == "https") return 443;
    if (scheme == "ftp") return 21;
    if (scheme == "file") return 0;
    return 80;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string withDefaultScheme(std::string_view url) {
    if (url.find("://") != std::string_view::npos) return std::string(url);
    return "http://" + std::string(url);
}

std::optional<TupUrlParts> crackUrl(std::string_view input) {
    const std::string url = withDefaultScheme(input);
    const std::size_t schemeEnd = url.find("://");
    TupUrlParts parts;
    parts.scheme = url.substr(0, schemeEnd);
    parts.scheme = lowerAscii(parts.scheme);
    if (parts.scheme.empty() || parts.scheme.size() > kUrlMaxScheme) return std::nullopt;

    const std::string_view rest = std::string_view(url).substr(schemeEnd + 3);
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view tail = rest.substr(authorityEnd);

    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view credentials = authority.substr(0, at);
        const std::size_t colon = credentials.find(':');
        parts.user = credentials.substr(0, colon);
        if (colon != std::string_view::npos) parts.password = credentials.substr(colon + 1);
        authority = authority.substr(at + 1);
    }

    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        parts.host = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            portText = after.substr(1);
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        parts.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    parts.port = defaultPort(parts.scheme);
    if (!portText.empty()) {
        int port = 0;
        const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (error != std::errc{} || end != portText.data() + portText.size() || port < 1 || port > 65535)
            return std::nullopt;
        parts.port = port;
    }

    const std::size_t extraStart = std::min(tail.find_first_of("?#"), tail.size());
    parts.path = tail.substr(0, extraStart);
    parts.extra = tail.substr(extraStart);
    if (parts.path.empty()) parts.path = "/";

    if (parts.host.empty() && parts.scheme != "file") return std::nullopt;
    if (parts.scheme == "http" || parts.scheme == "https") {
        // The host and port are libcurl's reading of the address, the program's one reading of an
        // origin: what is asked for is where the connection goes, whatever the authority holds.
        // Only the authority is given to it: the path and the extra part may hold bytes the engine
        // escapes itself, and libcurl would refuse them raw.
        const Expected<UrlOrigin> origin =
            parseUrlOrigin(parts.scheme + "://" + std::string(rest.substr(0, authorityEnd)));
        if (!origin) return std::nullopt;
        parts.host = origin->host;
        if (parts.host.size() >= 2 && parts.host.front() == '[' && parts.host.back() == ']')
            parts.host = parts.host.substr(1, parts.host.size() - 2);
        parts.port = origin->port;
    }
    if (parts.host.size() > kUrlMaxHost || parts.user.size() > kUrlMaxUser ||
        parts.password.size() > kUrlMaxPassword || parts.path.size() > kUrlMaxPath ||
        parts.extra.size() > kUrlMaxExtra) {
        return std::nullopt;
    }
    return parts;
}

std::string encodeExtra(std::string_view extra) {
    std::string out;
    out.reserve(extra.size());
    for (const char c : extra) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte >= 128 || c == ' ' || c == '#' || c == '%' || c == '*' || c == '+' ||
            c == '<' || c == '>') {
            appendEscaped(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string requestUrl(const TupUrlParts& parts) {
    std::string url = parts.scheme + "://";
    if (parts.host.find(':') != std::string::npos) {
        url += "[" + parts.host + "]";
    } else {
        url += parts.host;
    }
    url += ":" + std::to_string(parts.port);
    for (const char c : parts.path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 32 || byte >= 127) {
            appendEscaped(url, byte);
        } else {
            url += c;
        }
    }
    return url + encodeExtra(parts.extra);
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace korvex
