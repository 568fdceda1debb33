#include "checks/profile_edits.h"

#include <algorithm>

#include "book/balance_columns.h"

namespace korvex {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

const std::map<std::string, std::string> kNoOrigins;

}  // namespace

std::string_view patternStepKey(const CheckStep& step) {
    if (step.column >= 0 && step.column < kStatCols && !balanceColumn(step.column).stepKey.empty())
        return balanceColumn(step.column).stepKey;
    return "Pattern";  // no built-in step writes another column
}

std::vector<const ProviderProfile*> allProfiles() {
    std::vector<const ProviderProfile*> profiles;
    for (const CheckRoutine& routine : kDispatchTable)
        for (const ProviderProfile* profile : routine.profiles) profiles.push_back(profile);
    return profiles;
}

const ProviderProfile* profileNamed(std::string_view name) {
    for (const ProviderProfile* profile : allProfiles())
        if (sameIgnoringCase(profile->name, name)) return profile;
    return nullptr;
}

void ProfileEdits::apply(const ProviderProfile& builtIn, const Change& change) {
    if (change.path.empty() && change.logoutPath.empty() && change.patterns.empty() && change.origins.empty())
        return;  // a section without keys changes nothing
    Change& into = m_changes[&builtIn];
    if (!change.path.empty()) into.path = change.path;
    if (!change.logoutPath.empty()) into.logoutPath = change.logoutPath;
    for (const auto& [step, pattern] : change.patterns) into.patterns[step] = pattern;
    for (const auto& [key, file] : change.origins) into.origins[key] = file;
}

void ProfileEdits::setAddressOrigin(std::string PortalAddresses::*member, std::string file) {
    for (auto& [known, origin] : m_addressOrigins)
        if (known == member) {
            origin = std::move(file);
            return;
        }
    m_addressOrigins.emplace_back(member, std::move(file));
}

std::string ProfileEdits::addressOrigin(std::string PortalAddresses::*member) const {
    for (const auto& [known, origin] : m_addressOrigins)
        if (known == member) return origin;
    return {};
}

void ProfileEdits::finish() {
    m_edited.clear();
    for (const auto& [builtIn, change] : m_changes) {
        if (change.path.empty() && change.logoutPath.empty() && change.patterns.empty()) continue;
        auto edited = std::make_unique<Edited>();
        edited->profile = *builtIn;
        edited->path = change.path.empty() ? std::string(builtIn->path) : change.path;
        edited->logoutPath = change.logoutPath.empty() ? std::string(builtIn->logoutPath) : change.logoutPath;
        edited->patterns.resize(builtIn->steps.size());
        edited->steps.assign(builtIn->steps.begin(), builtIn->steps.end());
        for (std::size_t i = 0; i < edited->steps.size(); ++i) {
            const auto found = change.patterns.find(i);
            edited->patterns[i] =
                found != change.patterns.end() ? found->second : std::string(edited->steps[i].pattern);
        }
        // The views are taken once every text is in its final place.
        for (std::size_t i = 0; i < edited->steps.size(); ++i) edited->steps[i].pattern = edited->patterns[i];
        edited->profile.path = edited->path;
        edited->profile.logoutPath = edited->logoutPath;
        edited->profile.steps = edited->steps;
        m_edited[builtIn] = std::move(edited);
    }
}

const ProviderProfile& ProfileEdits::edited(const ProviderProfile& builtIn) const {
    const auto found = m_edited.find(&builtIn);
    return found != m_edited.end() ? found->second->profile : builtIn;
}

const std::map<std::string, std::string>& ProfileEdits::origins(const ProviderProfile& builtIn) const {
    const auto found = m_changes.find(&builtIn);
    return found != m_changes.end() ? found->second.origins : kNoOrigins;
}

const ProviderProfile& effectiveProfile(const PortalAddresses& addresses, const ProviderProfile& builtIn) {
    return addresses.edits ? addresses.edits->edited(builtIn) : builtIn;
}

}  // namespace korvex
