#include "checks/portal_probe.h"

#include "checks/page_values.h"
#include "checks/portals_ini.h"
#include "net/proxy_check.h"
#include "net/str_to_int.h"
#include "platform/ascii_text.h"

namespace korvex {

namespace {

// The name of the form field a form-login profile posts its login (or password) in: "p1", "p2".
std::string loginFieldName(const ProviderProfile& profile, bool password) {
    if (profile.login != LoginMethod::Form) return {};
    const PostPart::Kind wanted = password ? PostPart::Password : PostPart::Login;
    std::string before;  // the text in front of the part: "...&p1="
    for (const PostPart& part : profile.postBody) {
        if (part.kind == wanted) {
            if (before.ends_with('=')) before.pop_back();
            const std::size_t amp = before.rfind('&');
            return amp == std::string::npos ? before : before.substr(amp + 1);
        }
        before = part.kind == PostPart::Text ? before + std::string(part.text) : std::string();
    }
    return {};
}

// Whether `page` (lower case) has a form field named `name`, quoted either way or not at all.
bool hasField(const std::string& page, const std::string& name) {
    if (name.empty()) return false;
    for (const std::string& quote : {"\"", "'"})
        if (page.find("name=" + quote + name + quote) != std::string::npos) return true;
    for (std::size_t at = page.find("name=" + name); at != std::string::npos; at = page.find("name=" + name, at + 1)) {
        const std::size_t after = at + 5 + name.size();
        if (after == page.size() || std::string_view(" \t\r\n>/").find(page[after]) != std::string_view::npos)
            return true;
    }
    return false;
}

bool isLoginPage(const ProviderProfile& profile, const PageProbeAnswer& answer) {
    if (profile.login == LoginMethod::Basic) return answer.status == 401 && answer.asksBasicLogin;
    const std::string page = lowerAscii(answer.body);
    return hasField(page, lowerAscii(loginFieldName(profile, false))) &&
           hasField(page, lowerAscii(loginFieldName(profile, true)));
}

ProbePage pageFor(const ProviderProfile& profile, const PageProbeAnswer& answer, const std::atomic<bool>* stop) {
    if (answer.status == 0) return ProbePage::None;
    try {
        const PageValues values = findPageValues(profile, answer.body, stop);
        if (!values.findings.empty() && values.findings.front().value) return ProbePage::AccountPage;
    } catch (const EPatternMatcher&) {
        // stopped: what the page is stays open, and the probe says it was stopped
    }
    return isLoginPage(profile, answer) ? ProbePage::LoginPage : ProbePage::Unrecognised;
}

ProbeKey keyAgainst(const std::string& presented, const std::string& pinned) {
    if (presented.empty()) return ProbeKey::None;
    if (pinned.empty()) return ProbeKey::New;
    return presented == pinned ? ProbeKey::Pinned : ProbeKey::Other;
}

}  // namespace

PortalProbe probePortal(const ProviderProfile& profile, const std::string& address, const std::string& pinned,
                        const ProxySettings& proxy, const std::atomic<bool>* stop, const PageProbeRequest& limits) {
    PortalProbe probe;
    if (!validBaseAddress(address)) {
        probe.badAddress = true;
        probe.error = "not a scheme (http:// or https://) and host with an optional port";
        return probe;
    }
    PageProbeRequest request = limits;
    request.url = address + std::string(profile.path);
    request.proxy.clear();
    request.proxyPort = 0;
    if (profile.appliesProxy && proxy.enabled) {
        try {
            request.proxy = proxy.address;
            if (!proxy.port.empty()) request.proxyPort = proxyPort(proxy.port);
        } catch (const EConvertError& e) {
            probe.error = e.what();
            return probe;
        }
    }
    const PageProbeAnswer answer = probePage(request, stop);
    probe.stopped = answer.stopped || (stop && stop->load());
    probe.error = answer.error;
    probe.status = answer.status;
    probe.presentedPin = answer.presentedPin;
    probe.key = keyAgainst(answer.presentedPin, pinned);
    probe.cut = answer.cut;
    probe.page = pageFor(profile, answer, stop);
    return probe;
}

}  // namespace korvex
