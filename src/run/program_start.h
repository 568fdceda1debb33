#pragma once
// What both programs do first, the one way, in this order: an update that the helper left half-done
// is finished or undone before anything else reads a file of this program; the locks are taken (one
// writer of a book at a time, window or korvex-cli; the window also one copy per user); with the
// book's lock ours, what a crashed save left beside the settings file goes; Portals.ini is read
// (beside the settings file, and the administrator's under it).
#include <optional>
#include <string>

#include "checks/portals_ini.h"
#include "platform/single_instance.h"

namespace korvex {

enum class StartLocks {
    None,        // a command that only reads: no lock, nothing removed
    Book,        // korvex-cli's writers: the book's lock alone, so another book runs beside the window
    CopyAndBook  // the window: one copy per user, and its book
};

class ProgramStart {
public:
    // The first step, before anything else (the command line included): settles an interrupted install.
    ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    // What settling an interrupted install said ("" when there was none), for the user once.
    std::string installNote;
    // The lock that was not taken (another copy holds it, or why it could not be taken); null when
    // every lock asked for is ours. Nothing after the locks was done then.
    const SingleInstance* refused = nullptr;
    PortalsSetup portals;

    // The rest, for the book at `settingsPath`: the locks, the leftovers, Portals.ini. Answers false
    // when a lock was refused (`refused`). `lockFolder`: the main's lockFolderOfThisCopy() (a test
    // copy is built to take another folder).
    bool open(const std::string& settingsPath, StartLocks locks, const std::string& lockFolder);

private:
    std::optional<SingleInstance> m_copy;
    std::optional<SingleInstance> m_book;
};

}  // namespace korvex
