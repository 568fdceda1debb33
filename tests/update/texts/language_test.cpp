#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "update/texts/dialog_texts.h"
#include "update/texts/language.h"

using namespace korvex;

namespace {

constexpr TupUpdaterLanguage languageNumber(int n) {
    return static_cast<TupUpdaterLanguage>(n);
}

// The placeholders of a text in order ("%.1f", "%d", ...).
std::vector<std::string> placeholders(std::string_view text) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        std::size_t j = i + 1;
        while (j < text.size() && (text[j] == '.' || (text[j] >= '0' && text[j] <= '9'))) ++j;
        found.emplace_back(text.substr(i, j - i + 1));
        i = j;
    }
    return found;
}

// Sets the current language for one test and puts the detected one back.
struct LanguageScope {
    explicit LanguageScope(TupUpdaterLanguage language) { upSetLanguage(language); }
    ~LanguageScope() { upSetLanguage(TupUpdaterLanguage::wlAuto); }
};

}  // namespace

// A translation that lost a text, gained a placeholder or swapped %d for %s would show garbage or
// throw inside a dialog.
TEST(UpdateLanguages, EveryLanguageHasEveryTextWithEnglishPlaceholders) {
    for (int n = 1; n <= kUpLanguageCount; ++n) {
        const auto language = languageNumber(n);
        SCOPED_TRACE(std::string(upLanguageName(language)));
        int differentFromEnglish = 0;
        for (int t = 0; t < kUpTextCount; ++t) {
            const auto text = static_cast<UpText>(t);
            const std::string_view mine = upText(language, text);
            const std::string_view english = upText(TupUpdaterLanguage::wlEnglish, text);
            SCOPED_TRACE("text " + std::to_string(t));
            ASSERT_NE(mine.data(), nullptr);
            EXPECT_FALSE(mine.empty());
            EXPECT_EQ(placeholders(mine), placeholders(english));
            EXPECT_EQ(mine.find('\r'), std::string_view::npos);
            if (mine != english) ++differentFromEnglish;
        }
        // A language left as a copy of English (or of its neighbour) is not a translation.
        if (language != TupUpdaterLanguage::wlEnglish) {
            EXPECT_GT(differentFromEnglish, kUpTextCount * 3 / 4);
        }
        if (n > 1 && language != TupUpdaterLanguage::wlChineseSimplified) {
            int sameAsPrevious = 0;
            for (int t = 0; t < kUpTextCount; ++t)
                sameAsPrevious += upText(language, UpText(t)) == upText(languageNumber(n - 1), UpText(t));
            EXPECT_LT(sameAsPrevious, kUpTextCount / 2);
        }
    }
}

TEST(UpdateLanguages, EnglishAndRussianTextsAsPublished) {
    EXPECT_EQ(upText(TupUpdaterLanguage::wlEnglish, UpText::Caption), "Application update wizard");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlRussian, UpText::Cancel), "Отмена");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlRussian, UpText::ConnLost),
              "Соединение с удалённым сервером прервано.\n\nПожалуйста восстановите связь и попытайтесь\n"
              "обновить программу снова.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlGerman, UpText::Caption), "Upgrade Anwendungsassistent");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlGerman, UpText::UpgradeCompleted), "Upgrade fertig!");
    // Our own come after the published texts, which keep their numbers.
    EXPECT_EQ(upText(TupUpdaterLanguage::wlEnglish, UpText::PackageManaged),
              "This copy of the program is updated by the system's package manager.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlRussian, UpText::HandOverFailed),
              "Не удалось передать обновление программе установки.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlSlovak, UpText::HandOverFailed),
              "Aktualizáciu sa nepodarilo odovzdať pomocnému programu na aktualizáciu.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlSlovak, UpText::InstallRolledBack),
              "Prerušená aktualizácia bola vrátená; predchádzajúca verzia je na mieste.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlSlovak, UpText::NotAnInfoFile),
              "Súbor na adrese aktualizácie neobsahuje informácie o aktualizácii.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlSlovak, UpText(kUpTextCount - 1)),
              "Server aktualizácií presmeroval na adresu, ktorá nie je http:// ani https://; presmerovanie nebolo "
              "nasledované.");
    EXPECT_EQ(upText(TupUpdaterLanguage::wlRussian, UpText::InfoExpired),
              "Срок действия информации об обновлении истёк, она не использована.");
}

TEST(UpdateLanguages, ChoiceFromTheLocale) {
    using L = TupUpdaterLanguage;
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        L expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "ru_RU.UTF-8", L::wlRussian},
        {nullptr, nullptr, "pt_BR.UTF-8", L::wlPortugueseBrazilian},
        {nullptr, nullptr, "pt_PT.UTF-8", L::wlPortuguese},
        {nullptr, nullptr, "pt", L::wlPortuguese},
        {nullptr, nullptr, "zh_CN.UTF-8", L::wlChineseSimplified},
        {nullptr, nullptr, "zh_SG.UTF-8", L::wlChineseSimplified},
        {nullptr, nullptr, "zh_TW.UTF-8", L::wlChineseTraditional},
        {nullptr, nullptr, "zh_HK.UTF-8", L::wlChineseTraditional},
        {nullptr, nullptr, "de_AT.ISO-8859-1@euro", L::wlGerman},
        {nullptr, nullptr, "nb_NO.UTF-8", L::wlNorwegian},
        {nullptr, nullptr, "nn_NO", L::wlNorwegian},
        {nullptr, nullptr, "sk_SK.UTF-8", L::wlSlovak},
        {nullptr, nullptr, "ca_ES@valencia", L::wlCatalan},
        {nullptr, nullptr, "ja_JP.UTF-8", L::wlEnglish},  // listed nowhere
        {nullptr, nullptr, "C.UTF-8", L::wlEnglish},
        {nullptr, nullptr, "POSIX", L::wlEnglish},
        {nullptr, nullptr, nullptr, L::wlEnglish},
        {"fr_FR.UTF-8", "de_DE.UTF-8", "ru_RU.UTF-8", L::wlFrench},  // LC_ALL first
        {"", "de_DE.UTF-8", "ru_RU.UTF-8", L::wlGerman},             // then LC_MESSAGES
        {"", "", "uk_UA.UTF-8", L::wlUkrainian},                     // then LANG
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "-") + " " + (c.lcMessages ? c.lcMessages : "-") + " " +
                     (c.lang ? c.lang : "-"));
        EXPECT_EQ(upLanguageName(upDetectLanguage(c.lcAll, c.lcMessages, c.lang)),
                  upLanguageName(c.expected));
    }
}

TEST(UpdateLanguages, ForcedLanguageAndAutoAgain) {
    const auto detected = upDetectLanguage();
    {
        LanguageScope scope(TupUpdaterLanguage::wlItalian);
        EXPECT_EQ(upCurrentLanguage(), TupUpdaterLanguage::wlItalian);
        EXPECT_EQ(upText(UpText::Yes), "&Sì");
    }
    EXPECT_EQ(upCurrentLanguage(), detected);
}

TEST(UpdateDialogTexts, FormatRules) {
    struct Case {
        std::string_view pattern;
        std::string expected;
        std::string got;
    };
    const Case cases[] = {
        {"%d:%.2d:%.2d", "1:02:05",
         upFormat("%d:%.2d:%.2d", {std::int64_t{1}, std::int64_t{2}, std::int64_t{5}})},
        {"%.2d", "123", upFormat("%.2d", {std::int64_t{123}})},
        {"%.2d", "-05", upFormat("%.2d", {std::int64_t{-5}})},
        {"%.1f", "2,5", upFormat("%.1f", {2.46}, ",")},
        {"%.1f", "0.0", upFormat("%.1f", {0.0})},
        {"%s%%", "ab%", upFormat("%s%%", {std::string_view("ab")})},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.pattern;
    EXPECT_THROW(upFormat("%d of %d", {std::int64_t{1}}), std::invalid_argument);
    EXPECT_THROW(upFormat("%s", {std::int64_t{1}}), std::invalid_argument);
}

TEST(UpdateDialogTexts, WizardLabels) {
    LanguageScope scope(TupUpdaterLanguage::wlEnglish);
    EXPECT_EQ(upEstimatedTimeText(3725), "Estimated time left: 1:02:05");
    EXPECT_EQ(upEstimatedTimeText(59), "Estimated time left: 0:00:59");
    // No length announced: the engine's estimate goes below zero.
    EXPECT_EQ(upEstimatedTimeText(-7), "Estimated time left: 0:00:00");
    EXPECT_EQ(upFileSizeText(1536, ","), "File size: 1,5 Kb");
    EXPECT_EQ(upTransferRateText(12.26, "."), "Transfer rate: 12.3 Kb/s");
    EXPECT_EQ(upTransferRateText(-1, "."), "Transfer rate: 0.0 Kb/s");
    EXPECT_EQ(upDownloadingOfText(2, 3), "Downloading 2 of 3");
}

TEST(UpdateDialogTexts, UpgradeQuestionFramesTheMessage) {
    LanguageScope scope(TupUpdaterLanguage::wlEnglish);
    EXPECT_EQ(upAskUpgradeText({"Korvex 3.0", ""}),
              "A newer version of Korvex 3.0 was released.\n\nDo you want to update your version with the "
              "latest one?");
    // The info file's message is cp1251.
    EXPECT_EQ(
        upAskUpgradeText({"Korvex 3.0", "\xCD\xEE\xE2\xEE\xE5"}),
        "A newer version of Korvex 3.0 was released.\n\nНовое\n\nDo you want to update your version with the "
        "latest one?");
}

TEST(UpdateDialogTexts, BoxesByFlag) {
    LanguageScope scope(TupUpdaterLanguage::wlRussian);
    using F = TupUpdaterShowMessage;
    UpMessageBox host{F::mHostUnreachable, "update.example.invalid", "", 0, ""};
    const auto hostBox = upMessageBoxContent(host);
    EXPECT_EQ(hostBox.caption, "Мастер обновления приложений");
    EXPECT_EQ(hostBox.text.substr(0, 49), "Сервер http://update.example.invalid вне");
    EXPECT_EQ(hostBox.icon, UpBoxIcon::Error);
    EXPECT_FALSE(hostBox.yesNo);

    const auto lost = upMessageBoxContent({F::mLostFile, "", "korvex", 404, ""});
    EXPECT_EQ(lost.caption, "Ошибка #404");
    EXPECT_EQ(lost.text.rfind("Файл korvex не найден", 0), 0u);
    EXPECT_TRUE(lost.yesNo);
    EXPECT_TRUE(lost.systemModal);
    EXPECT_EQ(lost.icon, UpBoxIcon::Warning);

    EXPECT_EQ(upMessageBoxContent({F::mNoUpdateAvailable, "", "", 0, ""}).icon, UpBoxIcon::Information);
    EXPECT_EQ(upMessageBoxContent({F::mNoInfoFile, "", "", 0, ""}).text, upText(UpText::NoInfoFile));
    EXPECT_EQ(upMessageBoxContent({F::mConnLost, "", "", 0, ""}).text, upText(UpText::ConnLost));
    EXPECT_THROW(upMessageBoxContent({F::mAskUpgrade, "", "", 0, ""}), std::invalid_argument);
    // The component's own text wins over the flag: an error box with the usual caption.
    const auto own = upMessageBoxContent({F::mLostFile, "", "korvex", 404, "Nothing to do."});
    EXPECT_EQ(own.text, "Nothing to do.");
    EXPECT_EQ(own.caption, "Мастер обновления приложений");
    EXPECT_EQ(own.icon, UpBoxIcon::Error);
    EXPECT_FALSE(own.yesNo);
}
