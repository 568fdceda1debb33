#pragma once
// Files and child processes for the settings tests; the folders are tests/support's TempDir.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "tests/support/temp_dir.h"

namespace korvex::test {

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Names in `folder` other than `keep`: what a failed save must not leave behind.
inline std::vector<std::string> strayFiles(const std::string& folder, const std::string& keep) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != keep) names.push_back(entry.path().filename().string());
    }
    return names;
}

inline constexpr uid_t kNobody = 65534;

// Runs `body` in a child process and answers the text it returns. With `unprivileged`, when the tests
// run as root the child first becomes the user `nobody`, so that file permissions bind it as they bind
// a user.
inline std::string runInChild(const std::function<std::string()>& body, bool unprivileged) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string answer;
        if (unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            answer = "could not drop privileges";
        } else {
            try {
                answer = body();
            } catch (const std::exception& e) {
                answer = std::string("unexpected exception: ") + e.what();
            }
        }
        if (::write(fds[1], answer.data(), answer.size()) < 0) ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return answer;
}

inline std::string runUnprivileged(const std::function<std::string()>& body) {
    return runInChild(body, true);
}

// Lets the unprivileged child reach `folder` (and everything the test made inside it).
inline void openToOthers(const std::string& folder) {
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                    std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                    std::filesystem::perms::others_exec);
}

}  // namespace korvex::test
