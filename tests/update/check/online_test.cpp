#include <gtest/gtest.h>

#include "update/check/online.h"

namespace korvex {
namespace {

constexpr const char* kHeading = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(Online, DefaultRouteOrAnAddressOnAnInterfaceThatIsUp) {
    const std::string defaultRoute = std::string(kHeading) + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string defaultRouteDown = std::string(kHeading) + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string localOnly = std::string(kHeading) + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    const UpInterfaceAddress loopback{"lo", true, true, true};
    const UpInterfaceAddress wifiUp{"wlan0", true, false, true};
    const UpInterfaceAddress wifiDown{"wlan0", false, false, true};
    const UpInterfaceAddress noAddress{"eth1", true, false, false};

    EXPECT_TRUE(isOnlineFrom(defaultRoute, {loopback}));
    EXPECT_FALSE(isOnlineFrom(defaultRouteDown, {loopback}));
    EXPECT_FALSE(isOnlineFrom(localOnly, {loopback, wifiDown, noAddress}));
    EXPECT_TRUE(isOnlineFrom(localOnly, {loopback, wifiUp}));
    EXPECT_FALSE(isOnlineFrom("", {}));
    EXPECT_FALSE(isOnlineFrom("garbage\nmore garbage", {loopback}));
}

}  // namespace
}  // namespace korvex
