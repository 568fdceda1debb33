#pragma once
// Starting with the desktop session: the XDG autostart entry $XDG_CONFIG_HOME/autostart/korvex.desktop,
// which the session runs at login. Ours starts this program with --tray and carries the key
// X-Korvex-Autostart=true. A file of that name without it (written by hand, copied by a desktop's
// settings) or one that starts another copy of Korvex is never written over nor removed: the user is
// told what it is and what to do.
#include <string>

#include "platform/expected.h"

namespace korvex {

enum class AutostartState {
    Off,        // no entry
    On,         // our entry, and it starts this program
    OtherCopy,  // our entry, but it starts another program (another copy, or one since moved)
    Foreign,    // a file of that name that Korvex did not write, or that cannot be read as an entry
};

struct AutostartEntry {
    std::string path;  // the entry's file
    AutostartState state = AutostartState::Off;
    std::string starts;  // OtherCopy, Foreign: what its Exec line starts ("" when it has none)
};

// The entry's place: `configHome` + "/autostart/korvex.desktop"; "" without a configuration folder.
std::string autostartEntryPath(const std::string& configHome);

// The Exec line for the program at `programPath`: an installed program by its name, as the menu's
// entry names it ("korvex --tray"), a portable copy by its whole path in quotes. Nothing for a path the
// entry cannot hold (a line break, a control character).
Expected<std::string> autostartExec(const std::string& programPath);

// What the file at `entryPath` is for the program at `programPath`. Only its first 64 KiB are read; a
// larger file, a folder or a file that cannot be read is Foreign.
AutostartEntry readAutostart(const std::string& entryPath, const std::string& programPath);

// Writes the entry (`on`, in one step, with the atomic writer) or removes it, and answers the entry as
// it reads back. One that is not ours for this program is left as it is: the failure says so, in the
// words of autostartNotice.
Expected<AutostartEntry> setAutostart(const std::string& entryPath, const std::string& programPath, bool on);

// What the settings tab says of an entry it leaves alone (in Russian, UTF-8): whose it is and what to
// do; "" for Off and On.
std::string autostartNotice(const AutostartEntry& entry);

}  // namespace korvex
