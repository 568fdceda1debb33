#pragma once
// Who runs a portal: the messages about a portal's certificate name its operator beside its address.
#include <string>
#include <string_view>

#include "checks/portal_addresses.h"

namespace korvex {

// The names of the profiles whose base address leads to `origin` (scheme, host and port, as
// portalOf or pinOrigin give it), joined by ", " in dispatch order ("SpaceGate 15, SpaceGate 21"
// for a shared portal); "" when no profile goes there.
std::string portalOperators(const PortalAddresses& addresses, std::string_view origin);

// "SpectrumSat (https://203.0.113.7:443)", or the origin alone when no profile goes there.
std::string portalWithOperator(const PortalAddresses& addresses, const std::string& origin);

}  // namespace korvex
