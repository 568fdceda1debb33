#include "korvex-cli/command_table.h"
#include "korvex-cli/commands/profiles_command.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>

#include "checks/page_values.h"
#include "checks/portals_ini.h"
#include "checks/portals_ini_writer.h"
#include "checks/profile_edits.h"
#include "checks/text_holder.h"
#include "korvex-cli/balance_table.h"
#include "platform/ascii_text.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

constexpr const char* kPrefix = "korvex-cli: ";

const std::string& originOf(const std::map<std::string, std::string>& origins, const std::string& key) {
    static const std::string kNone;
    const auto found = origins.find(key);
    return found != origins.end() ? found->second : kNone;
}

// One value line: "  Key  value", and where Portals.ini set it, the file.
void valueLine(std::vector<std::vector<std::string>>& lines, const std::string& key, const std::string& value,
               const std::string& origin) {
    // The file right after its value: a long pattern elsewhere must not push it out of sight.
    lines.push_back({"", key, terminalText(value) + (origin.empty() ? "" : "  (" + terminalText(origin) + ")")});
}

int listProfiles(const CliContext& context) {
    const PortalAddresses& addresses = context.addresses;
    const ProfileEdits* edits = addresses.edits.get();
    for (const ProviderProfile* builtIn : allProfiles()) {
        const ProviderProfile& profile = effectiveProfile(addresses, *builtIn);
        std::string codes;
        for (const std::string_view code : profile.planCodes)
            codes += (codes.empty() ? "" : " ") + cp1251ToUtf8(code);
        context.out << profile.name << "  (plan codes " << terminalText(codes) << ")\n";
        static const std::map<std::string, std::string> kNoOrigins;
        const auto& origins = edits ? edits->origins(*builtIn) : kNoOrigins;
        std::vector<std::vector<std::string>> lines;
        const std::string& address = addresses.*profile.baseAddress;
        valueLine(lines, "Address", address,
                  isPlaceholderAddress(address) ? std::string("not set: korvex-cli profiles set")
                  : edits                       ? edits->addressOrigin(profile.baseAddress)
                                                : std::string());
        valueLine(lines, "Path", "\"" + std::string(profile.path) + "\"", originOf(origins, "Path"));
        if (!profile.logoutPath.empty())
            valueLine(lines, "LogoutPath", "\"" + std::string(profile.logoutPath) + "\"",
                      originOf(origins, "LogoutPath"));
        for (const CheckStep& step : profile.steps)
            if (step.kind == StepKind::Pattern) {
                const std::string key(patternStepKey(step));
                valueLine(lines, key, "\"" + cp1251ToUtf8(step.pattern) + "\"", originOf(origins, key));
            }
        printAlignedLines(context.out, lines);
    }
    context.out << "Publisher\n";
    std::vector<std::vector<std::string>> lines;
    valueLine(lines, "Address", addresses.publisher,
              edits ? edits->addressOrigin(&PortalAddresses::publisher) : std::string());
    printAlignedLines(context.out, lines);
    context.out
        << "A file name in brackets: the value comes from that Portals.ini; the others are built in.\n";
    return kExitOk;
}

// The page as a check takes it: into Memo1, line breaks as Memo1 keeps them, no larger than it
// holds. Answers false with the message written.
bool readSavedPage(const CliContext& context, const std::string& pagePath, TextHolder& Memo1) {
    std::ifstream file(pagePath, std::ios::binary);
    std::string page;
    char chunk[65536];
    while (file && page.size() <= maxTestedPageBytes()) {
        file.read(chunk, sizeof chunk);
        page.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (!file.eof() && page.size() <= maxTestedPageBytes()) {
        context.err << kPrefix << terminalText(pagePath) << ": cannot be read: " << std::strerror(errno) << '\n';
        return false;
    }
    try {
        Memo1.setText(page);
    } catch (const EMemoCapacity&) {
        context.err << kPrefix << terminalText(pagePath) << ": larger than a check reads ("
                    << maxTestedPageBytes() << " bytes)\n";
        return false;
    }
    return true;
}

// profiles set NAME Address URL, profiles unset NAME Address.
int setAddress(const CliContext& context, const std::string& name, const std::optional<std::string>& address) {
    const Expected<PortalAddressWrite> written = writePortalAddress(context.settingsPath, name, address);
    if (!written) {
        context.err << kPrefix << terminalText(written.error().message) << '\n';
        return written.error().code == std::errc::invalid_argument ? kExitUsage : kExitFailed;
    }
    const std::string file = terminalText(written->file);
    if (!written->changed)
        context.out << file << " already says so; nothing changed\n";
    else if (address)
        context.out << "Address " << terminalText(*address) << " written to " << file << '\n';
    else
        context.out << "Address removed from " << file << "; the built-in address is used\n";
    if (written->changed) context.out << "A window that runs uses it from its next start.\n";
    return kExitOk;
}

int testProfile(const CliContext& context, const std::string& name, const std::string& pagePath) {
    const ProviderProfile* builtIn = profileNamed(name);
    if (!builtIn) {
        std::string names;
        for (const ProviderProfile* profile : allProfiles())
            names += (names.empty() ? "" : ", ") + std::string(profile->name);
        context.err << kPrefix << "\"" << terminalText(name) << "\" names no profile; the profiles are "
                    << names << '\n';
        return kExitUsage;
    }
    TextHolder Memo1;
    if (!readSavedPage(context, pagePath, Memo1)) return kExitFailed;

    const ProviderProfile& profile = effectiveProfile(context.addresses, *builtIn);
    const PageValues values = findPageValues(profile, Memo1.text());
    if (!values.problem.empty()) {
        context.err << kPrefix << terminalText(values.problem) << '\n';
        return kExitFailed;
    }
    bool balanceMissed = false;
    std::vector<std::vector<std::string>> lines;
    for (const StepFinding& finding : values.findings) {
        std::string shown;
        if (finding.value) {
            shown = terminalText(cp1251ToUtf8(*finding.value));
        } else if (finding.step->miss == MissRule::Marker) {
            shown = std::string(kNotFoundMarker) + "  (not found)";
        } else {
            shown = "(not found; the cell keeps its text)";
        }
        if (!finding.value && finding.step->column == kBalance) balanceMissed = true;
        lines.push_back({"", std::string(patternStepKey(*finding.step)), shown});
    }
    context.out << profile.name << " on " << terminalText(pagePath) << ":\n";
    printAlignedLines(context.out, lines);
    if (balanceMissed)
        context.err
            << kPrefix << profile.name
            << ": the balance is not found on this page; change Balance in Portals.ini and test again\n";
    return balanceMissed ? kExitFailed : kExitOk;
}

}  // namespace

std::size_t maxTestedPageBytes() {
    return TextHolder().capacity();
}

int profilesCommand(const CliContext& context, const std::vector<std::string>& args) {
    if (args.empty()) return listProfiles(context);
    if (args[0] == "template") {
        context.out << portalsIniTemplate(context.addresses);
        return kExitOk;
    }
    if (args[0] == "set") return setAddress(context, args.at(1), args.at(3));
    if (args[0] == "unset") return setAddress(context, args.at(1), std::nullopt);
    return testProfile(context, args.at(1), args.at(2));
}

namespace {

bool isAddressKey(const std::string& key) {
    return lowerAscii(key) == "address";
}

void profilesFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    const bool listing = operands.empty();
    const bool printsTemplate = operands.size() == 1 && operands[0] == "template";
    const bool tests = !operands.empty() && operands[0] == "test";
    const bool sets = !operands.empty() && operands[0] == "set";
    const bool unsets = !operands.empty() && operands[0] == "unset";
    if (tests && operands.size() != 3)
        throw CliUsageError("profiles test needs a profile's name and a saved page", call.command);
    if ((sets && (operands.size() != 4 || !isAddressKey(operands[2]))) ||
        (unsets && (operands.size() != 3 || !isAddressKey(operands[2]))))
        throw CliUsageError("profiles " + operands[0] + " takes NAME Address" + (sets ? " URL" : ""), call.command);
    if (!listing && !printsTemplate && !tests && !sets && !unsets)
        throw CliUsageError("profiles takes template or test NAME PAGE.html (or set NAME Address URL, unset NAME "
                            "Address), not \"" + operands.back() + "\"",
                            call.command);
    call.profileArgs = operands;
}

// set and unset write Portals.ini beside the settings file: its folder is made when missing.
bool profilesOnlyRead(const CliInvocation& call) {
    return call.profileArgs.empty() || (call.profileArgs[0] != "set" && call.profileArgs[0] != "unset");
}

int runProfiles(CliContext& context, const CliInvocation& call) {
    return profilesCommand(context, call.profileArgs);
}

}  // namespace

const CliCommandRow kProfilesRow{
    .command = CliCommand::Profiles,
    .name = "profiles",
    .operands = "[template | test NAME PAGE | set NAME Address URL | unset NAME Address]",
    .summary = "list the portal profiles and Portals.ini, or test one",
    .description =
        "Lists every portal profile with its plan codes, address, paths and patterns, as\n"
        "this copy runs them: the built-in values, and in brackets the Portals.ini that\n"
        "changed a value. Portals.ini is read beside the settings file, and under it in\n"
        "priority from $XDG_CONFIG_DIRS/korvex/Portals.ini (/etc/xdg/korvex/Portals.ini).\n"
        "\n"
        "profiles template prints a complete Portals.ini of the values in use, every key\n"
        "commented out: remove the \";\" of a key to change it.\n"
        "profiles test NAME PAGE runs the patterns of profile NAME (\"SpaceGate 75\") on a\n"
        "page saved from its portal, and prints each column's value or the not-found marker.\n"
        "profiles set NAME Address URL writes the portal's address into the Portals.ini\n"
        "beside the settings file, checked as the start checks it; every other line of the\n"
        "file stays as it is. profiles unset NAME Address removes it again. An address that\n"
        "is still the build's placeholder (a host under .invalid) says \"not set\": its\n"
        "accounts are not checked until it is set.\n",
    .epilogue = "When the run summary says a portal's page changed: save the page from the browser,\n"
                "change the pattern in Portals.ini, and test it until the balance is found.\n"
                "Exit status of test: 0 the balance is found, 1 it is not (or the page cannot be\n"
                "read), 2 NAME names no profile. Of set and unset: 0 written, 2 refused (NAME names\n"
                "no profile, or the address would not be used), 1 the file could not be written.\n"
                "Problems in Portals.ini go to standard error; a section with a bad value is not\n"
                "used, and its profile keeps its built-in values.\n",
    .onlyReads = profilesOnlyRead,
    .readsPortals = true,
    .finish = profilesFinish,
    .run = runProfiles,
};

}  // namespace korvex
