#pragma once
// A zero-terminated text that the transfer component owns and hands to libcurl by pointer.
// libcurl keeps some of these pointers (the post body, the error buffer) between calls, so the
// buffer must stay put until the value really changes: assigning the text it already holds keeps
// the buffer, a value that fits reuses it, only a longer one replaces it.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace korvex {

class OwnedText {
public:
    // Takes `value` as described above; an empty value releases the buffer (the text is absent).
    void assign(std::string_view value);
    // Releases the buffer: the text becomes absent.
    void reset() noexcept;

    // The pointer libcurl gets: nullptr while the text is absent (empty).
    const char* c_str() const noexcept { return m_length == 0 ? nullptr : m_buffer.get(); }
    std::string_view view() const noexcept { return {m_buffer.get(), m_length}; }
    std::string str() const { return std::string(view()); }
    std::size_t size() const noexcept { return m_length; }
    bool empty() const noexcept { return m_length == 0; }

private:
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;  // bytes usable for text, not counting the terminating zero
    std::size_t m_length = 0;
};

}  // namespace korvex
