// Every error that a pattern or a call can provoke, with its exact message and position.
#include <gtest/gtest.h>

#include "regex/compiler.h"
#include "regex/executor.h"
#include "regex/pattern_matcher.h"

namespace korvex {
namespace {

struct ErrorCase {
    const char* pattern;
    int code;
    int pos;
    const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << "/" << c.pattern << "/"; }

class CompileErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrors, RaiseTheirCodeTextAndPosition) {
    const ErrorCase& c = GetParam();
    TPatternMatcher m;
    m.SetExpression(c.pattern);
    try {
        m.Exec("text");
        FAIL() << "compiled";
    } catch (const EPatternMatcher& e) {
        EXPECT_EQ(e.ErrorCode(), c.code);
        EXPECT_EQ(e.CompilerErrorPos(), c.pos);
        EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_FALSE(m.IsCompiled());
}

INSTANTIATE_TEST_SUITE_P(Table, CompileErrors, ::testing::Values(
    ErrorCase{"(a)(b)(c)(d)(e)", 102, 12, "TPatternMatcher(comp): ParseReg Too Many () (pos 12)"},
    ErrorCase{"(ab", 103, 3, "TPatternMatcher(comp): ParseReg Unmatched () (pos 3)"},
    ErrorCase{"(?i", 103, 3, "TPatternMatcher(comp): ParseReg Unmatched () (pos 3)"},
    ErrorCase{"ab)c", 104, 2, "TPatternMatcher(comp): ParseReg Unmatched () (pos 2)"},
    ErrorCase{"(a*)*", 106, 4, "TPatternMatcher(comp): *+ Operand Could Be Empty (pos 4)"},
    ErrorCase{"x(a|)+", 106, 5, "TPatternMatcher(comp): *+ Operand Could Be Empty (pos 5)"},
    ErrorCase{R"(\b{2})", 106, 2, "TPatternMatcher(comp): *+ Operand Could Be Empty (pos 2)"},
    ErrorCase{R"((a?)\1*)", 106, 6, "TPatternMatcher(comp): *+ Operand Could Be Empty (pos 6)"},
    ErrorCase{"a**", 107, 2, "TPatternMatcher(comp): Nested *?+ (pos 2)"},
    ErrorCase{"a+?{2}", 107, 3, "TPatternMatcher(comp): Nested *?+ (pos 3)"},
    ErrorCase{R"(\xG1)", 108, 2, "TPatternMatcher(comp): Bad Hex Digit (pos 2)"},
    ErrorCase{R"([\x{4q}])", 108, 5, "TPatternMatcher(comp): Bad Hex Digit (pos 5)"},
    ErrorCase{"[z-a]", 109, 3, "TPatternMatcher(comp): Invalid [] Range (pos 3)"},
    ErrorCase{"ab\\", 110, 3, "TPatternMatcher(comp): Parse Atom Trailing \\ (pos 3)"},
    ErrorCase{"\\x", 111, 2, "TPatternMatcher(comp): No Hex Code After \\x (pos 2)"},
    ErrorCase{"\\x4", 111, 3, "TPatternMatcher(comp): No Hex Code After \\x (pos 3)"},
    ErrorCase{"\\x{}", 111, 3, "TPatternMatcher(comp): No Hex Code After \\x (pos 3)"},
    ErrorCase{"\\x{100}", 112, 5, "TPatternMatcher(comp): Hex Code After \\x Is Too Big (pos 5)"},
    ErrorCase{"[abc", 113, 4, "TPatternMatcher(comp): Unmatched [] (pos 4)"},
    ErrorCase{"[]", 113, 2, "TPatternMatcher(comp): Unmatched [] (pos 2)"},
    ErrorCase{"*a", 115, 0, "TPatternMatcher(comp): ?+*{ Follows Nothing (pos 0)"},
    ErrorCase{"a|{2}", 115, 2, "TPatternMatcher(comp): ?+*{ Follows Nothing (pos 2)"},
    ErrorCase{"(+)", 115, 1, "TPatternMatcher(comp): ?+*{ Follows Nothing (pos 1)"},
    ErrorCase{"[a\\", 116, 3, "TPatternMatcher(comp): Trailing \\ (pos 3)"},
    ErrorCase{"a{123456789}", 122, 10, "TPatternMatcher(comp): BRACES Argument Too Big (pos 10)"},
    ErrorCase{"a{1,999999999}", 122, 12, "TPatternMatcher(comp): BRACES Argument Too Big (pos 12)"},
    ErrorCase{"a{2,1}", 124, 5, "TPatternMatcher(comp): BRACE Min Param Greater then Max (pos 5)"},
    ErrorCase{"a(?#note", 125, 8, "TPatternMatcher(comp): Unclosed (?#Comment) (pos 8)"},
    ErrorCase{"(?i-q)", 127, 4, "TPatternMatcher(comp): Urecognized Modifier (pos 4)"},
    ErrorCase{"(?:a)", 127, 2, "TPatternMatcher(comp): Urecognized Modifier (pos 2)"}
));

TEST(PatternErrors, LimitsAreAcceptedUpToTheirBound) {
    TPatternMatcher m;
    m.SetExpression("(a)(b)(c)(d)x{0,99999999}");
    EXPECT_TRUE(m.Exec("abcd"));
    EXPECT_EQ(m.GroupText(4), "d");
    m.SetExpression("a{3,}");
    EXPECT_NE(m.Dump().find("REPEAT CHAR \"a\" {3,inf}"), std::string::npos);
    m.SetExpression("(ab){0,}");
    EXPECT_NE(m.Dump().find("{0,inf}"), std::string::npos);
}

TEST(PatternErrors, ExecWithoutExpression) {
    TPatternMatcher m;
    try {
        m.Exec("text");
        FAIL();
    } catch (const EPatternMatcher& e) {
        EXPECT_EQ(e.ErrorCode(), 1003);
        EXPECT_STREQ(e.what(), "TPatternMatcher(exec): Not Assigned Expression Property");
    }
    EXPECT_EQ(m.InputLength(), 4u);
}

TEST(PatternErrors, PairedSeparatorMustBeTwoDifferentCharactersOrNone) {
    TPatternMatcher m;
    for (const char* bad : {"\r", "\r\r", "\r\n\n"}) {
        try {
            m.SetLinePairedSeparator(bad);
            FAIL() << bad;
        } catch (const EPatternMatcher& e) {
            EXPECT_EQ(e.ErrorCode(), 128);
            EXPECT_STREQ(e.what(),
                         "TPatternMatcher(comp): LinePairedSeparator must countain two different chars or no "
                         "chars at all (pos 0)");
        }
    }
    EXPECT_EQ(m.LinePairedSeparator(), "\r\n");
    m.SetLinePairedSeparator("");
    m.SetLinePairedSeparator("ab");
    EXPECT_EQ(m.LinePairedSeparator(), "ab");
}

// The nesting limit needs more than four groups; the compiler takes a raised group limit for it.
TEST(PatternErrors, LoopStackLimitStopsTheEleventhNestedLoop) {
    regex::CompileOptions options;
    options.maxGroups = 12;
    options.space = regex::CharSet(" ");
    options.word = regex::CharSet("a");
    auto nested = [](int depth) {
        std::string p = "a";
        for (int k = 0; k < depth; ++k) p = "(" + p + "){1,2}";
        return p;
    };
    std::ptrdiff_t start[5], end[5];
    auto ten = regex::compilePattern(nested(10), options);
    EXPECT_TRUE(regex::searchProgram(*ten, "a", start, end));
    auto eleven = regex::compilePattern(nested(11), options);
    try {
        regex::searchProgram(*eleven, "a", start, end);
        FAIL();
    } catch (const EPatternMatcher& e) {
        EXPECT_EQ(e.ErrorCode(), 1014);
        EXPECT_STREQ(e.what(), "TPatternMatcher(exec): Loop Stack Exceeded");
    }
}

}  // namespace
}  // namespace korvex
