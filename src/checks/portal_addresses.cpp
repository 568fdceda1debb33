#include "checks/portal_addresses.h"

#include <algorithm>

#include "book/account_book.h"
#include "checks/korvex_build_urls.h"
#include "checks/profile_edits.h"
#include "checks/provider_profiles.h"
#include "net/url_origin.h"
#include "platform/ascii_text.h"

namespace korvex {

PortalAddresses PortalAddresses::fromBuild() {
    PortalAddresses addresses;
#define KORVEX_PORTAL_FROM_BUILD(id, member, setting, title, address, port) \
    addresses.member = KORVEX_BUILD_URL_##setting;
    KORVEX_PORTALS(KORVEX_PORTAL_FROM_BUILD)
#undef KORVEX_PORTAL_FROM_BUILD
    return addresses;
}

namespace {

constexpr std::string PortalAddresses::*kMembers[] = {
#define KORVEX_PORTAL_MEMBER(id, member, setting, title, address, port) &PortalAddresses::member,
    KORVEX_PORTALS(KORVEX_PORTAL_MEMBER)
#undef KORVEX_PORTAL_MEMBER
};

}  // namespace

std::string PortalAddresses::*PortalAddresses::member(PortalId id) {
    return kMembers[static_cast<std::size_t>(id)];
}

PortalId PortalAddresses::portalOfMember(std::string PortalAddresses::*member) {
    for (const PortalRow& row : kPortalTable)
        if (kMembers[static_cast<std::size_t>(row.id)] == member) return row.id;
    return PortalId::Publisher;  // every member is a row's
}

bool isPlaceholderAddress(std::string_view address) {
    const Expected<UrlOrigin> origin = parseUrlOrigin(address);
    if (!origin) return false;  // not reachable either, but the transfer says why
    std::string_view host = origin->host;
    if (host.ends_with('.')) host.remove_suffix(1);  // the root's dot
    return host == "invalid" || host.ends_with(".invalid");
}

std::vector<std::string> portalsWithoutAddress(const AccountBook& book, const PortalAddresses& addresses,
                                               int first, int last) {
    if (last < 0 || last >= book.clients) last = book.clients - 1;
    std::vector<std::string> names;
    for (const ProviderProfile* profile : allProfiles()) {
        if (!isPlaceholderAddress(addresses.*profile->baseAddress)) continue;
        for (int row = std::max(first, 0); row <= last; ++row)
            if (planCodeSelects(*profile, book.client.cell(kPlanCode, row))) {
                names.emplace_back(profile->name);
                break;
            }
    }
    return names;
}

std::string portalOf(std::string_view baseAddress) {
    const Expected<UrlOrigin> origin = parseUrlOrigin(baseAddress);
    // An address libcurl cannot read reaches no portal: a portal of its own, named as written.
    return origin ? origin->text() : lowerAscii(baseAddress);
}

}  // namespace korvex
