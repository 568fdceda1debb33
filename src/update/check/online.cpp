#include "update/check/online.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <fstream>
#include <sstream>

namespace korvex {

bool hasDefaultRoute(std::string_view procNetRoute) {
    std::istringstream lines{std::string(procNetRoute)};
    std::string line;
    std::getline(lines, line);  // the column headings
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) continue;
        unsigned long flagBits = 0;
        try {
            flagBits = std::stoul(flags, nullptr, 16);
        } catch (...) {
            continue;
        }
        constexpr unsigned long kRouteUp = 0x1;
        if (destination == "00000000" && mask == "00000000" && (flagBits & kRouteUp) != 0) return true;
    }
    return false;
}

bool isOnlineFrom(std::string_view procNetRoute, const std::vector<UpInterfaceAddress>& addresses) {
    if (hasDefaultRoute(procNetRoute)) return true;
    for (const UpInterfaceAddress& address : addresses)
        if (address.up && !address.loopback && address.hasAddress) return true;
    return false;
}

bool isOnline() {
    std::ifstream file("/proc/net/route");
    std::stringstream routes;
    routes << file.rdbuf();
    std::vector<UpInterfaceAddress> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            UpInterfaceAddress address;
            address.name = entry->ifa_name != nullptr ? entry->ifa_name : "";
            address.up = (entry->ifa_flags & IFF_UP) != 0;
            address.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            address.hasAddress = entry->ifa_addr != nullptr &&
                                 (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6);
            addresses.push_back(std::move(address));
        }
        freeifaddrs(list);
    }
    return isOnlineFrom(routes.str(), addresses);
}

}  // namespace korvex
