#pragma once
// The finished texts of the update dialogs in the current language (UTF-8): the runtime's Format
// rules for the language texts' placeholders, and what each dialog and box shows for the values the
// update component gives it. Values that come from the component (titles, messages, addresses) are
// cp1251 bytes and are converted here.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include "update/texts/user_interface.h"

namespace korvex {

using UpFormatArg = std::variant<std::int64_t, double, std::string_view>;

// Fills "%d", "%.Nd" (at least N digits, leading zeros), "%.Nf" (N decimals, `decimalSeparator` in
// place of the point), "%s" and "%%" in order from `args`. A placeholder without an argument of its
// kind throws std::invalid_argument.
std::string upFormat(std::string_view pattern, std::initializer_list<UpFormatArg> args,
                     std::string_view decimalSeparator = ".");

// The user's decimal separator (LC_NUMERIC of the environment), "." when the locale has none or is
// not installed. Read once.
const std::string& upDecimalSeparator();

// The wizard's labels.
std::string upFileSizeText(std::int64_t bytes, std::string_view decimalSeparator = upDecimalSeparator());
std::string upTransferRateText(double kbPerSecond, std::string_view decimalSeparator = upDecimalSeparator());
std::string upEstimatedTimeText(std::int64_t secondsLeft);
std::string upDownloadingOfText(int number, int count);
std::string upFinishNoteText(std::string_view applicationTitle);

// The label of the upgrade question: the message framed by line breaks, nothing for an empty one.
std::string upAskUpgradeText(const UpUpgradeQuestion& question);
// The label of the password window.
std::string upPasswordNoteText(const UpPasswordQuestion& question);

// A message box as the window shows it.
enum class UpBoxIcon { Error, Warning, Information, Question };
struct UpBoxContent {
    std::string caption;
    std::string text;
    UpBoxIcon icon = UpBoxIcon::Error;
    bool yesNo = false;        // Yes and No; otherwise OK alone
    bool systemModal = false;  // above every window, the user must answer it first
};
UpBoxContent upMessageBoxContent(const UpMessageBox& box);
// The question that Cancel and the close box of the wizard ask.
UpBoxContent upAbortQuestionContent(std::string_view applicationTitle);

}  // namespace korvex
