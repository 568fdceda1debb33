// Stage 3: the backtracking interpreter.
//
// State: pc and pos, registers (group slots, the open position of each group, loop counters), a
// stack of choices and a trail. A choice records where to resume and how long the trail was; the
// trail records the old value of every register changed since, so that backtracking restores
// them. A register is trailed once per choice only (its stamp tells whether it was already
// trailed since the newest choice was pushed).
//
// Repeat keeps its own backtracking in one stack entry (the range of ends still to try), and skips
// the ends at which the rest of the pattern cannot begin, by the follow guard and follow literal
// that the compiler attached to it. Split and LoopTest keep no choice for a way whose guard says it
// cannot begin at this position, so loops over text that only one way fits leave nothing behind.
//
// When a search has backtracked a lot, the failure memo starts (Program::memoRow): a state that
// failed once is not explored again. That bounds the work of patterns such as (a+a+)+b, which a
// plain backtracker takes exponential time on; it never changes which match is found, since only
// ways that cannot succeed are cut.
//
// Patterns the memo does not cover (counted repeats of groups, as in (.*a){12}b) can still take
// exponential time; the step count (executor.h) bounds every search, and the stop flag ends one early.
#include "regex/executor.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "regex/pattern_matcher.h"

namespace korvex::regex {

namespace {

using std::size_t;

constexpr std::uint32_t kKindChoice = 0;
constexpr std::uint32_t kKindGreedy = 1u << 30;
constexpr std::uint32_t kKindLazy = 2u << 30;
constexpr std::uint32_t kKindMask = 3u << 30;

struct Frame {
    size_t pos;     // choice: where to resume; repeat: the end tried last
    size_t bound;   // greedy repeat: the lowest end; lazy repeat: the highest end
    std::uint32_t pc;     // kind bits | instruction
    std::uint32_t trail;  // trail length when pushed
};

struct TrailEntry {
    std::uint32_t reg;
    std::uint32_t stamp;
    std::ptrdiff_t old;
};

class Executor {
public:
    Executor(const Program& prog, std::string_view text, const SearchOptions& options)
        : m_prog(prog),
          m_options(options),
          m_code(prog.code.data()),
          m_text(reinterpret_cast<const unsigned char*>(text.data())),
          m_n(text.size()),
          m_fold(foldTable()),
          m_checkAt(std::min(options.stepLimit, kStopPollSteps)) {
        const int groups = prog.groupCount;
        m_openBase = 2 * (groups + 1);
        m_counterBase = m_openBase + groups + 1;
        m_regs.assign(m_counterBase + prog.counterCount, -1);
        m_stamps.assign(m_regs.size(), 0);
        if (prog.pairedSeparator.size() == 2) {
            m_pair0 = static_cast<unsigned char>(prog.pairedSeparator[0]);
            m_pair1 = static_cast<unsigned char>(prog.pairedSeparator[1]);
            m_hasPair = true;
        }
    }

    bool matchAt(size_t start);
    std::uint64_t steps() const { return m_steps; }

    std::ptrdiff_t reg(int r) const { return m_regs[r]; }
    int openBase() const { return m_openBase; }

private:
    // Counts `n` steps of work; at every kStopPollSteps, and at the limit, looks whether to go on.
    void spend(std::uint64_t n) {
        m_steps += n;
        if (m_steps >= m_checkAt) checkpoint();
    }
    void checkpoint();
    void setReg(std::uint32_t r, std::ptrdiff_t value) {
        const auto top = static_cast<std::uint32_t>(m_frames.size());
        if (m_stamps[r] != top) {
            m_trail.push_back({r, m_stamps[r], m_regs[r]});
            m_stamps[r] = top;
        }
        m_regs[r] = value;
    }
    void undo(std::uint32_t mark) {
        while (m_trail.size() > mark) {
            const TrailEntry& e = m_trail.back();
            m_regs[e.reg] = e.old;
            m_stamps[e.reg] = e.stamp;
            m_trail.pop_back();
        }
    }
    void push(std::uint32_t pc, size_t pos, size_t bound = 0) {
        m_frames.push_back({pos, bound, pc, static_cast<std::uint32_t>(m_trail.size())});
    }
    // Whether a way with guard g may succeed from pos.
    bool guardAllows(int g, size_t pos) const {
        if (g < 0) return true;
        const Guard& guard = m_prog.guards[g];
        if (pos >= m_n) return guard.emptyEnd;
        return guard.emptyMid || guard.first.has(m_text[pos]);
    }

    bool isLineSep(size_t p) const { return m_prog.lineSeparators.has(m_text[p]); }
    bool startsPair(size_t p) const {
        return m_hasPair && p + 1 < m_n && m_text[p] == m_pair0 && m_text[p + 1] == m_pair1;
    }
    bool isWord(size_t p) const { return m_prog.word.has(m_text[p]); }

    // One single-byte item at p (p < m_n).
    bool itemAt(Op op, int a, size_t p) const {
        const unsigned char c = m_text[p];
        switch (op) {
            case Op::Char: return c == a;
            case Op::CharCI: return m_fold[c] == a;
            case Op::Any: return true;
            case Op::AnyNL: return !isLineSep(p) && !startsPair(p);
            case Op::Set: return m_prog.sets[a].has(c);
            default: return false;
        }
    }
    // The first position in [p, limit) where the item fails, or limit.
    size_t scanItems(Op op, int a, size_t p, size_t limit) const {
        switch (op) {
            case Op::Any: return limit;
            case Op::Char:
                while (p < limit && m_text[p] == a) ++p;
                return p;
            case Op::Set: {
                const CharSet& s = m_prog.sets[a];
                while (p < limit && s.has(m_text[p])) ++p;
                return p;
            }
            default:
                while (p < limit && itemAt(op, a, p)) ++p;
                return p;
        }
    }
    // Whether the rest of the pattern after a Repeat may begin at p.
    bool followOk(const Inst& in, size_t p) const {
        if (!guardAllows(in.followGuard, p)) return false;
        if (in.followLen > 1) {
            if (m_n - p < static_cast<size_t>(in.followLen)) return false;
            return std::memcmp(m_text + p, m_prog.pool.data() + in.followLit, in.followLen) == 0;
        }
        return true;
    }
    // The highest end in [low, high] after which the rest may begin, or SIZE_MAX.
    size_t greedyEnd(const Inst& in, size_t low, size_t high) const {
        if (in.followGuard < 0) return high;
        if (in.followFinder >= 0) {
            return m_prog.followFinders[in.followFinder].rfind(m_text, m_n, low, high);
        }
        for (size_t p = high + 1; p-- > low;)
            if (followOk(in, p)) return p;
        return SIZE_MAX;
    }
    // The lowest end in [low, high] such that the items from `from` to it all match and the rest
    // may begin there, or SIZE_MAX. Items in [from, low) are already known to match. The bytes it
    // runs over count as steps.
    size_t lazyEnd(const Inst& in, size_t low, size_t high) {
        const Op op = static_cast<Op>(in.b);
        if (in.followGuard < 0) return low;
        if (op == Op::Any && in.followFinder >= 0) {
            const size_t hit = m_prog.followFinders[in.followFinder].find(m_text, m_n, low);
            spend(std::min(hit, high) - low);
            return hit <= high ? hit : SIZE_MAX;
        }
        for (size_t p = low;; ++p) {
            if (followOk(in, p)) return spend(p - low), p;
            if (p >= high || !itemAt(op, in.a, p)) return spend(p - low), SIZE_MAX;
        }
    }

    // The memo: one bit per (row, position); a set bit means that way failed from there. With back
    // references the state also holds the referenced groups' registers, and lives in a hash set.
    bool memoSeen(int row, size_t pos) {
        if (!m_prog.memoGroups.empty()) {
            std::string key(reinterpret_cast<const char*>(&row), sizeof row);
            key.append(reinterpret_cast<const char*>(&pos), sizeof pos);
            const std::uint16_t live = m_prog.memoLive[row];
            for (std::size_t i = 0; i < m_prog.memoGroups.size(); ++i) {
                const int g = m_prog.memoGroups[i];
                const std::ptrdiff_t r[3] = {m_regs[2 * g], m_regs[2 * g + 1], m_regs[m_openBase + g]};
                for (int k = 0; k < 3; ++k)
                    if (live & (1u << (3 * i + k))) key.append(reinterpret_cast<const char*>(&r[k]), sizeof r[k]);
            }
            if (m_memoSet.count(key)) return true;
            if (m_memoSet.size() < kMaxMemoStates) m_memoSet.insert(std::move(key));
            return false;
        }
        const size_t bit = static_cast<size_t>(row) * (m_n + 1) + pos;
        const std::uint64_t mask = std::uint64_t{1} << (bit & 63);
        std::uint64_t& word = m_memo[bit >> 6];
        if (word & mask) return true;
        word |= mask;
        return false;
    }
    void countBacktrack() {
        if (m_memoOn || ++m_backtracks < m_options.memoAfterBacktracks) return;
        if (m_prog.memoRows == 0) return;
        if (!m_prog.memoGroups.empty()) {
            m_memoOn = true;
            return;
        }
        const size_t bits = static_cast<size_t>(m_prog.memoRows) * (m_n + 1);
        if (bits / 8 > m_options.memoMaxBytes) {
            m_backtracks = LONG_MIN;  // too big for this text: never again
            return;
        }
        m_memo.assign((bits + 63) / 64, 0);
        m_memoOn = true;
    }

    const Program& m_prog;
    const SearchOptions& m_options;
    const Inst* m_code;
    const unsigned char* m_text;
    size_t m_n;
    const std::array<unsigned char, 256>& m_fold;
    int m_openBase = 0;
    int m_counterBase = 0;
    std::vector<std::ptrdiff_t> m_regs;
    std::vector<std::uint32_t> m_stamps;
    std::vector<Frame> m_frames;
    std::vector<TrailEntry> m_trail;
    unsigned char m_pair0 = 0, m_pair1 = 0;
    bool m_hasPair = false;
    long m_backtracks = 0;
    std::uint64_t m_steps = 0;
    std::uint64_t m_checkAt;  // the next step count at which checkpoint() looks
    bool m_memoOn = false;
    std::vector<std::uint64_t> m_memo;
    static constexpr size_t kMaxMemoStates = 1u << 20;  // beyond it the set only stops growing
    std::unordered_set<std::string> m_memoSet;
};

void Executor::checkpoint() {
    if (m_steps >= m_options.stepLimit) throw EPatternMatcher(kPmExecTooMuchWork, 0);
    if (m_options.stop && m_options.stop->load(std::memory_order_relaxed)) throw EPatternMatcher(kPmExecStopped, 0);
    m_checkAt = m_options.stepLimit - m_steps > kStopPollSteps ? m_steps + kStopPollSteps : m_options.stepLimit;
}

bool Executor::matchAt(size_t start) {
    spend(1);
    std::fill(m_regs.begin(), m_regs.end(), -1);
    std::fill(m_stamps.begin(), m_stamps.end(), 0);
    m_frames.clear();
    m_trail.clear();
    std::uint32_t pc = 0;
    size_t pos = start;
    const size_t n = m_n;
    const unsigned char* const t = m_text;
    for (;;) {
        const Inst& in = m_code[pc];
        // A LoopTest below its minimum (the first repetition) is another state than one past it.
        if (m_memoOn && m_prog.memoRow[pc] >= 0 &&
            !(in.op == Op::LoopTest && m_regs[m_counterBase + in.a] < in.min) && memoSeen(m_prog.memoRow[pc], pos))
            goto fail;
        switch (in.op) {
            case Op::Match:
                m_regs[0] = static_cast<std::ptrdiff_t>(start);
                m_regs[1] = static_cast<std::ptrdiff_t>(pos);
                return true;
            case Op::Char:
                if (pos < n && t[pos] == in.a) {
                    ++pos, ++pc;
                    continue;
                }
                goto fail;
            case Op::CharCI:
                if (pos < n && m_fold[t[pos]] == in.a) {
                    ++pos, ++pc;
                    continue;
                }
                goto fail;
            case Op::String:
                if (n - pos >= static_cast<size_t>(in.b) && std::memcmp(t + pos, m_prog.pool.data() + in.a, in.b) == 0) {
                    pos += in.b, ++pc;
                    continue;
                }
                goto fail;
            case Op::StringCI: {
                if (n - pos < static_cast<size_t>(in.b)) goto fail;
                const char* lit = m_prog.pool.data() + in.a;
                for (int k = 0; k < in.b; ++k)
                    if (m_fold[t[pos + k]] != static_cast<unsigned char>(lit[k])) goto fail;
                pos += in.b, ++pc;
                continue;
            }
            case Op::Any:
                if (pos < n) {
                    ++pos, ++pc;
                    continue;
                }
                goto fail;
            case Op::AnyNL:
                if (pos < n && !isLineSep(pos) && !startsPair(pos)) {
                    ++pos, ++pc;
                    continue;
                }
                goto fail;
            case Op::Set:
                if (pos < n && m_prog.sets[in.a].has(t[pos])) {
                    ++pos, ++pc;
                    continue;
                }
                goto fail;
            case Op::TextStart:
                if (pos != 0) goto fail;
                ++pc;
                continue;
            case Op::TextEnd:
                if (pos != n) goto fail;
                ++pc;
                continue;
            case Op::LineStart: {
                // The paired separator counts as one: not between its two bytes.
                const bool ok = pos == 0 || (pos >= 2 && startsPair(pos - 2)) ||
                                (isLineSep(pos - 1) && !startsPair(pos - 1));
                if (!ok) goto fail;
                ++pc;
                continue;
            }
            case Op::LineEnd: {
                const bool ok = pos == n || startsPair(pos) || (isLineSep(pos) && !(pos > 0 && startsPair(pos - 1)));
                if (!ok) goto fail;
                ++pc;
                continue;
            }
            case Op::WordB:
            case Op::NotWordB: {
                const bool before = pos > 0 && isWord(pos - 1);
                const bool after = pos < n && isWord(pos);
                if ((before != after) != (in.op == Op::WordB)) goto fail;
                ++pc;
                continue;
            }
            case Op::Backref:
            case Op::BackrefCI: {
                if (in.a > m_prog.groupCount) goto fail;  // never captures: fails there
                const std::ptrdiff_t s = m_regs[2 * in.a], e = m_regs[2 * in.a + 1];
                if (s < 0 || e < 0) goto fail;
                const auto len = static_cast<size_t>(e - s);
                if (n - pos < len) goto fail;
                if (in.op == Op::Backref) {
                    if (std::memcmp(t + pos, t + s, len) != 0) goto fail;
                } else {
                    for (size_t k = 0; k < len; ++k)
                        if (m_fold[t[pos + k]] != m_fold[t[s + k]]) goto fail;
                }
                spend(len);
                pos += len, ++pc;
                continue;
            }
            case Op::Open:
                setReg(m_openBase + in.a, static_cast<std::ptrdiff_t>(pos));
                ++pc;
                continue;
            case Op::Close:
                setReg(2 * in.a, m_regs[m_openBase + in.a]);
                setReg(2 * in.a + 1, static_cast<std::ptrdiff_t>(pos));
                ++pc;
                continue;
            case Op::Split: {
                // A way that cannot begin here is neither taken nor kept.
                const bool second = guardAllows(in.guardSecond, pos);
                if (guardAllows(in.guardFirst, pos)) {
                    if (second) push(kKindChoice | static_cast<std::uint32_t>(in.y), pos);
                    pc = in.x;
                } else if (second) {
                    pc = in.y;
                } else {
                    goto fail;
                }
                continue;
            }
            case Op::Jmp:
                spend(1);
                pc = in.x;
                continue;
            case Op::Repeat: {
                const Op op = static_cast<Op>(in.b);
                const size_t room = n - pos;
                const size_t limit = pos + (static_cast<size_t>(in.max) < room ? static_cast<size_t>(in.max) : room);
                const size_t min = static_cast<size_t>(in.min);
                if (min > room) goto fail;
                if (in.greedy) {
                    const size_t end = scanItems(op, in.a, pos, limit);
                    spend(end - pos);
                    if (end - pos < min) goto fail;
                    const size_t low = pos + min;
                    const size_t p = greedyEnd(in, low, end);
                    if (p == SIZE_MAX) goto fail;
                    if (p > low) push(kKindGreedy | pc, p, low);
                    pos = p, ++pc;
                    continue;
                }
                const size_t low = pos + min;
                if (scanItems(op, in.a, pos, low) != low) goto fail;
                spend(min);
                const size_t p = lazyEnd(in, low, limit);
                if (p == SIZE_MAX) goto fail;
                if (p < limit) push(kKindLazy | pc, p, limit);
                pos = p, ++pc;
                continue;
            }
            case Op::LoopInit:
                if (in.b > kMaxLoopDepth) throw EPatternMatcher(kPmExecLoopStackExceeded, 0);
                setReg(m_counterBase + in.a, 0);
                ++pc;
                continue;
            case Op::LoopTest: {
                const std::ptrdiff_t count = m_regs[m_counterBase + in.a];
                if (count < in.min) {
                    ++pc;
                } else if (count >= in.max) {
                    pc = in.x;
                } else {
                    const std::uint32_t firstWay = in.greedy ? pc + 1 : static_cast<std::uint32_t>(in.x);
                    const std::uint32_t secondWay = in.greedy ? static_cast<std::uint32_t>(in.x) : pc + 1;
                    const bool second = guardAllows(in.guardSecond, pos);
                    if (guardAllows(in.guardFirst, pos)) {
                        if (second) push(kKindChoice | secondWay, pos);
                        pc = firstWay;
                    } else if (second) {
                        pc = secondWay;
                    } else {
                        goto fail;
                    }
                }
                continue;
            }
            case Op::LoopNext:
                spend(1);
                setReg(m_counterBase + in.a, m_regs[m_counterBase + in.a] + 1);
                pc = in.x;
                continue;
        }
        throw EPatternMatcher(kPmExecCorruptedProgram, 0);

    fail:
        for (;;) {
            if (m_frames.empty()) return false;
            spend(1);
            countBacktrack();
            Frame& f = m_frames.back();
            undo(f.trail);
            const std::uint32_t kind = f.pc & kKindMask;
            const std::uint32_t at = f.pc & ~kKindMask;
            if (kind == kKindChoice) {
                pc = at;
                pos = f.pos;
                m_frames.pop_back();
                break;
            }
            const Inst& rep = m_code[at];
            if (kind == kKindGreedy) {
                // Give back one byte at a time, down to the lowest end.
                const size_t p = f.pos > f.bound ? greedyEnd(rep, f.bound, f.pos - 1) : SIZE_MAX;
                if (p == SIZE_MAX) {
                    m_frames.pop_back();
                    continue;
                }
                if (p == f.bound) {
                    m_frames.pop_back();
                } else {
                    f.pos = p;
                }
                pos = p, pc = at + 1;
                break;
            }
            // Lazy: take one more byte, if the item matches it. Without an upper bound, the ways on
            // from an end that another try of this Repeat went through have all failed.
            if (f.pos >= f.bound || !itemAt(static_cast<Op>(rep.b), rep.a, f.pos) ||
                (m_memoOn && m_prog.memoExtRow[at] >= 0 && memoSeen(m_prog.memoExtRow[at], f.pos))) {
                m_frames.pop_back();
                continue;
            }
            const size_t p = lazyEnd(rep, f.pos + 1, f.bound);
            if (p == SIZE_MAX) {
                m_frames.pop_back();
                continue;
            }
            if (p >= f.bound) {
                m_frames.pop_back();
            } else {
                f.pos = p;
            }
            pos = p, pc = at + 1;
            break;
        }
    }
}

}  // namespace

bool searchProgram(const Program& prog, std::string_view text, std::ptrdiff_t* start, std::ptrdiff_t* end,
                   const SearchOptions& options, std::uint64_t* steps) {
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    std::unique_ptr<Executor> ex;  // made at the first start position that passes the quick rejections
    struct StepReport {
        const std::unique_ptr<Executor>& ex;
        std::uint64_t* steps;
        ~StepReport() {
            if (steps) *steps = ex ? ex->steps() : 0;
        }
    } report{ex, steps};
    const bool usePrefix = !prog.prefix.empty();
    const bool useFirst = !prog.start.emptyMid && !usePrefix;
    const bool useRequired = !prog.required.empty();
    size_t requiredAt = 0;
    bool requiredKnown = false;
    for (size_t s = 0; s <= n; ++s) {
        if (prog.anchored && s > 0) break;
        if (usePrefix) {
            s = prog.prefixFinder.find(t, n, s);
            if (s == LiteralFinder::npos) break;
        } else if (useFirst) {
            while (s < n && !prog.start.first.has(t[s])) ++s;
            if (s >= n && !prog.start.emptyEnd) break;
        }
        if (useRequired && (!requiredKnown || requiredAt < s)) {
            requiredAt = prog.requiredFinder.find(t, n, s);
            if (requiredAt == LiteralFinder::npos) break;
            requiredKnown = true;
        }
        if (!ex) ex = std::make_unique<Executor>(prog, text, options);
        if (ex->matchAt(s)) {
            for (int g = 0; g <= 4; ++g) {
                if (g <= prog.groupCount && ex->reg(2 * g) >= 0 && ex->reg(2 * g + 1) >= 0) {
                    start[g] = ex->reg(2 * g);
                    end[g] = ex->reg(2 * g + 1);
                } else {
                    start[g] = end[g] = -1;
                }
            }
            return true;
        }
    }
    return false;
}

}  // namespace korvex::regex
