#pragma once
// "Личная страница": the customer portal page of an account, opened in the user's browser so that the
// user logs in there by hand. The program sends nothing itself, so no credentials go with the page.
#include <optional>
#include <string>
#include <string_view>

#include "checks/portal_addresses.h"
#include "platform/open_url.h"

namespace korvex {

// The page for a plan code (compared exactly: case and blanks count), or nullopt for a code without a
// page. Which codes open one is the plan-code table's column: Raduga's page has a code of its own,
// which checks nothing, and SKY-FI, STV and two of SatGate's codes open none.
std::optional<std::string> personalPageUrl(std::string_view planCode, const PortalAddresses& addresses);

// N5Click's work: opens the page of the plan code, if it has one; answers whether a page was handed to
// the browser.
bool openPersonalPage(std::string_view planCode, const PortalAddresses& addresses, UrlOpener& opener);

}  // namespace korvex
