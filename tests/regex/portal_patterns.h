#pragma once
// The patterns that the balance checks run, as they are stored (a backslash is one character of the
// pattern), written here in UTF-8 for reading and converted to cp1251 by cp1251Pattern(). PlanetSky
// runs its patterns converted back to UTF-8 against UTF-8 pages. Shared by the tests and bench/matcher.
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace korvex::testing {

struct PortalPattern {
    const char* profile;  // the portal whose check runs it
    const char* name;     // what it extracts
    const char* utf8;     // the pattern, in UTF-8
    bool utf8Page;        // true: run in UTF-8 against a UTF-8 page (PlanetSky)

    // The pattern's bytes as the matcher receives them.
    std::string bytes() const {
        const std::string cp = utf8ToCp1251(utf8);
        return utf8Page ? cp1251ToUtf8(cp) : cp;
    }
};

inline const std::vector<PortalPattern>& portalPatterns() {
    static const std::vector<PortalPattern> patterns = {
        {"SpectrumSat", "balance", R"(Deposit: (.*?)\,)", false},
        {"SpectrumSat", "speed", R"(Chosen speed: (.*?)\ Kbps)", false},
        {"SpectrumSat", "status", R"(Status: (.*?)\<BR>Deposit:)", false},
        {"Raduga", "balance", R"(подписки :</font>  <b>(.*?)\</b>)", false},
        {"Raduga", "speed", R"(скорость</td>+\s+<td>(.*?)\</td>)", false},
        {"Raduga", "status", R"(Сменить</a>\)</td>+\s+<td>(.*?)\</td>)", false},
        {"SpaceGate", "balance", R"(Deposit rest: (.*?)\ USD)", false},
        {"SpaceGate", "speed", R"(Chosen speed: (.*?)\ Kbps)", false},
        {"SpaceGate", "status", R"(Service type: (.*?)\; Chosen speed:)", false},
        {"PlanetSky", "balance", R"(Ваш баланс: (.*?)\ USD<br>)", true},
        {"PlanetSky", "speed", R"(Выбранная скорость, Kbps: ([\d\.]*?)\<br><div id=)", true},
        {"PlanetSky", "status", R"(Ваш тариф: (.*?)\<br>\s+Ваш баланс: )", true},
        {"Globax", "balance", R"( Kb  Money Rest: (.*?)\ </b></center>)", false},
        {"Globax", "status", R"(<center><b> Traffic Rest: (.*?)\ Kb  Money Rest:)", false},
        {"SatGate", "balance",
         R"(Current ballance:\s+\s+\</td>\s+\s+<td>\s+\s+([\d\d\d\d.\d\d\d\d].*?)\s+\s+\</td>\s+\s+<td>\s+\s)", false},
        {"SatGate", "speed", R"(Plan:</td><td>(.*?)\ Kbps )", false},
        {"SKY-FI", "balance", R"(Баланс:</td>\s+<td width="60%">(.*?) р.)", false},
        {"SKY-FI", "status", R"(Тариф:</td>\s+<td width="60%">(.*?)</td>)", false},
        {"STV", "balance", R"(Актуальный Баланс, руб.:</td><td>(.*?)</td></tr>\s+)", false},
        {"STV", "speed", R"(Тарифный план:</td><td>(.*?)</td></tr>)", false},
    };
    return patterns;
}

// One pattern by profile and name.
inline const PortalPattern& portalPattern(const std::string& profile, const std::string& name) {
    for (const auto& p : portalPatterns())
        if (profile == p.profile && name == p.name) return p;
    static const PortalPattern none{"", "", "", false};
    return none;
}

}  // namespace korvex::testing
