#include <gtest/gtest.h>

#include <set>

#include "tests/support/temp_dir.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"

namespace korvex::updatehelper {
namespace {

// What korvex passes and what the helper makes of it must agree for every kind of program path
// and restart parameters: a space or a "+" in the path, one blank as the parameters.
TEST(HelperCommandLine, ArgumentsFromKorvexComeBackWhole) {
    const struct {
        const char* program;
        const char* params;
        bool external;
        std::vector<std::string> restartArgs;
    } cases[] = {
        {"/opt/korvex/korvex", " ", false, {}},
        {"/opt/korvex/korvex", "/afterupdate", false, {"/afterupdate"}},
        {"/home/u/My Apps/Корвекс/korvex", "/afterupdate x", true, {"/afterupdate", "x"}},
        {"/home/u/c++ tools/korvex", "+x", false, {"+x"}},
        {"/home/u/a  b/korvex", "", true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const std::set<std::string> files{c.program};
        const auto request = parseJoinedCommandLine(joinArguments(helperArguments(c.program, c.params, c.external)),
                                                    [&](const std::string& p) { return files.count(p) > 0; });
        ASSERT_TRUE(request);
        EXPECT_EQ(request->programPath, c.program);
        EXPECT_EQ(request->restartParams, c.params);
        EXPECT_EQ(request->externalSetup, c.external);
        EXPECT_EQ(splitRestartParams(request->restartParams), c.restartArgs);
        EXPECT_EQ(request->programFolder, std::string(c.program).substr(0, std::string(c.program).rfind('/') + 1));
    }
}

// The command line as Windows split it, one argument per blank: joining gives the text back.
TEST(HelperCommandLine, SplitArgumentsAreJoinedAgain) {
    const auto request = parseJoinedCommandLine(joinArguments({"/tmp/my", "dir/korvex", "+", "1"}),
                                                [](const std::string&) { return false; });
    ASSERT_TRUE(request);
    EXPECT_EQ(request->programPath, "/tmp/my dir/korvex");
    EXPECT_EQ(request->restartParams, " ");
    EXPECT_TRUE(request->externalSetup);
}

TEST(HelperCommandLine, ATextWithoutPlusNamesNoProgram) {
    EXPECT_FALSE(parseJoinedCommandLine("/opt/korvex/korvex ", [](const std::string&) { return true; }));
    std::ostringstream out, log;
    EXPECT_EQ(runHelper({"/opt/korvex/korvex"}, "/nonexistent/UpdateQueue.txt", out, log), 2);
    EXPECT_EQ(runHelper({}, "/nonexistent/UpdateQueue.txt", out, log), 0);
    EXPECT_NE(out.str().find(kHelperTitle), std::string::npos);
}

TEST(HelperQueue, LinesEndedByCrLfOrLfBlankLinesSkipped) {
    test::TempDir dir;
    const std::string queue = dir.write("UpdateQueue.txt", "/a/b c\r\n\r\n/d/é.dat\n/e");
    EXPECT_EQ(readQueue(queue), (std::vector<std::string>{"/a/b c", "/d/é.dat", "/e"}));
    EXPECT_TRUE(readQueue(dir.file("missing")).empty());
}

}  // namespace
}  // namespace korvex::updatehelper
