// libFuzzer target: compile plus Exec of an arbitrary pattern on an arbitrary text.
//
// Input: one byte of modifier switches (bits 0..5 turn i r s g m x on or off), the pattern up to
// the first NUL byte, then the text. Compile errors are expected results; anything else that
// escapes (another exception, a crash, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "regex/pattern_matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nul = input.find('\0');
    const std::string_view pattern = input.substr(0, nul);
    const std::string_view text = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    korvex::TPatternMatcher m;
    const char letters[] = "irsgmx";
    for (int k = 0; k < 6; ++k) m.SetModifier(letters[k], (data[0] >> k) & 1);
    m.SetExpression(pattern);
    try {
        const bool found = m.Exec(text);
        // What a found match reports must lie inside the text, groups inside nothing else.
        for (int g = 0; g <= 4; ++g) {
            const auto pos = m.MatchPos(g);
            if (pos < 0) continue;
            if (!found || static_cast<std::size_t>(pos + m.MatchLen(g)) > text.size()) __builtin_trap();
        }
        m.SetExpression(pattern);  // the same text again: no recompile
        if (m.Exec(text) != found) __builtin_trap();
        (void)m.Dump();
    } catch (const korvex::EPatternMatcher& e) {
        if (e.ErrorCode() >= 1000 && e.ErrorCode() != korvex::kPmExecNoExpression &&
            e.ErrorCode() != korvex::kPmExecLoopStackExceeded)
            __builtin_trap();  // a damaged program: never from a pattern
    }
    return 0;
}
