#pragma once
// Going back to the version before the last update, and saying what is new: what the window's
// "О программе" tab and korvex-cli ask of the kept previous version (updatehelper/kept_version.h)
// and of the note of the release in place. The texts come in the front's language.
#include <optional>
#include <string>

#include "platform/notice_language.h"
#include "update/install/paths.h"

namespace korvex::update {

// Settings.ini, section "UPDATE", key "Undone": the version the user went back from, as plain text.
// No check offers it (or an older one) again; a newer one is offered as before.
inline constexpr const char* kUpdateSection = "UPDATE";
inline constexpr const char* kUndoneKey = "Undone";

// The version the file remembers as undone; "" when none, or when the value is no version number.
std::string readUndoneVersion(const std::string& settingsPath);
// Remembers `version` as undone, every other line of the file kept. Throws SettingsWriteError.
void rememberUndoneVersion(const std::string& settingsPath, const std::string& version);

// The kept previous version, as an undo would accept it.
struct PreviousVersion {
    std::string running;   // the version the last update installed
    std::string previous;  // the version it replaced, which an undo brings back
};
// nullopt when nothing is kept; a kept folder an undo would refuse also gives nullopt, with the
// refusal (one line, English) in `refusal`.
std::optional<PreviousVersion> keptPreviousVersion(const UpFolders& folders, std::string* refusal = nullptr);

// The caption of the window's button: both versions named.
std::string undoButtonText(const PreviousVersion& kept);

// The window: the kept version checked, its running version remembered as undone in `settingsPath`,
// the undo handed to the helper, which puts it back once the program has ended and starts it again.
// "" when the program may now close; otherwise what went wrong, in Russian, and nothing was changed.
std::string startUndo(const UpFolders& folders, const std::string& restartParams,
                      const std::string& settingsPath);

// korvex-cli: puts the kept version back now, through the same journal, and remembers the undone
// version. Refused while a program of the kept version runs (the window). "" when done; otherwise the reason,
// one line in English.
std::string undoNow(const UpFolders& folders, const std::string& settingsPath);

// What is new: which version runs now after an update or an undo, and the info file's message of
// that version when it had one; "" when no update or undo has left a note. With `once` only a note
// not shown yet, which is then marked as shown.
std::string releaseNews(const std::string& programFolder, NoticeLanguage language, bool once);

}  // namespace korvex::update
