#pragma once
// One running copy of Korvex per user, and one writer per book. The guard is an exclusive flock() on
// a file in the user's lock folder: the kernel drops the lock when the process ends in any way (a
// crash or kill -9 included), so a dead copy never blocks the next start. The window takes the
// user's lock (one window per user) and the lock of its book (its Settings.ini); korvex-cli takes
// only the lock of the book it works on. So korvex-cli refuses while the window or another
// korvex-cli works on the same book, and runs beside them on another one.
//
// The folder depends on the user alone, never on the desktop's environment: a cron job (no desktop
// session, no XDG_RUNTIME_DIR) and the window on the desktop must find the same lock, or both would
// write the same Settings.ini. It must be private, and its name must be the user's alone: a folder
// another user could write into, or make first (a name in /tmp), would let that user hold our lock,
// swap the lock file under us, or stop every run of a cron job.
#include <cstdlib>
#include <string>

namespace korvex {

inline constexpr const char* kInstanceName = "Korvex 2.0";
inline constexpr const char* kSecondCopyMessage =
    "\xC7\xE0\xEF\xF3\xF1\xEA \xE2\xF2\xEE\xF0\xEE\xE9 \xEA\xEE\xEF\xE8\xE8 "
    "\xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB "
    "\xED\xE5\xE4\xEE\xEF\xF3\xF1\xF2\xE8\xEC.";  // "Запуск второй копии программы недопустим." in cp1251

class SingleInstance {
public:
    // Takes the lock in `folder` (empty: defaultLockFolder()), making the folder (0700) when it is
    // missing. The folder must be a real folder (not a link), owned by this user and closed to
    // everybody else; a folder of ours that others may enter is closed first.
    explicit SingleInstance(const std::string& folder = {});
    // The same with a lock file of the given name (a plain file name, as bookLockName makes).
    SingleInstance(const std::string& folder, const std::string& lockFileName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another copy holds the lock (or the lock could not be taken at all, which is
    // reported by error()).
    bool acquired() const { return m_fd >= 0; }
    bool anotherCopyRuns() const { return m_otherCopy; }
    const std::string& error() const { return m_error; }
    const std::string& lockPath() const { return m_path; }

    // ~/.cache/korvex (the home folder from $HOME, else the password database): one folder per user,
    // private to the user, whatever else the environment holds. "" without a home folder.
    static std::string defaultLockFolder();
    // The name of the lock file of the book kept in `settingsPath`: one name for every way of
    // writing the same file's path (relative, through links, with "." or ".."), since it is made
    // from the real path (that of the folder when the file does not exist yet).
    static std::string bookLockName(const std::string& settingsPath);

private:
    int m_fd = -1;
    bool m_otherCopy = false;
    std::string m_path;
    std::string m_error;
};

// The lock folder of this copy of the program. The programs proper always use the user's folder.
// The copies that the test suite starts are built with KORVEX_TEST_COPY and take the folder from
// KORVEX_TEST_LOCK_FOLDER, so that test runs of several people on one machine (same user, same
// time) never meet each other's lock, nor the user's own Korvex; a program built without the
// definition has no way to be pointed elsewhere.
inline std::string lockFolderOfThisCopy() {
#ifdef KORVEX_TEST_COPY
    if (const char* folder = std::getenv("KORVEX_TEST_LOCK_FOLDER"); folder && *folder) return folder;
#endif
    return SingleInstance::defaultLockFolder();
}

}  // namespace korvex
