#include "update/texts/language.h"

#include <array>
#include <atomic>
#include <cstdlib>

#include "update/texts/language_texts.h"

namespace korvex {

namespace {

struct LanguageEntry {
    TupUpdaterLanguage language;
    std::string_view name;
    unsigned primary;  // the system's primary language id that selects it
};

// In table order: the first entry whose primary id matches is taken.
constexpr std::array<LanguageEntry, kUpLanguageCount> kLanguages{{
    {TupUpdaterLanguage::wlEnglish, "wlEnglish", 0x09},
    {TupUpdaterLanguage::wlRussian, "wlRussian", 0x19},
    {TupUpdaterLanguage::wlGerman, "wlGerman", 0x07},
    {TupUpdaterLanguage::wlFrench, "wlFrench", 0x0C},
    {TupUpdaterLanguage::wlSpanish, "wlSpanish", 0x0A},
    {TupUpdaterLanguage::wlPortuguese, "wlPortuguese", 0x16},
    {TupUpdaterLanguage::wlPortugueseBrazilian, "wlPortugueseBrazilian", 0x16},
    {TupUpdaterLanguage::wlItalian, "wlItalian", 0x10},
    {TupUpdaterLanguage::wlDutch, "wlDutch", 0x13},
    {TupUpdaterLanguage::wlDanish, "wlDanish", 0x06},
    {TupUpdaterLanguage::wlSwedish, "wlSwedish", 0x1D},
    {TupUpdaterLanguage::wlFinnish, "wlFinnish", 0x0B},
    {TupUpdaterLanguage::wlEstonian, "wlEstonian", 0x25},
    {TupUpdaterLanguage::wlUkrainian, "wlUkrainian", 0x22},
    {TupUpdaterLanguage::wlPolish, "wlPolish", 0x15},
    {TupUpdaterLanguage::wlCzech, "wlCzech", 0x05},
    {TupUpdaterLanguage::wlHungarian, "wlHungarian", 0x0E},
    {TupUpdaterLanguage::wlRomanian, "wlRomanian", 0x18},
    {TupUpdaterLanguage::wlCatalan, "wlCatalan", 0x03},
    {TupUpdaterLanguage::wlBasque, "wlBasque", 0x2D},
    {TupUpdaterLanguage::wlAfrikaans, "wlAfrikaans", 0x36},
    {TupUpdaterLanguage::wlChineseTraditional, "wlChineseTraditional", 0x04},
    {TupUpdaterLanguage::wlChineseSimplified, "wlChineseSimplified", 0x04},
    {TupUpdaterLanguage::wlIndonesian, "wlIndonesian", 0x21},
    {TupUpdaterLanguage::wlMalay, "wlMalay", 0x3E},
    {TupUpdaterLanguage::wlIcelandic, "wlIcelandic", 0x0F},
    {TupUpdaterLanguage::wlTurkish, "wlTurkish", 0x1F},
    {TupUpdaterLanguage::wlNorwegian, "wlNorwegian", 0x14},
    {TupUpdaterLanguage::wlSlovak, "wlSlovak", 0x1B},
}};

// ISO 639 language codes of POSIX locale names, with the system's primary language id; the
// languages not listed have no texts of their own and get English either way.
struct IsoLanguage {
    std::string_view code;
    unsigned primary;
};
// clang-format off
constexpr IsoLanguage kIsoLanguages[] = {
    {"af", 0x36}, {"ca", 0x03}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"en", 0x09},
    {"es", 0x0A}, {"et", 0x25}, {"eu", 0x2D}, {"fi", 0x0B}, {"fr", 0x0C}, {"hu", 0x0E},
    {"id", 0x21}, {"is", 0x0F}, {"it", 0x10}, {"ms", 0x3E}, {"nb", 0x14}, {"nl", 0x13},
    {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19},
    {"sk", 0x1B}, {"sv", 0x1D}, {"tr", 0x1F}, {"uk", 0x22}, {"zh", 0x04},
};
// clang-format on

constexpr unsigned kPortuguese = 0x16, kChinese = 0x04;
// Sub-language ids of the territories that decide between the two Portuguese and Chinese texts.
struct Territory {
    unsigned primary;
    std::string_view code;
    unsigned sub;
};
// clang-format off
constexpr Territory kTerritories[] = {
    {kPortuguese, "BR", 0x01}, {kPortuguese, "PT", 0x02},
    {kChinese, "TW", 0x01},    {kChinese, "CN", 0x02},    {kChinese, "HK", 0x03},
    {kChinese, "SG", 0x04},    {kChinese, "MO", 0x05},
};
// clang-format on
constexpr unsigned kSubPortugueseBrazilian = 0x01;
constexpr unsigned kSubChineseSimplified = 0x02, kSubChineseSingapore = 0x04;

std::atomic<TupUpdaterLanguage>& current() {
    static std::atomic<TupUpdaterLanguage> language{upDetectLanguage()};
    return language;
}

int numberOf(TupUpdaterLanguage language) {
    const int n = static_cast<int>(language);
    return n >= 1 && n <= kUpLanguageCount ? n : 1;
}

}  // namespace

std::string_view upText(TupUpdaterLanguage language, UpText text) {
    if (language == TupUpdaterLanguage::wlAuto) language = upCurrentLanguage();
    const int index = static_cast<int>(text);
    if (index < 0 || index >= kUpTextCount) return {};
    // A language left one text short holds a null there: nothing, rather than a crash.
    const char* const found = kUpLanguageTexts[numberOf(language) - 1][index];
    return found != nullptr ? std::string_view(found) : std::string_view();
}

std::string_view upText(UpText text) {
    return upText(upCurrentLanguage(), text);
}

std::string_view upLanguageName(TupUpdaterLanguage language) {
    if (language == TupUpdaterLanguage::wlAuto) return "wlAuto";
    return kLanguages[numberOf(language) - 1].name;
}

std::optional<UpLangId> upLangIdOfLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const auto end = locale.find_first_of(".@");
    if (end != std::string_view::npos) locale = locale.substr(0, end);
    const auto underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view territory =
        underscore == std::string_view::npos ? std::string_view{} : locale.substr(underscore + 1);
    for (const auto& iso : kIsoLanguages) {
        if (iso.code != language) continue;
        UpLangId id{iso.primary, 0};
        for (const auto& t : kTerritories)
            if (t.primary == iso.primary && t.code == territory) id.sub = t.sub;
        if (id.sub == 0 && iso.primary != kPortuguese && iso.primary != kChinese) id.sub = 1;
        return id;
    }
    return std::nullopt;
}

TupUpdaterLanguage upLanguageOfLangId(std::optional<UpLangId> id) {
    if (!id) return TupUpdaterLanguage::wlEnglish;
    if (id->primary == kPortuguese)
        return id->sub == kSubPortugueseBrazilian ? TupUpdaterLanguage::wlPortugueseBrazilian
                                                  : TupUpdaterLanguage::wlPortuguese;
    if (id->primary == kChinese)
        // Singapore writes simplified characters as the mainland does.
        return id->sub == kSubChineseSimplified || id->sub == kSubChineseSingapore
                   ? TupUpdaterLanguage::wlChineseSimplified
                   : TupUpdaterLanguage::wlChineseTraditional;
    for (const auto& entry : kLanguages)
        if (entry.primary == id->primary) return entry.language;
    return TupUpdaterLanguage::wlEnglish;
}

TupUpdaterLanguage upDetectLanguage(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang})
        if (value != nullptr && *value != '\0') return upLanguageOfLangId(upLangIdOfLocale(value));
    return TupUpdaterLanguage::wlEnglish;
}

TupUpdaterLanguage upDetectLanguage() {
    return upDetectLanguage(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

void upSetLanguage(TupUpdaterLanguage language) {
    current().store(language == TupUpdaterLanguage::wlAuto
                        ? upDetectLanguage()
                        : static_cast<TupUpdaterLanguage>(numberOf(language)));
}

TupUpdaterLanguage upCurrentLanguage() {
    return current().load();
}

}  // namespace korvex
