#pragma once
// The requests the program sends to the substitute portals, made here with cpp-httplib's client, and
// the program's patterns for each portal, run with PCRE2 (the same leftmost, backtracking, lazy-group
// reading, "." across line breaks), so these tests check the pages against what the program reads.
#include "korvex-demo-portals/demo_portals.h"

#include <httplib.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::test {

inline constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.1) Gecko/2008070208 Firefox/3.0.1";

struct Answer {
    int status = -1;  // -1: no answer (connection failed or closed)
    std::string body;
    std::string setCookie;  // "NAME=value" of the first Set-Cookie, attributes cut off
};

// One request as the program's transfer component sends it: its own URL as referer, the browser user
// agent, basic credentials when `credentials` is set, a form post when `body` is set.
Answer send(const DemoPortals& portals, PortalId portal, const std::string& target,
            const std::optional<std::string>& credentials = std::nullopt,
            const std::optional<std::string>& body = std::nullopt, const std::string& cookie = {});

// The balance request of the account's plan code: the right portal, path and body or credentials.
struct Login {
    PortalId portal;
    std::string target;
    std::optional<std::string> credentials;
    std::optional<std::string> body;
};
std::optional<Login> balanceRequest(std::string_view planCode, const std::string& login,
                                    const std::string& password);

// What one pattern step of the program reads: the pattern (UTF-8 here) and the account value its group
// must take.
struct PatternStep {
    std::string pattern;
    std::string DemoAccount::*value;
};
std::vector<PatternStep> patternSteps(PortalId portal);

// Group 1 of the first match of `patternUtf8` in the page, read the way the program reads that portal:
// line breaks made CR LF, the pattern in cp1251 (UTF-8 for PlanetSky), an STV page converted to cp1251.
// nullopt when the pattern does not match. The result is in the page's bytes (cp1251 except PlanetSky).
std::optional<std::string> capture(PortalId portal, const std::string& patternUtf8, const std::string& page);

// An account value as the program's cell would hold it (cp1251 except for PlanetSky).
std::string cellBytes(PortalId portal, const std::string& valueUtf8);

}  // namespace korvex::test
