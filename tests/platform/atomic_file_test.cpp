// Replacing a file in one step: whatever step fails, the old file stays whole and nothing is left
// beside it. The settings file's in-place rewrite, for folders that refuse new files, is tried as
// an unprivileged user in tests/settings/settings_file_test.cpp.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/failing_file_calls.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

namespace failing = test::failing;

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(AtomicFile, AFailedStepLeavesTheOldFileWholeAndSaysWhy) {
    const FileWriteCalls system = systemFileWriteCalls();
    const struct {
        const char* name;
        FileWriteCalls calls;
        int error;  // 0: written
        std::string step;
    } cases[] = {
        {"every call works", system, 0, ""},
        {"a full disk", {&failing::writeFails, system.fsync, system.rename}, ENOSPC, "writing the temporary file"},
        {"a write that stops halfway", {&failing::writeStopsHalfway, system.fsync, system.rename}, ENOSPC,
         "writing the temporary file"},
        {"a write that writes nothing", {&failing::writeWritesNothing, system.fsync, system.rename}, EIO,
         "writing the temporary file"},
        {"a flush that fails", {system.write, &failing::fsyncFails, system.rename}, EIO,
         "flushing the temporary file to the disk"},
        {"a rename that fails", {system.write, system.fsync, &failing::renameFails}, EXDEV,
         "renaming the temporary file over it"},
    };
    for (const bool keepExisting : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (keepExisting ? ", as the settings file" : ""));
            failing::writes = 0;
            test::TempDir dir;
            const std::string path = dir.write("file.txt", "the old text\n");
            AtomicWriteOptions options;
            options.keepExisting = keepExisting;
            options.calls = c.calls;
            const Expected<void> written = writeFileAtomically(path, "the new, longer text\n", options);
            EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"file.txt"}) << "no temporary file left";
            if (c.error == 0) {
                EXPECT_TRUE(written);
                EXPECT_EQ(test::readFile(path), "the new, longer text\n");
                continue;
            }
            ASSERT_FALSE(written);
            EXPECT_EQ(written.error().code, std::error_code(c.error, std::generic_category()));
            EXPECT_EQ(written.error().message, path + ": " + c.step + ": " + std::strerror(c.error));
            EXPECT_EQ(test::readFile(path), "the old text\n");
        }
    }
}

TEST(AtomicFile, ModesLinksAndMissingFolders) {
    test::TempDir dir;
    // A new file gets the mode asked for, also against the umask.
    AtomicWriteOptions shared;
    shared.mode = 0644;
    ASSERT_TRUE(writeFileAtomically(dir.file("new.txt"), "x", shared));
    EXPECT_EQ(modeOf(dir.file("new.txt")), 0644u);
    ASSERT_TRUE(writeFileAtomically(dir.file("private.txt"), "x"));
    EXPECT_EQ(modeOf(dir.file("private.txt")), 0600u);

    // An existing file gets that mode too, unless it is kept as a write in place would keep it.
    const std::string existing = dir.write("existing.txt", "old");
    ::chmod(existing.c_str(), 0640);
    AtomicWriteOptions kept;
    kept.keepExisting = true;
    ASSERT_TRUE(writeFileAtomically(existing, "kept", kept));
    EXPECT_EQ(modeOf(existing), 0640u);
    ASSERT_TRUE(writeFileAtomically(existing, "replaced"));
    EXPECT_EQ(modeOf(existing), 0600u);

    // A link stays a link; the file it leads to is replaced.
    std::filesystem::create_directory(dir.path() / "elsewhere");
    const std::string target = dir.write("elsewhere/real.txt", "old");
    std::filesystem::create_symlink(target, dir.file("link.txt"));
    ASSERT_TRUE(writeFileAtomically(dir.file("link.txt"), "through the link"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.txt")));
    EXPECT_EQ(test::readFile(target), "through the link");
    EXPECT_EQ(namesIn(dir.path() / "elsewhere"), std::vector<std::string>{"real.txt"});

    // A link to nowhere, and a folder that is not there: nothing is made.
    std::filesystem::create_symlink(dir.file("gone.txt"), dir.file("dangling.txt"));
    const Expected<void> dangling = writeFileAtomically(dir.file("dangling.txt"), "x");
    ASSERT_FALSE(dangling);
    EXPECT_EQ(dangling.error().code, std::error_code(ENOENT, std::generic_category()));
    EXPECT_FALSE(writeFileAtomically(dir.file("no/such/folder.txt"), "x"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("gone.txt")));
}

}  // namespace
}  // namespace korvex
