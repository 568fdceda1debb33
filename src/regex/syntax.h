#pragma once
// Stage 1: the syntax tree that the parser builds from a pattern's text.
#include <string>
#include <string_view>
#include <vector>

#include "regex/charset.h"

namespace korvex::regex {

// Modifier flags, one bit per modifier letter.
enum Modifier : unsigned {
    kModI = 1u << 0,  // case-insensitive
    kModR = 1u << 1,  // Cyrillic ranges
    kModS = 1u << 2,  // "." matches every character
    kModG = 1u << 3,  // quantifiers greedy unless followed by "?"
    kModM = 1u << 4,  // "^" and "$" also at line separators
    kModX = 1u << 5,  // white space and "#" comments ignored
};
inline constexpr unsigned kDefaultModifiers = kModR | kModS | kModG;
inline constexpr char kModifierLetters[] = "irsgmx";
// The bit of a modifier letter (either case), 0 for any other character.
unsigned modifierBit(char letter) noexcept;

// Everything that decides how a pattern's text is read and run.
struct CompileOptions {
    unsigned modifiers = kDefaultModifiers;
    CharSet space;           // "\s"
    CharSet word;            // "\w", "\b"
    CharSet lineSeparators;  // "." without s, "^" "$" with m
    std::string pairedSeparator;  // two different bytes, or empty
    int maxGroups = 4;            // the group limit; tests raise it to reach the loop limit
};

enum class AssertKind : unsigned char {
    TextStart,     // \A, and ^ without m
    TextEnd,       // \Z, and $ without m
    LineStart,     // ^ with m
    LineEnd,       // $ with m
    WordBoundary,  // \b
    NotWordBoundary,  // \B
};

struct Node {
    enum class Kind : unsigned char {
        Empty,    // matches the empty text (an empty branch, a comment, a modifier switch)
        Char,     // one byte; ci: either case
        Set,      // one byte of `set`
        Any,      // any byte; without dotAll, not a line separator nor the start of the pair
        Assert,   // a zero-width test
        Backref,  // the text of group `number` again; ci: compared by case folding
        Group,    // capture group `number` around children[0]
        Concat,   // children in order
        Alt,      // children tried left to right
        Repeat,   // children[0] from min to max times; greedy or lazy
    };
    Kind kind = Kind::Empty;
    unsigned char ch = 0;
    bool ci = false;
    bool dotAll = false;
    bool greedy = true;
    bool fromBraces = false;  // Repeat written as {n}, {n,} or {n,m}
    AssertKind assertKind = AssertKind::TextStart;
    int number = 0;
    int min = 0;
    int max = 0;
    int pos = 0;  // offset in the pattern where the construct begins
    CharSet set;
    std::vector<Node> children;

    // True for the constructs that match exactly one byte.
    bool isSingleByte() const noexcept { return kind == Kind::Char || kind == Kind::Set || kind == Kind::Any; }
};

inline constexpr int kOpenBound = 2147483646;  // the upper bound of "*", "+" and {n,}
inline constexpr int kMaxBraceDigits = 8;

struct ParseResult {
    Node root;
    int groupCount = 0;
};

// Parses a pattern; raises EPatternMatcher with the code and position of the first error.
ParseResult parsePattern(std::string_view pattern, const CompileOptions& options);

}  // namespace korvex::regex
