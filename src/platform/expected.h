#pragma once
// How a fallible operation of the core answers: its value, or a Failure saying what went wrong.
// Expected and Unexpected have the shape of C++23's std::expected and std::unexpected (the members
// used here carry the same names and meaning), so that the code moves to the standard ones by a
// change of names once the compiler has them.
//
//     Expected<UrlOrigin> origin = parseUrlOrigin(text);
//     if (!origin) return Unexpected(origin.error());
//     use(origin->host);
//
// Exceptions stay where a caller relies on them (EConvertError and its kin).
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

namespace korvex {

// What went wrong: a code to branch on, and a message for the user that names the thing concerned
// ("/home/u/Settings.ini: No space left on device").
struct Failure {
    std::error_code code;
    std::string message;

    bool operator==(const Failure&) const = default;
};

// A Failure for an errno value, its message "what: strerror(errno)" ("what" left out when empty).
inline Failure systemFailure(int error, const std::string& what) {
    const std::error_code code(error, std::generic_category());
    return {code, what.empty() ? code.message() : what + ": " + code.message()};
}

template <class E>
class Unexpected {
public:
    explicit Unexpected(E error) : m_error(std::move(error)) {}
    const E& error() const& noexcept { return m_error; }
    E&& error() && noexcept { return std::move(m_error); }

private:
    E m_error;
};

template <class T, class E = Failure>
class [[nodiscard]] Expected {
public:
    Expected() requires std::is_default_constructible_v<T> : m_state(std::in_place_index<0>) {}
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    template <class G>
    Expected(Unexpected<G> failure) : m_state(std::in_place_index<1>, std::move(failure).error()) {}

    bool has_value() const noexcept { return m_state.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    // Reading the value of a failure (or the failure of a value) is a fault of the caller.
    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const E& error() const& { return std::get<1>(m_state); }
    E&& error() && { return std::get<1>(std::move(m_state)); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    template <class U>
    T value_or(U&& fallback) const& {
        return has_value() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, E> m_state;
};

// Success that carries nothing but the fact.
template <class E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template <class G>
    Expected(Unexpected<G> failure) : m_failed(true), m_error(std::move(failure).error()) {}

    bool has_value() const noexcept { return !m_failed; }
    explicit operator bool() const noexcept { return has_value(); }
    const E& error() const& { return m_error; }
    E&& error() && { return std::move(m_error); }

private:
    bool m_failed = false;
    E m_error{};
};

}  // namespace korvex
