#include "korvex-cli/profiles_command.h"

#include <fstream>
#include <ostream>

#include "checks/page_values.h"
#include "checks/portals_ini.h"
#include "checks/profile_edits.h"
#include "checks/text_holder.h"
#include "korvex-cli/balance_table.h"
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
    lines.push_back(
        {"", key, terminalText(value), origin.empty() ? std::string() : "(" + terminalText(origin) + ")"});
}

int listProfiles(const CliContext& context) {
    const PortalAddresses& addresses = context.addresses;
    const ProfileEdits* edits = addresses.edits.get();
    for (const ProviderProfile* builtIn : allProfiles()) {
        const ProviderProfile& profile = effectiveProfile(addresses, *builtIn);
        std::string codes;
        for (const std::string_view code : profile.planCodes)
            codes += (codes.empty() ? "" : " ") + cp1251ToUtf8(code);
        context.out << profile.name << "  (" << profile.routine << "; plan codes " << terminalText(codes)
                    << ")\n";
        static const std::map<std::string, std::string> kNoOrigins;
        const auto& origins = edits ? edits->origins(*builtIn) : kNoOrigins;
        std::vector<std::vector<std::string>> lines;
        valueLine(lines, "Address", addresses.*profile.baseAddress,
                  edits ? edits->addressOrigin(profile.baseAddress) : std::string());
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
    // The page as a check takes it: into Memo1, line breaks as Memo1 keeps them, no larger than it holds.
    std::ifstream file(pagePath, std::ios::binary);
    std::string page;
    char chunk[65536];
    while (file && page.size() <= maxTestedPageBytes()) {
        file.read(chunk, sizeof chunk);
        page.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (!file.eof() && page.size() <= maxTestedPageBytes()) {
        context.err << kPrefix << terminalText(pagePath) << ": cannot be read\n";
        return kExitFailed;
    }
    TextHolder Memo1;
    try {
        Memo1.setText(page);
    } catch (const EMemoCapacity&) {
        context.err << kPrefix << terminalText(pagePath) << ": larger than a check reads ("
                    << maxTestedPageBytes() << " bytes)\n";
        return kExitFailed;
    }

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
    return testProfile(context, args.at(1), args.at(2));
}

}  // namespace korvex
