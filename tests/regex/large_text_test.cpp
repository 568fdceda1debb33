// Large texts and patterns that nest and backtrack: the matcher's stack depth must not grow with the
// text, so none of these may overflow the C++ stack.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"
#include "tests/regex/portal_patterns.h"

namespace korvex {
namespace {

constexpr std::size_t kBig = 64u << 20;

// 64 MiB of page-like filler: tags, Latin and cp1251 words, CR LF line breaks.
const std::string& bigFiller() {
    static const std::string text = [] {
        const std::string line = utf8ToCp1251(
            "<tr><td class=\"c\">Трафик за день: 1024 Kb, Deposit</td><td>status row 17 ok</td></tr>\r\n");
        std::string t;
        t.reserve(kBig + 4096);
        while (t.size() + line.size() <= kBig) t += line;
        t.append(kBig - t.size(), ' ');
        return t;
    }();
    return text;
}

TEST(LargeText, EveryPortalPatternFindsItsValueAtTheEndOf64MiB) {
    const std::string tail = "Deposit: 12.50, Chosen speed: 256 Kbps<BR>Status: On<BR>Deposit: 1,"
                             "подписки :</font>  <b>5</b> скорость</td>> <td>6</td> Сменить</a>)</td> <td>7</td>"
                             "Deposit rest: 8 USD Service type: S; Chosen speed: "
                             "Ваш тариф: T<br> Ваш баланс: 9 USD<br>Выбранная скорость, Kbps: 10<br><div id="
                             " Kb  Money Rest: 11 </b></center><center><b> Traffic Rest: 12 Kb  Money Rest:"
                             "Current ballance:  </td>  <td>  13  </td>  <td>  Plan:</td><td>14 Kbps "
                             "Баланс:</td> <td width=\"60%\">15 р.Тариф:</td> <td width=\"60%\">16</td>"
                             "Актуальный Баланс, руб.:</td><td>17</td></tr> Тарифный план:</td><td>18</td></tr>";
    std::string cp = bigFiller() + utf8ToCp1251(tail);
    std::string utf8 = bigFiller() + tail;
    TPatternMatcher m;
    for (const auto& p : testing::portalPatterns()) {
        m.SetExpression(p.bytes());
        const std::string& text = p.utf8Page ? utf8 : cp;
        ASSERT_TRUE(m.Exec(text)) << p.profile << " " << p.name;
        EXPECT_GE(static_cast<std::size_t>(m.MatchPos(0)), kBig - 16) << p.profile << " " << p.name;
        EXPECT_FALSE(m.GroupText(1).empty()) << p.profile << " " << p.name;
    }
    // And a page of the same size that holds none of them.
    for (const auto& p : testing::portalPatterns()) {
        m.SetExpression(p.bytes());
        EXPECT_FALSE(m.Exec(bigFiller())) << p.profile << " " << p.name;
    }
}

// A recursive matcher would need one frame per repetition here: millions of them.
TEST(LargeText, NestedAndBacktrackingPatternsKeepTheStackFlat) {
    auto repeatAb = [](std::size_t size) {
        std::string t;
        t.reserve(size + 1);
        while (t.size() < size) t += "ab";
        return t;
    };
    const std::string big = repeatAb(kBig) + "c";
    constexpr std::size_t kMid = 1u << 20;  // half a million repetitions: far past any C++ stack
    const std::string ab = repeatAb(kMid);
    const std::string abc = ab + "c";
    const struct {
        const char* pattern;
        const std::string* text;
        bool found;
        std::size_t length;  // of the match
    } cases[] = {
        {"((ab)+)c", &big, true, kBig + 1},
        {"^(ab)*d", &big, false, 0},
        {"(a|b)*c", &abc, true, kMid + 1},
        {"(ab|a)*c", &abc, true, kMid + 1},      // a choice left behind on every repetition
        {"(ab)*?c", &abc, true, kMid + 1},       // a lazy loop
        {"^(.*?b)*$", &ab, true, kMid},
        {"^(.*?b)*$", &abc, false, 0},           // backtracks through every repetition
        {"(a.*?)*?c", &abc, true, kMid + 1},
        {"^(a|b)*$", &ab, true, kMid},
        {"^(ab|a)+b$", &ab, true, kMid},         // gives back one repetition at the very end
        {"b.*?x", &abc, false, 0},
        {"(a|b)+d", &abc, false, 0},
    };
    TPatternMatcher m;
    for (const auto& c : cases) {
        m.SetExpression(c.pattern);
        ASSERT_EQ(m.Exec(*c.text), c.found) << c.pattern;
        EXPECT_EQ(static_cast<std::size_t>(c.found ? m.MatchLen(0) : 0), c.length) << c.pattern;
    }
}

// Patterns whose backtracking grows exponentially with the text in a plain backtracker. The failure
// memo makes them polynomial; the "b" at the end keeps the required-literal check from answering first.
TEST(LargeText, CatastrophicBacktrackingEnds) {
    const std::string as = std::string(600, 'a') + "!b";
    const struct {
        const char* pattern;
        std::string text;
        bool found;
    } cases[] = {
        {"(a+a+)+b", as, false},
        {"((a+)+)+b", as, false},
        {"(a|aa)+b", as, false},
        {"^(a|a?a)+$", as, false},
        {"(.*a){12}b", std::string(14, 'a') + "!b", false},  // counted: no memo, so short
        {"^(\\w+\\s?)*$", std::string(600, 'w') + "!", false},
        {"(x+x+)+y", std::string(600, 'x') + "y", true},
        {"(a.*?)+=\\1", std::string(600, 'a') + "=b", false},  // with a back reference
        {"(\\S+)+ \\1", std::string(300, 'w') + " x", false},
    };
    TPatternMatcher m;
    for (const auto& c : cases) {
        m.SetExpression(c.pattern);
        EXPECT_EQ(m.Exec(c.text), c.found) << c.pattern;
    }
}

}  // namespace
}  // namespace korvex
