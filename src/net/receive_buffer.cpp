#include "net/receive_buffer.h"

#include <algorithm>
#include <cstring>

#include "net/http_transfer.h"

namespace korvex {

void ReceiveBuffer::write(const char* data, std::size_t len) {
    if (len == 0) return;
    const std::size_t end = m_position + len;
    if (end > m_bytes.size()) m_bytes.resize(end);
    std::memcpy(m_bytes.data() + m_position, data, len);
    m_position = end;
}

std::size_t ReceiveBuffer::read(char* data, std::size_t len) noexcept {
    const std::size_t count = std::min(len, m_bytes.size() - m_position);
    std::memcpy(data, m_bytes.data() + m_position, count);
    m_position += count;
    return count;
}

void appendToReceiveStream(THttpTransfer& Sender, const char* data, std::uint32_t len, bool& bContinue) {
    auto* buffer = static_cast<ReceiveBuffer*>(Sender.ReceiveStream());
    if (buffer == nullptr) {
        bContinue = false;
        return;
    }
    buffer->write(data, len);
}

}  // namespace korvex
