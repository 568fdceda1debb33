#pragma once
// Subscriber accounts held by the substitute portals, and the stock set each portal starts with.
#include "korvex-demo-portals/demo_portal_id.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvex {

// Every text is UTF-8; a cp1251 portal converts its whole page (values included) when it answers, so a
// value's bytes on the page are utf8ToCp1251(value) there and the value itself on PlanetSky and STV.
// Values go into the page verbatim, not HTML-escaped, right where the portal's balance patterns look,
// so a value holding the text that ends its pattern (a "," in a SpectrumSat balance, " USD" in a
// SpaceGate one...) or not fitting the pattern (a SatGate balance that does not begin with a digit or
// a dot, a PlanetSky speed with anything but digits and dots) is cut or missed exactly as the real
// portal's page would be.
struct DemoAccount {
    std::string login;
    std::string password;
    std::string holder;   // the subscriber's name, shown on the page but read by no pattern
    std::string balance;  // the balance, on every portal
    std::string speed;    // chosen speed: SpectrumSat, Raduga, SpaceGate, PlanetSky, SatGate (and SKY-FI's
                          // page, where no pattern reads it); what the speed-change pages set
    std::string status;   // SpectrumSat's status; the others only show it
    std::string tariff;   // the tariff: Raduga's cell after "Сменить", SpaceGate's service type,
                          // PlanetSky, SKY-FI, STV (read into the speed column there); SatGate's plan line
    std::string traffic;  // Globax: the traffic rest in Kb
    std::string stvGate;  // STV only: "insat" or "insat2" for one gate, empty for both
    // Served, byte for byte, instead of the rendered page once the account has logged in.
    std::optional<std::string> rawPage;
};

// The accounts every portal holds at start (two to four per portal), matching demo-accounts.csv.
std::vector<std::pair<PortalId, DemoAccount>> stockDemoAccounts();

}  // namespace korvex
