#pragma once
// The portals dialog's lines: one a profile, with where its address comes from, how many rows of
// the book use it, its pin and how its rows ended in the last run. The window shows them as they
// are; the address is set through portals_ini_writer.h and probed through portal_probe.h.
#include <map>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "checks/check_outcome.h"
#include "checks/portal_addresses.h"
#include "checks/provider_profiles.h"
#include "net/portal_pins.h"

namespace korvex {

enum class AddressSource {
    BuiltIn,     // the build's address
    SystemFile,  // a Portals.ini under $XDG_CONFIG_DIRS
    UserFile,    // the Portals.ini beside Settings.ini
};

struct PortalLine {
    const ProviderProfile* profile = nullptr;  // the built-in one
    std::string planCodes;                     // UTF-8, one blank between codes
    std::string address;                       // in use
    bool placeholder = false;                  // the build's placeholder: the portal is not asked
    AddressSource source = AddressSource::BuiltIn;
    std::string sourceFile;                    // the file that set it, "" when built in
    int rows = 0;                              // rows of the book whose plan code the profile owns
    std::string pin;                           // of the address's portal, "" when it has none
    std::map<CheckOutcome, int> lastRun;       // how those rows ended in the last run, by outcome
};

// Every profile in the order of a refresh run. `userFile`: the Portals.ini beside Settings.ini.
// `lastRun`: what the last refresh run did to each row it reached.
std::vector<PortalLine> portalLines(const AccountBook& book, const PortalAddresses& addresses,
                                    const std::string& userFile, const PortalPins& pins,
                                    const std::vector<RowCheck>& lastRun);

// The start of a pin's key, enough to tell two keys apart by eye ("RE2yVqhiTWt0"); "" for none.
std::string shortPin(const std::string& pin);

}  // namespace korvex
