#include <gtest/gtest.h>

#include "korvex-cli/check_update_command.h"
#include "korvex-cli/command_line.h"
#include "platform/codepage.h"
#include "tests/cli/cli_test_support.h"

namespace korvex::test {
namespace {

TEST(CheckUpdateCommand, OfferedNotOfferedAndEveryFailure) {
    DemoPortals portals;
    struct Case {
        const char* what;
        std::string updateInfo;  // the server of the info file
        std::string infoFile;    // served at /inf instead of the demo's own ("" keeps it)
        int status;
        std::string out, err;    // expected beginnings ("" for nothing at all)
    };
    const std::string publisher = portals.baseUrl(PortalId::Publisher);
    const Case cases[] = {
        {"the demo offers 3.2.0.2", publisher, "", 0,
         "Newer version offered: 3.2.0.2 (running 3.2.0.1)\nДемонстрационный выпуск 3.2.0.2", ""},
        {"the same version", publisher, "#version=3.2.0.1\r\n#url=" + publisher + "/download/korvex\r\n", 1,
         "No newer version offered (running 3.2.0.1, offered 3.2.0.1)", ""},
        {"a newer version without a file", publisher, "#version=3.2.0.9\r\n", 1, "No newer version offered", ""},
        {"no info file", publisher + "/nowhere", "", 2, "",
         "korvex-cli: the update server has no update information at " + publisher + "/nowhere/inf (status 404)"},
        {"no server", "http://127.0.0.1:1", "", 2, "",
         "korvex-cli: the update server 127.0.0.1 cannot be reached (http://127.0.0.1:1/inf)"},
        {"an entry that writes outside", publisher,
         "#version=3.2.0.9\r\n#url=" + publisher + "/download/korvex=../../escaped\r\n", 2, "",
         "korvex-cli: the update information at " + publisher +
             "/inf names a file outside the folders an update may write: " + publisher +
             "/download/korvex=../../escaped"},
    };
    for (const Case& c : cases) {
        if (!c.infoFile.empty()) portals.setPublisherFile("/inf", utf8ToCp1251(c.infoFile), "text/plain");
        PortalAddresses addresses = demoPortalAddresses(portals);
        addresses.updateInfo = c.updateInfo;
        CliFolder folder(addresses);
        EXPECT_EQ(checkUpdateCommand(folder.context()), c.status) << c.what;
        EXPECT_EQ(folder.out.str().substr(0, c.out.size()), c.out) << c.what;
        EXPECT_EQ(folder.err.str(), c.err.empty() ? "" : c.err + "\n") << c.what;
    }
}

TEST(CheckUpdateCommand, ABadProxyPortIsAFailureAndTheCommandTakesNoOperand) {
    CliFolder folder;
    folder.writeAccounts({{"u", "p", "42", "h"}}, {true, "127.0.0.1", "80x"});
    EXPECT_EQ(checkUpdateCommand(folder.context()), kExitCheckFailed);
    EXPECT_NE(folder.err.str().find("'80x' is not a valid integer value"), std::string::npos) << folder.err.str();

    EXPECT_EQ(parseCommandLine({"check-update"}).command, CliCommand::CheckUpdate);
    EXPECT_THROW(parseCommandLine({"check-update", "now"}), CliUsageError);
    EXPECT_NE(helpText(CliCommand::Help).find("check-update"), std::string::npos);
}

}  // namespace
}  // namespace korvex::test
