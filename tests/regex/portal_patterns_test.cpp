// Every pattern that the balance checks run, against pages made like the portals' own: a match, a
// miss, a value across a line break, Cyrillic in cp1251 and, for PlanetSky, in UTF-8. Pages hold
// CR LF line breaks, as the hidden memo leaves them.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"
#include "tests/regex/portal_patterns.h"

namespace korvex {
namespace {

using testing::portalPattern;

struct PageCase {
    const char* profile;
    const char* name;
    const char* page;     // UTF-8 here; converted to cp1251 unless the profile reads UTF-8
    const char* group1;   // nullptr: not found
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.profile << " " << c.name << ": " << c.page; }

class PortalPages : public ::testing::TestWithParam<PageCase> {};

TEST_P(PortalPages, PatternTakesTheValue) {
    const PageCase& c = GetParam();
    const auto& pattern = portalPattern(c.profile, c.name);
    ASSERT_NE(*pattern.utf8, '\0');
    const std::string page = pattern.utf8Page ? std::string(c.page) : utf8ToCp1251(c.page);
    TPatternMatcher m;
    m.SetExpression(pattern.bytes());
    const bool found = m.Exec(page);
    ASSERT_EQ(found, c.group1 != nullptr);
    if (!found) return;
    const std::string value = pattern.utf8Page ? m.GroupText(1) : cp1251ToUtf8(m.GroupText(1));
    EXPECT_EQ(value, c.group1);
}

constexpr const char* kSpectrum =
    "<html><body>Login: user1<BR>Status: Active<BR>Deposit: 12.50, Chosen speed: 256 Kbps<BR>\r\n</body></html>";
constexpr const char* kRaduga =
    "<table><tr><td><font>Остаток подписки :</font>  <b>345.10</b> руб.</td></tr>\r\n"
    "<tr><td>Текущая скорость</td>>\r\n<td>512</td></tr>\r\n"
    "<tr><td>Тариф (<a href=\"/plan\">Сменить</a>)</td>\r\n\t<td>Безлимитный</td></tr></table>";
constexpr const char* kSpaceGate =
    "<p>Service type: Home 512; Chosen speed: 512 Kbps; Deposit rest: 20.00 USD</p>";
constexpr const char* kPlanetSky =
    "<div>Ваш тариф: Стандарт<br>\r\n   Ваш баланс: 15.75 USD<br>Выбранная скорость, Kbps: 256<br><div id=\"s\">";
constexpr const char* kGlobax =
    "<center><b> Traffic Rest: 1048576 Kb  Money Rest: 99.99 </b></center>";
constexpr const char* kSatGate =
    "<tr><td>Current ballance:\r\n  </td>\r\n  <td>\r\n    123.45\r\n  </td>\r\n  <td>\r\n  2009</td></tr>"
    "<tr><td>Plan:</td><td>256/64 Kbps </td></tr>";
constexpr const char* kSkyFi =
    "<tr><td>Баланс:</td>\r\n<td width=\"60%\">150.00 р.</td></tr>"
    "<tr><td>Тариф:</td>\r\n<td width=\"60%\">Старт 1024</td></tr>";
constexpr const char* kStv =
    "<tr><td>Актуальный Баланс, руб.:</td><td>1 234,56</td></tr>\r\n"
    "<tr><td>Тарифный план:</td><td>Оптимальный</td></tr>";
constexpr const char* kRefused = "<html><head><title>401 Unauthorized</title></head><body>Вход</body></html>";

INSTANTIATE_TEST_SUITE_P(Checks, PortalPages, ::testing::Values(
    PageCase{"SpectrumSat", "balance", kSpectrum, "12.50"},
    PageCase{"SpectrumSat", "speed", kSpectrum, "256"},
    PageCase{"SpectrumSat", "status", kSpectrum, "Active"},
    PageCase{"SpectrumSat", "balance", kRefused, nullptr},
    PageCase{"SpectrumSat", "speed", "Chosen speed: 256\r\n Kbps", "256\r\n"},
    PageCase{"SpectrumSat", "status", "Status: Active<br>Deposit: 1,", nullptr},  // case-sensitive
    PageCase{"SpectrumSat", "status", "Status: Blocked\r\nsince 1/1<BR>Deposit: 0,", "Blocked\r\nsince 1/1"},
    PageCase{"Raduga", "balance", kRaduga, "345.10"},
    PageCase{"Raduga", "speed", kRaduga, "512"},
    PageCase{"Raduga", "status", kRaduga, "Безлимитный"},
    PageCase{"Raduga", "speed", "скорость</td>>\r\n<td>256</td>", "256"},
    PageCase{"Raduga", "speed", "скорость</td><td>256</td>", nullptr},  // no white space between
    PageCase{"Raduga", "status", "Тариф</td>\r\n<td>x</td>", nullptr},
    PageCase{"Raduga", "balance", kRefused, nullptr},
    PageCase{"SpaceGate", "balance", kSpaceGate, "20.00"},
    PageCase{"SpaceGate", "speed", kSpaceGate, "512"},
    PageCase{"SpaceGate", "status", kSpaceGate, "Home 512"},
    PageCase{"SpaceGate", "balance", "Deposit rest: -3.10\r\n USD", "-3.10\r\n"},
    PageCase{"SpaceGate", "status", kRefused, nullptr},
    PageCase{"PlanetSky", "balance", kPlanetSky, "15.75"},
    PageCase{"PlanetSky", "speed", kPlanetSky, "256"},
    PageCase{"PlanetSky", "status", kPlanetSky, "Стандарт"},
    PageCase{"PlanetSky", "speed", "Выбранная скорость, Kbps: 256 max<br><div id=", nullptr},
    PageCase{"PlanetSky", "speed", "Выбранная скорость, Kbps: <br><div id=", ""},
    PageCase{"PlanetSky", "status", "Ваш тариф: Ночной<br>Ваш баланс: 1", nullptr},  // no white space
    PageCase{"PlanetSky", "balance", "Ваш баланс: 7\r\n.5 USD<br>", "7\r\n.5"},
    PageCase{"Globax", "balance", kGlobax, "99.99"},
    PageCase{"Globax", "status", kGlobax, "1048576"},
    PageCase{"Globax", "balance", kRefused, nullptr},
    PageCase{"SatGate", "balance", kSatGate, "123.45"},
    PageCase{"SatGate", "speed", kSatGate, "256/64"},
    PageCase{"SatGate", "balance",  // one white-space character in a gap is not enough
             "Current ballance: </td>\r\n  <td>\r\n    123.45\r\n  </td>\r\n  <td>\r\n  x", nullptr},
    PageCase{"SatGate", "balance", "Current ballance:\r\n  </td>\r\n  <td>\r\n  USD 5\r\n  </td>\r\n  <td>\r\n  x",
             nullptr},  // the value must begin with a digit or a dot
    PageCase{"SatGate", "speed", "Plan:</td><td>256 Kbps</td>", nullptr},
    PageCase{"SKY-FI", "balance", kSkyFi, "150.00"},
    PageCase{"SKY-FI", "status", kSkyFi, "Старт 1024"},
    PageCase{"SKY-FI", "status", kRefused, nullptr},
    PageCase{"STV", "balance", kStv, "1 234,56"},
    PageCase{"STV", "speed", kStv, "Оптимальный"},
    PageCase{"STV", "balance", "Актуальный Баланс, руб.:</td><td>5</td></tr><tr>", nullptr},
    PageCase{"STV", "balance", "Актуальный Баланс, рубX:</td><td>5</td></tr>\r\n", "5"}  // "." is any
));

// PlanetSky's patterns are UTF-8; run in cp1251 against a UTF-8 page, they find nothing.
TEST(PortalPagesEncoding, PlanetSkyNeedsItsUtf8Pattern) {
    const auto& p = portalPattern("PlanetSky", "balance");
    TPatternMatcher m;
    m.SetExpression(utf8ToCp1251(p.utf8));
    EXPECT_FALSE(m.Exec(kPlanetSky));
    m.SetExpression(p.bytes());
    ASSERT_TRUE(m.Exec(kPlanetSky));
    EXPECT_EQ(m.GroupText(1), "15.75");
}

// One matcher serves all steps of a check, in order, as the checks call it.
TEST(PortalPagesEncoding, OneMatcherRunsEveryStepOfACheck) {
    const std::string page = utf8ToCp1251(kRaduga);
    TPatternMatcher m;
    std::string values;
    for (const char* name : {"balance", "speed", "status"}) {
        m.SetExpression(portalPattern("Raduga", name).bytes());
        ASSERT_TRUE(m.Exec(page)) << name;
        values += cp1251ToUtf8(m.GroupText(1)) + "|";
    }
    EXPECT_EQ(values, "345.10|512|Безлимитный|");
    EXPECT_EQ(m.CompileCount(), 3);
}

}  // namespace
}  // namespace korvex
