#include "tests/demo_portals/demo_portal_requests.h"

#include "platform/codepage.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <stdexcept>

namespace korvex::test {

Answer send(const DemoPortals& portals, PortalId portal, const std::string& target,
            const std::optional<std::string>& credentials, const std::optional<std::string>& body,
            const std::string& cookie) {
    const std::string url = portals.baseUrl(portal);
    httplib::Client client(url);
    client.enable_server_certificate_verification(false);
    client.set_connection_timeout(5);
    client.set_read_timeout(20);
    httplib::Headers headers = {{"User-Agent", kBrowserAgent}, {"Referer", url + target}};
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    if (credentials) {  // made by hand: the client's own basic login leaves out an empty user name
        const size_t colon = credentials->find(':');
        headers.insert(httplib::make_basic_authentication_header(
            credentials->substr(0, colon), colon == std::string::npos ? "" : credentials->substr(colon + 1)));
    }
    const auto result = body ? client.Post(target, headers, *body, "application/x-www-form-urlencoded")
                             : client.Get(target, headers);
    Answer answer;
    if (!result) return answer;
    answer.status = result->status;
    answer.body = result->body;
    const std::string setCookie = result->get_header_value("Set-Cookie");
    answer.setCookie = setCookie.substr(0, setCookie.find(';'));
    return answer;
}

std::optional<Login> balanceRequest(std::string_view planCode, const std::string& login,
                                    const std::string& password) {
    const auto portal = portalForPlanCode(planCode);
    if (!portal) return std::nullopt;
    switch (*portal) {
        case PortalId::SpectrumSat:
        case PortalId::Raduga:
        case PortalId::PlanetSky:
            return Login{*portal, "/", login + ":" + password, std::nullopt};
        case PortalId::Globax:
            return Login{*portal, "/index.php?action=go", std::nullopt,
                         "login=" + login + "&password=" + password +
                             "&D1=01&M1=01&Y1=2007&D2=01&M2=01&Y2=2007&Detail=day"};
        case PortalId::SatGate:
            return Login{*portal, "/index.php?logout=1&locale=en_US", std::nullopt,
                         "login=" + login + "&password=" + password};
        case PortalId::SkyFi:
            return Login{*portal, "/authorize.php", std::nullopt,
                         "user_name=" + login + "&user_pass=" + password + "&submit=1&x=24&y=13"};
        case PortalId::Stv: {
            const bool second = planCode == "602" || planCode == "STV2";
            return Login{*portal, second ? "/insat2/gate.php" : "/insat/gate.php", std::nullopt,
                         "mod=login&p1=" + login + "&p2=" + password + "&transponder=2"};
        }
        case PortalId::Publisher:
            return std::nullopt;
        default:  // the SpaceGate portals
            return Login{*portal, "/stats/", login + ":" + password, std::nullopt};
    }
}

std::vector<PatternStep> patternSteps(PortalId portal) {
    using A = DemoAccount;
    switch (portal) {
        case PortalId::SpectrumSat:
            return {{R"(Deposit: (.*?)\,)", &A::balance},
                    {R"(Chosen speed: (.*?)\ Kbps)", &A::speed},
                    {R"(Status: (.*?)\<BR>Deposit:)", &A::status}};
        case PortalId::Raduga:
            return {{R"(подписки :</font>  <b>(.*?)\</b>)", &A::balance},
                    {R"(скорость</td>+\s+<td>(.*?)\</td>)", &A::speed},
                    {R"(Сменить</a>\)</td>+\s+<td>(.*?)\</td>)", &A::tariff}};
        case PortalId::PlanetSky:
            return {{R"(Ваш баланс: (.*?)\ USD<br>)", &A::balance},
                    {R"(Выбранная скорость, Kbps: ([\d\.]*?)\<br><div id=)", &A::speed},
                    {R"(Ваш тариф: (.*?)\<br>\s+Ваш баланс: )", &A::tariff}};
        case PortalId::Globax:
            return {{R"( Kb  Money Rest: (.*?)\ </b></center>)", &A::balance},
                    {R"(<center><b> Traffic Rest: (.*?)\ Kb  Money Rest:)", &A::traffic}};
        case PortalId::SatGate:
            return {{R"(Current ballance:\s+\s+\</td>\s+\s+<td>\s+\s+([\d\d\d\d.\d\d\d\d].*?))"
                     R"(\s+\s+\</td>\s+\s+<td>\s+\s)",
                     &A::balance},
                    {R"(Plan:</td><td>(.*?)\ Kbps )", &A::speed}};
        case PortalId::SkyFi:
            return {{R"(Баланс:</td>\s+<td width="60%">(.*?) р.)", &A::balance},
                    {R"(Тариф:</td>\s+<td width="60%">(.*?)</td>)", &A::tariff}};
        case PortalId::Stv:
            return {{R"(Актуальный Баланс, руб.:</td><td>(.*?)</td></tr>\s+)", &A::balance},
                    {R"(Тарифный план:</td><td>(.*?)</td></tr>)", &A::tariff}};
        case PortalId::Publisher:
            return {};
        default:  // the SpaceGate portals
            return {{R"(Deposit rest: (.*?)\ USD)", &A::balance},
                    {R"(Chosen speed: (.*?)\ Kbps)", &A::speed},
                    {R"(Service type: (.*?)\; Chosen speed:)", &A::tariff}};
    }
}

namespace {

// Every line break (CR, LF or CR LF) as CR LF, as the program's text holder keeps a page.
std::string crlfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

}  // namespace

std::string cellBytes(PortalId portal, const std::string& valueUtf8) {
    return portal == PortalId::PlanetSky ? valueUtf8 : utf8ToCp1251(valueUtf8);
}

std::optional<std::string> capture(PortalId portal, const std::string& patternUtf8, const std::string& page) {
    const std::string pattern = cellBytes(portal, patternUtf8);
    const std::string text = crlfLines(portal == PortalId::Stv ? utf8ToCp1251(page) : page);

    int error = 0;
    PCRE2_SIZE offset = 0;
    std::unique_ptr<pcre2_code, CodeFree> code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
                                                             pattern.size(), PCRE2_DOTALL, &error, &offset,
                                                             nullptr));
    if (!code) throw std::runtime_error("pattern does not compile: " + patternUtf8);
    std::unique_ptr<pcre2_match_data, MatchDataFree> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    const int rc = pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                               data.get(), nullptr);
    if (rc < 2) return std::nullopt;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    return text.substr(ovector[2], ovector[3] - ovector[2]);
}

}  // namespace korvex::test
