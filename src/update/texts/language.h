#pragma once
// The languages of the update dialogs: 29 languages with the same 38 texts each, the choice of one
// from the user's locale, and the one current language of the process that every dialog reads.
// Texts are UTF-8.
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvex {

// Wizard.Language: wlAuto, then the languages in table order (numbers 1..29).
// clang-format off
enum class TupUpdaterLanguage : std::uint8_t {
    wlAuto,
    wlEnglish, wlRussian, wlGerman, wlFrench, wlSpanish, wlPortuguese, wlPortugueseBrazilian,
    wlItalian, wlDutch, wlDanish, wlSwedish, wlFinnish, wlEstonian, wlUkrainian, wlPolish, wlCzech,
    wlHungarian, wlRomanian, wlCatalan, wlBasque, wlAfrikaans, wlChineseTraditional,
    wlChineseSimplified, wlIndonesian, wlMalay, wlIcelandic, wlTurkish, wlNorwegian, wlSlovak,
};
// clang-format on

inline constexpr int kUpLanguageCount = 29;

// The texts of every language, by number: the 31 published ones in their published order, then
// ours.
enum class UpText : std::uint8_t {
    Caption,              //  0 window caption, caption of every box
    DownloadingFiles,     //  1 wizard title while downloading
    UpgradeCompleted,     //  2 wizard title on the finish page
    CurrentFile,          //  3 group box
    AllFiles,             //  4 group box
    DownloadingFileFrom,  //  5 label above the address
    FileSize,             //  6 "%.1f" Kb
    TransferRate,         //  7 "%.1f" Kb/s
    EstimatedTime,        //  8 "%d:%.2d:%.2d"
    DownloadingOf,        //  9 "%d of %d"
    FinishNote,           // 10 "%s" application title
    EnterPassword,        // 11 password window caption
    UserName,             // 12
    Password,             // 13
    Yes,                  // 14
    No,                   // 15
    OK,                   // 16
    Cancel,               // 17
    Next,                 // 18 finish button before the finish page
    Later,                // 19
    Warning,              // 20 carried, shown nowhere
    Error,                // 21 lost-file box caption
    Preparing,            // 22 estimated time before the first progress
    AskUpgrade,           // 23 "%s" application title, "%s" upgrade message
    NoUpdateAvailable,    // 24
    NoInfoFile,           // 25
    HostUnreachable,      // 26 "%s" address of the host
    AbortQuestion,        // 27
    LostFile,             // 28 "%s" file name
    PasswordNote,         // 29 "%s" file name
    ConnLost,             // 30
    // Ours, after the published ones so that their numbers stay: the boxes the component shows of
    // its own, followed there by the reason.
    PackageManaged,       // 31 a copy the system's package manager updates
    HandOverFailed,       // 32 the update helper could not be given the update
    WriteFailed,          // 33 a downloaded file could not be written (its name and the reason follow)
    EntryRefused,         // 34 the info file names a file out of bounds (the entry follows)
    InstallFinished,      // 35 an interrupted installation was finished at start
    InstallRolledBack,    // 36 an interrupted installation was undone at start
    RedirectRefused,      // 37 the redirect method's address is no http:// or https:// one (it follows)
    // Why a check failed, where the published texts have none.
    InfoTimedOut,         // 38 the info file did not arrive within its time limit
    InfoTooLarge,         // 39 the info file is longer than the program reads
    InfoNotTrusted,       // 40 a rule of the publisher's signature refused it
    InfoExpired,          // 41 past its "#expires" date, or without one
    NotAnInfoFile,        // 42 names no version, no date and no file
    InstallRefused,       // 43 an interrupted installation's journal names a file out of bounds ("%s" where it was put aside)
    InfoRedirectRefused,  // 44 the update server redirected to a scheme other than http or https
};

inline constexpr int kUpTextCount = 45;
static_assert(static_cast<int>(UpText::ConnLost) == 30 &&
              static_cast<int>(UpText::InfoRedirectRefused) == kUpTextCount - 1);

// Text `text` of `language` (wlAuto reads the current language).
std::string_view upText(TupUpdaterLanguage language, UpText text);
// Text of the current language.
std::string_view upText(UpText text);

// "wlEnglish" ... "wlSlovak", "wlAuto".
std::string_view upLanguageName(TupUpdaterLanguage language);

// A language identifier as the system gives it: primary language and sub-language.
struct UpLangId {
    unsigned primary = 0;
    unsigned sub = 0;
};

// The identifier a POSIX locale name stands for ("pt_BR.UTF-8" is Portuguese, Brazil); nothing for
// "C", "POSIX", an empty name or a language we do not know.
std::optional<UpLangId> upLangIdOfLocale(std::string_view locale);

// The language an identifier selects: Portuguese and Chinese by their sub-language, the others by the
// primary id alone, English when none matches.
TupUpdaterLanguage upLanguageOfLangId(std::optional<UpLangId> id);

// The language of the user's messages: the first set one of LC_ALL, LC_MESSAGES and LANG.
TupUpdaterLanguage upDetectLanguage(const char* lcAll, const char* lcMessages, const char* lang);
TupUpdaterLanguage upDetectLanguage();  // from the environment

// The process's current language, shared by every update component. It starts detected; wlAuto
// detects it again, any other value sets it.
void upSetLanguage(TupUpdaterLanguage language);
TupUpdaterLanguage upCurrentLanguage();

}  // namespace korvex
