#include "checks/page_values.h"

#include "checks/profile_edits.h"
#include "platform/codepage.h"

namespace korvex {

std::string portalValue(std::string_view text, bool utf8) {
    if (text.size() > kMaxPortalValueBytes) {
        std::size_t cut = kMaxPortalValueBytes;
        // Back to the first byte of the character that the cut would split (continuation bytes
        // are 10xxxxxx); at most three steps in valid UTF-8.
        if (utf8)
            for (int step = 0; step < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80;
                 ++step)
                --cut;
        text = text.substr(0, cut);
    }
    std::string value(text);
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return value;
}

std::optional<std::string> convertedPage(const ProviderProfile& profile, std::string_view page) {
    if (profile.conversion == TextConversion::PageFromUtf8) return utf8ToCp1251(page);
    return std::nullopt;
}

std::optional<std::string> patternStepValue(TPatternMatcher& matcher, const ProviderProfile& profile,
                                            const CheckStep& step, std::string_view page) {
    const bool utf8Portal = profile.conversion == TextConversion::PatternsToUtf8;
    matcher.SetExpression(utf8Portal ? cp1251ToUtf8(step.pattern) : std::string(step.pattern));
    if (!matcher.Exec(page)) return std::nullopt;
    const std::string_view found = matcher.GroupView(1);
    return utf8Portal ? portalValue(utf8ToCp1251(portalValue(found, true)), false)
                      : portalValue(found, false);
}

PageValues findPageValues(const ProviderProfile& profile, std::string_view page, const std::atomic<bool>* stop) {
    const std::optional<std::string> converted = convertedPage(profile, page);
    const std::string_view searched = converted ? std::string_view(*converted) : page;
    TPatternMatcher matcher;
    matcher.SetStopFlag(stop);
    PageValues values;
    for (const CheckStep& step : profile.steps) {
        if (step.kind != StepKind::Pattern) continue;
        try {
            values.findings.push_back({&step, patternStepValue(matcher, profile, step, searched)});
        } catch (const EPatternMatcher& e) {
            if (e.ErrorCode() == kPmExecStopped) throw;
            values.problem = std::string(profile.name) + " " + std::string(patternStepKey(step)) + ": " + e.what();
            break;
        }
    }
    return values;
}

}  // namespace korvex
