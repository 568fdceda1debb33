#include "checks/portal_addresses.h"

#include "checks/korvex_build_urls.h"

namespace korvex {

PortalAddresses PortalAddresses::fromBuild() {
    return {kBuildUrlSpectrumSat, kBuildUrlRaduga,    kBuildUrlSpaceGate75, kBuildUrlSpaceGate39,
            kBuildUrlSpaceGate95, kBuildUrlSpaceGate15_21, kBuildUrlPlanetSky, kBuildUrlGlobax,
            kBuildUrlSatGate,     kBuildUrlSkyFi,     kBuildUrlStv,         kBuildUrlPublisher,
            kBuildUrlUpdateInfo};
}

}  // namespace korvex
