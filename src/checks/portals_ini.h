#pragma once
// Portals.ini: the user's (or the administrator's) own addresses and patterns for the operators'
// portals, so that a portal that moved or a page that changed can be mended with a text editor
// instead of a new build. The template comes from `korvex-cli profiles template`; an address is
// written into the user's file by portals_ini_writer.h.
//
//   [SpectrumSat]                      one section per profile, named as the profile
//   Address = https://my.spectrum.example:8443   scheme and host, optional port: nothing after it
//   Path = "/"                         path and query of the balance request
//   LogoutPath = "/insat/gate.php?..." STV and STV 2 only
//   Balance = "Deposit: (.*?)\,"       one key per pattern step, by the column it writes:
//   Speed = "..."                      Balance, Speed, Status (as the profile's steps have them)
//   AllowPlainHttp = yes               lets Address move a portal the build reaches by https to http
//   [Publisher]
//   Address = http://publisher.example the publisher site: its pages and the news
//   UpdateAddress = https://...        the update information's server: only in a build that
//                                      checks its signature, refused otherwise
//
// Every key is optional and replaces the built-in value. The file is UTF-8; patterns are converted
// to cp1251 and then handled as the built-in ones (PlanetSky's go back to UTF-8 before use). A value
// may stand in double quotes, which keep blanks at its ends; lines beginning with ";" or "#" are
// comments. SpaceGate 15 and 21 share one portal, as do STV and STV 2: an Address in either moves it.
//
// The files, lowest priority first: $XDG_CONFIG_DIRS/korvex/Portals.ini (the last folder of the
// list first, /etc/xdg when the variable is unset), then Portals.ini in the folder of Settings.ini;
// a later file's key wins over an earlier one's.
//
// The file is read as an attacker would write it: at most kMaxPortalsIniBytes, lines of at most
// kMaxPortalsIniLine bytes, addresses checked as the build checks its own, paths that cannot leave
// the portal's host, patterns compiled (with the matcher's own limits) before anything uses them.
// A bad file costs nothing: a section with any bad value is dropped whole, so its profile keeps
// its built-in values (or an earlier file's); a file that cannot be read as text is dropped whole.
// An Address counts as bad where it lowers a portal's protection: http for a portal the build reaches
// by https (unless the section says AllowPlainHttp = yes: the passwords then travel in clear, and
// every start says so), or the portal of another operator, which the build's addresses do not share
// with this one (its passwords would go to that operator). Every problem becomes one line of text,
// said once at start by the window or korvex-cli; at most kMaxNamedPortalsProblems of them are named.
#include <cstddef>
#include <string>
#include <vector>

#include "checks/portal_addresses.h"

namespace korvex {

inline constexpr const char* kPortalsIniName = "Portals.ini";
inline constexpr std::size_t kMaxPortalsIniBytes = std::size_t{1024} * 1024;
inline constexpr std::size_t kMaxPortalsIniLine = 4096;
inline constexpr std::size_t kMaxNamedPortalsProblems = 20;

// The Portals.ini files for the settings file at `settingsPath`, lowest priority first.
// `xdgConfigDirs`: the value of $XDG_CONFIG_DIRS (nullptr when unset); relative folders in it are
// skipped, as the XDG rule says.
std::vector<std::string> portalsIniFiles(const std::string& settingsPath, const char* xdgConfigDirs);

// A portal the build reaches by https that Portals.ini moved to http, as AllowPlainHttp allowed.
struct ClearTextPortal {
    std::string profiles;  // "SpectrumSat", "SpaceGate 15, SpaceGate 21"
    std::string address;   // the http address in use
};

struct PortalsSetup {
    PortalAddresses addresses;  // the build's, with what the files changed
    // UTF-8 lines, "" free: the first kMaxNamedPortalsProblems problems, then "and N more problems".
    std::vector<std::string> problems;
    std::size_t problemCount = 0;  // all of them
    std::vector<ClearTextPortal> clearText;
};

// What every start says of a portal in `clearText`: "SpectrumSat sends logins and passwords in clear
// to http://...: Portals.ini allows it (AllowPlainHttp = yes)".
std::string clearTextNotice(const ClearTextPortal& portal);

// `builtIn` with every file of `files` applied in order; a file that does not exist is no problem.
PortalsSetup applyPortalsIni(PortalAddresses builtIn, const std::vector<std::string>& files);

// What applyPortalsIni makes of `files` when `changedFile`, one of them, holds `changedText`: a
// change is checked by the rules of the start before it is written.
PortalsSetup applyPortalsIniWith(PortalAddresses builtIn, const std::vector<std::string>& files,
                                 const std::string& changedFile, const std::string& changedText);

// One file's bytes as the start reads them: bounded, from a regular file only.
struct PortalsIniText {
    bool exists = false;
    std::string text;
    std::string problem;  // the file exists but is not read ("is larger than 1 MiB")
};
PortalsIniText readPortalsIni(const std::string& path);

// The set-up at start: the build's addresses with the files of portalsIniFiles(settingsPath,
// $XDG_CONFIG_DIRS) applied.
PortalsSetup loadPortals(const std::string& settingsPath);

// The address rule of the build's KORVEX_URL_* settings: "http://" or "https://", a host name,
// IPv4 or bracketed IPv6 address, an optional port 1 to 65535, and nothing after it.
bool validBaseAddress(const std::string& address);

// A complete Portals.ini (UTF-8) with every key of every profile set to the value of `addresses`
// and of the built-in profiles, each key commented out: as it stands it changes nothing.
std::string portalsIniTemplate(const PortalAddresses& addresses);

}  // namespace korvex
