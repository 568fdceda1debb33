#pragma once
// The origin of an address: its scheme, host and port, read by libcurl's own URL parser, so that
// what the program takes for a portal is the host and port libcurl will connect to, whatever the
// address holds (a user name and password before the host, an IPv6 literal, percent-encoding, a
// backslash or '#' meant to mislead a simpler reader).
#include <string>
#include <string_view>
#include <system_error>

#include "platform/expected.h"

namespace korvex {

// The longest address read at all; a longer one is refused before libcurl sees it.
inline constexpr std::size_t kMaxUrlLength = 8192;

struct UrlOrigin {
    std::string scheme;  // lower case: "http", "https"
    std::string host;    // lower case; an IPv6 literal in brackets ("[::1]"), its zone left off
    int port = 0;        // 1 to 65535: the address's own, else the scheme's

    // "scheme://host:port", the port always written.
    std::string text() const;
    bool operator==(const UrlOrigin&) const = default;
};

// The category of the codes a failed parseUrlOrigin answers: libcurl's CURLUcode values.
const std::error_category& urlErrorCategory() noexcept;

// The origin of `url`, after blanks around it are dropped. An address without "://" is read with
// `defaultScheme` put in front ("portal.example:8443" typed by a user), or refused when that is
// empty. Refused: a scheme libcurl cannot speak or whose port it does not know, no host, a port
// out of 1 to 65535, anything libcurl would not send, and more than kMaxUrlLength bytes. The
// failure's message says why without repeating the address, which may hold a password.
Expected<UrlOrigin> parseUrlOrigin(std::string_view url, std::string_view defaultScheme = {});

}  // namespace korvex
