#include "checks/portal_lines.h"

#include "checks/profile_edits.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

constexpr std::size_t kShortPinLength = 12;

std::string codesOf(const ProviderProfile& profile) {
    std::string codes;
    for (const std::string_view code : profile.planCodes) codes += (codes.empty() ? "" : " ") + cp1251ToUtf8(code);
    return codes;
}

}  // namespace

std::vector<PortalLine> portalLines(const AccountBook& book, const PortalAddresses& addresses,
                                    const std::string& userFile, const PortalPins& pins,
                                    const std::vector<RowCheck>& lastRun) {
    std::vector<PortalLine> lines;
    for (const ProviderProfile* profile : allProfiles()) {
        PortalLine line;
        line.profile = profile;
        line.planCodes = codesOf(*profile);
        line.address = addresses.*profile->baseAddress;
        line.placeholder = isPlaceholderAddress(line.address);
        line.sourceFile = addresses.edits ? addresses.edits->addressOrigin(profile->baseAddress) : std::string();
        line.source = line.sourceFile.empty()     ? AddressSource::BuiltIn
                      : line.sourceFile == userFile ? AddressSource::UserFile
                                                    : AddressSource::SystemFile;
        for (int row = 0; row < book.clients; ++row)
            if (planCodeSelects(*profile, book.client.cell(kPlanCode, row))) ++line.rows;
        if (const std::string origin = pinOrigin(line.address); !origin.empty()) line.pin = pins.pinOf(origin);
        for (const RowCheck& check : lastRun)
            if (check.profile == profile->name) ++line.lastRun[check.outcome];
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string shortPin(const std::string& pin) {
    constexpr std::string_view kPrefix = "sha256//";
    const std::string_view key = std::string_view(pin).substr(pin.starts_with(kPrefix) ? kPrefix.size() : 0);
    return std::string(key.substr(0, kShortPinLength));
}

}  // namespace korvex
