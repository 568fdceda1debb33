// korvex-cli profiles: the listing, the template, and `profiles test` on pages saved from each
// substitute portal, and on a redesigned portal's page before and after a fix in Portals.ini.
#include "korvex-cli/commands/profiles_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "checks/portals_ini.h"
#include "checks/provider_profiles.h"
#include "korvex-cli/command_line.h"
#include "korvex-demo-portals/demo_accounts.h"
#include "korvex-demo-portals/demo_portal_pages.h"
#include "platform/codepage.h"
#include "tests/cli/cli_test_support.h"

namespace korvex {
namespace {

DemoAccount stockAccount(const std::string& login) {
    for (const auto& [portal, account] : stockDemoAccounts())
        if (account.login == login) return account;
    ADD_FAILURE() << "no stock account " << login;
    return {};
}

// The line of `out` that shows `key`'s value ("" when there is none).
std::string valueLine(const std::string& out, const std::string& key) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("  " + key + " ")) return line;
    return {};
}

// The page as a browser saves it: the bytes the portal sent (cp1251 but for PlanetSky and STV).
std::string savedPage(const std::string& utf8Html, bool utf8Portal) {
    return utf8Portal ? utf8Html : utf8ToCp1251(utf8Html);
}

// Each portal's own account page, saved: every pattern step finds its value, shown in UTF-8.
TEST(ProfilesCommand, TestFindsEveryValueOnASavedPageOfEachPortal) {
    struct Case {
        const char* profile;
        const char* login;
        std::function<std::string(const DemoAccount&)> page;
        bool utf8Portal;
        std::vector<std::pair<const char*, const char*>> values;  // key, UTF-8 value
    } cases[] = {
        {"SpectrumSat",
         "sps_ivanov",
         pages::spectrumSat,
         false,
         {{"Balance", "42.15"}, {"Speed", "256.00"}, {"Status", "Active"}}},
        {"Raduga",
         "r_smirnov",
         pages::raduga,
         false,
         {{"Balance", "350.00"}, {"Speed", "512 Кбит/с"}, {"Status", "Домашний безлимит 512"}}},
        {"SpaceGate 75",
         "sg75_orlov",
         [](const DemoAccount& a) { return pages::spaceGate(a, "SpaceGate"); },
         false,
         {{"Balance", "18.60"}, {"Speed", "1000.00"}, {"Status", "Unlimited 1024"}}},
        {"PlanetSky",
         "ps_vasiliev",
         pages::planetSky,
         true,
         {{"Balance", "27.90"}, {"Speed", "1000.00"}, {"Status", "Безлимитный 1024"}}},
        {"Globax", "gl_romanov", pages::globax, false, {{"Balance", "315.40"}, {"Status", "1048576"}}},
        {"SatGate", "sat_grigoriev", pages::satGate, false, {{"Balance", "12.50"}, {"Speed", "512"}}},
        {"sky-fi", "sf_nikitin", pages::skyFi, false, {{"Balance", "450.00"}, {"Status", "Стандарт 512"}}},
        {"STV",
         "stv_alekseev",
         [](const DemoAccount& a) { return pages::stv(a, "insat"); },
         true,
         {{"Balance", "1200.00"}, {"Speed", "Спутниковый Базовый"}}},
        {"STV 2",
         "stv_stepanov",
         [](const DemoAccount& a) { return pages::stv(a, "insat2"); },
         true,
         {{"Balance", "2450.00"}, {"Speed", "Спутниковый Максимальный"}}},
    };
    test::CliFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        const std::string page =
            folder.dir.write("page.html", savedPage(c.page(stockAccount(c.login)), c.utf8Portal));
        EXPECT_EQ(profilesCommand(folder.context(), {"test", c.profile, page}), kExitOk) << folder.err.str();
        for (const auto& [key, value] : c.values)
            EXPECT_NE(valueLine(folder.out.str(), key).find(value), std::string::npos) << key << "\n"
                                                                                       << folder.out.str();
        EXPECT_EQ(folder.out.str().find(kNotFoundMarker), std::string::npos) << folder.out.str();
    }
}

// The operator redesigns its page: the test shows the balance missing (status 1), as the run would;
// Portals.ini gets a new Balance pattern, and the same test now finds it (status 0).
TEST(ProfilesCommand, RedesignedPageBeforeAndAfterAFixInPortalsIni) {
    test::CliFolder folder;
    std::string html = pages::spectrumSat(stockAccount("sps_ivanov"));
    for (char& c : html)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');  // as the demo's redesign does
    const std::string page = folder.dir.write("redesigned.html", savedPage(html, false));

    EXPECT_EQ(profilesCommand(folder.context(), {"test", "SpectrumSat", page}), kExitFailed);
    EXPECT_NE(valueLine(folder.out.str(), "Balance").find(kNotFoundMarker), std::string::npos)
        << folder.out.str();
    EXPECT_NE(folder.err.str().find("balance is not found"), std::string::npos) << folder.err.str();

    folder.dir.write("Portals.ini",
                     "[SpectrumSat]\nBalance = \"DEPOSIT: (.*?)\\,\"\nSpeed = \"SPEED: (\\d+)\"\n");
    PortalsSetup setup = applyPortalsIni(folder.addresses, {folder.dir.file("Portals.ini")});
    ASSERT_TRUE(setup.problems.empty()) << setup.problems.front();
    folder.addresses = setup.addresses;
    EXPECT_EQ(profilesCommand(folder.context(), {"test", "SpectrumSat", page}), kExitOk) << folder.err.str();
    EXPECT_NE(valueLine(folder.out.str(), "Balance").find("42.15"), std::string::npos) << folder.out.str();
    EXPECT_NE(valueLine(folder.out.str(), "Speed").find("256"), std::string::npos) << folder.out.str();
    // A step that still misses, but is no balance, is shown and does not fail the test.
    EXPECT_NE(valueLine(folder.out.str(), "Status").find("not found"), std::string::npos) << folder.out.str();

    // The listing names the file each changed value came from, and only those.
    EXPECT_EQ(profilesCommand(folder.context(), {}), kExitOk);
    const std::string listing = folder.out.str();
    EXPECT_NE(valueLine(listing, "Balance").find("(" + folder.dir.file("Portals.ini") + ")"),
              std::string::npos)
        << listing;
    EXPECT_EQ(valueLine(listing, "Status").find("Portals.ini"), std::string::npos) << listing;
    EXPECT_EQ(valueLine(listing, "Address").find("Portals.ini"), std::string::npos) << listing;
    // By the operator's name, the file right after the changed value (not past the longest pattern).
    EXPECT_EQ(listing.substr(0, listing.find('\n')), "SpectrumSat  (plan codes 39 SPS)");
    EXPECT_NE(listing.find("\"DEPOSIT: (.*?)\\,\"  (" + folder.dir.file("Portals.ini") + ")"), std::string::npos)
        << listing;

    // A page that cannot be read says why.
    EXPECT_EQ(profilesCommand(folder.context(), {"test", "SpectrumSat", folder.dir.file("none.html")}), kExitFailed);
    EXPECT_NE(folder.err.str().find("none.html: cannot be read: No such file or directory"), std::string::npos)
        << folder.err.str();
}

// The whole story against the substitute portals, with several checks at once: the operator
// redesigns its pages, the run says the page changed and names the command; a fix in Portals.ini,
// and the next run finds every balance again.
TEST(ProfilesCommand, RedesignedPortalMendedForTheNextRun) {
    DemoPortals& portals = test::stockDemoPortals();
    test::CliFolder folder{test::demoPortalAddresses(portals)};
    folder.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sps_kozlov", "k0zl0v!77", "SPS"}});
    const RefreshOptions parallel{.jobs = 2, .perPortal = 2};
    ASSERT_EQ(refreshCommand(folder.context(), std::nullopt, parallel), kExitOk) << folder.err.str();

    portals.setRedesigned(PortalId::SpectrumSat, true);
    // Its rows found no values: that fails the run, and the summary says why.
    EXPECT_EQ(refreshCommand(folder.context(), std::nullopt, parallel), kExitFailed) << folder.err.str();
    EXPECT_NE(folder.err.str().find("changed page: SpectrumSat ("), std::string::npos) << folder.err.str();
    EXPECT_NE(folder.err.str().find("korvex-cli profiles test \"SpectrumSat\" PAGE.html"), std::string::npos)
        << folder.err.str();
    EXPECT_EQ(test::savedBook(folder.settings).Stat.cell(kBalance, 0), kNotFoundMarker);

    folder.dir.write(
        "Portals.ini",
        "[SpectrumSat]\nBalance = \"DEPOSIT: (.*?)\\,\"\nSpeed = \"CHOSEN SPEED: (.*?)\\ KBPS\"\n");
    folder.addresses = applyPortalsIni(folder.addresses, {folder.dir.file("Portals.ini")}).addresses;
    const int status = refreshCommand(folder.context(), std::nullopt, parallel);
    portals.setRedesigned(PortalId::SpectrumSat, false);
    EXPECT_EQ(status, kExitOk) << folder.err.str();
    EXPECT_EQ(folder.err.str().find("changed page"), std::string::npos) << folder.err.str();
    const AccountBook book = test::savedBook(folder.settings);
    EXPECT_EQ(book.Stat.cell(kBalance, 0), "42.15");
    EXPECT_EQ(book.Stat.cell(kBalance, 1), "118.60");
    EXPECT_EQ(book.Stat.cell(kSpeed, 0), "256.00");
}

// A build with placeholder addresses: the run asks nothing and says so in one line; the listing
// says "not set"; profiles set writes the address, and the next run reaches the portal.
TEST(ProfilesCommand, AnAddressNotSetIsSaidAndThenSet) {
    DemoPortals& portals = test::stockDemoPortals();
    test::CliFolder folder;  // the build's addresses: under .invalid
    folder.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sg21_egorov", "Eg0r21", "21"}, {"x", "y", "15"}});
    EXPECT_EQ(refreshCommand(folder.context(), std::nullopt), kExitFailed);
    const std::string err = folder.err.str();
    EXPECT_NE(err.find("korvex-cli: SpectrumSat, SpaceGate 15, SpaceGate 21: the portal's address is not set: "
                       "Portals.ini, or korvex-cli profiles set NAME Address URL; not asked\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("the portal's address is not set"), err.rfind("the portal's address is not set")) << err;
    EXPECT_NE(err.find("address not set: SpaceGate 15 (https://spacegate15-21.invalid), 1 account (x): not asked"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("no answer"), std::string::npos) << err;
    EXPECT_EQ(profilesCommand(folder.context(), {}), kExitOk);
    EXPECT_NE(valueLine(folder.out.str(), "Address").find("not set"), std::string::npos) << folder.out.str();

    const std::string address = portals.baseUrl(PortalId::SpectrumSat);
    EXPECT_EQ(profilesCommand(folder.context(), {"set", "SpectrumSat", "Address", address + "/"}), kExitUsage);
    EXPECT_FALSE(std::filesystem::exists(folder.dir.file("Portals.ini")));
    ASSERT_EQ(profilesCommand(folder.context(), {"set", "SpectrumSat", "Address", address}), kExitOk)
        << folder.err.str();
    folder.addresses = loadPortals(folder.settings).addresses;
    EXPECT_EQ(refreshCommand(folder.context(), 1), kExitOk) << folder.err.str();
    EXPECT_EQ(test::savedBook(folder.settings).Stat.cell(kBalance, 0), "42.15");
    ASSERT_EQ(profilesCommand(folder.context(), {"unset", "SpectrumSat", "Address"}), kExitOk);
    EXPECT_EQ(loadPortals(folder.settings).addresses.spectrumSat, "https://spectrumsat.invalid");
}

TEST(ProfilesCommand, RefusesWhatItCannotTest) {
    test::CliFolder folder;
    const std::string page = folder.dir.write("page.html", "Deposit: 1,");
    EXPECT_EQ(profilesCommand(folder.context(), {"test", "SpectrumSatt", page}), kExitUsage);
    EXPECT_NE(folder.err.str().find("names no profile"), std::string::npos) << folder.err.str();
    EXPECT_EQ(profilesCommand(folder.context(), {"test", "SpectrumSat", folder.dir.file("missing.html")}),
              kExitFailed);
    EXPECT_EQ(profilesCommand(folder.context(), {"test", "SpectrumSat", folder.dir.path().string()}),
              kExitFailed);

    struct Case {
        std::vector<std::string> args;
        const char* error;  // "" accepted
        bool onlyReads = true;
    } cases[] = {
        {{"profiles"}, ""},
        {{"profiles", "template"}, ""},
        {{"profiles", "test", "SpectrumSat", "page.html"}, ""},
        {{"profiles", "test", "SpectrumSat"}, "needs a profile's name and a saved page"},
        {{"profiles", "template", "x"}, "takes template or test"},
        {{"profiles", "list"}, "takes template or test"},
        {{"profiles", "set", "SpectrumSat", "address", "https://a.example"}, "", false},
        {{"profiles", "unset", "SpectrumSat", "Address"}, "", false},
        {{"profiles", "set", "SpectrumSat", "Path", "/x"}, "takes NAME Address URL"},
        {{"profiles", "set", "SpectrumSat", "Address"}, "takes NAME Address URL"},
        {{"profiles", "unset", "SpectrumSat", "Address", "https://a.example"}, "takes NAME Address"},
    };
    for (const Case& c : cases) {
        if (*c.error) {
            try {
                parseCommandLine(c.args);
                ADD_FAILURE() << c.args.back() << " accepted";
            } catch (const CliUsageError& e) {
                EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
            }
        } else {
            const CliInvocation call = parseCommandLine(c.args);
            EXPECT_EQ(call.command, CliCommand::Profiles);
            EXPECT_EQ(commandOnlyReads(call), c.onlyReads) << c.args[1];
        }
    }
}

}  // namespace
}  // namespace korvex
