// What a start finds of an installation cut short, laid out as the helper leaves it at each step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "updatehelper/install_journal.h"

namespace korvex::updatehelper {
namespace {

namespace fs = std::filesystem;

// Every file of one installation is in place, or none: a file that had no predecessor is taken away
// again, an old copy already made is not made twice, and a journal line without its line break was
// never written whole, so the path it names is none of the installation's.
TEST(InstallJournalRecovery, EachInterruptedStepIsFinishedOrUndoneWhole) {
    const struct {
        const char* name;
        std::string steps;  // the journal's step lines, "@" for the program folder
        std::vector<std::pair<const char*, const char*>> files;  // name, content
        bool secondName;  // "korvex.updold" made as a second name of "korvex"
        InterruptedInstall outcome;
        std::vector<std::pair<const char*, const char*>> after;  // name, content; "" for none
    } cases[] = {
        {"a new file moved, a later one gone",
         "N @added\nR @korvex\n",
         {{"added.updtmp", "new"}, {"korvex", "old"}},
         false,
         InterruptedInstall::RolledBack,
         {{"added", ""}, {"korvex", "old"}}},
        {"killed between the old copy's second name and the rename",
         "R @korvex\n",
         {{"korvex", "old"}, {"korvex.updtmp", "new"}},
         true,
         InterruptedInstall::Finished,
         {{"korvex", "new"}, {"korvex.updold", ""}, {"korvex.updtmp", ""}}},
        {"the last line cut short",
         "N @gone\nN @user",
         {{"user", "the user's"}},
         false,
         InterruptedInstall::RolledBack,
         {{"user", "the user's"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string folder = dir.path().string() + "/";
        for (const auto& [name, content] : c.files) dir.write(name, content);
        if (c.secondName) {
            ASSERT_EQ(::link(dir.file("korvex").c_str(), dir.file("korvex.updold").c_str()), 0);
        }
        std::string journal = "korvex-update-journal 1\nstate installing\nqueue " + dir.file("queue") + "\n";
        for (const char ch : c.steps) journal += ch == '@' ? folder : std::string(1, ch);
        dir.write(kJournalFileName, journal);
        std::ostringstream log;
        EXPECT_EQ(recoverInterruptedInstall(folder, log), c.outcome) << log.str();
        for (const auto& [name, content] : c.after) {
            SCOPED_TRACE(name);
            EXPECT_EQ(fs::exists(folder + name), *content != '\0');
            EXPECT_EQ(test::readFile(folder + name), content);
        }
        EXPECT_FALSE(fs::exists(folder + kJournalFileName));
    }
}

}  // namespace
}  // namespace korvex::updatehelper
