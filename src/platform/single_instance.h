#pragma once
// One running copy of Korvex per user. The guard is an exclusive flock() on a file in the user's
// runtime folder: the kernel drops the lock when the process ends in any way (a crash or kill -9
// included), so a dead copy never blocks the next start. The window and korvex-cli take the same
// lock, so each refuses while the other runs.
#include <string>

namespace korvex {

inline constexpr const char* kInstanceName = "Korvex 2.0";
inline constexpr const char* kSecondCopyMessage =
    "\xC7\xE0\xEF\xF3\xF1\xEA \xE2\xF2\xEE\xF0\xEE\xE9 \xEA\xEE\xEF\xE8\xE8 \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB "
    "\xED\xE5\xE4\xEE\xEF\xF3\xF1\xF2\xE8\xEC.";  // "Запуск второй копии программы недопустим." in cp1251

class SingleInstance {
public:
    // Takes the lock in `folder` (empty: the user's runtime folder, see defaultLockFolder()).
    explicit SingleInstance(const std::string& folder = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another copy holds the lock (or the lock file could not be made at all, which
    // is reported by error()).
    bool acquired() const { return m_fd >= 0; }
    bool anotherCopyRuns() const { return m_otherCopy; }
    const std::string& error() const { return m_error; }
    const std::string& lockPath() const { return m_path; }

    // $XDG_RUNTIME_DIR when it is set and usable, else a private 0700 folder /tmp/korvex-<uid>.
    static std::string defaultLockFolder();

private:
    int m_fd = -1;
    bool m_otherCopy = false;
    std::string m_path;
    std::string m_error;
};

}  // namespace korvex
