#include "regex/pattern_matcher.h"

#include "regex/compiler.h"
#include "regex/executor.h"
#include "regex/program.h"
#include "regex/syntax.h"

namespace korvex {

std::string patternErrorText(int code) {
    switch (code) {
        case kPmNoErrors: return "No errors";
        case kPmCompNullArgument: return "TPatternMatcher(comp): Null Argument";
        case kPmCompRegexpTooBig: return "TPatternMatcher(comp): Regexp Too Big";
        case kPmCompTooManyGroups: return "TPatternMatcher(comp): ParseReg Too Many ()";
        case kPmCompUnmatchedOpen:
        case kPmCompUnmatchedClose: return "TPatternMatcher(comp): ParseReg Unmatched ()";
        case kPmCompJunkOnEnd: return "TPatternMatcher(comp): ParseReg Junk On End";
        case kPmCompOperandCouldBeEmpty: return "TPatternMatcher(comp): *+ Operand Could Be Empty";
        case kPmCompNestedQuantifier: return "TPatternMatcher(comp): Nested *?+";
        case kPmCompBadHexDigit: return "TPatternMatcher(comp): Bad Hex Digit";
        case kPmCompInvalidRange: return "TPatternMatcher(comp): Invalid [] Range";
        case kPmCompParseAtomTrailingBackslash: return "TPatternMatcher(comp): Parse Atom Trailing \\";
        case kPmCompNoHexCodeAfterX: return "TPatternMatcher(comp): No Hex Code After \\x";
        case kPmCompHexCodeTooBig: return "TPatternMatcher(comp): Hex Code After \\x Is Too Big";
        case kPmCompUnmatchedBrackets: return "TPatternMatcher(comp): Unmatched []";
        case kPmCompInternalUrp: return "TPatternMatcher(comp): Internal Urp";
        case kPmCompQuantifierFollowsNothing: return "TPatternMatcher(comp): ?+*{ Follows Nothing";
        case kPmCompTrailingBackslash: return "TPatternMatcher(comp): Trailing \\";
        case kPmCompInternalDisaster: return "TPatternMatcher(comp): RarseAtom Internal Disaster";
        case kPmCompBracesArgTooBig: return "TPatternMatcher(comp): BRACES Argument Too Big";
        case kPmCompBracesMinGreaterMax: return "TPatternMatcher(comp): BRACE Min Param Greater then Max";
        case kPmCompUnclosedComment: return "TPatternMatcher(comp): Unclosed (?#Comment)";
        case kPmCompUnrecognizedModifier: return "TPatternMatcher(comp): Urecognized Modifier";
        case kPmCompBadLinePairedSeparator:
            return "TPatternMatcher(comp): LinePairedSeparator must countain two different chars or no chars at all";
        case kPmExecRegRepeat: return "TPatternMatcher(exec): RegRepeat Called Inappropriately";
        case kPmExecMemoryCorruption: return "TPatternMatcher(exec): MatchPrim Memory Corruption";
        case kPmExecCorruptedPointers: return "TPatternMatcher(exec): MatchPrim Corrupted Pointers";
        case kPmExecNoExpression: return "TPatternMatcher(exec): Not Assigned Expression Property";
        case kPmExecCorruptedProgram: return "TPatternMatcher(exec): Corrupted Program";
        case kPmExecNoInputString: return "TPatternMatcher(exec): No Input String Specified";
        case kPmExecOffsetNotPositive: return "TPatternMatcher(exec): Offset Must Be Greater Then 0";
        case kPmExecNextWithoutExec: return "TPatternMatcher(exec): ExecNext Without Exec[Pos]";
        case kPmExecGetInputWithoutInput: return "TPatternMatcher(exec): GetInputString Without InputString";
        case kPmDumpCorruptedOpcode: return "TPatternMatcher(dump): Corrupted Opcode";
        case kPmExecLoopStackExceeded: return "TPatternMatcher(exec): Loop Stack Exceeded";
        case kPmExecLoopWithoutEntry: return "TPatternMatcher(exec): Loop Without LoopEntry !";
        case kPmExecTooMuchWork: return "the pattern needs too much work on this page";
        case kPmExecStopped: return "the search was stopped";
        case kPmMiscBadPCode: return "TPatternMatcher(misc): Bad p-code imported";
        default: return "Unknown error";
    }
}

namespace {

std::string errorMessage(int code, int position) {
    std::string text = patternErrorText(code);
    if (code < 1000) text += " (pos " + std::to_string(position) + ")";
    return text;
}

}  // namespace

EPatternMatcher::EPatternMatcher(int code, int position)
    : std::runtime_error(errorMessage(code, position)), m_code(code), m_position(position) {}

TPatternMatcher::TPatternMatcher()
    : m_modifiers(regex::kDefaultModifiers),
      m_spaceChars(" \t\n\r\f"),
      m_wordChars("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_"),
      m_lineSeparators("\r\n"),
      m_linePairedSeparator("\r\n") {
    for (int k = 0; k < kSlots; ++k) m_start[k] = m_end[k] = -1;
}

TPatternMatcher::~TPatternMatcher() = default;
TPatternMatcher::TPatternMatcher(TPatternMatcher&&) noexcept = default;
TPatternMatcher& TPatternMatcher::operator=(TPatternMatcher&&) noexcept = default;

void TPatternMatcher::dropProgram() noexcept { m_program.reset(); }

void TPatternMatcher::SetExpression(std::string_view text) {
    if (text == m_expression && m_program) return;
    m_expression.assign(text);
    dropProgram();
}

void TPatternMatcher::compileIfNeeded() {
    if (m_program) return;
    // An empty text is no Expression at all, as in a matcher that was never given one.
    if (m_expression.empty()) throw EPatternMatcher(kPmExecNoExpression, 0);
    regex::CompileOptions options;
    options.modifiers = m_modifiers;
    options.space = regex::CharSet(m_spaceChars);
    options.word = regex::CharSet(m_wordChars);
    options.lineSeparators = regex::CharSet(m_lineSeparators);
    options.pairedSeparator = m_linePairedSeparator;
    ++m_compileCount;
    m_program = regex::compilePattern(m_expression, options);
}

bool TPatternMatcher::Exec(std::string_view text) {
    m_inputLength = text.size();
    m_matched.clear();
    for (int k = 0; k < kSlots; ++k) m_start[k] = m_end[k] = -1;
    compileIfNeeded();
    regex::SearchOptions options;
    options.stepLimit = m_stepLimit;
    options.stop = m_stopFlag;
    const bool found = regex::searchProgram(*m_program, text, m_start, m_end, options, &m_lastSteps);
    if (!found) {
        for (int k = 0; k < kSlots; ++k) m_start[k] = m_end[k] = -1;
        return false;
    }
    // Every group lies inside the whole match: the search never steps back.
    m_matched.assign(text.substr(static_cast<std::size_t>(m_start[0]), static_cast<std::size_t>(m_end[0] - m_start[0])));
    return true;
}

std::string_view TPatternMatcher::GroupView(int n) const {
    if (n < 0 || n >= kSlots || m_start[n] < 0 || m_end[n] < m_start[n]) return {};
    return std::string_view(m_matched).substr(static_cast<std::size_t>(m_start[n] - m_start[0]),
                                              static_cast<std::size_t>(m_end[n] - m_start[n]));
}

std::string TPatternMatcher::GroupText(int n) const { return std::string(GroupView(n)); }

std::ptrdiff_t TPatternMatcher::MatchPos(int n) const noexcept {
    if (n < 0 || n >= kSlots) return -1;
    return m_start[n];
}

std::ptrdiff_t TPatternMatcher::MatchLen(int n) const noexcept {
    if (n < 0 || n >= kSlots || m_start[n] < 0) return -1;
    return m_end[n] - m_start[n];
}

bool TPatternMatcher::Modifier(char letter) const {
    const unsigned bit = regex::modifierBit(letter);
    if (!bit) throw EPatternMatcher(kPmCompUnrecognizedModifier, 0);
    return (m_modifiers & bit) != 0;
}

void TPatternMatcher::SetModifier(char letter, bool on) {
    const unsigned bit = regex::modifierBit(letter);
    if (!bit) throw EPatternMatcher(kPmCompUnrecognizedModifier, 0);
    const unsigned next = on ? (m_modifiers | bit) : (m_modifiers & ~bit);
    if (next != m_modifiers) {
        m_modifiers = next;
        dropProgram();
    }
}

std::string TPatternMatcher::ModifierStr() const {
    std::string on, off;
    for (const char* p = regex::kModifierLetters; *p; ++p) ((m_modifiers & regex::modifierBit(*p)) ? on : off) += *p;
    return off.empty() ? on : on + "-" + off;
}

void TPatternMatcher::SetSpaceChars(std::string_view chars) {
    if (chars == m_spaceChars) return;
    m_spaceChars.assign(chars);
    dropProgram();
}

void TPatternMatcher::SetWordChars(std::string_view chars) {
    if (chars == m_wordChars) return;
    m_wordChars.assign(chars);
    dropProgram();
}

void TPatternMatcher::SetLineSeparators(std::string_view chars) {
    if (chars == m_lineSeparators) return;
    m_lineSeparators.assign(chars);
    dropProgram();
}

void TPatternMatcher::SetLinePairedSeparator(std::string_view chars) {
    const bool valid = chars.empty() || (chars.size() == 2 && chars[0] != chars[1]);
    if (!valid) throw EPatternMatcher(kPmCompBadLinePairedSeparator, 0);
    if (chars == m_linePairedSeparator) return;
    m_linePairedSeparator.assign(chars);
    dropProgram();
}

std::string TPatternMatcher::Dump() {
    compileIfNeeded();
    return regex::dumpProgram(*m_program);
}

}  // namespace korvex
