#include "update/engine/login_component.h"

namespace korvex {

namespace {
constexpr std::uint8_t kLoginInfoConstant = 0xA7;
}  // namespace

std::uint8_t loginInfoMask(std::uint8_t n) { return static_cast<std::uint8_t>(n ^ kLoginInfoConstant); }

std::optional<std::string> encodeLoginInfo(std::string_view username, std::string_view password) {
    const std::size_t n = 1 + username.size() + password.size();
    if (n > 255) return std::nullopt;
    const auto mask = loginInfoMask(static_cast<std::uint8_t>(n));
    std::string record;
    record.reserve(n + 1);
    record += static_cast<char>(n);
    record += static_cast<char>(username.size() ^ mask);
    for (const char c : username) record += static_cast<char>(static_cast<std::uint8_t>(c) ^ mask);
    for (const char c : password) record += static_cast<char>(static_cast<std::uint8_t>(c) ^ mask);
    return record;
}

std::optional<LoginInfo> decodeLoginInfo(std::string_view record) {
    if (record.empty()) return std::nullopt;
    const auto n = static_cast<std::uint8_t>(record[0]);
    if (n < 1 || record.size() < std::size_t{n} + 1) return std::nullopt;
    const auto mask = loginInfoMask(n);
    std::string bytes(record.substr(1, n));
    for (char& c : bytes) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ mask);
    const auto userLength = static_cast<std::uint8_t>(bytes[0]);
    if (std::size_t{userLength} + 1 > n) return std::nullopt;
    return LoginInfo{bytes.substr(1, userLength), bytes.substr(1 + userLength)};
}

std::string TupLoginComponent::LoginInfoRecord() const {
    if (m_username.empty() && m_password.empty()) return {};
    return encodeLoginInfo(m_username, m_password).value_or(std::string{});
}

bool TupLoginComponent::loadLoginInfoRecord(std::string_view record) {
    const auto info = decodeLoginInfo(record);
    if (!info) return false;
    m_username = info->username;
    m_password = info->password;
    return true;
}

}  // namespace korvex
