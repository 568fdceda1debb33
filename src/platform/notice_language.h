#pragma once
// The language a front speaks to its user in: the window Russian, korvex-cli English. The core words
// the notices that both fronts give (what to do about a setting or the keyring) once, in both.
namespace korvex {

enum class NoticeLanguage { English, Russian };

}  // namespace korvex
