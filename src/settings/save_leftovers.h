#pragma once
// A save writes the whole settings file into a temporary file beside it ("Settings.ini.tmp-" and six
// characters) and renames that over the file. A save cut short (a crash, kill -9, power lost) leaves
// the temporary file behind, with every login and password in it. Each start removes such leftovers.
#include <string>

namespace korvex {

// Removes the leftovers of earlier saves of the settings file at `settingsPath` (a link is followed,
// as a save follows it): regular files of this user, named exactly as a save names them, that no save
// is writing (a save holds a lock on its temporary file while writing it). Answers how many went.
// Call it while holding the single-copy lock, so that no other copy of ours is between its write and
// its rename. Nothing else is touched, and failures are left for the next start.
int removeSaveLeftovers(const std::string& settingsPath);

}  // namespace korvex
