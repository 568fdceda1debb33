#include "checks/portals_ini_writer.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "checks/portals_ini.h"
#include "checks/profile_edits.h"
#include "platform/ascii_text.h"
#include "platform/atomic_file.h"

namespace korvex {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// The lines of `text`, each with its line break.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

// The name of the section that `line` opens ("" for none, or a heading without "]").
std::string sectionOf(std::string_view line, bool first) {
    if (first && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    line = trimmed(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return {};
    return lowerAscii(trimmed(line.substr(1, line.size() - 2)));
}

bool isAddressLine(std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[') return false;
    const std::size_t equals = line.find('=');
    return equals != std::string_view::npos && lowerAscii(trimmed(line.substr(0, equals))) == "address";
}

Failure refusal(const std::string& message) {
    return {std::make_error_code(std::errc::invalid_argument), message};
}

// Why the start would not use `address` for `name` once `text` is the user's file; "" when it would.
std::string whyNotUsed(const std::string& settingsPath, const std::string& file, const std::string& text,
                       const std::string& name, std::string PortalAddresses::*member, const std::string& address) {
    const PortalsSetup setup = applyPortalsIniWith(
        PortalAddresses::fromBuild(), portalsIniFiles(settingsPath, std::getenv("XDG_CONFIG_DIRS")), file, text);
    if (setup.addresses.*member == address) return {};
    std::string why;
    const std::string heading = lowerAscii("[" + name + "]");
    for (const std::string& problem : setup.problems)
        if (problem.starts_with(file) && lowerAscii(problem).find(heading) != std::string::npos)
            why += "\n  " + problem;
    return why.empty() ? std::string("\n  the start would not use it") : why;
}

}  // namespace

std::string withPortalAddress(const std::string& text, const std::string& section,
                              const std::optional<std::string>& address) {
    const std::vector<std::string_view> lines = linesOf(text);
    const std::string eol = !lines.empty() && lines[0].ends_with("\r\n") ? "\r\n" : "\n";
    // The lines of the section (its first heading of that name up to the next heading).
    std::size_t heading = lines.size(), end = lines.size();
    bool hasAddress = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string name = sectionOf(lines[i], i == 0);
        if (!name.empty() && heading < lines.size()) {
            end = i;
            break;
        }
        if (!name.empty() && name == lowerAscii(section)) heading = i;
        hasAddress = hasAddress || (heading < i && isAddressLine(lines[i]));
    }
    const std::string line = address ? "Address = " + *address + eol : std::string();
    std::string out;
    bool written = !address;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > heading && i < end && isAddressLine(lines[i])) {
            // The first Address line becomes the new one; any other goes.
            if (!written) out += lines[i].ends_with('\n') ? line : line.substr(0, line.size() - eol.size());
            written = true;
            continue;
        }
        out += lines[i];
        if (i == heading && !hasAddress && !written) {
            out += (lines[i].ends_with('\n') ? "" : eol) + line;
            written = true;
        }
    }
    if (!written) {
        if (!out.empty() && !out.ends_with('\n')) out += eol;
        out += (out.empty() ? "" : eol) + "[" + section + "]" + eol + line;
    }
    return out;
}

Expected<PortalAddressWrite> writePortalAddress(const std::string& settingsPath, const std::string& name,
                                                const std::optional<std::string>& address) {
    const ProviderProfile* profile = profileNamed(name);
    if (!profile && lowerAscii(name) != "publisher")
        return Unexpected(refusal("\"" + name + "\" names no profile (korvex-cli profiles lists them)"));
    const std::string section = profile ? std::string(profile->name) : std::string("Publisher");
    if (address)
        for (const char c : *address)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return Unexpected(refusal("the address holds a control character"));

    PortalAddressWrite result;
    result.file = portalsIniFiles(settingsPath, nullptr).back();
    const PortalsIniText read = readPortalsIni(result.file);
    if (!read.problem.empty())
        return Unexpected(refusal(result.file + " " + read.problem + "; nothing changed"));
    std::string PortalAddresses::*member = profile ? profile->baseAddress : &PortalAddresses::publisher;
    if (address) {
        // The file says so already (for a portal of two profiles, maybe in the other one's section).
        const PortalAddresses now = applyPortalsIni(PortalAddresses::fromBuild(), {result.file}).addresses;
        if (now.*member == *address && now.edits && now.edits->addressOrigin(member) == result.file) return result;
    }
    const std::string text = withPortalAddress(read.text, section, address);
    if (address) {
        const std::string why = whyNotUsed(settingsPath, result.file, text, section, member, *address);
        if (!why.empty())
            return Unexpected(refusal("\"" + *address + "\" is not used for " + section + "; " + result.file +
                                      " is unchanged:" + why));
    }
    result.changed = text != read.text;
    if (!result.changed) return result;
    AtomicWriteOptions options;
    options.mode = 0644;
    options.keepExisting = true;
    if (Expected<void> written = writeFileAtomically(result.file, text, options); !written)
        return Unexpected(written.error());
    return result;
}

}  // namespace korvex
