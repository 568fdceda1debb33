#include "update/texts/dialog_texts.h"

#include <langinfo.h>
#include <locale.h>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <stdexcept>

#include "platform/codepage.h"
#include "update/texts/language.h"

namespace korvex {

namespace {

template <class T>
const T& argOf(std::initializer_list<UpFormatArg>::const_iterator& next,
               std::initializer_list<UpFormatArg>::const_iterator end, std::string_view pattern) {
    if (next == end || !std::holds_alternative<T>(*next))
        throw std::invalid_argument("format arguments do not match \"" + std::string(pattern) + "\"");
    return std::get<T>(*next++);
}

std::string integerText(std::int64_t value, int minDigits) {
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < minDigits) digits.insert(0, minDigits - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

std::string fixedText(double value, int decimals, std::string_view separator) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (const auto point = text.find('.'); point != std::string::npos) text.replace(point, 1, separator);
    return text;
}

}  // namespace

std::string upFormat(std::string_view pattern, std::initializer_list<UpFormatArg> args,
                     std::string_view decimalSeparator) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        std::size_t j = i + 1;
        if (j < pattern.size() && pattern[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        int precision = -1;
        if (j < pattern.size() && pattern[j] == '.') {
            precision = 0;
            for (++j; j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9'; ++j)
                precision = precision * 10 + (pattern[j] - '0');
        }
        if (j >= pattern.size())
            throw std::invalid_argument("unfinished placeholder in \"" + std::string(pattern) + "\"");
        switch (pattern[j]) {
            case 'd':
                out += integerText(argOf<std::int64_t>(next, args.end(), pattern), std::max(precision, 1));
                break;
            case 'f':
                out += fixedText(argOf<double>(next, args.end(), pattern), precision < 0 ? 2 : precision,
                                 decimalSeparator);
                break;
            case 's':
                out += argOf<std::string_view>(next, args.end(), pattern);
                break;
            default:
                throw std::invalid_argument("unknown placeholder in \"" + std::string(pattern) + "\"");
        }
        i = j;
    }
    return out;
}

const std::string& upDecimalSeparator() {
    static const std::string separator = [] {
        std::string result = ".";
        if (locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
            const char* radix = nl_langinfo_l(RADIXCHAR, locale);
            if (radix != nullptr && *radix != '\0') result = radix;
            freelocale(locale);
        }
        return result;
    }();
    return separator;
}

std::string upFileSizeText(std::int64_t bytes, std::string_view decimalSeparator) {
    return upFormat(upText(UpText::FileSize), {static_cast<double>(bytes) / 1024.0}, decimalSeparator);
}

std::string upTransferRateText(double kbPerSecond, std::string_view decimalSeparator) {
    // The engine starts from -1 ("no rate yet"); a negative rate is never shown.
    return upFormat(upText(UpText::TransferRate), {std::max(kbPerSecond, 0.0)}, decimalSeparator);
}

std::string upEstimatedTimeText(std::int64_t secondsLeft) {
    // Without a known length the estimate comes out below zero; it is shown as nothing left.
    const std::int64_t s = std::max<std::int64_t>(secondsLeft, 0);
    return upFormat(upText(UpText::EstimatedTime), {s / 3600, s / 60 % 60, s % 60});
}

std::string upDownloadingOfText(int number, int count) {
    return upFormat(upText(UpText::DownloadingOf), {std::int64_t{number}, std::int64_t{count}});
}

std::string upFinishNoteText(std::string_view applicationTitle) {
    const std::string title = cp1251ToUtf8(applicationTitle);
    return upFormat(upText(UpText::FinishNote), {std::string_view(title)});
}

std::string upAskUpgradeText(const UpUpgradeQuestion& question) {
    const std::string title = cp1251ToUtf8(question.applicationTitle);
    const std::string message =
        question.upgradeMessage.empty() ? std::string() : "\n" + cp1251ToUtf8(question.upgradeMessage) + "\n";
    return upFormat(upText(UpText::AskUpgrade), {std::string_view(title), std::string_view(message)});
}

std::string upPasswordNoteText(const UpPasswordQuestion& question) {
    const std::string file = cp1251ToUtf8(question.fileName);
    return upFormat(upText(UpText::PasswordNote), {std::string_view(file)});
}

UpBoxContent upMessageBoxContent(const UpMessageBox& box) {
    UpBoxContent content;
    content.caption = std::string(upText(UpText::Caption));
    if (!box.ownText.empty()) {
        content.text = box.ownText;
        return content;
    }
    // A failed check's cause, where the flag's own text would not say it.
    switch (box.failure) {
        case UpCheckFailure::TimedOut:
            content.text = std::string(upText(UpText::InfoTimedOut));
            return content;
        case UpCheckFailure::TooLarge:
            content.text = std::string(upText(UpText::InfoTooLarge));
            return content;
        case UpCheckFailure::NotTrusted:
            content.text = std::string(upText(UpText::InfoNotTrusted));
            return content;
        case UpCheckFailure::Expired:
            content.text = std::string(upText(UpText::InfoExpired));
            return content;
        case UpCheckFailure::NotAnInfoFile:
            content.text = std::string(upText(UpText::NotAnInfoFile));
            return content;
        case UpCheckFailure::RedirectRefused:
            content.text = std::string(upText(UpText::InfoRedirectRefused));
            return content;
        case UpCheckFailure::None:
        case UpCheckFailure::NoConnection:
        case UpCheckFailure::HttpStatus:
        case UpCheckFailure::ConnectionLost:
            break;
    }
    using F = TupUpdaterShowMessage;
    switch (box.flag) {
        case F::mConnLost:
            content.text = std::string(upText(UpText::ConnLost));
            break;
        case F::mHostUnreachable: {
            const std::string address = "http://" + cp1251ToUtf8(box.host);
            content.text = upFormat(upText(UpText::HostUnreachable), {std::string_view(address)});
            break;
        }
        case F::mLostFile: {
            const std::string file = cp1251ToUtf8(box.fileName);
            content.text = upFormat(upText(UpText::LostFile), {std::string_view(file)});
            content.caption = std::string(upText(UpText::Error)) + " #" + std::to_string(box.statusCode);
            content.icon = UpBoxIcon::Warning;
            content.yesNo = true;
            content.systemModal = true;
            break;
        }
        case F::mNoInfoFile:
            content.text = std::string(upText(UpText::NoInfoFile));
            break;
        case F::mNoUpdateAvailable:
            content.text = std::string(upText(UpText::NoUpdateAvailable));
            content.icon = UpBoxIcon::Information;
            break;
        case F::mAskUpgrade:
        case F::mPasswordRequest:
            throw std::invalid_argument(
                "the upgrade question and the password window are windows, not boxes");
    }
    return content;
}

UpBoxContent upAbortQuestionContent(std::string_view applicationTitle) {
    UpBoxContent content;
    content.caption = cp1251ToUtf8(applicationTitle);
    content.text = std::string(upText(UpText::AbortQuestion));
    content.icon = UpBoxIcon::Question;
    content.yesNo = true;
    return content;
}

}  // namespace korvex
