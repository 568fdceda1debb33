// What a pattern finds in a text: the syntax, the modifiers and the search order, as tables.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"

namespace korvex {
namespace {

// A case: the pattern, the text, and what Exec should answer with groups 0 and 1.
struct MatchCase {
    const char* pattern;
    std::string text;
    bool found;
    const char* group0;
    const char* group1;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << "/" << c.pattern << "/ on \"" << c.text << "\""; }

class MatchTable : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchTable, FindsWhatTheSyntaxSays) {
    const MatchCase& c = GetParam();
    TPatternMatcher m;
    m.SetExpression(c.pattern);
    ASSERT_EQ(m.Exec(c.text), c.found);
    EXPECT_EQ(m.GroupText(0), c.group0);
    EXPECT_EQ(m.GroupText(1), c.group1);
}

// Search order, lazy and greedy, and the edge cases of the check patterns.
INSTANTIATE_TEST_SUITE_P(Semantics, MatchTable, ::testing::Values(
    MatchCase{R"(Deposit: (.*?)\,)", "Deposit: 1,5, Chosen", true, "Deposit: 1,", "1"},
    MatchCase{R"(Chosen speed: (.*?)\ Kbps)", "Chosen speed: 256\r\n Kbps", true, "Chosen speed: 256\r\n Kbps", "256\r\n"},
    MatchCase{R"(Status: (.*?)\<BR>Deposit:)", "Status: ok<br>Deposit: 5", false, "", ""},
    MatchCase{R"(([\d\.]*?)<br>)", "12.5<br>", true, "12.5<br>", "12.5"},
    MatchCase{R"(([\d\.]*?)<br>)", "12,5<br>", true, "5<br>", "5"},
    MatchCase{"(.*?)", "", true, "", ""},
    MatchCase{"(.*)", "", true, "", ""},
    MatchCase{"x*", "abc", true, "", ""},                   // an empty match at the first position
    MatchCase{"b+", "abbbc", true, "bbb", ""},              // greedy takes the most
    MatchCase{"b+?", "abbbc", true, "b", ""},               // lazy the fewest
    MatchCase{"a(.*)c", "abcbc", true, "abcbc", "bcb"},
    MatchCase{"a(.*?)c", "abcbc", true, "abc", "b"},
    MatchCase{"(a|ab)(c|bcd)", "abcd", true, "abcd", "a"},  // the left alternative first
    MatchCase{"(a|ab)c?", "abc", true, "a", "a"},           // the first way found, not the longest
    MatchCase{"(ab|a)+c", "ababac", true, "ababac", "a"},  // the group keeps its last repetition
    MatchCase{"(a|b)*c", "xababc", true, "ababc", "b"},
    MatchCase{"</td>+", "</td>>>", true, "</td>>>", ""},   // a quantifier takes the last character only
    MatchCase{"ab{2}", "abab abb", true, "abb", ""},
    MatchCase{"a{2,}", "a aa aaaa", true, "aa", ""},
    MatchCase{"a{2,3}", "aaaa", true, "aaa", ""},
    MatchCase{"a{2,3}?", "aaaa", true, "aa", ""},
    MatchCase{"(ab){2}", "ab abab", true, "abab", "ab"},
    MatchCase{"(ab){2,}?c", "abababc", true, "abababc", "ab"},
    MatchCase{"x(ab|a){2,3}?b", "xaabab", true, "xaabab", "a"},
    MatchCase{"(a)?b", "b", true, "b", ""},                 // a group that took no part is empty
    MatchCase{"(a)??a", "aa", true, "a", ""},
    MatchCase{"a{,3}", "xa{,3}", true, "a{,3}", ""},       // {,n} is literal text
    MatchCase{"a{x}", "a{x}", true, "a{x}", ""},
    MatchCase{"a}]", "a}]", true, "a}]", ""},
    MatchCase{"{", "a{", true, "{", ""},
    // Classes.
    MatchCase{"[]a]+", "x]a]", true, "]a]", ""},
    MatchCase{"[^]a]+", "]]bc]", true, "bc", ""},
    MatchCase{"[a-c-]+", "x-ab-d", true, "-ab-", ""},
    MatchCase{"[-z]+", "a-z-", true, "-z-", ""},
    MatchCase{R"([\d\.]+)", "v 1.25x", true, "1.25", ""},
    MatchCase{R"([\D\S\W]+)", "aDSWb", true, "DSW", ""},    // \D \S \W in a class are letters
    MatchCase{R"([\t\x41]+)", "b\tAA", true, "\tAA", ""},
    MatchCase{R"([\x{42}-\x44]+)", "aBCDE", true, "BCD", ""},
    MatchCase{R"([\s]+)", "a \t\r\n\fb", true, " \t\r\n\f", ""},
    MatchCase{"[a-]", "-", true, "-", ""},
    MatchCase{R"([a-\d]+)", "x-a5", true, "-a5", ""},     // "-" before a class escape is a member
    // Escapes.
    MatchCase{R"(\d+)", "ab 123c", true, "123", ""},
    MatchCase{R"(\D+)", "12ab3", true, "ab", ""},
    MatchCase{R"(\w+)", "  ab_9-", true, "ab_9", ""},
    MatchCase{R"(\W+)", "ab -+c", true, " -+", ""},
    MatchCase{R"(\s+)", "a \t\r\n\fb", true, " \t\r\n\f", ""},
    MatchCase{R"(\S+)", "  ab ", true, "ab", ""},
    MatchCase{"a\\vb", "avb", true, "avb", ""},           // \v is not an escape here: the letter v
    MatchCase{R"(\t\n\r\f\a\e)", "\t\n\r\f\a\x1b", true, "\t\n\r\f\a\x1b", ""},
    MatchCase{R"(\x41\x{42}\x{9})", "AB\t", true, "AB\t", ""},
    MatchCase{R"(\,\<\ \;\.\)\$)", ",< ;.)$", true, ",< ;.)$", ""},
    MatchCase{R"(a\.b)", "axb a.b", true, "a.b", ""},
    MatchCase{R"(\bab\b)", "cab ab", true, "ab", ""},
    MatchCase{R"(\Bb\B)", "b abc", true, "b", ""},
    MatchCase{R"(\b)", "", false, "", ""},                  // the input's ends count as outside
    MatchCase{R"(\B)", "", true, "", ""},
    MatchCase{R"(\Aab)", "abab", true, "ab", ""},
    MatchCase{R"(ab\Z)", "abab", true, "ab", ""},
    MatchCase{R"(\Ab)", "ab", false, "", ""},
    MatchCase{R"((a)(b)\2\1)", "abba", true, "abba", "a"},
    MatchCase{R"((a)|b\1)", "b", false, "", ""},           // a reference to nothing fails
    MatchCase{R"(a\5)", "a", false, "", ""},
    MatchCase{R"((a)|b\3|c)", "bc", true, "c", ""},         // group 3 does not exist
    MatchCase{R"((a\1)+)", "aaa", false, "", ""},          // inside its own group: not yet captured
    MatchCase{R"(\0)", "x0", true, "0", ""},
    // Anchors without m, and "." with s (the default).
    MatchCase{"^b", "a\nb", false, "", ""},
    MatchCase{"a$", "a\n", false, "", ""},
    MatchCase{"a.b", "a\nb", true, "a\nb", ""},
    MatchCase{"^$", "", true, "", ""},
    // Comments and modifier switches.
    MatchCase{"a(?#skip)b", "ab", true, "ab", ""},
    MatchCase{"a(?i)b", "aB Ab", true, "aB", ""},
    MatchCase{"(a(?i)b)c", "aBC aBc", true, "aBc", "aB"},   // a switch ends with its group
    MatchCase{"a(?i)b|c", "C", true, "C", ""},               // and holds in the next alternatives
    MatchCase{"(?-s)a.b", "a\nb a-b", true, "a-b", ""},
    MatchCase{"(?-g)a+", "aaa", true, "a", ""},
    MatchCase{"(?m)^b$", "a\r\nb\r\nc", true, "b", ""},
    MatchCase{"(?x) a b # comment\n c", "abc", true, "abc", ""},
    MatchCase{"(?x)a + \\ ", "aa ", true, "aa ", ""},
    MatchCase{"(?x)[ a]+", "b a ", true, " a ", ""}       // not inside a class
));

// Modifier i compares by the cp1251 case pairs; modifier r widens the Cyrillic ranges.
TEST(PatternMatcherCase, CaseInsensitiveComparesCp1251Letters) {
    const struct {
        const char* pattern;  // UTF-8 in this file; both converted to cp1251
        const char* text;
        const char* group0;
    } cases[] = {
        {"привет", "ПРИВЕТ мир", "ПРИВЕТ"},
        {"ёлка", "ЁЛКА", "ЁЛКА"},
        {"Ё+", "ёЁё", "ёЁё"},
        {"[а-в]+", "АБВг", "АБВ"},
        {"[^я]+", "ЯяЮ", "Ю"},
        {"ABC", "xabc", "abc"},
        {"(ж)\\1", "жЖ", "жЖ"},
        {"ї і ў є ґ", "Ї І Ў Є Ґ", "Ї І Ў Є Ґ"},
    };
    for (const auto& c : cases) {
        TPatternMatcher m;
        m.SetModifier('i', true);
        m.SetExpression(utf8ToCp1251(c.pattern));
        ASSERT_TRUE(m.Exec(utf8ToCp1251(c.text))) << c.pattern;
        EXPECT_EQ(cp1251ToUtf8(m.GroupText(0)), c.group0) << c.pattern;
    }
    TPatternMatcher sensitive;
    sensitive.SetExpression(utf8ToCp1251("привет"));
    EXPECT_FALSE(sensitive.Exec(utf8ToCp1251("ПРИВЕТ")));
}

TEST(PatternMatcherCase, ModifierRAddsYoAndTheWholeAlphabet) {
    const struct {
        const char* pattern;
        const char* text;
        bool withR;
        const char* group0;  // "" when not found
    } cases[] = {
        {"[а-я]+", "ЁёжЁ", true, "ёж"},
        {"[а-я]+", "ёж", false, "ж"},
        {"[А-Я]+", "ёЁЖё", true, "ЁЖ"},
        {"[А-Я]+", "ЁЖ", false, "Ж"},
        {"[а-Я]+", "1ёЁжЖ2", true, "ёЁжЖ"},
        {"[^а-я]+", "ёжz", true, "z"},
    };
    for (const auto& c : cases) {
        TPatternMatcher m;
        m.SetModifier('r', c.withR);
        m.SetExpression(utf8ToCp1251(c.pattern));
        const bool found = m.Exec(utf8ToCp1251(c.text));
        EXPECT_EQ(found, *c.group0 != '\0') << c.pattern;
        EXPECT_EQ(cp1251ToUtf8(m.GroupText(0)), c.group0) << c.pattern << " r=" << c.withR;
    }
    // Without r, а-Я runs backwards in the code page.
    TPatternMatcher m;
    m.SetModifier('r', false);
    m.SetExpression(utf8ToCp1251("[а-Я]"));
    EXPECT_THROW(m.Exec("x"), EPatternMatcher);
    m.SetExpression(utf8ToCp1251("(?r)[а-Я]"));
    EXPECT_TRUE(m.Exec(utf8ToCp1251("ё")));
}

TEST(PatternMatcherModifiers, DotAndAnchorsFollowSAndM) {
    TPatternMatcher m;
    m.SetModifier('s', false);
    m.SetExpression("a.+");
    ASSERT_TRUE(m.Exec("xab\r\nc"));
    EXPECT_EQ(m.GroupText(0), "ab");
    ASSERT_TRUE(m.Exec("ab\rc"));
    EXPECT_EQ(m.GroupText(0), "ab");

    m.SetModifier('s', true);
    m.SetModifier('m', true);
    const struct {
        const char* pattern;
        const char* text;
        long pos;  // -1: not found
    } cases[] = {
        {"^b", "a\r\nb", 3},
        {"^b", "a\nb", 2},
        {"^b", "a\rb", 2},
        {"^\n", "a\r\n", -1},  // not between the two bytes of the pair
        {"\r$", "a\r\n", -1},
        {"a$", "a\r\nb", 0},
        {"b$", "a\r\nb", 3},
        {"^$", "a\r\n", 3},   // after the last separator, at the end
        {"\\Ab", "a\nb", -1},
        {"a\\Z", "a\nb", -1},
    };
    for (const auto& c : cases) {
        m.SetExpression(c.pattern);
        const bool found = m.Exec(c.text);
        EXPECT_EQ(found ? m.MatchPos(0) : -1, c.pos) << c.pattern;
    }
    EXPECT_EQ(m.ModifierStr(), "rsgm-ix");
}

TEST(PatternMatcherModifiers, GOffMakesEveryQuantifierLazy) {
    TPatternMatcher m;
    m.SetModifier('g', false);
    m.SetExpression("<(.+)>");
    ASSERT_TRUE(m.Exec("<a><b>"));
    EXPECT_EQ(m.GroupText(1), "a");
    m.SetExpression("<(.+?)>");
    ASSERT_TRUE(m.Exec("<a><b>"));
    EXPECT_EQ(m.GroupText(1), "a");
}

TEST(PatternMatcherModifiers, UnknownLetterIsRefused) {
    TPatternMatcher m;
    EXPECT_THROW(m.SetModifier('q', true), EPatternMatcher);
    EXPECT_THROW(static_cast<void>(m.Modifier('q')), EPatternMatcher);
    EXPECT_TRUE(m.Modifier('R'));
    EXPECT_FALSE(m.Modifier('i'));
}

TEST(PatternMatcherSets, SpaceWordAndSeparatorSetsCanBeChanged) {
    TPatternMatcher m;
    EXPECT_EQ(m.SpaceChars(), " \t\n\r\f");
    EXPECT_EQ(m.WordChars().size(), 63u);
    m.SetExpression(R"(\s+)");
    m.SetSpaceChars("_");
    ASSERT_TRUE(m.Exec("a __ b"));
    EXPECT_EQ(m.GroupText(0), "__");

    m.SetExpression(R"(\b\w+\b)");
    m.SetWordChars("xy");
    ASSERT_TRUE(m.Exec("ab xyx"));
    EXPECT_EQ(m.GroupText(0), "xyx");

    m.SetModifier('s', false);
    m.SetLineSeparators(";");
    m.SetLinePairedSeparator("");
    m.SetExpression("a.*");
    ASSERT_TRUE(m.Exec("ab\ncd;e"));
    EXPECT_EQ(m.GroupText(0), "ab\ncd");
}

// The calling order of the balance checks: one matcher, several patterns, GroupText(1).
TEST(PatternMatcherApi, GroupTextOutsideTheSlotsIsEmpty) {
    TPatternMatcher m;
    EXPECT_EQ(m.GroupText(0), "");  // no text given yet
    m.SetExpression("(a)(b)?");
    ASSERT_TRUE(m.Exec("xa"));
    EXPECT_EQ(m.GroupText(1), "a");
    EXPECT_EQ(m.GroupText(2), "");
    EXPECT_EQ(m.GroupText(5), "");
    EXPECT_EQ(m.GroupText(-1), "");
    EXPECT_EQ(m.MatchPos(1), 1);
    EXPECT_EQ(m.MatchLen(1), 1);
    EXPECT_EQ(m.MatchPos(2), -1);
    EXPECT_FALSE(m.Exec("zzz"));
    EXPECT_EQ(m.GroupText(1), "");  // a failed Exec clears the slots
    EXPECT_EQ(m.GroupText(0), "");
    EXPECT_EQ(m.InputLength(), 3u);
}

TEST(PatternMatcherApi, GroupTextOutlivesTheSearchedText) {
    TPatternMatcher m;
    m.SetExpression("b(c)");
    ASSERT_TRUE(m.Exec(std::string(1000, 'a') + "bcd"));  // a temporary, gone after Exec
    EXPECT_EQ(m.GroupText(0), "bc");
    EXPECT_EQ(m.GroupText(1), "c");
    EXPECT_EQ(m.MatchPos(1), 1001);
}

TEST(PatternMatcherApi, SameExpressionIsCompiledOnce) {
    TPatternMatcher m;
    m.SetExpression("a+");
    EXPECT_TRUE(m.Exec("aa"));
    m.SetExpression("a+");
    EXPECT_TRUE(m.Exec("ba"));
    EXPECT_EQ(m.CompileCount(), 1);
    m.SetExpression("b+");
    EXPECT_FALSE(m.IsCompiled());
    EXPECT_TRUE(m.Exec("ba"));
    EXPECT_EQ(m.CompileCount(), 2);
    m.SetModifier('i', true);  // a modifier change drops the compiled form
    EXPECT_TRUE(m.Exec("B"));
    EXPECT_EQ(m.CompileCount(), 3);
}

TEST(PatternMatcherApi, FailedCompileIsTriedAgainOnTheNextExec) {
    TPatternMatcher m;
    m.SetExpression("a(");
    EXPECT_THROW(m.Exec("a"), EPatternMatcher);
    EXPECT_FALSE(m.IsCompiled());
    EXPECT_THROW(m.Exec("a"), EPatternMatcher);
    EXPECT_EQ(m.CompileCount(), 2);
    EXPECT_EQ(m.InputLength(), 1u);
    EXPECT_EQ(m.GroupText(0), "");
}

TEST(PatternMatcherApi, MovedMatcherKeepsItsState) {
    TPatternMatcher a;
    a.SetExpression("(b)");
    ASSERT_TRUE(a.Exec("ab"));
    TPatternMatcher b = std::move(a);
    EXPECT_EQ(b.GroupText(1), "b");
    EXPECT_TRUE(b.Exec("bb"));
}

// The dump shows the stages' output; these catch a change in how constructs compile.
TEST(PatternMatcherDump, ShowsQuickRejectionsAndOneInstructionPerLine) {
    const struct {
        const char* pattern;
        const char* dump;
    } cases[] = {
        {R"(Deposit: (.*?)\,)",
         "anchored no\nprefix \"Deposit: \"\nrequired \",\"\nstart [D]\n"
         "0: STRING \"Deposit: \"\n1: OPEN 1\n"
         "2: REPEAT ANY {0,inf} lazy then \",\"\n3: CLOSE 1\n4: CHAR \",\"\n"
         "5: MATCH\n"},
        {R"((a|b)*c)",
         "anchored no\nprefix \"\"\nrequired \"c\"\nstart [a-c]\n"
         "0: SPLIT 1 if [ab], 5 if [c]\n1: OPEN 1\n2: SET [ab]\n"
         "3: CLOSE 1\n4: JMP 0\n5: CHAR \"c\"\n6: MATCH\n"},
        {R"(^(ab|cd){2,3}?x)",
         "anchored yes\nprefix \"\"\nrequired \"x\"\nstart [acx]\n"
         "0: TEXTSTART\n1: LOOPINIT c0 depth 1\n"
         "2: LOOPTEST c0 {2,3} lazy exit 10, exit if [x], body if [ac]\n"
         "3: OPEN 1\n4: SPLIT 5 if [a], 7 if [c]\n5: STRING \"ab\"\n"
         "6: JMP 8\n7: STRING \"cd\"\n8: CLOSE 1\n9: LOOPNEXT c0 -> 2\n"
         "10: CHAR \"x\"\n11: MATCH\n"},
        {R"(x(ab)+y?$)",
         "anchored no\nprefix \"xab\"\nrequired \"\"\nstart [x]\n"
         "0: CHAR \"x\"\n1: OPEN 1\n2: STRING \"ab\"\n3: CLOSE 1\n"
         "4: SPLIT 1 if [a], 5 if [y]|end\n"
         "5: REPEAT CHAR \"y\" {0,1} then []|end\n6: TEXTEND\n7: MATCH\n"},
        {R"((?i)ab[x-z]\b.)",
         "anchored no\nprefix \"\"\nrequired \"\"\nstart [Aa]\n"
         "0: STRINGCI \"AB\"\n1: SET [X-Zx-z]\n2: WORDB\n3: ANY\n4: MATCH\n"},
        {R"((?-s)(?m)^(.)\1?)",
         "anchored no\nprefix \"\"\nrequired \"\"\nstart [\\x00-\\x09\\x0B\\x0C\\x0E-\\xFF]\n"
         "0: LINESTART\n1: OPEN 1\n2: ANYNL\n3: CLOSE 1\n4: SPLIT 5, 6\n5: BACKREF 1\n6: MATCH\n"},
        {R"(a\2)",  // a reference to a group that the pattern lacks can never match
         "anchored no\nprefix \"a\"\nrequired \"\"\nstart [a]\n0: CHAR \"a\"\n1: SET []\n2: MATCH\n"},
    };
    for (const auto& c : cases) {
        TPatternMatcher m;
        m.SetExpression(c.pattern);
        EXPECT_EQ(m.Dump(), c.dump) << c.pattern;
    }
}

}  // namespace
}  // namespace korvex
