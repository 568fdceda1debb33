#pragma once
// An installation as one transaction. The helper first writes a journal into the program folder
// that names every file it is about to put in place; each rename keeps what it replaces as
// "<name>.updold" (a second name of the same file, made before the rename, so the final name is
// never missing). Only when every file is in place are the old copies, the queue and the journal
// deleted. A journal found at the next start of korvex or korvex-cli means the helper was cut short
// (killed, the machine stopped): the installation is finished when every new file is still there,
// and otherwise rolled back to the old files, so the program folder never holds two releases.
//
// The journal is locked (flock) by whoever works on it, so a start of korvex never touches an
// installation that a running helper is still doing. Its lines, LF ended:
//   korvex-update-journal 1
//   state installing|installed |undone       (fixed width: rewritten in place)
//   queue <the queue file's path>
//   R <final path>    a file that replaces an existing one, whose old copy is <final path>.updold
//   N <final path>    a file that had no predecessor
//   D <final path>    a file the installation takes away (an undo: a file the undone update added); until
//                     the end it is kept as <final path>.updold
//   undo <folder>     the installation puts back the previous version kept in <folder> (kept_version.h)
#include <iosfwd>
#include <string>
#include <vector>

#include "updatehelper/confinement.h"

namespace korvex::updatehelper {

inline constexpr const char* kJournalFileName = "UpdateJournal.txt";
inline constexpr const char* kBackupSuffix = ".updold";
// A journal that names a file outside the folders an update may write is kept under this name
// beside the program, untouched, and never read again.
inline constexpr const char* kRefusedJournalSuffix = ".refused";

// One file of the installation: "<target>.updtmp" becomes "<target>".
struct InstallStep {
    std::string target;
    bool replaces = false;  // a file stood at `target` when the installation began
    bool removes = false;   // no new file: `target` is taken away (kept as "<target>.updold" until the end)
};

enum class JournalState { Installing, Installed, Undone };

// A journal on disk, held locked by this process while the object lives (move-only).
class InstallJournal {
public:
    InstallJournal() = default;
    ~InstallJournal();
    InstallJournal(InstallJournal&& other) noexcept;
    InstallJournal& operator=(InstallJournal&& other) noexcept;
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    // Writes and locks a new journal at `path` (whole or not at all, synced to disk). False with
    // `error` set when it cannot be written: nothing may then be installed.
    bool create(const std::string& path, const std::string& queuePath, std::vector<InstallStep> steps,
                std::string* error, const std::string& undoFolder = {});

    // Every file put in place, in order; a file already moved by an earlier, interrupted run is
    // recognised and passed over. When one cannot be (its new file is gone or is no regular file,
    // a rename fails), everything is rolled back and false is answered. The journal then says
    // Installed or Undone.
    bool rollForward(std::ostream& log);

    // Deletes what the installation no longer needs: the old copies (or, after a roll-back, the
    // new files), the queue and last the journal itself, unless it is kept for the next start to
    // tell the user of a roll-back.
    void finish(bool keepJournal = false);

    JournalState state() const noexcept { return m_state; }
    // The first path of the journal (a step or the queue) that confinedPath refuses; "" when
    // every one lies where an update may write.
    std::string pathOutside(const PathMacroFolders& folders) const;
    const std::vector<InstallStep>& steps() const noexcept { return m_steps; }
    // The kept previous version this installation puts back; "" for an update.
    const std::string& undoFolder() const noexcept { return m_undoFolder; }
    // Takes everything back (see rollForward) and says Undone.
    void rollBack(std::ostream& log);

    // Opens and locks the journal at `path`. Missing, unreadable, not ours, or locked by a helper
    // that is still at work: false, and `busy` says whether it was the lock.
    bool open(const std::string& path, bool* busy);

private:
    bool takeAway(const InstallStep& step, std::ostream& log);
    void setState(JournalState state);
    void close();

    int m_fd = -1;
    std::string m_path;
    std::string m_queuePath;
    std::string m_undoFolder;
    std::vector<InstallStep> m_steps;
    JournalState m_state = JournalState::Installing;
};

// What the start of korvex or korvex-cli found of an earlier installation.
enum class InterruptedInstall {
    None,        // nothing to do (or a helper is still at work on it)
    Finished,    // it was finished: the new release is in place
    RolledBack,  // it was undone: the old release is in place
    Refused,     // it names a file outside the folders an update may write: nothing was touched,
                 // the journal was renamed aside (kRefusedJournalSuffix)
    UndoFinished,    // an undo was finished: the previous version is back in place
    UndoRolledBack,  // an undo was taken back: the version of the last update is in place, still kept
};

// Looks for the journal of `programFolder` and finishes or undoes what it describes. Called first
// thing at every start, so that nothing reads or deletes a file of a half-done installation. Only
// a journal whose every path passes confinedPath (the program folder, the macros' folders with
// this user's private temporary folder) is acted on; the folders are looked up only when there
// is a journal.
InterruptedInstall recoverInterruptedInstall(const std::string& programFolder, std::ostream& log);

}  // namespace korvex::updatehelper
