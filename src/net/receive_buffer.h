#pragma once
// The receive buffer: the in-memory byte buffer that a caller creates for one request and attaches
// to the transfer component as its ReceiveStream. The receive handler writes every chunk of the
// body into it unchanged; the caller rewinds it and reads the page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

class THttpTransfer;

class ReceiveBuffer {
public:
    // Writes `data` at the current position (overwriting, then growing the buffer) and moves the
    // position past it.
    void write(const char* data, std::size_t len);
    void write(std::string_view data) { write(data.data(), data.size()); }
    // Back to the start, for reading what arrived.
    void rewind() noexcept { m_position = 0; }
    void seek(std::size_t position) noexcept {
        m_position = position < m_bytes.size() ? position : m_bytes.size();
    }
    // Reads up to `len` bytes from the current position; answers the count.
    std::size_t read(char* data, std::size_t len) noexcept;

    std::size_t position() const noexcept { return m_position; }
    std::size_t size() const noexcept { return m_bytes.size(); }
    // Everything held, whatever the position.
    const std::string& bytes() const noexcept { return m_bytes; }
    void clear() noexcept {
        m_bytes.clear();
        m_position = 0;
    }

private:
    std::string m_bytes;
    std::size_t m_position = 0;
};

// The program's receive handler (Curl1Receive): appends the `len` bytes of `data` unchanged to the
// ReceiveBuffer attached to `Sender` as its ReceiveStream, at the buffer's current position. It
// leaves bContinue True; only when no buffer is attached does it clear bContinue, so the transfer
// ends with libcurl's write error (23) instead of writing through a null pointer.
void appendToReceiveStream(THttpTransfer& Sender, const char* data, std::uint32_t len, bool& bContinue);

}  // namespace korvex
