#pragma once
// TextHolder: the hidden memo `Memo1` that holds the page of the last balance check. Every pattern
// of a check runs against its whole text.
//
// It holds text the way a multi-line edit control does: the text ends at its first NUL byte, and
// every line break (CR, LF or CR LF) becomes CR LF; every other byte stays as it came. Its capacity
// is bounded, so that a portal that sends an endless page makes the check fail instead of the
// program running out of memory.
//
// Threads: used by one thread at a time (the thread that runs the checks).
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvex {

// The message of the error raised when a text does not fit.
inline constexpr const char* kMemoCapacityMessage = "Text exceeds memo capacity";

// Raised by TextHolder::setText when the text, line breaks normalised, would exceed the capacity.
class EMemoCapacity : public std::length_error {
public:
    EMemoCapacity() : std::length_error(kMemoCapacityMessage) {}
};

class TextHolder {
public:
    static constexpr std::size_t kDefaultCapacity = std::size_t{64} * 1024 * 1024;  // 64 MiB

    // `capacity` is the most bytes the held text may have after normalisation.
    explicit TextHolder(std::size_t capacity = kDefaultCapacity) : m_capacity(capacity) {}

    // Replaces the text with `bytes`, cut at the first NUL byte, line breaks normalised to CR LF.
    // Throws EMemoCapacity when the result would exceed the capacity; the held text is then left
    // as it was.
    void setText(std::string_view bytes);
    const std::string& text() const noexcept { return m_text; }
    void clear() noexcept { m_text.clear(); }

    std::size_t capacity() const noexcept { return m_capacity; }

private:
    std::size_t m_capacity;
    std::string m_text;
};

}  // namespace korvex
