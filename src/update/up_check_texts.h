#pragma once
// The texts an update check shows, in English and Russian (UTF-8), until the update dialogs' table
// of every language takes their place, and the language of the user's locale.
#include <string>

#include "up_check_prompts.h"

namespace korvex {

enum class TupCheckLanguage { English, Russian };

// Russian when LC_ALL, LC_MESSAGES or LANG (the first that is set) names Russian, else English.
TupCheckLanguage upCheckLanguageFromLocale();

// Caption of every box ("Application update wizard").
std::string upCheckCaption(TupCheckLanguage language);
// The text of a box by flag, with "http://" and `host` in place of %s for mHostUnreachable.
std::string upCheckBoxText(TupCheckLanguage language, TupUpdaterShowMessage flag, const std::string& host);
// The upgrade question: the title for the first %s, the message framed by line breaks (or
// nothing when it is empty) for the second. `upgradeMessage` is UTF-8 here.
std::string upCheckQuestionText(TupCheckLanguage language, const std::string& applicationTitle,
                                const std::string& upgradeMessage);

}  // namespace korvex
