// The check patterns over a realistic 256 KB portal page: the match near the end, and a page of the
// same size that misses. Our matcher against PCRE2 interpreted, PCRE2 JIT and std::regex.
//   build/<dir>/bin/korvex_bench_matcher --benchmark_repetitions=1
#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <memory>
#include <regex>
#include <string>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"
#include "tests/regex/portal_patterns.h"

namespace {

using korvex::testing::PortalPattern;

constexpr std::size_t kPageSize = 256 * 1024;

// What the pattern of each profile finds, as the portal writes it.
std::string snippet(const PortalPattern& p) {
    const std::string profile = p.profile;
    if (profile == "SpectrumSat")
        return "Status: Active<BR>Deposit: 12.50, Chosen speed: 256 Kbps<BR>";
    if (profile == "Raduga")
        return "<td><font>Остаток подписки :</font>  <b>345.10</b></td></tr>\r\n<tr><td>Текущая скорость</td>>\r\n"
               "<td>512</td></tr>\r\n<tr><td>Тариф (<a href=\"/p\">Сменить</a>)</td>\r\n<td>Безлимитный</td>";
    if (profile == "SpaceGate") return "Service type: Home 512; Chosen speed: 512 Kbps; Deposit rest: 20.00 USD";
    if (profile == "PlanetSky")
        return "Ваш тариф: Стандарт<br>\r\n Ваш баланс: 15.75 USD<br>Выбранная скорость, Kbps: 256<br><div id=\"s\">";
    if (profile == "Globax") return "<center><b> Traffic Rest: 1048576 Kb  Money Rest: 99.99 </b></center>";
    if (profile == "SatGate")
        return "<td>Current ballance:\r\n  </td>\r\n  <td>\r\n    123.45\r\n  </td>\r\n  <td>\r\n  2009</td></tr>"
               "<tr><td>Plan:</td><td>256/64 Kbps </td>";
    if (profile == "SKY-FI")
        return "<td>Баланс:</td>\r\n<td width=\"60%\">150.00 р.</td></tr><tr><td>Тариф:</td>\r\n"
               "<td width=\"60%\">Старт 1024</td>";
    return "<td>Актуальный Баланс, руб.:</td><td>1 234,56</td></tr>\r\n<tr><td>Тарифный план:</td><td>Оптимальный</td></tr>";
}

// A portal page: a table of history rows that share words, tags and digits with the values the
// patterns look for (so that the quick rejections meet near misses), in cp1251 or UTF-8.
std::string page(const PortalPattern& p, bool withMatch) {
    const std::string row =
        "<tr class=\"row\"><td>12.03.2009 10:15</td><td>Платёж через терминал, Deposit</td>"
        "<td width=\"60%\">150.00</td><td>Баланс счёта</td><td>Traffic 256 Kb</td><td>Status</td></tr>\r\n";
    std::string body = "<html><head><title>Личный кабинет</title></head><body><table>\r\n";
    const std::string tail = std::string("</table>") + (withMatch ? snippet(p) : std::string()) + "</body></html>\r\n";
    while (body.size() + row.size() + tail.size() < kPageSize) body += row;
    body += tail;
    return p.utf8Page ? body : korvex::utf8ToCp1251(body);
}

// Dot-all as PCRE2's DOTALL, or for std::regex "." written as [\s\S].
std::string forStdRegex(const std::string& pattern) {
    std::string out;
    bool inClass = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\' && i + 1 < pattern.size()) {
            out += c;
            out += pattern[++i];
            continue;
        }
        if (c == '[') inClass = true;
        if (c == ']') inClass = false;
        out += (c == '.' && !inClass) ? std::string("[\\s\\S]") : std::string(1, c);
    }
    return out;
}

void ours(benchmark::State& state, const PortalPattern* p, bool found) {
    const std::string text = page(*p, found);
    const std::string pattern = p->bytes();
    korvex::TPatternMatcher m;
    for (auto _ : state) {
        m.SetExpression(pattern);  // as a check does: the same text again keeps the compiled form
        const bool hit = m.Exec(text);
        if (hit != found) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(m.GroupView(1));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}

void pcre2(benchmark::State& state, const PortalPattern* p, bool found, bool jit) {
    const std::string text = page(*p, found);
    const std::string pattern = p->bytes();
    int err = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY, &err, &offset, nullptr);
    if (!code) {
        state.SkipWithError("PCRE2 refuses the pattern");
        return;
    }
    if (jit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
        pcre2_code_free(code);
        state.SkipWithError("no JIT");
        return;
    }
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    for (auto _ : state) {
        const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, md, nullptr);
        if ((rc > 0) != found) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(pcre2_get_ovector_pointer(md));
    }
    pcre2_match_data_free(md);
    pcre2_code_free(code);
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}

void stdRegex(benchmark::State& state, const PortalPattern* p, bool found) {
    const std::string text = page(*p, found);
    std::regex re;
    try {
        re.assign(forStdRegex(p->bytes()), std::regex::ECMAScript);
    } catch (const std::regex_error& e) {
        state.SkipWithError(e.what());
        return;
    }
    std::smatch match;
    for (auto _ : state) {
        const bool hit = std::regex_search(text, match, re);
        if (hit != found) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(match);
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}

}  // namespace

int main(int argc, char** argv) {
    for (const auto& p : korvex::testing::portalPatterns()) {
        for (const bool found : {true, false}) {
            const std::string name = std::string(p.profile) + "/" + p.name + (found ? "/found" : "/miss");
            benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, &p, found);
            benchmark::RegisterBenchmark(("pcre2/" + name).c_str(), pcre2, &p, found, false);
            benchmark::RegisterBenchmark(("pcre2jit/" + name).c_str(), pcre2, &p, found, true);
            benchmark::RegisterBenchmark(("stdregex/" + name).c_str(), stdRegex, &p, found);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
