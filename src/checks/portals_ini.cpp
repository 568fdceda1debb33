#include "checks/portals_ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "checks/korvex_build_urls.h"
#include "checks/profile_edits.h"
#include "platform/codepage.h"
#include "regex/pattern_matcher.h"

namespace korvex {

namespace {

constexpr std::size_t kMaxPathBytes = 1024;
constexpr std::size_t kMaxNameBytes = 64;  // of a section or key quoted in a message

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// A name or value from the file as a message may show it: not overlong, and every byte that is no
// printable ASCII and no whole UTF-8 character of the Cyrillic code page a "?" (a control character,
// C1 included, or a broken sequence could act on the terminal that shows the message).
std::string shown(std::string_view text) {
    const std::string_view cut = text.substr(0, kMaxNameBytes);
    std::string out;
    for (std::size_t i = 0; i < cut.size();) {
        const auto byte = static_cast<unsigned char>(cut[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += cut[i++];
            continue;
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        const std::string_view character = cut.substr(i, length);
        out += byte >= 0x80 && character.size() == length && utf8FitsCp1251(character) ? std::string(character)
                                                                                        : std::string("?");
        i += character.size() == length && utf8FitsCp1251(character) ? length : 1;
    }
    if (text.size() > kMaxNameBytes) out += "...";
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// ------------------------------------------------------------------------------------------------
// Reading: the bytes of a file, bounded, from a regular file only.
// ------------------------------------------------------------------------------------------------

}  // namespace

PortalsIniText readPortalsIni(const std::string& path) {
    PortalsIniText result;
    // O_NONBLOCK: a FIFO put in its place must not hang the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            result.exists = true;
            result.problem = std::string("cannot be read: ") + std::strerror(errno);
        }
        return result;
    }
    result.exists = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.problem = "is not a regular file";
    } else if (static_cast<unsigned long long>(info.st_size) > kMaxPortalsIniBytes) {
        result.problem = "is larger than 1 MiB";
    } else {
        // Read one byte past the limit, so a file that grows meanwhile is refused too.
        std::string text(kMaxPortalsIniBytes + 1, '\0');
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result.problem = std::string("cannot be read: ") + std::strerror(errno);
                break;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (result.problem.empty() && got > kMaxPortalsIniBytes) result.problem = "is larger than 1 MiB";
        text.resize(got);
        if (result.problem.empty()) result.text = std::move(text);
    }
    ::close(fd);
    return result;
}

namespace {

// ------------------------------------------------------------------------------------------------
// Parsing: sections of key = value lines.
// ------------------------------------------------------------------------------------------------

struct Entry {
    std::string key;
    std::string value;
    int line = 0;
};

struct Section {
    std::string name;
    int line = 0;
    std::vector<Entry> entries;
    std::vector<std::string> syntaxProblems;  // lines in it that are no key = value
};

// A value without its enclosing double quotes, when it has them: they keep blanks at its ends.
std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// Answers false, with `problem` set, when the text cannot be taken as the file format at all.
bool parseSections(std::string_view text, std::vector<Section>& sections, std::vector<std::string>& loose,
                   std::string& problem) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
        text.find('\0') != std::string_view::npos) {
        problem = "is not UTF-8 text (save it as UTF-8)";
        return false;
    }
    int lineNumber = 0;
    Section* current = nullptr;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (line.size() > kMaxPortalsIniLine) {
            problem = "line " + std::to_string(lineNumber) + " is longer than " +
                      std::to_string(kMaxPortalsIniLine) + " bytes";
            return false;
        }
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = trimmed(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            sections.emplace_back();
            current = &sections.back();
            current->line = lineNumber;
            if (line.back() != ']') {
                current->name = shown(line);
                current->syntaxProblems.push_back("line " + std::to_string(lineNumber) +
                                                  ": a section heading without \"]\"");
            } else {
                current->name = std::string(trimmed(line.substr(1, line.size() - 2)));
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string where = "line " + std::to_string(lineNumber);
        if (equals == std::string_view::npos || trimmed(line.substr(0, equals)).empty()) {
            (current ? current->syntaxProblems : loose)
                .push_back(where + " is neither \"[Section]\", \"Key = value\" nor a comment");
            continue;
        }
        if (!current) {
            loose.push_back(where + ": \"" + shown(trimmed(line.substr(0, equals))) +
                            "\" stands before any section");
            continue;
        }
        current->entries.push_back({std::string(trimmed(line.substr(0, equals))),
                                    unquoted(trimmed(line.substr(equals + 1))), lineNumber});
    }
    return true;
}

// ------------------------------------------------------------------------------------------------
// Values.
// ------------------------------------------------------------------------------------------------

bool validHost(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']') return false;
        for (const char c : host.substr(1, host.size() - 2))
            if (!(isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') || c == ':' || c == '.'))
                return false;
        return true;
    }
    if (host.front() == '.' || host.front() == '-' || host.back() == '-') return false;
    for (const char c : host)
        if (!(isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z') || c == '.' || c == '-'))
            return false;
    return true;
}

// A path and query that stays on the portal's host: it begins with "/" (so that nothing of it can
// be read as a user name or a host after the address) and holds printable ASCII without blanks.
bool validPath(std::string_view path) {
    if (path.empty() || path.front() != '/' || path.size() > kMaxPathBytes) return false;
    if (path.starts_with("//")) return false;  // a network-path reference names another host
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) return false;
        if (std::string_view("\"\\<>^`{|}#").find(c) != std::string_view::npos) return false;
    }
    return true;
}

// Why `pattern` (UTF-8, from the file) cannot serve `profile`, or "" when it can; `cp1251` gets the
// pattern as the profile keeps it.
std::string patternProblem(const ProviderProfile& profile, const std::string& pattern, std::string& cp1251) {
    if (pattern.empty()) return "the pattern is empty";
    for (const char c : pattern)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
            return "the pattern holds a control character";
    if (!utf8FitsCp1251(pattern))
        return "the pattern is not UTF-8, or holds a character that the Cyrillic code page (1251) lacks";
    cp1251 = utf8ToCp1251(pattern);
    // Compiled as the check will use it.
    TPatternMatcher matcher;
    matcher.SetExpression(profile.conversion == TextConversion::PatternsToUtf8 ? cp1251ToUtf8(cp1251)
                                                                               : cp1251);
    std::string dump;
    try {
        dump = matcher.Dump();
    } catch (const EPatternMatcher& e) {
        return std::string("the pattern does not compile: ") + e.what();
    }
    // Group 1 is the value the step writes.
    if (dump.find(": OPEN 1\n") == std::string::npos && !dump.ends_with(": OPEN 1"))
        return "the pattern has no group \"( )\" around the value";
    return {};
}

bool isPublisher(std::string_view name) {
    return sameIgnoringCase(name, "Publisher");
}

// Adds a problem: named while there are fewer than kMaxNamedPortalsProblems, counted always (a file
// of 100,000 bad sections must not become 25 MB of messages).
void noteProblem(PortalsSetup& setup, std::string text) {
    if (++setup.problemCount <= kMaxNamedPortalsProblems) setup.problems.push_back(std::move(text));
}

bool isHttps(std::string_view address) {
    return address.starts_with("https://");
}

// The other operator's profile whose portal `address` would be, where the build's addresses keep the
// two apart; nullptr when there is none.
const ProviderProfile* otherOperatorAt(const ProviderProfile& profile, const std::string& address,
                                       const PortalAddresses& current, const PortalAddresses& builtIn) {
    const std::string portal = portalOf(address);
    for (const ProviderProfile* other : allProfiles()) {
        if (other->operatorName == profile.operatorName || portalOf(current.*other->baseAddress) != portal)
            continue;
        if (portalOf(builtIn.*other->baseAddress) != portalOf(builtIn.*profile.baseAddress)) return other;
    }
    return nullptr;
}

// One file applied over `setup`.
class FileApplier {
public:
    FileApplier(PortalsSetup& setup, ProfileEdits& edits, std::string file, const PortalAddresses& builtIn)
        : m_setup(setup), m_edits(edits), m_file(std::move(file)), m_builtIn(builtIn) {}

    void apply(const std::vector<Section>& sections, const std::vector<std::string>& loose) {
        for (const std::string& problem : loose) say(problem);
        std::set<std::string> seen;
        for (const Section& section : sections) {
            std::string folded;
            for (const char c : section.name) folded += lowerAscii(c);
            if (!seen.insert(folded).second) {
                say("line " + std::to_string(section.line) + ": [" + shown(section.name) +
                    "] is there a second time; only the first counts");
                continue;
            }
            applySection(section);
        }
    }

private:
    void say(const std::string& text) { noteProblem(m_setup, m_file + ": " + text); }

    // Why `address` may not serve `profile` although it is well formed, or "".
    std::string addressRisk(const ProviderProfile& profile, const std::string& address, bool allowPlainHttp) const {
        const std::string name(profile.name);
        if (isHttps(m_builtIn.*profile.baseAddress) && !isHttps(address) && !allowPlainHttp)
            return "\"" + shown(address) + "\" would send " + name + "'s logins and passwords in clear (its " +
                   "built-in address uses https); add AllowPlainHttp = yes to the section to allow it";
        if (const ProviderProfile* other = otherOperatorAt(profile, address, m_setup.addresses, m_builtIn))
            return "\"" + shown(address) + "\" is the portal of " + std::string(other->name) + ", another operator: " +
                   name + "'s logins and passwords would go to it";
        return {};
    }

    void applySection(const Section& section) {
        const std::string heading = "[" + shown(section.name) + "]";
        const ProviderProfile* profile = profileNamed(section.name);
        if (!profile && !isPublisher(section.name)) {
            std::string names;
            for (const ProviderProfile* known : allProfiles()) names += std::string(known->name) + ", ";
            say("line " + std::to_string(section.line) + ": " + heading + " names no profile (there are " +
                names + "and the publisher's [Publisher])");
            return;
        }
        const std::string keeps = profile ? std::string(profile->name) + " keeps its built-in values"
                                          : "the publisher site stays where it is";
        bool bad = false;
        for (const std::string& problem : section.syntaxProblems) {
            say(problem + " in " + heading + "; " + keeps);
            bad = true;
        }

        ProfileEdits::Change change;
        std::optional<std::string> address;
        std::optional<std::string> updateAddress;  // [Publisher] only
        int addressLine = 0;
        bool allowPlainHttp = false;
        std::set<std::string> keys;
        for (const Entry& entry : section.entries) {
            const std::string where =
                "line " + std::to_string(entry.line) + ": " + heading + " " + shown(entry.key);
            std::string key;
            std::string why;
            if (sameIgnoringCase(entry.key, "Address")) {
                key = "Address";
                if (!validBaseAddress(entry.value))
                    why = "\"" + shown(entry.value) +
                          "\" is not a scheme (http:// or https://) and host with an optional port and "
                          "nothing after it";
                address = entry.value;
                addressLine = entry.line;
            } else if (profile && sameIgnoringCase(entry.key, "AllowPlainHttp")) {
                key = "AllowPlainHttp";
                allowPlainHttp = sameIgnoringCase(entry.value, "yes");
                if (!allowPlainHttp && !sameIgnoringCase(entry.value, "no"))
                    why = "\"" + shown(entry.value) + "\" is neither yes nor no";
            } else if (!profile && sameIgnoringCase(entry.key, "UpdateAddress")) {
                key = "UpdateAddress";
                if (!kBuildSignsUpdates)
                    why = "this build takes update information unsigned, so its update server stays the built-in "
                          "one (an update from an address set in a file would run anyone's program)";
                else if (!validBaseAddress(entry.value))
                    why = "\"" + shown(entry.value) + "\" is not a scheme and host with an optional port";
                updateAddress = entry.value;
            } else if (profile && sameIgnoringCase(entry.key, "Path")) {
                key = "Path";
                if (!validPath(entry.value))
                    why = "\"" + shown(entry.value) + "\" is not a path beginning with \"/\"";
                change.path = entry.value;
            } else if (profile && !profile->logoutPath.empty() && sameIgnoringCase(entry.key, "LogoutPath")) {
                key = "LogoutPath";
                if (!validPath(entry.value))
                    why = "\"" + shown(entry.value) + "\" is not a path beginning with \"/\"";
                change.logoutPath = entry.value;
            } else if (profile) {
                for (std::size_t i = 0; i < profile->steps.size(); ++i) {
                    const CheckStep& step = profile->steps[i];
                    if (step.kind != StepKind::Pattern || !sameIgnoringCase(entry.key, patternStepKey(step)))
                        continue;
                    key = patternStepKey(step);
                    std::string cp1251;
                    why = patternProblem(*profile, entry.value, cp1251);
                    change.patterns[i] = cp1251;
                }
            }
            if (key.empty()) {
                // Said, and the rest of the section still counts: a misspelt key changes nothing.
                say(where + " names nothing " +
                    (profile ? std::string(profile->name) + " has" : "the publisher has") +
                    " (the keys are in korvex-cli profiles template)");
                continue;
            }
            if (!keys.insert(key).second) why = "is there a second time";
            if (!why.empty()) {
                say(where + ": " + why + "; " + keeps);
                bad = true;
                continue;
            }
            change.origins[key] = m_file;
        }
        if (bad) return;
        if (address && profile) {
            if (const std::string risk = addressRisk(*profile, *address, allowPlainHttp); !risk.empty()) {
                say("line " + std::to_string(addressLine) + ": " + heading + " Address: " + risk + "; " + keeps);
                return;
            }
        }
        if (updateAddress) {
            m_setup.addresses.updateInfo = *updateAddress;
            m_edits.setAddressOrigin(&PortalAddresses::updateInfo, m_file);
        }

        std::string PortalAddresses::*member = profile ? profile->baseAddress : &PortalAddresses::publisher;
        if (address) {
            // Two profiles on one portal (SpaceGate 15 and 21, STV and STV 2) cannot be sent to two
            // places by one file.
            for (const AddressSet& earlier : m_addressesSet)
                if (earlier.member == member && earlier.address != *address) {
                    say("line " + std::to_string(addressLine) + ": " + heading +
                        " Address: " + earlier.heading + " shares its portal and has it at \"" +
                        shown(earlier.address) + "\"; nothing of this section is used");
                    return;
                }
            m_addressesSet.push_back({member, *address, heading});
            m_setup.addresses.*member = *address;
            m_edits.setAddressOrigin(member, m_file);
        }
        if (profile) m_edits.apply(*profile, change);
    }

    PortalsSetup& m_setup;
    ProfileEdits& m_edits;
    std::string m_file;
    const PortalAddresses& m_builtIn;
    // The addresses this file has set so far, and by which section.
    struct AddressSet {
        std::string PortalAddresses::*member;
        std::string address;
        std::string heading;
    };
    std::vector<AddressSet> m_addressesSet;
};

// The portals the build reaches by https that the files moved to http (AllowPlainHttp allowed it).
std::vector<ClearTextPortal> clearTextPortals(const PortalAddresses& addresses, const PortalAddresses& builtIn) {
    std::vector<ClearTextPortal> portals;
    std::vector<std::string PortalAddresses::*> seen;
    for (const ProviderProfile* profile : allProfiles()) {
        const auto member = profile->baseAddress;
        if (!isHttps(builtIn.*member) || isHttps(addresses.*member)) continue;
        if (std::find(seen.begin(), seen.end(), member) != seen.end()) {
            portals.back().profiles += ", " + std::string(profile->name);
            continue;
        }
        seen.push_back(member);
        portals.push_back({std::string(profile->name), addresses.*member});
    }
    return portals;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool validBaseAddress(const std::string& address) {
    std::string_view rest = address;
    if (rest.starts_with("https://"))
        rest.remove_prefix(8);
    else if (rest.starts_with("http://"))
        rest.remove_prefix(7);
    else
        return false;
    std::string_view host = rest;
    const std::size_t colon = rest.rfind(':');
    if (colon != std::string_view::npos && rest.find(']', colon) == std::string_view::npos) {
        const std::string_view port = rest.substr(colon + 1);
        host = rest.substr(0, colon);
        if (port.empty() || port.size() > 5) return false;
        int value = 0;
        for (const char c : port) {
            if (!isDigit(c)) return false;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) return false;
    }
    return validHost(host);
}

std::string clearTextNotice(const ClearTextPortal& portal) {
    return portal.profiles + " sends logins and passwords in clear to " + portal.address +
           ": Portals.ini allows it (AllowPlainHttp = yes)";
}

std::vector<std::string> portalsIniFiles(const std::string& settingsPath, const char* xdgConfigDirs) {
    std::vector<std::string> folders;
    const std::string dirs = xdgConfigDirs && *xdgConfigDirs ? xdgConfigDirs : "/etc/xdg";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
        std::string folder = dirs.substr(start, colon - start);
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (folder.starts_with('/')) folders.push_back(folder);
        start = colon + 1;
    }
    std::vector<std::string> files;
    // The first folder of the list is the most important: it comes last.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        files.push_back(*it + (it->ends_with('/') ? "" : "/") + "korvex/" + kPortalsIniName);
    files.push_back(folderOf(settingsPath) + kPortalsIniName);
    return files;
}

PortalsSetup applyPortalsIni(PortalAddresses builtIn, const std::vector<std::string>& files) {
    return applyPortalsIniWith(std::move(builtIn), files, {}, {});
}

PortalsSetup applyPortalsIniWith(PortalAddresses builtIn, const std::vector<std::string>& files,
                                 const std::string& changedFile, const std::string& changedText) {
    PortalsSetup setup;
    setup.addresses = builtIn;
    auto edits = std::make_shared<ProfileEdits>();
    for (const std::string& file : files) {
        const PortalsIniText read =
            !changedFile.empty() && file == changedFile ? PortalsIniText{true, changedText, {}} : readPortalsIni(file);
        if (!read.exists) continue;
        const std::string prefix = file + " ";
        if (!read.problem.empty()) {
            noteProblem(setup, prefix + read.problem + "; nothing of it is used");
            continue;
        }
        std::vector<Section> sections;
        std::vector<std::string> loose;
        std::string problem;
        if (!parseSections(read.text, sections, loose, problem)) {
            noteProblem(setup, prefix + problem + "; nothing of it is used");
            continue;
        }
        FileApplier(setup, *edits, file, builtIn).apply(sections, loose);
    }
    if (setup.problemCount > kMaxNamedPortalsProblems)
        setup.problems.push_back("and " + std::to_string(setup.problemCount - kMaxNamedPortalsProblems) +
                                 " more problems");
    setup.clearText = clearTextPortals(setup.addresses, builtIn);
    edits->finish();
    if (!edits->empty()) setup.addresses.edits = std::move(edits);
    return setup;
}

PortalsSetup loadPortals(const std::string& settingsPath) {
    return applyPortalsIni(PortalAddresses::fromBuild(),
                           portalsIniFiles(settingsPath, std::getenv("XDG_CONFIG_DIRS")));
}

std::string portalsIniTemplate(const PortalAddresses& addresses) {
    std::string out =
        "; Portals.ini: where Korvex finds the operators' portals and what it reads on their pages.\n"
        ";\n"
        "; Korvex reads this file at start, beside Settings.ini, and under it in priority\n"
        "; $XDG_CONFIG_DIRS/korvex/Portals.ini (/etc/xdg/korvex/Portals.ini). korvex-cli profiles set\n"
        "; NAME Address URL writes an address here and leaves every other line as it is.\n"
        "; Every key below is commented out and holds the value Korvex uses now: remove the \";\" before\n"
        "; a key to change it. Write the file in UTF-8. Double quotes keep blanks at a value's ends.\n"
        ";   Address     scheme and host with an optional port, nothing after it\n"
        ";   AllowPlainHttp  yes lets Address take an https portal to http: its passwords then travel in clear\n"
        ";   Path        path and query of the balance request\n"
        ";   LogoutPath  path and query of the logout request (STV only)\n"
        ";   Balance, Speed, Status  the pattern that finds that column's value; group 1 is the value\n"
        "; A section with a bad value is not used at all; Korvex says so at start.\n"
        "; Test a changed pattern on a saved page: korvex-cli profiles test \"NAME\" PAGE.html\n";
    for (const ProviderProfile* profile : allProfiles()) {
        out += "\n[" + std::string(profile->name) + "]\n; plan codes:";
        for (const std::string_view code : profile->planCodes) out += " " + cp1251ToUtf8(code);
        out += "\n";
        if (profile->baseAddress == &PortalAddresses::spaceGate15_21)
            out +=
                "; SpaceGate 15 and SpaceGate 21 share one portal: an Address in either section moves "
                "both.\n";
        if (profile->baseAddress == &PortalAddresses::stv)
            out += "; STV and STV 2 share one portal: an Address in either section moves both.\n";
        const ProviderProfile& current = effectiveProfile(addresses, *profile);
        out += ";Address = " + addresses.*profile->baseAddress + "\n";
        if (isHttps(addresses.*profile->baseAddress)) out += ";AllowPlainHttp = no\n";
        out += ";Path = \"" + std::string(current.path) + "\"\n";
        if (!current.logoutPath.empty()) out += ";LogoutPath = \"" + std::string(current.logoutPath) + "\"\n";
        for (const CheckStep& step : current.steps)
            if (step.kind == StepKind::Pattern)
                out +=
                    ";" + std::string(patternStepKey(step)) + " = \"" + cp1251ToUtf8(step.pattern) + "\"\n";
    }
    out += "\n[Publisher]\n; the publisher site: its pages and the news text (/news.txt)\n;Address = " +
           addresses.publisher + "\n";
    if (kBuildSignsUpdates)
        out += "; the server of the update information (/inf), signed with this build's key\n;UpdateAddress = " +
               addresses.updateInfo + "\n";
    return out;
}

}  // namespace korvex
