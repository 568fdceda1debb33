#pragma once
// Conversion between the Windows Cyrillic code page (1251), in which cells, settings values and most
// portal pages are held, and UTF-8, which the terminal, Qt and two of the portals speak.
#include <string>
#include <string_view>

namespace korvex {

// Every cp1251 byte has a character (0x98, unassigned in the code page, maps to U+FFFD).
std::string cp1251ToUtf8(std::string_view cp1251);

// A character that cp1251 cannot hold becomes "?"; so does every byte of a malformed UTF-8 sequence.
std::string utf8ToCp1251(std::string_view utf8);

// True when every character of the UTF-8 text has a cp1251 byte (a malformed text never does).
bool utf8FitsCp1251(std::string_view utf8);

// Unicode code point of one cp1251 byte, and back (-1 when cp1251 has no byte for it).
char32_t cp1251ToUnicode(unsigned char byte);
int unicodeToCp1251(char32_t codePoint);

}  // namespace korvex
