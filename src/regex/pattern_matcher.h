#pragma once
// TPatternMatcher: the regular-expression engine that extracts values from portal pages.
//
// Texts and patterns are 8-bit: one character is one byte (cp1251, or UTF-8 bytes taken one by one).
// The matcher works in three stages that each live in their own file:
//   parser.cpp    pattern text -> syntax tree (one function per precedence level)
//   compiler.cpp  syntax tree -> program of opcodes (program.h documents each opcode), plus the
//                 quick rejections (required literal, first characters, anchoring)
//   executor.cpp  program + text -> match, by a backtracking interpreter whose backtracking lives on
//                 a heap stack, so that no recursion grows with the text
//
// Threads: a matcher is used by one thread at a time; distinct matchers share nothing.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvex {

// The error codes. Codes below 1000 are compile errors and carry a pattern position.
enum PatternErrorCode : int {
    kPmNoErrors = 0,
    kPmCompNullArgument = 100,
    kPmCompRegexpTooBig = 101,
    kPmCompTooManyGroups = 102,
    kPmCompUnmatchedOpen = 103,   // a group without ")"
    kPmCompUnmatchedClose = 104,  // a ")" without a group
    kPmCompJunkOnEnd = 105,
    kPmCompOperandCouldBeEmpty = 106,
    kPmCompNestedQuantifier = 107,
    kPmCompBadHexDigit = 108,
    kPmCompInvalidRange = 109,
    kPmCompParseAtomTrailingBackslash = 110,
    kPmCompNoHexCodeAfterX = 111,
    kPmCompHexCodeTooBig = 112,
    kPmCompUnmatchedBrackets = 113,
    kPmCompInternalUrp = 114,
    kPmCompQuantifierFollowsNothing = 115,
    kPmCompTrailingBackslash = 116,
    kPmCompInternalDisaster = 119,
    kPmCompBracesArgTooBig = 122,
    kPmCompBracesMinGreaterMax = 124,
    kPmCompUnclosedComment = 125,
    kPmCompUnrecognizedModifier = 127,
    kPmCompBadLinePairedSeparator = 128,
    kPmExecRegRepeat = 1000,
    kPmExecMemoryCorruption = 1001,
    kPmExecCorruptedPointers = 1002,
    kPmExecNoExpression = 1003,
    kPmExecCorruptedProgram = 1004,
    kPmExecNoInputString = 1005,
    kPmExecOffsetNotPositive = 1006,
    kPmExecNextWithoutExec = 1007,
    kPmExecGetInputWithoutInput = 1008,
    kPmDumpCorruptedOpcode = 1011,
    kPmExecLoopStackExceeded = 1014,
    kPmExecLoopWithoutEntry = 1015,
    // Ours, not the engine's of old: a search that would take too long on this page, and one ended
    // from outside (a check stopped or out of time).
    kPmExecTooMuchWork = 1016,
    kPmExecStopped = 1017,
    kPmMiscBadPCode = 2000,
};

// The exact text of an error code, misspellings included; "Unknown error" for any other code.
std::string patternErrorText(int code);

// Raised by every failure of the matcher. what() is the error's text; for compile errors (codes
// below 1000) it is followed by " (pos N)", N the offset in the pattern at which parsing stopped.
class EPatternMatcher : public std::runtime_error {
public:
    EPatternMatcher(int code, int position);

    int ErrorCode() const noexcept { return m_code; }
    // Meaningful for compile errors only; 0 when there is no pattern.
    int CompilerErrorPos() const noexcept { return m_position; }

private:
    int m_code;
    int m_position;
};

namespace regex {
struct Program;
}

class TPatternMatcher {
public:
    static constexpr int kMaxGroups = 4;              // capture groups per pattern
    static constexpr int kSlots = kMaxGroups + 1;     // slot 0 is the whole match
    // The most work one Exec may do, in steps (a start position tried, a backtrack, a loop's turn, a
    // byte run over by a repeat): two or three seconds of work at most. Every built-in pattern finds its value on a
    // 32 MB page, or misses it, with a small share of it; a pattern that needs more on a page
    // (nested repeats that retry every split of the text) raises kPmExecTooMuchWork instead of
    // holding the check for hours.
    static constexpr std::uint64_t kDefaultStepLimit = 200'000'000;

    // A new matcher with the default settings and no Expression.
    TPatternMatcher();
    ~TPatternMatcher();
    TPatternMatcher(const TPatternMatcher&) = delete;
    TPatternMatcher& operator=(const TPatternMatcher&) = delete;
    TPatternMatcher(TPatternMatcher&&) noexcept;
    TPatternMatcher& operator=(TPatternMatcher&&) noexcept;

    // The pattern. Setting the text it already holds keeps the compiled form; any other text
    // drops it. Compiling waits for the next Exec (or Dump).
    const std::string& Expression() const noexcept { return m_expression; }
    void SetExpression(std::string_view text);

    // Clears the five slots, compiles if needed (raising EPatternMatcher on a compile error) and
    // searches text for its first match. True when found. The text is searched where it lies;
    // the matcher keeps a copy of the matched part only, which is all that GroupText can reach
    // (a whole-page copy per search would cost more than the search itself).
    bool Exec(std::string_view text);

    // The part of the last Exec's text that slot n covers (0 the whole match, 1..4 the groups);
    // empty when n is outside 0..4, the group took no part in the match, or no text was given yet.
    // GroupView's bytes belong to the matcher and stay valid until the next Exec.
    std::string GroupText(int n) const;
    std::string_view GroupView(int n) const;
    // Offset and length of slot n, or -1 when the slot is empty (n outside 0..4 included).
    std::ptrdiff_t MatchPos(int n) const noexcept;
    std::ptrdiff_t MatchLen(int n) const noexcept;
    // Length of the text given to the last Exec (0 before the first).
    std::size_t InputLength() const noexcept { return m_inputLength; }

    // The work limit of every Exec (kDefaultStepLimit at first); reaching it raises kPmExecTooMuchWork.
    std::uint64_t StepLimit() const noexcept { return m_stepLimit; }
    void SetStepLimit(std::uint64_t steps) noexcept { m_stepLimit = steps; }
    // The steps the last Exec took (as far as it went).
    std::uint64_t LastSteps() const noexcept { return m_lastSteps; }
    // A flag that another thread may raise to end an Exec in progress: the Exec then raises
    // kPmExecStopped within a few milliseconds. nullptr (the default): nothing ends it but the limit.
    // The flag must outlive every Exec that may read it.
    void SetStopFlag(const std::atomic<bool>* flag) noexcept { m_stopFlag = flag; }

    // Modifiers i r s g m x, by letter (either case). Changing one drops the compiled form.
    // An unknown letter raises code 127.
    bool Modifier(char letter) const;
    void SetModifier(char letter, bool on);
    // The modifiers as text: the letters that are on, "-", the letters that are off.
    std::string ModifierStr() const;

    // The character sets. The program never changes them; they are settable for completeness and
    // tests. Changing one drops the compiled form.
    const std::string& SpaceChars() const noexcept { return m_spaceChars; }
    void SetSpaceChars(std::string_view chars);
    const std::string& WordChars() const noexcept { return m_wordChars; }
    void SetWordChars(std::string_view chars);
    const std::string& LineSeparators() const noexcept { return m_lineSeparators; }
    void SetLineSeparators(std::string_view chars);
    // Two different characters, or none; anything else raises code 128.
    const std::string& LinePairedSeparator() const noexcept { return m_linePairedSeparator; }
    void SetLinePairedSeparator(std::string_view chars);

    // The compiled program as text, one instruction per line, compiling first if needed.
    std::string Dump();
    // How many times the Expression has been compiled since the matcher was created.
    int CompileCount() const noexcept { return m_compileCount; }
    bool IsCompiled() const noexcept { return m_program != nullptr; }

private:
    void compileIfNeeded();
    void dropProgram() noexcept;

    std::string m_expression;
    unsigned m_modifiers;
    std::string m_spaceChars;
    std::string m_wordChars;
    std::string m_lineSeparators;
    std::string m_linePairedSeparator;
    std::unique_ptr<regex::Program> m_program;
    std::string m_matched;              // the text of slot 0 of the last match
    std::size_t m_inputLength = 0;
    std::ptrdiff_t m_start[kSlots];
    std::ptrdiff_t m_end[kSlots];
    int m_compileCount = 0;
    std::uint64_t m_stepLimit = kDefaultStepLimit;
    std::uint64_t m_lastSteps = 0;
    const std::atomic<bool>* m_stopFlag = nullptr;
};

}  // namespace korvex
