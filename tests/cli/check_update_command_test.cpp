#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <tuple>

#include "korvex-cli/commands/check_update_command.h"
#include "korvex-cli/command_line.h"
#include "platform/codepage.h"
#include "tests/cli/cli_test_support.h"
#include "tests/support/test_server.h"
#include "tests/update/tampered_info_files.h"

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

// Under a publisher key, every attacker's variant of a signed info file ends the command with exit
// 2 and a line that names the rule; a file that is none, or a gigabyte, says so; control bytes of the
// message never reach the terminal.
TEST(CheckUpdateCommand, EachCauseOfAFailedCheckHasItsLine) {
    DemoPortals portals;
    const std::string publisher = portals.baseUrl(PortalId::Publisher);
    const auto keys = update::generateKeyPair().value();
    const auto otherKeys = update::generateKeyPair().value();
    const std::string plain = "#version=3.2.0.2\r\n#url=" + publisher + "/download/korvex\r\n";
    const std::string digested = update::withDigests(plain, [](const std::string&, const std::string&) {
                                     return std::optional<std::string>(update::sha256Hex("PROGRAM"));
                                 }).value();
    const std::string infoUrl = publisher + "/inf";
    auto run = [&](const std::string& info, const std::optional<std::string>& key,
                   std::string updateInfo = {}) {
        portals.setPublisherFile("/inf", info, "text/plain");
        PortalAddresses addresses = demoPortalAddresses(portals);
        if (!updateInfo.empty()) addresses.updateInfo = updateInfo;
        auto folder = std::make_unique<CliFolder>(addresses);
        CliContext context = folder->context();
        context.updatePublicKey = key;
        const int status = checkUpdateCommand(context);
        return std::tuple(status, folder->out.str(), folder->err.str());
    };
    for (const auto& c : test::tamperedInfoFiles(digested, keys, otherKeys, publisher + "/download/evil")) {
        SCOPED_TRACE(c.what);
        const auto [status, out, err] = run(c.text, keys.publicHex);
        EXPECT_EQ(status, kExitCheckFailed);
        EXPECT_EQ(out, "");
        EXPECT_EQ(err, "korvex-cli: the update information at " + infoUrl +
                           " is not trusted: " + update::infoTrustText(c.trust) + "\n");
    }
    const std::string good =
        update::signInfoText(digested, keys.privatePem, update::isoDateAfterDays(std::time(nullptr), 1))
            .value();
    EXPECT_EQ(std::get<0>(run(good, keys.publicHex)), kExitOk);

    const auto [status, out, err] = run("<html><body>Not here</body></html>\n", std::nullopt);
    EXPECT_EQ(status, kExitCheckFailed);
    EXPECT_EQ(err, "korvex-cli: the file at " + infoUrl +
                       " is not update information (it names no version, no date and no file)\n");

    const auto [offered, text, noError] =
        run("#version=3.2.0.2\r\n#url=http://h/k\r\n#message={\x1b[2J\x1b]0;owned\x07Hi}\r\n", std::nullopt);
    EXPECT_EQ(offered, kExitOk);
    EXPECT_EQ(text, "Newer version offered: 3.2.0.2 (running 3.2.0.1)\n?[2J?]0;owned?Hi\n");

    // A gigabyte: refused having read no more than the limit.
    TestServer big;
    std::atomic<std::int64_t> sent{0};
    big.get("/inf", [&sent](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain",
                                              [&sent](std::size_t offset, httplib::DataSink& sink) {
                                                  static const std::string chunk(64 * 1024, 'x');
                                                  if (offset >= 1024u * 1024 * 1024) {
                                                      sink.done();
                                                      return true;
                                                  }
                                                  sent += static_cast<std::int64_t>(chunk.size());
                                                  return sink.write(chunk.data(), chunk.size());
                                              });
    });
    big.start();
    const auto [large, nothing, why] = run("", std::nullopt, big.baseUrl());
    EXPECT_EQ(large, kExitCheckFailed);
    EXPECT_EQ(why, "korvex-cli: the update information at " + big.url("/inf") +
                       " is larger than 1048576 bytes and was not read\n");
    EXPECT_LT(sent.load(), 64LL * 1024 * 1024);
}

// A redirect of the info file to a scheme that is not followed (here the file system; ftp in the
// window's test) is said as such, never as a server that cannot be reached.
TEST(CheckUpdateCommand, ARedirectToAnotherSchemeIsSaidAsSuch) {
    DemoPortals portals;
    TestServer redirecting;
    redirecting.get("/inf", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/passwd");
    });
    redirecting.start();
    PortalAddresses addresses = demoPortalAddresses(portals);
    addresses.updateInfo = redirecting.baseUrl();
    CliFolder cli(addresses);
    EXPECT_EQ(checkUpdateCommand(cli.context()), kExitCheckFailed);
    EXPECT_EQ(cli.err.str(), "korvex-cli: the update server redirected to a scheme Korvex does not follow (" +
                                 redirecting.url("/inf") + ")\n");
}

TEST(CheckUpdateCommand, NeedsNoLock) {
    EXPECT_TRUE(commandOnlyReads(parseCommandLine({"check-update"})));
    EXPECT_TRUE(commandOnlyReads(parseCommandLine({"show"})));
    EXPECT_FALSE(commandOnlyReads(parseCommandLine({"refresh"})));
    EXPECT_FALSE(commandOnlyReads(parseCommandLine({"history", "--prune-before", "2020-01-01"})));
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
