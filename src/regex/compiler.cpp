// Stage 2: syntax tree -> program.
//
// Layouts (L: a label, "->" the preferred way first):
//   group n:             Open n; body; Close n
//   a|b|c:               Split L1,L2; L1: a; Jmp E; L2: Split L3,L4; L3: b; Jmp E; L4: c; E:
//   single byte, any quantifier:   Repeat (its own backtracking, no loop in the program)
//   x? greedy / lazy:    Split B,E; B: x; E:     /  Split E,B; B: x; E:
//   x* greedy:           L: Split B,E; B: x; Jmp L; E:
//   x+ greedy:           L: x; Split L,E; E:
//   counted or lazy:     LoopInit c; T: LoopTest c -> E; x; LoopNext c -> T; E:
#include "regex/compiler.h"

#include <algorithm>

#include "regex/pattern_matcher.h"

namespace korvex::regex {

namespace {

constexpr std::size_t kMaxLiteralRun = 64;  // longest literal kept for the quick rejections

// What the quick rejections know of a node.
struct LiteralInfo {
    bool exact = false;               // every match of the node is exactly `text`
    std::string text;                 // when exact
    std::string prefix;               // every match begins with it
    std::vector<std::string> musts;   // every match contains each of them
};

void consider(std::vector<std::string>& musts, const std::string& candidate) {
    if (candidate.empty() || musts.size() >= 32) return;
    for (const auto& m : musts)
        if (m == candidate) return;
    musts.push_back(candidate);
}

LiteralInfo literalInfo(const Node& n) {
    LiteralInfo info;
    auto exactByte = [&](int c) {
        info.exact = true;
        info.text = info.prefix = std::string(1, static_cast<char>(c));
        consider(info.musts, info.text);
    };
    switch (n.kind) {
        case Node::Kind::Empty:
        case Node::Kind::Assert:
            info.exact = true;
            return info;
        case Node::Kind::Char:
            if (!n.ci) exactByte(n.ch);
            return info;
        case Node::Kind::Set:
            if (n.set.single() >= 0) exactByte(n.set.single());
            return info;
        case Node::Kind::Group: return literalInfo(n.children[0]);
        case Node::Kind::Repeat: {
            if (n.min == 0) return info;
            LiteralInfo child = literalInfo(n.children[0]);
            info.musts = child.musts;
            info.prefix = child.prefix;
            if (child.exact && child.text.size() * static_cast<std::size_t>(n.min) <= kMaxLiteralRun) {
                std::string run;
                for (int k = 0; k < n.min; ++k) run += child.text;
                info.prefix = run;
                consider(info.musts, run);
                if (n.min == n.max) info.exact = true, info.text = run;
            }
            return info;
        }
        case Node::Kind::Concat: {
            // Runs of exact children join into one literal; a non-exact child ends the run after
            // adding its own prefix.
            std::string run;
            bool atStart = true;
            info.exact = true;
            for (const auto& c : n.children) {
                LiteralInfo ci = literalInfo(c);
                for (const auto& m : ci.musts) consider(info.musts, m);
                if (ci.exact) {
                    run += ci.text;
                    continue;
                }
                run += ci.prefix;
                consider(info.musts, run);
                if (atStart) info.prefix = run;
                atStart = false;
                info.exact = false;
                run.clear();
            }
            consider(info.musts, run);
            if (atStart) info.prefix = run;
            if (info.exact) info.text = run;
            return info;
        }
        case Node::Kind::Alt:
        case Node::Kind::Backref:
        case Node::Kind::Any: return info;
    }
    return info;
}

// True when every match of the node begins at the start of the input.
bool anchoredAtStart(const Node& n) {
    switch (n.kind) {
        case Node::Kind::Assert: return n.assertKind == AssertKind::TextStart;
        case Node::Kind::Group: return anchoredAtStart(n.children[0]);
        case Node::Kind::Repeat: return n.min > 0 && anchoredAtStart(n.children[0]);
        case Node::Kind::Concat:
            for (const auto& c : n.children) {
                if (anchoredAtStart(c)) return true;
                if (c.kind != Node::Kind::Empty && c.kind != Node::Kind::Assert) return false;
            }
            return false;
        case Node::Kind::Alt:
            return std::all_of(n.children.begin(), n.children.end(), [](const Node& c) { return anchoredAtStart(c); });
        default: return false;
    }
}

class Compiler {
public:
    explicit Compiler(Program& prog) : m_prog(prog) {}

    void compile(const Node& root) {
        emitNode(root, 0);
        emit(Op::Match);
    }

private:
    int here() const { return static_cast<int>(m_prog.code.size()); }
    Inst& emit(Op op, int a = 0, int b = 0) {
        if (m_prog.code.size() >= (1u << 28)) throw EPatternMatcher(kPmCompRegexpTooBig, 0);
        Inst in;
        in.op = op;
        in.a = a;
        in.b = b;
        m_prog.code.push_back(in);
        return m_prog.code.back();
    }
    int setIndex(const CharSet& set) {
        for (std::size_t k = 0; k < m_prog.sets.size(); ++k)
            if (m_prog.sets[k] == set) return static_cast<int>(k);
        m_prog.sets.push_back(set);
        return static_cast<int>(m_prog.sets.size() - 1);
    }
    int poolAdd(std::string_view bytes) {
        const std::size_t found = m_prog.pool.find(bytes);
        if (found != std::string::npos && !bytes.empty()) return static_cast<int>(found);
        m_prog.pool += bytes;
        return static_cast<int>(m_prog.pool.size() - bytes.size());
    }

    // The single-byte item of a Char, Set or Any node: its opcode and argument.
    std::pair<Op, int> item(const Node& n) {
        switch (n.kind) {
            case Node::Kind::Char:
                if (n.ci) return {Op::CharCI, foldCase(n.ch)};
                return {Op::Char, n.ch};
            case Node::Kind::Set: {
                const int c = n.set.single();
                if (c >= 0) return {Op::Char, c};
                if (n.set.full()) return {Op::Any, 0};
                return {Op::Set, setIndex(n.set)};
            }
            default: return {n.dotAll ? Op::Any : Op::AnyNL, 0};
        }
    }

    // A run of literal characters becomes one String (or StringCI when any of them is CI).
    void emitLiteralRun(const std::vector<const Node*>& run) {
        if (run.size() == 1) {
            auto [op, a] = item(*run[0]);
            emit(op, a);
            return;
        }
        bool ci = false;
        std::string bytes;
        for (const Node* n : run) {
            ci = ci || n->ci;
            bytes += static_cast<char>(n->ch);
        }
        if (ci)
            for (auto& c : bytes) c = static_cast<char>(foldCase(static_cast<unsigned char>(c)));
        emit(ci ? Op::StringCI : Op::String, poolAdd(bytes), static_cast<int>(bytes.size()));
    }

    static bool isLiteralChar(const Node& n) { return n.kind == Node::Kind::Char; }

    // Alternatives that are each one byte of a set (no line-separator rule) match like one set.
    static bool mergeableAlt(const Node& n, CharSet& out) {
        for (const auto& c : n.children) {
            if (c.kind == Node::Kind::Char) {
                out.add(c.ch);
                if (c.ci) out.add(otherCase(c.ch));
            } else if (c.kind == Node::Kind::Set) {
                out.addSet(c.set);
            } else if (c.kind == Node::Kind::Any && c.dotAll) {
                out.addRange(0, 255);
            } else {
                return false;
            }
        }
        return true;
    }

    void emitNode(const Node& n, int loopDepth) {
        switch (n.kind) {
            case Node::Kind::Empty: return;
            case Node::Kind::Char:
            case Node::Kind::Set:
            case Node::Kind::Any: {
                auto [op, a] = item(n);
                emit(op, a);
                return;
            }
            case Node::Kind::Assert: {
                static const Op ops[] = {Op::TextStart, Op::TextEnd, Op::LineStart, Op::LineEnd, Op::WordB, Op::NotWordB};
                emit(ops[static_cast<int>(n.assertKind)]);
                return;
            }
            case Node::Kind::Backref:
                // A group that the pattern does not have never captures: the reference never
                // matches, which an empty set says to the analyses as well.
                if (n.number > m_prog.groupCount) {
                    emit(Op::Set, setIndex(CharSet()));
                    return;
                }
                emit(n.ci ? Op::BackrefCI : Op::Backref, n.number);
                return;
            case Node::Kind::Group:
                emit(Op::Open, n.number);
                emitNode(n.children[0], loopDepth);
                emit(Op::Close, n.number);
                return;
            case Node::Kind::Concat: {
                std::vector<const Node*> run;
                for (const auto& c : n.children) {
                    if (isLiteralChar(c)) {
                        run.push_back(&c);
                        continue;
                    }
                    if (!run.empty()) emitLiteralRun(run), run.clear();
                    emitNode(c, loopDepth);
                }
                if (!run.empty()) emitLiteralRun(run);
                return;
            }
            case Node::Kind::Alt: {
                CharSet merged;
                if (mergeableAlt(n, merged)) {
                    Node set;
                    set.kind = Node::Kind::Set;
                    set.set = merged;
                    auto [op, a] = item(set);
                    emit(op, a);
                    return;
                }
                std::vector<int> jumps;
                for (std::size_t k = 0; k < n.children.size(); ++k) {
                    const bool last = k + 1 == n.children.size();
                    int split = -1;
                    if (!last) {
                        split = here();
                        emit(Op::Split);
                        m_prog.code[split].x = here();
                    }
                    emitNode(n.children[k], loopDepth);
                    if (!last) {
                        jumps.push_back(here());
                        emit(Op::Jmp);
                        m_prog.code[split].y = here();
                    }
                }
                for (int j : jumps) m_prog.code[j].x = here();
                return;
            }
            case Node::Kind::Repeat: emitRepeat(n, loopDepth); return;
        }
    }

    void emitRepeat(const Node& n, int loopDepth) {
        const Node& body = n.children[0];
        if (body.isSingleByte()) {
            auto [op, a] = item(body);
            Inst& in = emit(Op::Repeat, a, static_cast<int>(op));
            in.min = n.min;
            in.max = n.max;
            in.greedy = n.greedy;
            return;
        }
        if (n.min == 0 && n.max == 1) {  // "?": no loop
            const int split = here();
            emit(Op::Split);
            if (n.greedy) {
                m_prog.code[split].x = here();
                emitNode(body, loopDepth);
                m_prog.code[split].y = here();
            } else {
                m_prog.code[split].y = here();
                emitNode(body, loopDepth);
                m_prog.code[split].x = here();
            }
            return;
        }
        if (n.greedy && !n.fromBraces && n.max == kOpenBound && n.min <= 1) {
            if (n.min == 0) {  // x*
                const int loop = here();
                emit(Op::Split);
                m_prog.code[loop].x = here();
                emitNode(body, loopDepth);
                emit(Op::Jmp).x = loop;
                m_prog.code[loop].y = here();
            } else {  // x+
                const int loop = here();
                emitNode(body, loopDepth);
                Inst& split = emit(Op::Split);
                split.x = loop;
                split.y = here();
            }
            return;
        }
        // Counted or lazy: a counter loop, which counts toward the nesting limit.
        const int counter = m_prog.counterCount++;
        emit(Op::LoopInit, counter, loopDepth + 1);
        const int test = here();
        Inst& t = emit(Op::LoopTest, counter);
        t.min = n.min;
        t.max = n.max;
        t.greedy = n.greedy;
        emitNode(body, loopDepth + 1);
        emit(Op::LoopNext, counter).x = test;
        m_prog.code[test].x = here();
    }

    Program& m_prog;
};

// For every instruction: the bytes that can come first on some way from it to Match, and whether
// some way reaches Match without another byte. Computed to a fixed point (loops jump back).
// empty[pc]: bit 0, some way reaches Match without a byte at a position inside the text; bit 1,
// at its end.
void computeFirstSets(const Program& prog, std::vector<CharSet>& first, std::vector<char>& empty) {
    const int n = static_cast<int>(prog.code.size());
    first.assign(n, CharSet());
    empty.assign(n, 0);
    CharSet all;
    all.invert();
    bool changed = true;
    while (changed) {
        changed = false;
        for (int pc = n - 1; pc >= 0; --pc) {
            const Inst& in = prog.code[pc];
            CharSet f;
            int e = 0;
            auto from = [&](int target) {
                f.addSet(first[target]);
                e |= empty[target];
            };
            auto itemSet = [&](Op op, int a) {
                CharSet s;
                switch (op) {
                    case Op::Char: s.add(static_cast<unsigned char>(a)); break;
                    case Op::CharCI:
                        s.add(static_cast<unsigned char>(a)), s.add(otherCase(static_cast<unsigned char>(a)));
                        break;
                    case Op::Set: s = prog.sets[a]; break;
                    default: s = all; break;
                }
                return s;
            };
            switch (in.op) {
                case Op::Match: e = 3; break;
                case Op::Char:
                case Op::CharCI:
                case Op::Set: f = itemSet(in.op, in.a); break;
                case Op::Any: f = all; break;
                case Op::AnyNL:
                    f = prog.lineSeparators;
                    f.invert();
                    break;
                case Op::String: f.add(static_cast<unsigned char>(prog.pool[in.a])); break;
                case Op::StringCI: {
                    const auto c = static_cast<unsigned char>(prog.pool[in.a]);
                    f.add(c), f.add(otherCase(c));
                    break;
                }
                case Op::Backref:
                case Op::BackrefCI:
                    f = all;
                    e = 3;
                    break;
                case Op::TextEnd: e = empty[pc + 1] & 2; break;
                case Op::TextStart:
                case Op::LineStart:
                case Op::LineEnd:
                case Op::WordB:
                case Op::NotWordB:
                case Op::Open:
                case Op::Close:
                case Op::LoopInit: from(pc + 1); break;
                case Op::Jmp:
                case Op::LoopNext: from(in.x); break;
                case Op::Split: from(in.x), from(in.y); break;
                case Op::LoopTest: from(pc + 1), from(in.x); break;
                case Op::Repeat:
                    f = itemSet(static_cast<Op>(in.b), in.a);
                    if (in.min == 0) from(pc + 1);
                    break;
            }
            if (!(f == first[pc]) || e != empty[pc]) {
                first[pc] = f;
                empty[pc] = e;
                changed = true;
            }
        }
    }
}

// The literal that must come right after a Repeat: the bytes of a String or Char that follow,
// past any Open and Close.
std::string followLiteral(const Program& prog, int pc) {
    for (int k = pc + 1; k < static_cast<int>(prog.code.size()); ++k) {
        const Inst& in = prog.code[k];
        if (in.op == Op::Open || in.op == Op::Close) continue;
        if (in.op == Op::Char) return std::string(1, static_cast<char>(in.a));
        if (in.op == Op::String) return prog.pool.substr(in.a, in.b);
        return {};
    }
    return {};
}

// Rows of the failure memo: every instruction where two ways can meet (a jump target, the rest
// after a Repeat), and the extension points of lazy Repeats that have no upper bound. An
// instruction inside the body of a loop whose counter is compared with more than 0 and 1 gets no
// row: there the rest depends on the counter too. Everywhere else it does not (a loop not yet
// entered starts its counter afresh), so the memo is kept outside such loops. Back references make
// the rest depend on what their groups hold, which then joins the state (memoGroups).
void planMemo(Program& prog) {
    const int n = static_cast<int>(prog.code.size());
    std::vector<char> join(n, 0), counted(n, 0);
    prog.memoExtRow.assign(n, -1);
    for (int pc = 0; pc < n; ++pc) {
        const Inst& in = prog.code[pc];
        switch (in.op) {
            case Op::Backref:
            case Op::BackrefCI:
                if (std::find(prog.memoGroups.begin(), prog.memoGroups.end(), in.a) == prog.memoGroups.end())
                    prog.memoGroups.push_back(in.a);
                break;
            case Op::LoopTest:
                if (in.min > 1 || in.max != kOpenBound)
                    for (int k = pc; k < in.x; ++k) counted[k] = 1;
                join[pc + 1] = join[in.x] = 1;
                break;
            case Op::Split: join[in.x] = join[in.y] = 1; break;
            case Op::Jmp:
            case Op::LoopNext: join[in.x] = 1; break;
            case Op::Repeat: join[pc + 1] = 1; break;
            default: break;
        }
    }
    // Which registers of the referenced groups may still be read on some way on from each
    // instruction (backward liveness): only those belong to the state. Inside a group's repetition,
    // for instance, its old span will be overwritten before any reference reads it.
    std::vector<std::uint16_t> live(n + 1, 0);
    auto bitsOf = [&](int group) -> std::uint16_t {
        for (std::size_t i = 0; i < prog.memoGroups.size(); ++i)
            if (prog.memoGroups[i] == group) return static_cast<std::uint16_t>(7u << (3 * i));
        return 0;
    };
    bool changed = !prog.memoGroups.empty();
    while (changed) {
        changed = false;
        for (int pc = n - 1; pc >= 0; --pc) {
            const Inst& in = prog.code[pc];
            std::uint16_t out = 0;
            switch (in.op) {
                case Op::Match: break;
                case Op::Split: out = live[in.x] | live[in.y]; break;
                case Op::Jmp:
                case Op::LoopNext: out = live[in.x]; break;
                case Op::LoopTest: out = live[pc + 1] | live[in.x]; break;
                default: out = live[pc + 1]; break;
            }
            const std::uint16_t g = bitsOf(in.a);
            const std::uint16_t span = g & 0x6DB;  // start and end bits of every group
            std::uint16_t in_ = out;
            if (in.op == Op::Backref || in.op == Op::BackrefCI) in_ = out | span;
            if (in.op == Op::Close) in_ = static_cast<std::uint16_t>((out & ~span) | (g & ~span));
            if (in.op == Op::Open) in_ = static_cast<std::uint16_t>(out & ~(g & ~span));
            if (in_ != live[pc]) live[pc] = in_, changed = true;
        }
    }
    prog.memoRow.assign(n, -1);
    for (int pc = 0; pc < n; ++pc) {
        if (counted[pc]) continue;
        const Inst& in = prog.code[pc];
        if (in.op == Op::Repeat && !in.greedy && in.max == kOpenBound) {
            prog.memoExtRow[pc] = prog.memoRows++;
            prog.memoLive.push_back(live[pc]);
        }
        if (join[pc] && in.op != Op::Match) {
            prog.memoRow[pc] = prog.memoRows++;
            prog.memoLive.push_back(live[pc]);
        }
    }
}

void analyse(Program& prog, const Node& root) {
    std::vector<CharSet> first;
    std::vector<char> empty;
    computeFirstSets(prog, first, empty);
    auto guardOf = [&](int target) {
        Guard g;
        g.first = first[target];
        g.emptyMid = empty[target] & 1;
        g.emptyEnd = empty[target] & 2;
        return g;
    };
    prog.start = guardOf(0);
    for (int pc = 0; pc < static_cast<int>(prog.code.size()); ++pc) {
        Inst& in = prog.code[pc];
        auto guard = [&](int target) {
            const Guard g = guardOf(target);
            if ((g.emptyMid && g.emptyEnd) || g.first.full()) return -1;  // lets every position through
            prog.guards.push_back(g);
            return static_cast<int>(prog.guards.size() - 1);
        };
        if (in.op == Op::Split) {
            in.guardFirst = guard(in.x);
            in.guardSecond = guard(in.y);
        } else if (in.op == Op::LoopTest) {
            in.guardFirst = in.greedy ? guard(pc + 1) : guard(in.x);
            in.guardSecond = in.greedy ? guard(in.x) : guard(pc + 1);
        } else if (in.op == Op::Repeat) {
            in.followGuard = guard(pc + 1);
            const std::string lit = followLiteral(prog, pc);
            if (!lit.empty()) {
                in.followLit = static_cast<int>(prog.pool.find(lit));
                if (in.followLit < 0) {
                    in.followLit = static_cast<int>(prog.pool.size());
                    prog.pool += lit;
                }
                in.followLen = static_cast<int>(lit.size());
                in.followFinder = static_cast<int>(prog.followFinders.size());
                prog.followFinders.emplace_back(lit);
            }
        }
    }
    planMemo(prog);
    prog.anchored = anchoredAtStart(root);
    LiteralInfo info = literalInfo(root);
    prog.prefix = info.prefix.substr(0, kMaxLiteralRun);
    // The longest literal that the prefix search does not already find.
    for (const auto& m : info.musts)
        if (prog.prefix.find(m) == std::string::npos && m.size() > prog.required.size())
            prog.required = m.substr(0, kMaxLiteralRun);
    prog.prefixFinder = LiteralFinder(prog.prefix);
    prog.requiredFinder = LiteralFinder(prog.required);
}

}  // namespace

std::unique_ptr<Program> compilePattern(std::string_view pattern, const CompileOptions& options) {
    ParseResult parsed = parsePattern(pattern, options);
    auto prog = std::make_unique<Program>();
    prog->groupCount = parsed.groupCount;
    prog->word = options.word;
    prog->lineSeparators = options.lineSeparators;
    prog->pairedSeparator = options.pairedSeparator;
    Compiler(*prog).compile(parsed.root);
    analyse(*prog, parsed.root);
    return prog;
}

}  // namespace korvex::regex
