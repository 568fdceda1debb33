#pragma once
// korvex-cli profiles: the provider profiles as this copy runs them, with what Portals.ini changed.
//   profiles                     every profile: plan codes, address, paths, patterns, and for each
//                                value that Portals.ini set, the file it came from
//   profiles template            a complete Portals.ini of the values in use, every key commented out
//   profiles test NAME PAGE.html the profile's pattern steps on a saved page: each column's value or
//                                the not-found marker; exit 1 when a balance step misses
#include <string>
#include <vector>

#include "korvex-cli/cli_commands.h"

namespace korvex {

// The most bytes of a saved page that `profiles test` reads: what the check itself takes (Memo1).
std::size_t maxTestedPageBytes();

// `args` are the operands after "profiles" (checked by the command line: none, "template", or
// "test" NAME PAGE). Exit status 2 for a NAME that names no profile.
int profilesCommand(const CliContext& context, const std::vector<std::string>& args);

}  // namespace korvex
