#include "checks/portal_operators.h"

#include <algorithm>
#include <vector>

#include "checks/provider_profiles.h"

namespace korvex {

std::string portalOperators(const PortalAddresses& addresses, std::string_view origin) {
    const std::string wanted = portalOf(origin);
    std::vector<std::string_view> names;
    for (const CheckRoutine& routine : kDispatchTable)
        for (const ProviderProfile* profile : routine.profiles) {
            const std::string& base = addresses.*profile->baseAddress;
            if (base.empty() || portalOf(base) != wanted) continue;
            if (std::find(names.begin(), names.end(), profile->name) == names.end())
                names.push_back(profile->name);
        }
    std::string text;
    for (std::string_view name : names) text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

std::string portalWithOperator(const PortalAddresses& addresses, const std::string& origin) {
    const std::string operators = portalOperators(addresses, origin);
    return operators.empty() ? origin : operators + " (" + origin + ")";
}

}  // namespace korvex
