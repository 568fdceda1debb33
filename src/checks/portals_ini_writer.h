#pragma once
// Setting a portal's address in the user's Portals.ini (the one beside Settings.ini), for
// `korvex-cli profiles set` and the window. The change is checked by the very rules the start
// applies (applyPortalsIniWith over every Portals.ini, the changed one in place): an address the
// start would not use is refused and the file is left as it was. Only the Address line of the one
// section changes; every other section, key, comment, blank and line ending stays byte for byte.
// The file is replaced whole through writeFileAtomically.
#include <optional>
#include <string>

#include "platform/expected.h"

namespace korvex {

// `text` (a Portals.ini) with the Address of section `section` (compared without regard to ASCII
// case; a section named twice: its first) set to `address`, or removed when there is none. A
// section that is not there is added at the end.
std::string withPortalAddress(const std::string& text, const std::string& section,
                              const std::optional<std::string>& address);

struct PortalAddressWrite {
    std::string file;     // the Portals.ini written (or that would have been)
    bool changed = false; // false: the file already said so
};

// Sets (or, with no `address`, removes) the Address of profile `name` (or "Publisher") in the
// Portals.ini beside `settingsPath`. Refused, with the file unchanged: a name of no profile, an
// address the start would not use (the reasons as the start gives them), a file that cannot be read
// as the start reads it, a failed write. Messages are English, for korvex-cli.
Expected<PortalAddressWrite> writePortalAddress(const std::string& settingsPath, const std::string& name,
                                                const std::optional<std::string>& address);

}  // namespace korvex
