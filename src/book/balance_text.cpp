#include "book/balance_text.h"

#include <charconv>
#include <string>

#include "platform/codepage.h"

namespace korvex {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the blank at the front of `text`: a space or tab, a no-break space (U+00A0) or a
// narrow no-break space (U+202F), as portals put them between groups of thousands; 0 for none.
std::size_t blankAt(std::string_view text) {
    if (text.empty()) return 0;
    if (text[0] == ' ' || text[0] == '\t' || text[0] == '\r' || text[0] == '\n') return 1;
    if (text.starts_with("\xC2\xA0")) return 2;
    if (text.starts_with("\xE2\x80\xAF")) return 3;
    return 0;
}

std::string_view trimmed(std::string_view text) {
    while (std::size_t n = blankAt(text)) text.remove_prefix(n);
    for (;;) {
        if (!text.empty() &&
            (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
            text.remove_suffix(1);
        } else if (text.ends_with("\xC2\xA0")) {
            text.remove_suffix(2);
        } else if (text.ends_with("\xE2\x80\xAF")) {
            text.remove_suffix(3);
        } else {
            return text;
        }
    }
}

std::size_t digitsAt(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[n])) ++n;
    return n;
}

bool decimalSeparatorAt(std::string_view text) {
    return text.size() > 1 && (text[0] == ',' || text[0] == '.') && isDigit(text[1]);
}

}  // namespace

std::optional<double> balanceFromCell(std::string_view cp1251) {
    // A cell's no-break space (0xA0) is the history's U+00A0: one rule for both.
    return balanceFromUtf8(cp1251ToUtf8(cp1251));
}

std::optional<double> balanceFromUtf8(std::string_view utf8) {
    std::string_view text = trimmed(utf8);
    std::string number;
    if (text.starts_with("-") || text.starts_with("+")) {
        if (text[0] == '-') number += '-';
        text.remove_prefix(1);
    } else if (text.starts_with("\xE2\x88\x92")) {  // U+2212 MINUS SIGN
        number += '-';
        text.remove_prefix(3);
    }
    std::size_t n = digitsAt(text);
    if (n == 0 && !decimalSeparatorAt(text)) return std::nullopt;
    const bool mayGroup = n > 0 && n <= 3;
    number.append(n == 0 ? "0" : text.substr(0, n));
    text.remove_prefix(n);
    // Groups of thousands: a blank followed by exactly three digits.
    while (mayGroup) {
        const std::size_t blank = blankAt(text);
        if (blank == 0) break;
        const std::size_t group = digitsAt(text.substr(blank));
        if (group == 0) break;  // the blank before the currency word
        if (group != 3) return std::nullopt;
        number.append(text.substr(blank, 3));
        text.remove_prefix(blank + 3);
    }
    if (decimalSeparatorAt(text)) {
        text.remove_prefix(1);
        n = digitsAt(text);
        number += '.';
        number.append(text.substr(0, n));
        text.remove_prefix(n);
    }
    // What follows may name the currency, but holds no further digits.
    for (char c : text)
        if (isDigit(c)) return std::nullopt;
    if (!text.empty() && blankAt(text) == 0 && text[0] != '.' && static_cast<unsigned char>(text[0]) < 0x80 &&
        !((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z') || text[0] == '$'))
        return std::nullopt;  // "12,", "12-", "12/3": not a plain amount

    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return value;
}

}  // namespace korvex
