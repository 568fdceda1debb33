#pragma once
// The update info file's readers (over the verified bytes, up_trusted_info.h) and the version
// decisions made from them.
#include <string>
#include <string_view>
#include <vector>

#include "update/check/trusted_info.h"

namespace korvex {

enum TupUpgradeMethod { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };
enum TupUpdaterVersionControl { byDate, byNumber };

// The file entries of a verified info file (TrustedInfo::fileList).
std::vector<std::string> infoFileList(const update::TrustedInfo& info);
// "#method": "1" external setup, "2" redirect, anything else self-upgrade (first character).
TupUpgradeMethod infoUpgradeMethod(const update::TrustedInfo& info);

// byNumber: four dot-separated fields each (missing ones "0"), each read after removing the blanks
// around it; at the first position where either is not an integer the whole strings are compared
// byte by byte; otherwise the first differing integers decide.
bool isNewerNumber(std::string_view offered, std::string_view running);
// byDate: month/day/year each; a text that does not read as a date counts as `today`.
bool isNewerDate(std::string_view offered, std::string_view running, std::string_view today);
// Today as month/day/year with two-digit month and day ("12/26/2008").
std::string todayText();

// A server's text made safe for a terminal or a box: every control byte (below 32, DEL, and 0x98,
// which cp1251 leaves undefined) but the line feed becomes "?", and a CR LF pair a line feed.
std::string printableText(std::string_view text);

}  // namespace korvex
