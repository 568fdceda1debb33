#pragma once
// Letter case of the ASCII letters alone: names in addresses, settings keys and protocol words.
// Bytes from 0x80 up (cp1251 or UTF-8 letters) are left as they are, whatever the locale.
#include <string>
#include <string_view>

namespace korvex {

inline char lowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

}  // namespace korvex
