#pragma once
// The update info file: a short 8-bit text whose values are found by key anywhere in it, and the
// version decisions made from them.
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

enum TupUpgradeMethod { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };
enum TupUpdaterVersionControl { byDate, byNumber };

// The value of `key`: found case-insensitively as `key` followed by "=", anywhere in the text; it
// runs to the first byte below 32, or, when none follows, to the end of the text less its very
// last byte. Kept as it stands (case, blanks). "" when the key is missing.
std::string infoValue(std::string_view text, std::string_view key);
// The braced value of `key`: after `key` "={" up to the first "}" (line breaks included), or, when
// none follows, to the end of the text less its last byte.
std::string infoBracedValue(std::string_view text, std::string_view key);

// The file entries: "#url" when not empty, "#url0" when not empty, then "#url<n>" for
// n = entries so far + 1, + 2, ... up to the first missing or empty one.
std::vector<std::string> infoFileList(std::string_view text);
// "#method": "1" external setup, "2" redirect, anything else self-upgrade (first character).
TupUpgradeMethod infoUpgradeMethod(std::string_view text);

// byNumber: four dot-separated fields each (missing ones "0"); at the first position where either
// is not an integer the whole strings are compared byte by byte; otherwise the first differing
// integers decide.
bool isNewerNumber(std::string_view offered, std::string_view running);
// byDate: month/day/year each; a text that does not read as a date counts as `today`.
bool isNewerDate(std::string_view offered, std::string_view running, std::string_view today);
// Today as month/day/year with two-digit month and day ("12/26/2008").
std::string todayText();

// The file name of an address: the text after its last "/" or "\".
std::string urlFileName(std::string_view url);

}  // namespace korvex
