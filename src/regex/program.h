#pragma once
// Stage 2: the compiled form of a pattern, a program of instructions for the backtracking
// interpreter (executor.cpp), with what the quick rejections need.
#include <cstdint>
#include <string>
#include <vector>

#include "regex/charset.h"
#include "regex/literal_search.h"

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
    Split,      // continue at x; on backtracking at y. Each way has a guard (see Guard): a way that
                //   cannot begin at this position is not taken, and not kept for backtracking
    Jmp,        // continue at x
    Repeat,     // a single-byte item (kind b: Char, CharCI, Any, AnyNL or Set, argument a) from
                //   min to max times, greedy or lazy, then next; backtracking gives back or takes
                //   one more byte at a time
    LoopInit,   // counter a := 0 for a counted or lazy group loop of nesting depth b
    LoopTest,   // counter a below min: the body (next); at max: exit x; otherwise the body then
                //   x if greedy, x then the body if lazy (each way with its guard, as for Split)
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
    // Split: guards of x and y; LoopTest: guards of the way tried first and of the other one.
    int guardFirst = -1;
    int guardSecond = -1;
    // Repeat only: what must hold just after it, to skip positions where the rest cannot begin.
    int followGuard = -1;   // guard of the rest after the repeat (-1: any position)
    int followLit = -1;     // literal pool offset of bytes that must come right after (-1: none)
    int followLen = 0;
    int followFinder = -1;  // index in Program::followFinders of that literal
};

// What a way through the program needs at a position to have any chance: a first byte from
// `first`, or, without consuming a byte, a position inside the text (emptyMid) or its end (emptyEnd).
struct Guard {
    CharSet first;
    bool emptyMid = false;
    bool emptyEnd = false;
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
    Guard start;              // what a match needs at its start position
    std::vector<Guard> guards;
    LiteralFinder prefixFinder;
    LiteralFinder requiredFinder;
    std::vector<LiteralFinder> followFinders;  // the follow literals of Repeat instructions

    // Failure memo: where ways through the program meet, a state that failed once fails again. The
    // state is the instruction and the position, plus, when the pattern has back references, what
    // the referenced groups hold (memoGroups); instructions inside a loop whose counter is compared
    // with anything but 0 and 1 get no row, as the counter would be part of the state there.
    std::vector<int> memoGroups;
    std::vector<std::uint16_t> memoLive;  // per row: which registers of memoGroups can still be read
                                          //   (bit 3i: start, 3i+1: end, 3i+2: open of memoGroups[i])
    std::vector<int> memoRow;     // per instruction: its row in the memo, or -1
    std::vector<int> memoExtRow;  // per lazy Repeat without upper bound: row of its extension points
    int memoRows = 0;
};

// The program as text: the quick rejections, then one line per instruction.
std::string dumpProgram(const Program& program);

}  // namespace korvex::regex
