#include "net/owned_text.h"

#include <cstring>

namespace korvex {

void OwnedText::assign(std::string_view value) {
    if (value == view()) return;  // the same bytes (both empty included): keep the buffer
    if (!value.empty() && m_capacity >= value.size()) {
        std::memset(m_buffer.get(), 0, m_capacity + 1);
    } else {
        reset();
        if (value.empty()) return;
        m_buffer = std::make_unique<char[]>(value.size() + 1);  // zero-filled
        m_capacity = value.size();
    }
    std::memcpy(m_buffer.get(), value.data(), value.size());
    m_length = value.size();
}

void OwnedText::reset() noexcept {
    m_buffer.reset();
    m_capacity = 0;
    m_length = 0;
}

}  // namespace korvex
