#pragma once
// Stage 2: the compiled form of a pattern, a program of instructions for the backtracking
// interpreter (executor.cpp), with what the quick rejections need.
#include <cstdint>
#include <string>
#include <vector>

#include "charset.h"
#include "literal_search.h"

namespace korvex::regex {

// The opcodes, one per line. "next" is the following instruction; a failure backtracks to the
// most recent choice. Fields of Inst: a, b arguments; x, y jump targets; min, max counts.
enum class Op : std::uint8_t {
    Match,      // the whole pattern has matched: stop with success
    Char,       // the byte a comes next
    CharCI,     // a byte whose upper-case form (cp1251) is a comes next
    String,     // the b bytes of the literal pool at offset a come next
    StringCI,   // the same, compared by upper-case forms (the pool holds them upper-cased)
    Any,        // any byte comes next (modifier s)
    AnyNL,      // a byte that is not a line separator and does not start the paired separator
    Set,        // a byte of byte set a comes next
    TextStart,  // zero width: at the start of the input (\A, and ^ without m)
    TextEnd,    // zero width: at the end of the input (\Z, and $ without m)
    LineStart,  // zero width: at the start of the input or just after a line separator (^ with m)
    LineEnd,    // zero width: at the end of the input or just before a line separator ($ with m)
    WordB,      // zero width: exactly one of the bytes around is in the word set (\b)
    NotWordB,   // zero width: not a word boundary (\B)
    Backref,    // the text that group a captured comes next; fails when group a captured nothing
    BackrefCI,  // the same, compared by upper-case forms
    Open,       // group a begins here (kept apart until Close, so that \a inside sees the old text)
    Close,      // group a ends here: its slot becomes the span from its Open to here
    Split,      // continue at x; on backtracking at y. Set b (-1: none) holds the bytes that can
                //   start a match from y, so that y is not kept when the next byte cannot start it
    Jmp,        // continue at x
    Repeat,     // a single-byte item (kind b: Char, CharCI, Any, AnyNL or Set, argument a) from
                //   min to max times, greedy or lazy, then next; backtracking gives back or takes
                //   one more byte at a time
    LoopInit,   // counter a := 0 for a counted or lazy group loop of nesting depth b
    LoopTest,   // counter a below min: the body (next); at max: exit x; otherwise the body then
                //   x if greedy, x then the body if lazy
    LoopNext,   // counter a += 1 after one repetition of the body; continue at x (its LoopTest)
};

const char* opName(Op op) noexcept;

struct Inst {
    Op op = Op::Match;
    bool greedy = true;
    int a = 0;
    int b = 0;
    int x = 0;
    int y = 0;
    int min = 0;
    int max = 0;
    // Repeat only: what must hold just after it, to skip positions where the rest cannot begin.
    int followSet = -1;     // set of bytes that can come first after the repeat (-1: any)
    bool followEmpty = true;  // the rest can succeed without another byte
    int followLit = -1;     // literal pool offset of bytes that must come right after (-1: none)
    int followLen = 0;
    int followFinder = -1;  // index in Program::followFinders of that literal
};

// The deepest nesting of counted or lazy group loops that a search may enter.
inline constexpr int kMaxLoopDepth = 10;

struct Program {
    std::vector<Inst> code;
    std::vector<CharSet> sets;
    std::string pool;  // literal bytes of String, StringCI and follow literals
    int groupCount = 0;
    int counterCount = 0;

    // What the instructions need of the options at run time.
    CharSet word;
    CharSet lineSeparators;
    std::string pairedSeparator;

    // Quick rejections; none of them changes a result.
    bool anchored = false;    // every match starts at the start of the input
    std::string prefix;       // every match begins with these bytes
    std::string required;     // every match contains these bytes
    bool canBeEmpty = true;   // the pattern can match the empty text
    CharSet first;            // bytes that can begin a match (meaningful when !canBeEmpty)
    LiteralFinder prefixFinder;
    LiteralFinder requiredFinder;
    std::vector<LiteralFinder> followFinders;  // the follow literals of Repeat instructions
};

// The program as text: the quick rejections, then one line per instruction.
std::string dumpProgram(const Program& program);

}  // namespace korvex::regex
