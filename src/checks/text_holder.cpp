#include "checks/text_holder.h"

namespace korvex {

void TextHolder::setText(std::string_view bytes) {
    if (const auto nul = bytes.find('\0'); nul != std::string_view::npos) bytes = bytes.substr(0, nul);

    // Size the result first, so that a text that does not fit is refused before anything is
    // allocated or changed. A lone CR or LF grows by one byte; a CR LF pair stays two.
    std::size_t size = bytes.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            else
                ++size;
        } else if (bytes[i] == '\n') {
            ++size;
        }
    }
    if (size > m_capacity) throw EMemoCapacity();

    std::string text;
    text.reserve(size);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t brk = bytes.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            text.append(bytes.substr(pos));
            break;
        }
        text.append(bytes.substr(pos, brk - pos));
        text += "\r\n";
        pos = brk + (bytes[brk] == '\r' && brk + 1 < bytes.size() && bytes[brk + 1] == '\n' ? 2 : 1);
    }
    m_text = std::move(text);
}

}  // namespace korvex
