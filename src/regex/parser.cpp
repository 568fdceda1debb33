// Stage 1: pattern text -> syntax tree. One function per precedence level, as in Spencer's regexp:
// parseAlternation (reg) -> parseBranch (regbranch) -> parsePiece (regpiece) -> parseAtom (regatom).
// Recursion follows the nesting of groups only, and groups are limited to four, so the depth of
// this parser is bounded whatever the pattern.
#include <cstring>

#include "regex/pattern_matcher.h"
#include "regex/syntax.h"

namespace korvex::regex {

unsigned modifierBit(char letter) noexcept {
    switch (letter) {
        case 'i': case 'I': return kModI;
        case 'r': case 'R': return kModR;
        case 's': case 'S': return kModS;
        case 'g': case 'G': return kModG;
        case 'm': case 'M': return kModM;
        case 'x': case 'X': return kModX;
        default: return 0;
    }
}

namespace {

constexpr char kDigits[] = "0123456789";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A parsed quantifier.
struct Quantifier {
    int min = 0;
    int max = 0;
    bool lazy = false;
    int pos = 0;
    bool braces = false;
};

class Parser {
public:
    Parser(std::string_view pattern, const CompileOptions& options)
        : m_p(pattern), m_opt(options), m_mods(options.modifiers) {}

    ParseResult run() {
        ParseResult result;
        result.root = parseAlternation();
        if (!atEnd()) {
            if (peek() == ')') fail(kPmCompUnmatchedClose, m_i);
            fail(kPmCompJunkOnEnd, m_i);
        }
        result.groupCount = m_groupCount;
        return result;
    }

private:
    [[noreturn]] void fail(int code, std::size_t pos) { throw EPatternMatcher(code, static_cast<int>(pos)); }
    bool atEnd() const { return m_i >= m_p.size(); }
    char peek(std::size_t ahead = 0) const { return m_i + ahead < m_p.size() ? m_p[m_i + ahead] : '\0'; }
    bool has(std::size_t ahead = 0) const { return m_i + ahead < m_p.size(); }
    bool mod(unsigned bit) const { return (m_mods & bit) != 0; }

    // With modifier x: white space and "#" comments up to the end of the line are skipped.
    void skipExtended() {
        if (!mod(kModX)) return;
        while (!atEnd()) {
            const auto c = static_cast<unsigned char>(peek());
            if (m_opt.space.has(c)) {
                ++m_i;
            } else if (c == '#') {
                while (!atEnd() && !m_opt.lineSeparators.has(static_cast<unsigned char>(peek()))) ++m_i;
            } else {
                break;
            }
        }
    }

    // reg: branches separated by "|". Modifier switches inside end with the enclosing group.
    Node parseAlternation() {
        const unsigned savedMods = m_mods;
        Node alt;
        alt.kind = Node::Kind::Alt;
        alt.pos = static_cast<int>(m_i);
        alt.children.push_back(parseBranch());
        while (!atEnd() && peek() == '|') {
            ++m_i;
            alt.children.push_back(parseBranch());
        }
        m_mods = savedMods;
        if (alt.children.size() == 1) return std::move(alt.children.front());
        return alt;
    }

    // regbranch: pieces up to "|", ")" or the end.
    Node parseBranch() {
        Node seq;
        seq.kind = Node::Kind::Concat;
        seq.pos = static_cast<int>(m_i);
        for (;;) {
            skipExtended();
            if (atEnd() || peek() == '|' || peek() == ')') break;
            seq.children.push_back(parsePiece());
        }
        if (seq.children.empty()) {
            Node empty;
            empty.pos = seq.pos;
            return empty;
        }
        if (seq.children.size() == 1) return std::move(seq.children.front());
        return seq;
    }

    // Reads a brace form {n}, {n,} or {n,m} at m_i. Answers false, leaving m_i alone, when the text
    // there is not one of these forms (the "{" is then a literal).
    bool readBraces(Quantifier& q) {
        std::size_t j = m_i + 1;
        auto digits = [&](std::size_t& from) {
            const std::size_t start = from;
            while (from < m_p.size() && m_p[from] >= '0' && m_p[from] <= '9') ++from;
            return from - start;
        };
        const std::size_t minStart = j;
        const std::size_t minLen = digits(j);
        if (minLen == 0 || j >= m_p.size()) return false;
        std::size_t maxStart = 0, maxLen = 0;
        bool open = false;
        if (m_p[j] == ',') {
            ++j;
            maxStart = j;
            maxLen = digits(j);
            open = maxLen == 0;
        }
        if (j >= m_p.size() || m_p[j] != '}') return false;
        if (minLen > kMaxBraceDigits) fail(kPmCompBracesArgTooBig, minStart + kMaxBraceDigits);
        if (maxLen > kMaxBraceDigits) fail(kPmCompBracesArgTooBig, maxStart + kMaxBraceDigits);
        auto value = [&](std::size_t from, std::size_t len) {
            int v = 0;
            for (std::size_t k = 0; k < len; ++k) v = v * 10 + (m_p[from + k] - '0');
            return v;
        };
        q.min = value(minStart, minLen);
        if (open) {
            q.max = kOpenBound;
        } else if (maxLen == 0) {
            q.max = q.min;  // {n}
        } else {
            q.max = value(maxStart, maxLen);
        }
        if (q.min > q.max) fail(kPmCompBracesMinGreaterMax, j);
        m_i = j + 1;
        return true;
    }

    // Reads a quantifier with its lazy "?" at m_i, if there is one.
    bool readQuantifier(Quantifier& q) {
        if (atEnd()) return false;
        q.pos = static_cast<int>(m_i);
        switch (peek()) {
            case '*': q.min = 0, q.max = kOpenBound, ++m_i; break;
            case '+': q.min = 1, q.max = kOpenBound, ++m_i; break;
            case '?': q.min = 0, q.max = 1, ++m_i; break;
            case '{':
                if (!readBraces(q)) return false;
                q.braces = true;
                break;
            default: return false;
        }
        q.lazy = false;
        if (!atEnd() && peek() == '?') {
            q.lazy = true;
            ++m_i;
        }
        if (!mod(kModG)) q.lazy = true;
        return true;
    }

    bool startsQuantifier() {
        if (atEnd()) return false;
        const char c = peek();
        if (c == '*' || c == '+' || c == '?') return true;
        if (c != '{') return false;
        const std::size_t saved = m_i;
        Quantifier q;
        const bool yes = readBraces(q);  // may raise 122 or 124 for a malformed count
        m_i = saved;
        return yes;
    }

    // regpiece: an atom and at most one quantifier.
    Node parsePiece() {
        if (startsQuantifier()) fail(kPmCompQuantifierFollowsNothing, m_i);
        Node atom = parseAtom();
        skipExtended();
        Quantifier q;
        if (!readQuantifier(q)) return atom;
        const bool star = !(q.min == 0 && q.max == 1);  // "*", "+" and braces; "?" may take an empty operand
        if (star && canBeEmpty(atom)) fail(kPmCompOperandCouldBeEmpty, q.pos);
        skipExtended();
        if (startsQuantifier()) fail(kPmCompNestedQuantifier, m_i);
        Node rep;
        rep.kind = Node::Kind::Repeat;
        rep.pos = atom.pos;
        rep.min = q.min;
        rep.max = q.max;
        rep.greedy = !q.lazy;
        rep.fromBraces = q.braces;
        rep.children.push_back(std::move(atom));
        return rep;
    }

    // True when the node can match the empty text. A back reference counts as possibly empty
    // unless its group is already closed and cannot be empty; a reference above the group limit
    // never matches, and so is never empty.
    bool canBeEmpty(const Node& n) const {
        switch (n.kind) {
            case Node::Kind::Empty:
            case Node::Kind::Assert: return true;
            case Node::Kind::Char:
            case Node::Kind::Set:
            case Node::Kind::Any: return false;
            case Node::Kind::Backref:
                if (n.number > m_opt.maxGroups) return false;
                if (n.number < static_cast<int>(m_groupClosed.size()) && m_groupClosed[n.number])
                    return m_groupNullable[n.number];
                return true;
            case Node::Kind::Group: return canBeEmpty(n.children[0]);
            case Node::Kind::Repeat: return n.min == 0 || canBeEmpty(n.children[0]);
            case Node::Kind::Concat:
                for (const auto& c : n.children)
                    if (!canBeEmpty(c)) return false;
                return true;
            case Node::Kind::Alt:
                for (const auto& c : n.children)
                    if (canBeEmpty(c)) return true;
                return false;
        }
        return true;
    }

    Node makeChar(unsigned char c, int pos) const {
        Node n;
        n.kind = Node::Kind::Char;
        n.ch = c;
        n.pos = pos;
        n.ci = mod(kModI) && otherCase(c) != c;
        return n;
    }

    Node makeSet(CharSet set, bool negate, int pos) const {
        if (mod(kModI)) set.closeUnderCase();
        if (negate) set.invert();
        Node n;
        n.kind = Node::Kind::Set;
        n.set = set;
        n.pos = pos;
        return n;
    }

    Node makeAssert(AssertKind kind, int pos) const {
        Node n;
        n.kind = Node::Kind::Assert;
        n.assertKind = kind;
        n.pos = pos;
        return n;
    }

    // After "\x" (m_i on the "x"): two hexadecimal digits, or one or two in braces.
    unsigned char readHex() {
        ++m_i;  // the "x"
        if (atEnd()) fail(kPmCompNoHexCodeAfterX, m_i);
        int value = 0;
        if (peek() == '{') {
            ++m_i;
            int digits = 0;
            for (;;) {
                if (atEnd()) fail(kPmCompNoHexCodeAfterX, m_i);
                if (peek() == '}') break;
                const int d = hexValue(peek());
                if (d < 0) fail(kPmCompBadHexDigit, m_i);
                value = value * 16 + d;
                ++digits;
                if (value > 0xFF) fail(kPmCompHexCodeTooBig, m_i);
                ++m_i;
            }
            if (digits == 0) fail(kPmCompNoHexCodeAfterX, m_i);
            ++m_i;  // the "}"
            return static_cast<unsigned char>(value);
        }
        for (int k = 0; k < 2; ++k) {
            if (atEnd()) fail(kPmCompNoHexCodeAfterX, m_i);
            const int d = hexValue(peek());
            if (d < 0) fail(kPmCompBadHexDigit, m_i);
            value = value * 16 + d;
            ++m_i;
        }
        return static_cast<unsigned char>(value);
    }

    // The character of a one-character escape ("\t", "\n", ...), or the escaped character itself.
    // m_i is on the character after the backslash and is left after the escape.
    unsigned char readCharEscape() {
        const char c = peek();
        switch (c) {
            case 't': ++m_i; return 9;
            case 'n': ++m_i; return 10;
            case 'r': ++m_i; return 13;
            case 'f': ++m_i; return 12;
            case 'a': ++m_i; return 7;
            case 'e': ++m_i; return 27;
            case 'x': return readHex();
            default: ++m_i; return static_cast<unsigned char>(c);
        }
    }

    // [...] and [^...]; m_i is just after the "[".
    Node parseClass(int startPos) {
        bool negate = false;
        if (!atEnd() && peek() == '^') {
            negate = true;
            ++m_i;
        }
        CharSet set;
        bool first = true;
        for (;;) {
            if (atEnd()) fail(kPmCompUnmatchedBrackets, m_i);
            if (peek() == ']' && !first) break;
            first = false;
            // One element: a class escape, or a character that may begin a range.
            int ch;
            if (peek() == '\\') {
                ++m_i;
                if (atEnd()) fail(kPmCompTrailingBackslash, m_i);
                const char e = peek();
                if (e == 'd') {
                    set.addAll(kDigits), ++m_i;
                    continue;
                }
                if (e == 's') {
                    set.addSet(m_opt.space), ++m_i;
                    continue;
                }
                if (e == 'w') {
                    set.addSet(m_opt.word), ++m_i;
                    continue;
                }
                ch = readCharEscape();
            } else {
                ch = static_cast<unsigned char>(peek());
                ++m_i;
            }
            // A range needs "-" and then a character that is neither "]" nor a class escape.
            const bool range = has(1) && peek() == '-' && peek(1) != ']' &&
                               !(peek(1) == '\\' && has(2) && std::strchr("dsw", peek(2)) && peek(2) != '\0');
            if (!range) {
                set.add(static_cast<unsigned char>(ch));
                continue;
            }
            ++m_i;  // the "-"
            int last;
            std::size_t lastPos = m_i;
            if (peek() == '\\') {
                ++m_i;
                if (atEnd()) fail(kPmCompTrailingBackslash, m_i);
                last = readCharEscape();
            } else {
                last = static_cast<unsigned char>(peek());
                ++m_i;
            }
            addRange(set, static_cast<unsigned char>(ch), static_cast<unsigned char>(last), lastPos);
        }
        ++m_i;  // the "]"
        return makeSet(set, negate, startPos);
    }

    void addRange(CharSet& set, unsigned char from, unsigned char to, std::size_t pos) {
        if (mod(kModR)) {
            if (from == kCyrLowerFirst && to == kCyrLowerLast) {  // а-я with ё
                set.addRange(from, to), set.add(kCyrLowerYo);
                return;
            }
            if (from == kCyrUpperFirst && to == kCyrUpperLast) {  // А-Я with Ё
                set.addRange(from, to), set.add(kCyrUpperYo);
                return;
            }
            if (from == kCyrLowerFirst && to == kCyrUpperLast) {  // а-Я: the whole alphabet
                set.addRange(kCyrUpperFirst, kCyrLowerLast);
                set.add(kCyrLowerYo), set.add(kCyrUpperYo);
                return;
            }
        }
        if (to < from) fail(kPmCompInvalidRange, pos);
        set.addRange(from, to);
    }

    // "(" has been read (m_i on the character after it): a group, a comment or a modifier switch.
    Node parseParen(int openPos) {
        if (!atEnd() && peek() == '?') {
            ++m_i;
            if (!atEnd() && peek() == '#') {
                while (!atEnd() && peek() != ')') ++m_i;
                if (atEnd()) fail(kPmCompUnclosedComment, m_i);
                ++m_i;
                Node empty;
                empty.pos = openPos;
                return empty;
            }
            unsigned on = 0, off = 0;
            bool minus = false;
            for (;;) {
                if (atEnd()) fail(kPmCompUnmatchedOpen, m_i);
                const char c = peek();
                if (c == ')') break;
                if (c == '-' && !minus) {
                    minus = true;
                } else if (const unsigned bit = modifierBit(c)) {
                    (minus ? off : on) |= bit;
                } else {
                    fail(kPmCompUnrecognizedModifier, m_i);
                }
                ++m_i;
            }
            ++m_i;
            m_mods = (m_mods | on) & ~off;
            Node empty;
            empty.pos = openPos;
            return empty;
        }
        const int number = ++m_groupCount;
        if (number > m_opt.maxGroups) fail(kPmCompTooManyGroups, openPos);
        Node inner = parseAlternation();
        if (atEnd() || peek() != ')') fail(kPmCompUnmatchedOpen, m_i);
        ++m_i;
        if (static_cast<int>(m_groupClosed.size()) <= number) {
            m_groupClosed.resize(number + 1, false);
            m_groupNullable.resize(number + 1, true);
        }
        m_groupNullable[number] = canBeEmpty(inner);
        m_groupClosed[number] = true;
        Node group;
        group.kind = Node::Kind::Group;
        group.number = number;
        group.pos = openPos;
        group.children.push_back(std::move(inner));
        return group;
    }

    // regatom.
    Node parseAtom() {
        const int pos = static_cast<int>(m_i);
        const char c = peek();
        ++m_i;
        switch (c) {
            case '^': return makeAssert(mod(kModM) ? AssertKind::LineStart : AssertKind::TextStart, pos);
            case '$': return makeAssert(mod(kModM) ? AssertKind::LineEnd : AssertKind::TextEnd, pos);
            case '.': {
                Node n;
                n.kind = Node::Kind::Any;
                n.dotAll = mod(kModS);
                n.pos = pos;
                return n;
            }
            case '[': return parseClass(pos);
            case '(': return parseParen(pos);
            case '|':
            case ')':
                fail(kPmCompInternalUrp, pos);  // parseBranch stops before these
            case '\\': return parseEscape(pos);
            default: return makeChar(static_cast<unsigned char>(c), pos);
        }
    }

    // "\" has been read.
    Node parseEscape(int pos) {
        if (atEnd()) fail(kPmCompParseAtomTrailingBackslash, m_i);
        const char e = peek();
        switch (e) {
            case 'd': ++m_i; return makeSet(CharSet(kDigits), false, pos);
            case 'D': ++m_i; return makeSet(CharSet(kDigits), true, pos);
            case 'w': ++m_i; return makeSet(m_opt.word, false, pos);
            case 'W': ++m_i; return makeSet(m_opt.word, true, pos);
            case 's': ++m_i; return makeSet(m_opt.space, false, pos);
            case 'S': ++m_i; return makeSet(m_opt.space, true, pos);
            case 'b': ++m_i; return makeAssert(AssertKind::WordBoundary, pos);
            case 'B': ++m_i; return makeAssert(AssertKind::NotWordBoundary, pos);
            case 'A': ++m_i; return makeAssert(AssertKind::TextStart, pos);
            case 'Z': ++m_i; return makeAssert(AssertKind::TextEnd, pos);
            default: break;
        }
        if (e >= '1' && e <= '9') {
            ++m_i;
            Node n;
            n.kind = Node::Kind::Backref;
            n.number = e - '0';
            n.ci = mod(kModI);
            n.pos = pos;
            return n;
        }
        return makeChar(readCharEscape(), pos);
    }

    std::string_view m_p;
    const CompileOptions& m_opt;
    unsigned m_mods;
    std::size_t m_i = 0;
    int m_groupCount = 0;
    std::vector<bool> m_groupClosed;
    std::vector<bool> m_groupNullable;
};

}  // namespace

ParseResult parsePattern(std::string_view pattern, const CompileOptions& options) {
    return Parser(pattern, options).run();
}

}  // namespace korvex::regex
