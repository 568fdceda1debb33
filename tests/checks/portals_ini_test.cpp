// Portals.ini against the substitute portals: which requests go out and which cells are written,
// for good files, bad files and files in two places; and the reader's defences.
#include "checks/portals_ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>

#include "checks/balance_checks.h"
#include "checks/profile_edits.h"
#include "korvex-demo-portals/demo_portals.h"
#include "net/curl1_setup.h"
#include "platform/codepage.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiny_proxy.h"  // freeLoopbackPort

namespace korvex {
namespace {

// `text` with every {NAME} of a portal replaced by that portal's address.
std::string withAddresses(std::string text, const DemoPortals& portals) {
    const std::pair<const char*, PortalId> names[] = {{"{SPECTRUMSAT}", PortalId::SpectrumSat},
                                                      {"{RADUGA}", PortalId::Raduga},
                                                      {"{SPACEGATE75}", PortalId::SpaceGate75},
                                                      {"{PUBLISHER}", PortalId::Publisher}};
    for (const auto& [name, id] : names)
        for (std::size_t at; (at = text.find(name)) != std::string::npos;)
            text.replace(at, std::strlen(name), portals.baseUrl(id));
    return text;
}

class PortalsIniTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_portals = &test::stockDemoPortals(); }

    PortalsIniTest() {
        applyCurl1StoredProperties(curl);
        configureCurl1AtStart(curl, proxy);
        book.setCount(1);
        // The build's addresses for three portals lead nowhere: only Portals.ini can reach them.
        const std::string nowhere = "http://127.0.0.1:" + std::to_string(test::freeLoopbackPort());
        builtIn = test::demoPortalAddresses(*s_portals);
        builtIn.spectrumSat = builtIn.raduga = builtIn.spaceGate75 = nowhere;
    }

    // The system file (under $XDG_CONFIG_DIRS) and the user's, as files of their folders.
    PortalsSetup load(const std::string& systemIni, const std::string& userIni) {
        const std::string settings = dir.file("Settings.ini");
        std::filesystem::create_directories(dir.path() / "xdg" / "korvex");
        std::filesystem::remove(dir.path() / "xdg" / "korvex" / "Portals.ini");
        std::filesystem::remove(dir.path() / "Portals.ini");
        const std::vector<std::string> files = portalsIniFiles(settings, (dir.path() / "xdg").c_str());
        if (!systemIni.empty()) dir.write("xdg/korvex/Portals.ini", withAddresses(systemIni, *s_portals));
        if (!userIni.empty()) dir.write("Portals.ini", withAddresses(userIni, *s_portals));
        return applyPortalsIni(builtIn, files);
    }

    RowCheck check(const PortalAddresses& addresses, const char* login, const char* password,
                   const char* code) {
        book.client.setRow(0, {login, password, code, ""});
        for (int col = kStatLogin; col < kStatCols; ++col)
            book.Stat.setCell(col, 0, "old" + std::to_string(col));
        BalanceChecks checks{book, curl, memo, addresses, [this] { return proxy; }, clock};
        s_portals->clearRequests();
        return checks.checkRow(0);
    }

    static inline DemoPortals* s_portals = nullptr;
    test::TempDir dir;
    PortalAddresses builtIn;
    AccountBook book;
    THttpTransfer curl;
    TextHolder memo;
    ProxySettings proxy;
    FixedCheckClock clock{{1, 1, 2010, 0, 5}};
};

// Each file changes what it says and nothing else; a bad section changes nothing at all, and says so.
TEST_F(PortalsIniTest, FilesDecideRequestsAndCells) {
    struct Case {
        const char* name;
        const char* systemIni;
        const char* userIni;
        const char* code;
        const char* login;
        const char* password;
        const char* target;   // the one request seen; "" none reached a portal
        const char* balance;  // UTF-8, as the cells hold them after conversion
        const char* speed;
        const char* status;
        const char* problem;  // in the one problem said; "" none
    } cases[] = {
        {"address only", "", "[SpectrumSat]\nAddress = {SPECTRUMSAT}\n", "39", "sps_ivanov", "Qw3rty-71", "/",
         "42.15", "256.00", "Active", ""},
        {"one pattern", "", "[SpectrumSat]\nAddress = {SPECTRUMSAT}\nSpeed = \"Chosen speed: (\\d+)\"\n",
         "39", "sps_ivanov", "Qw3rty-71", "/", "42.15", "256", "Active", ""},
        {"every key of one profile", "",
         "; a comment\r\n[SpaceGate 75]\r\nAddress = {SPACEGATE75}\r\nPath = \"/stats/?lang=en\"\r\n"
         "Balance = \"rest: (\\d+)\"\r\nSpeed = \"speed: (\\d+)\"\r\nStatus = \"type: (\\w+)\"\r\n",
         "SG75", "sg75_orlov", "0rlov#75", "/stats/?lang=en", "18", "1000", "Unlimited", ""},
        {"UTF-8 pattern for a cp1251 portal", "",
         "\xEF\xBB\xBF[Raduga]\nAddress = {RADUGA}\nBalance = \"подписки :</font>  <b>(.*?)\\</b>\"\n"
         "Status = \"Сменить</a>\\)</td>+\\s+<td>(Домашний)\"\n",
         "R", "r_smirnov", "Raduga#2024", "/", "350.00", "512 Кбит/с", "Домашний", ""},
        {"UTF-8 pattern for a UTF-8 portal", "", "[PlanetSky]\nBalance = \"Ваш баланс: (\\d+)\"\n", "PS",
         "ps_vasiliev", "planet53", "/", "27", "1000.00", "Безлимитный 1024", ""},
        {"bad pattern", "", "[SpectrumSat]\nAddress = {SPECTRUMSAT}\nBalance = \"(Deposit: (.*?)\\,\"\n",
         "39", "sps_ivanov", "Qw3rty-71", "", "old1", "old3", "old5", "does not compile"},
        {"bad address", "", "[SpectrumSat]\nAddress = {SPECTRUMSAT}/\n", "39", "sps_ivanov", "Qw3rty-71", "",
         "old1", "old3", "old5", "is not a scheme"},
        {"address with a user name", "", "[SpectrumSat]\nAddress = https://user@127.0.0.1\n", "39",
         "sps_ivanov", "Qw3rty-71", "", "old1", "old3", "old5", "is not a scheme"},
        {"path to another host", "", "[SpectrumSat]\nAddress = {SPECTRUMSAT}\nPath = @evil.invalid/\n", "39",
         "sps_ivanov", "Qw3rty-71", "", "old1", "old3", "old5", "is not a path"},
        {"unknown section", "", "[SpektrumSat]\nAddress = {SPECTRUMSAT}\n", "39", "sps_ivanov", "Qw3rty-71",
         "", "old1", "old3", "old5", "names no profile"},
        {"unknown key: said, the rest used", "",
         "[SpectrumSat]\nAddress = {SPECTRUMSAT}\nBalanse = \"(x)\"\n", "39", "sps_ivanov", "Qw3rty-71", "/",
         "42.15", "256.00", "Active", "Balanse names nothing"},
        {"system file under the user file",
         "[SpectrumSat]\nAddress = {SPECTRUMSAT}\nSpeed = \"Chosen speed: (\\d+)\"\nStatus = \"(Status)\"\n",
         "[SpectrumSat]\nStatus = \"Status: (\\w)\"\n", "39", "sps_ivanov", "Qw3rty-71", "/", "42.15", "256",
         "A", ""},
        {"a bad user section leaves the system one", "[SpectrumSat]\nAddress = {SPECTRUMSAT}\n",
         "[SpectrumSat]\nAddress = ftp://127.0.0.1\n", "39", "sps_ivanov", "Qw3rty-71", "/", "42.15",
         "256.00", "Active", "is not a scheme"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PortalsSetup setup = load(c.systemIni, c.userIni);
        if (*c.problem) {
            ASSERT_EQ(setup.problems.size(), 1u);
            EXPECT_NE(setup.problems[0].find(c.problem), std::string::npos) << setup.problems[0];
        } else {
            EXPECT_TRUE(setup.problems.empty()) << setup.problems.front();
        }
        const RowCheck result = check(setup.addresses, c.login, c.password, c.code);
        const auto requests = s_portals->requests();
        if (*c.target) {
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].target, c.target);
            EXPECT_EQ(result.outcome, CheckOutcome::PageRead);
            EXPECT_EQ(book.Stat.cell(kDate, 0), "1/1/2010 00:05");
        } else {
            EXPECT_TRUE(requests.empty());
            EXPECT_EQ(result.outcome, CheckOutcome::TransferFailed);
        }
        EXPECT_EQ(book.Stat.cell(kBalance, 0), utf8ToCp1251(c.balance));
        EXPECT_EQ(book.Stat.cell(kSpeed, 0), utf8ToCp1251(c.speed));
        EXPECT_EQ(book.Stat.cell(kStatus, 0), utf8ToCp1251(c.status));
    }
}

// No Portals.ini anywhere: the addresses are the build's and the profiles the built-in ones, so the
// requests and the cells are those of a copy without the feature.
TEST_F(PortalsIniTest, NoFileChangesNothing) {
    const PortalsSetup setup = load("", "");
    EXPECT_TRUE(setup.problems.empty());
    EXPECT_EQ(setup.addresses, builtIn);
    EXPECT_EQ(setup.addresses.edits, nullptr);
    for (const ProviderProfile* profile : allProfiles())
        EXPECT_EQ(&effectiveProfile(setup.addresses, *profile), profile);
}

// The template as it is printed changes nothing; with every key uncommented it is accepted whole and
// still changes nothing: the values it writes are the ones in use, patterns and all.
TEST_F(PortalsIniTest, TemplateRoundTrips) {
    const std::string text = portalsIniTemplate(builtIn);
    PortalsSetup setup = load("", text);
    EXPECT_TRUE(setup.problems.empty());
    EXPECT_EQ(setup.addresses.edits, nullptr);

    std::string uncommented;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        for (const char* key : {";Address ", ";Path ", ";LogoutPath ", ";Balance ", ";Speed ", ";Status "})
            if (line.starts_with(key)) line.erase(0, 1);
        uncommented += line + "\n";
    }
    setup = load("", uncommented);
    EXPECT_TRUE(setup.problems.empty()) << setup.problems.front();
    ASSERT_NE(setup.addresses.edits, nullptr);
    PortalAddresses addresses = setup.addresses;
    addresses.edits = nullptr;
    EXPECT_EQ(addresses, builtIn);
    for (const ProviderProfile* builtInProfile : allProfiles()) {
        SCOPED_TRACE(builtInProfile->name);
        const ProviderProfile& edited = effectiveProfile(setup.addresses, *builtInProfile);
        EXPECT_EQ(edited.path, builtInProfile->path);
        EXPECT_EQ(edited.logoutPath, builtInProfile->logoutPath);
        ASSERT_EQ(edited.steps.size(), builtInProfile->steps.size());
        for (std::size_t i = 0; i < edited.steps.size(); ++i)
            EXPECT_EQ(edited.steps[i].pattern, builtInProfile->steps[i].pattern);
        EXPECT_FALSE(setup.addresses.edits->origins(*builtInProfile).empty());
    }
}

// What an attacker (or an accident) may put in the file: each is refused with one problem, and no
// profile or address changes.
TEST_F(PortalsIniTest, HostileFilesChangeNothing) {
    const std::string good = "[SpectrumSat]\nAddress = http://127.0.0.1:1\n";
    struct Case {
        const char* name;
        std::string text;
        const char* problem;
    } cases[] = {
        {"larger than 1 MiB", good + std::string(kMaxPortalsIniBytes, ';'), "larger than 1 MiB"},
        {"an overlong line", good + ";" + std::string(kMaxPortalsIniLine, 'x') + "\n", "longer than 4096"},
        {"UTF-16", "\xFF\xFE[\0S\0", "not UTF-8"},
        {"a NUL byte", good + std::string("\0", 1), "not UTF-8"},
        {"a pattern in cp1251",
         "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"\xC1\xE0\xEB (x)\"\n", "not UTF-8"},
        {"a character cp1251 lacks",
         "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"\xE4\xB8\xAD (x)\"\n", "not UTF-8"},
        {"a control character", "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"(x)\x1B[2J\"\n",
         "control character"},
        {"no group", "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"Deposit\"\n", "no group"},
        {"an empty pattern", "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"\"\n", "empty"},
        {"a repeat beyond the matcher's limit",
         "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"(x)a{99999999999}\"\n", "does not compile"},
        {"more groups than the matcher has",
         "[SpectrumSat]\nAddress = http://127.0.0.1:1\nBalance = \"(a)(b)(c)(d)(e)\"\n", "does not compile"},
        {"a port out of range", "[SpectrumSat]\nAddress = http://127.0.0.1:65536\n", "is not a scheme"},
        {"a path after the host", "[SpectrumSat]\nAddress = http://127.0.0.1/x\n", "is not a scheme"},
        {"a network path", "[SpectrumSat]\nAddress = http://127.0.0.1:1\nPath = //evil.invalid/\n",
         "is not a path"},
        {"a blank in the path", "[SpectrumSat]\nAddress = http://127.0.0.1:1\nPath = \"/a b\"\n",
         "is not a path"},
        {"a key twice", "[SpectrumSat]\nAddress = http://127.0.0.1:1\nADDRESS = http://127.0.0.1:2\n",
         "a second time"},
        {"a logout on a portal without one", "[SpectrumSat]\nLogoutPath = /x\n", "names nothing"},
        {"escapes in names", "[\x1B]0;x\x07\xC2\x9B]\nAddress = http://127.0.0.1:1\n", "names no profile"},
        {"one portal sent two ways",
         "[SpaceGate 15]\nAddress = https://127.0.0.1:1\n[SpaceGate 21]\nAddress = https://127.0.0.1:2\n",
         "shares its portal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PortalsSetup setup = load("", c.text);
        ASSERT_EQ(setup.problems.size(), 1u);
        EXPECT_NE(setup.problems[0].find(c.problem), std::string::npos) << setup.problems[0];
        // Nothing of the file that is said can act on the terminal that shows it.
        for (const char ch : setup.problems[0])
            EXPECT_TRUE(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F && ch != '\xC2') << setup.problems[0];
        const bool firstKept = std::string(c.name) == "one portal sent two ways";
        PortalAddresses expected = builtIn;
        if (firstKept) expected.spaceGate15_21 = "https://127.0.0.1:1";
        PortalAddresses got = setup.addresses;
        got.edits = nullptr;
        EXPECT_EQ(got, expected);
        if (setup.addresses.edits) {
            for (const ProviderProfile* profile : allProfiles())
                EXPECT_EQ(&effectiveProfile(setup.addresses, *profile), profile);
        }
    }
}

// Addresses that lower a portal's protection (the build reaches SpectrumSat and Raduga by https): what
// is said, and where the check's credentials go (today: in clear, or to the other operator, unsaid).
// Faults caught: scheme or operator not compared; AllowPlainHttp not read; no notice; problems unbounded.
TEST_F(PortalsIniTest, AddressesThatLowerProtectionAreRefused) {
    builtIn = test::demoPortalAddresses(*s_portals);
    const std::string plain = "http://127.0.0.1:" + std::to_string(test::freeLoopbackPort());
    std::string manySections;
    for (int i = 0; i < 100000; ++i) manySections += "[X" + std::to_string(i) + "]\n";
    const struct {
        std::string ini;
        std::string said;  // the first problem, or else the notice
        const char* code;
        std::optional<PortalId> reached;  // the one portal the check's request reached
    } rows[] = {
        {"[SpectrumSat]\nAddress = " + plain, "would send SpectrumSat's logins and passwords in clear", "39",
         PortalId::SpectrumSat},
        {"[SpectrumSat]\nAddress = " + plain + "\nAllowPlainHttp = yes",
         "SpectrumSat sends logins and passwords in clear to " + plain + ": Portals.ini allows it (AllowPlainHttp = yes)",
         "39", std::nullopt},
        {"[Raduga]\nAddress = {SPECTRUMSAT}", "is the portal of SpectrumSat, another operator: Raduga's", "R",
         PortalId::Raduga},
        {manySections, "names no profile", "39", PortalId::SpectrumSat},
    };
    for (const auto& row : rows) {
        const PortalsSetup setup = load("", row.ini + "\n");
        const std::string said = setup.problems.empty() ? clearTextNotice(setup.clearText.at(0)) : setup.problems[0];
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        EXPECT_EQ(setup.problems.size(), setup.problemCount > 1 ? kMaxNamedPortalsProblems + 1 : setup.problemCount);
        if (setup.problemCount > 1) {
            EXPECT_EQ(setup.problems.back(), "and 99980 more problems");
        }
        check(setup.addresses, "sps_ivanov", "secret", row.code);
        const auto requests = s_portals->requests();
        ASSERT_EQ(requests.size(), row.reached ? 1u : 0u) << said;
        if (row.reached) {
            EXPECT_EQ(requests[0].portal, *row.reached);
        }
    }
}

// A FIFO or a folder in the file's place is refused at once: the start never waits for a writer.
TEST_F(PortalsIniTest, NoRegularFileIsRefusedWithoutWaiting) {
    ASSERT_EQ(::mkfifo(dir.file("Portals.ini").c_str(), 0600), 0);
    PortalsSetup setup = applyPortalsIni(builtIn, {dir.file("Portals.ini")});
    ASSERT_EQ(setup.problems.size(), 1u);
    EXPECT_NE(setup.problems[0].find("not a regular file"), std::string::npos) << setup.problems[0];
    std::filesystem::create_directories(dir.path() / "folder" / "Portals.ini");
    setup = applyPortalsIni(builtIn, {(dir.path() / "folder" / "Portals.ini").string()});
    ASSERT_EQ(setup.problems.size(), 1u);
    EXPECT_EQ(setup.addresses, builtIn);
}

// The places of the files, lowest priority first.
TEST(PortalsIniFiles, XdgFoldersUnderTheSettingsFolder) {
    struct Case {
        const char* xdg;  // nullptr: unset
        std::vector<std::string> files;
    } cases[] = {
        {nullptr, {"/etc/xdg/korvex/Portals.ini", "/home/u/.config/korvex/Portals.ini"}},
        {"", {"/etc/xdg/korvex/Portals.ini", "/home/u/.config/korvex/Portals.ini"}},
        {"/a:/b/", {"/b/korvex/Portals.ini", "/a/korvex/Portals.ini", "/home/u/.config/korvex/Portals.ini"}},
        {"relative:/a::", {"/a/korvex/Portals.ini", "/home/u/.config/korvex/Portals.ini"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdg ? c.xdg : "unset");
        EXPECT_EQ(portalsIniFiles("/home/u/.config/korvex/Settings.ini", c.xdg), c.files);
    }
}

TEST(PortalsIniAddress, TheBuildRule) {
    for (const char* good :
         {"http://a", "https://127.0.0.1:18441", "https://[::1]:443", "http://my-portal.example"})
        EXPECT_TRUE(validBaseAddress(good)) << good;
    for (const char* bad :
         {"", "http://", "https://a/", "https://a:0", "https://a:x", "ftp://a", "https://u@a", "https://a b",
          "https://a\"", "https://a?x", "https://a#x", "HTTP://a", "https://a:"})
        EXPECT_FALSE(validBaseAddress(bad)) << bad;
}

}  // namespace
}  // namespace korvex
