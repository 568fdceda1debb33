#pragma once
// Whether the computer is online, as the automatic update check asks before each attempt: a
// default route, or an address other than loopback on a network interface that is up.
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct UpInterfaceAddress {
    std::string name;
    bool up = false;
    bool loopback = false;
    bool hasAddress = false;  // an IPv4 or IPv6 address
};

// True when the routing table (the text of /proc/net/route) has an IPv4 default route that is up.
bool hasDefaultRoute(std::string_view procNetRoute);
bool isOnlineFrom(std::string_view procNetRoute, const std::vector<UpInterfaceAddress>& addresses);
// The test on this computer (/proc/net/route and getifaddrs).
bool isOnline();

}  // namespace korvex
