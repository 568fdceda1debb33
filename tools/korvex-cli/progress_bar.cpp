#include "korvex-cli/progress_bar.h"

#include <algorithm>

#include "korvex-cli/balance_table.h"

namespace korvex {

namespace {

// Carriage return, then erase to the end of the line.
constexpr std::string_view kRewind = "\r\x1b[K";

// The first `width` characters of the UTF-8 text.
std::string firstCharacters(std::string_view utf8, std::size_t width) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && characters++ == width)
            return std::string(utf8.substr(0, i)) + "…";
    }
    return std::string(utf8);
}

}  // namespace

std::string progressLine(int done, int current, int total, std::string_view loginUtf8, int barWidth,
                         int loginWidth) {
    const int filled = total > 0 ? std::clamp(done, 0, total) * barWidth / total : 0;
    std::string line = "[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(barWidth - filled), '.');
    line += "] " + std::to_string(current) + "/" + std::to_string(total);
    if (!loginUtf8.empty())
        line += " " + firstCharacters(terminalText(loginUtf8), static_cast<std::size_t>(loginWidth));
    return line;
}

void ProgressBar::show(int done, int current, int total, std::string_view loginUtf8) {
    if (!m_enabled) return;
    m_out << kRewind << progressLine(done, current, total, loginUtf8) << std::flush;
    m_drawn = true;
}

void ProgressBar::clear() {
    if (!m_drawn) return;
    m_out << kRewind << std::flush;
    m_drawn = false;
}

}  // namespace korvex
