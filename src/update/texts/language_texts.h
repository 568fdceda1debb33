#pragma once
// The table behind upText: [language number - 1][text number], UTF-8.
#include "update/texts/language.h"

namespace korvex {

extern const char* const kUpLanguageTexts[kUpLanguageCount][kUpTextCount];

}  // namespace korvex
