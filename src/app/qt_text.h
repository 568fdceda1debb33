#pragma once
// The display boundary: cells and settings values are cp1251 bytes; Qt shows Unicode.
#include <QString>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace korvex {

inline QString toQ(std::string_view cp1251) {
    return QString::fromStdString(cp1251ToUtf8(cp1251));
}

// What the user typed, as cp1251; a character cp1251 cannot hold becomes "?".
inline std::string fromQ(const QString& text) {
    return utf8ToCp1251(text.toStdString());
}

}  // namespace korvex
