#pragma once
// The previous version, kept after an update so that the user can go back to it, and the note of the
// release in place, which the first start after an update or an undo shows once.
//
// The kept folder, kKeptFolderName in the program folder beside the journal: private (0700), one
// level, only regular files of this user: "0", "1", ... the replaced files, "note" the release note
// of the version they belong to (when it had one), and last the list kKeptListName:
//   korvex-previous-version 1
//   from <the version the update replaced>
//   to <the version it installed>
//   R <final path>    a replaced file; its copy is the file named by the number of R lines before it
//   N <final path>    a file the update added; an undo takes it away
// Only the latest update is kept: the next one drops it before it installs anything, an undo uses it
// up. An update whose replaced files are much larger than its own keeps nothing (kKeptBytesLimit).
//
// The release note (kReleaseNoteName, in the private temporary folder while korvex hands an update
// over, then in the program folder for the release in place), LF ended:
//   korvex-release 1
//   version <the version in place>
//   from <the version it replaced>      (hand-over only)
//   undone <the version an undo took away>
//   failed <why the last undo put nothing back>      (the version line may then be missing)
//   shown 0|1
//   message
//   <the info file's message of that version, to the end of the file>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "updatehelper/confinement.h"
#include "updatehelper/install_journal.h"

namespace korvex::updatehelper {

inline constexpr const char* kKeptFolderName = "UpdatePrevious";
inline constexpr const char* kKeptListName = "files.txt";
inline constexpr const char* kKeptNoteName = "note";
inline constexpr const char* kReleaseNoteName = "UpdateRelease.txt";
// The largest note or list read; a message longer than the info file could hold is none of ours.
inline constexpr std::uint64_t kMaxNoteBytes = 1024 * 1024 + 4096;
// The replaced files may take twice the update's own bytes and a MiB more (a release that shrank,
// small files), never more.
std::uint64_t keptBytesLimit(std::uint64_t updateBytes);

struct ReleaseNote {
    std::string version;
    std::string from;
    std::string undone;
    bool shown = false;
    std::string message;
    std::string failed;

    bool operator==(const ReleaseNote&) const = default;
};

// The note's text, and back; nullopt for text that is not a note (wrong header, no version, a line
// cut short, longer than kMaxNoteBytes).
std::string releaseNoteText(const ReleaseNote& note);
std::optional<ReleaseNote> parseReleaseNote(const std::string& text);
// The note at `path`, a regular file of this user (a link is not followed); nullopt when there is none.
std::optional<ReleaseNote> readReleaseNote(const std::string& path);
// Written whole or not at all, mode 0600, a link at `path` replaced rather than followed.
bool writeReleaseNote(const std::string& path, const ReleaseNote& note);

// One file of the kept version.
struct KeptFile {
    std::string target;
    bool replaced = false;  // R: its copy is kept under `copy`; N: added by the update
    std::string copy;       // the copy's name in the kept folder
};

struct KeptVersion {
    std::string folder;  // ends with "/"
    std::string from, to;
    std::vector<KeptFile> files;
};

// `folder` (with or without a trailing "/") is the kept folder of the program folder `programFolder`.
bool keptFolderOf(const std::string& folder, const std::string& programFolder);

// The kept version of `programFolder`, checked as an undo checks it: the folder a regular folder of
// this user open to no one else, every entry in it a regular file of this user, the list whole, and
// every path it names one that confinedPath accepts under `folders` and that is not in the kept folder
// itself. nullopt when nothing is kept; a folder that fails a check gives `refusal` (one line) and
// nullopt.
std::optional<KeptVersion> readKeptVersion(const std::string& programFolder, const PathMacroFolders& folders,
                                           std::string* refusal = nullptr);

// After a successful update (`journal` says Installed, its old copies still at their ".updold" names):
// the old copies move into a new kept folder, with the note of the release they belong to, in place of
// the one kept before; then `newNote` (the hand-over's note, or none) becomes the note of the release
// in place. An update whose old copies are over keptBytesLimit keeps nothing.
void keepPreviousVersion(const InstallJournal& journal, const std::string& programFolder,
                         const std::optional<ReleaseNote>& newNote, std::ostream& log);

// Drops the kept folder of `programFolder`: only its own files are deleted, nothing through a link.
void dropKeptVersion(const std::string& programFolder);

// Puts the kept version of `programFolder` back as one transaction (install_journal.h): every
// replaced file restored, every added file taken away. Nothing is changed when the kept folder is
// refused or a copy cannot be staged. False with the reason in `log` (the first line says it).
bool undoKeptVersion(const std::string& programFolder, const std::string& tempFolder, std::ostream& log);

// The helper's undo for the window put nothing back: the note of the release in place says why, for
// the start it makes next (the program closed for the undo and can be told no other way).
void noteUndoFailure(const std::string& programFolder, const std::string& reason);

// Once an undo is in place: the kept note becomes the note of the release in place, naming the
// version undone, and the kept folder goes. Done again by a start that finds the undo's journal.
void finishUndo(const std::string& programFolder, std::ostream& log);

}  // namespace korvex::updatehelper
