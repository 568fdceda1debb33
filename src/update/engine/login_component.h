#pragma once
// TupLoginComponent: the HTTP credentials of the download engine, kept out of the plain stored
// settings. When either is set they are stored as one record "LoginInfo" of raw bytes:
//   byte 0       N = 1 + user-name length + password length
//   bytes 1..N   the user-name length, the user-name bytes, the password bytes,
//                each XOR-ed with loginInfoMask(N)
// The program stores no such record; it is kept for settings written by other users of the engine.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvex {

// The one-byte mask of a record of N bytes.
std::uint8_t loginInfoMask(std::uint8_t n);

// The record for the two credentials; nullopt when they do not fit a length byte (more than 254
// bytes together), which is refused rather than stored cut short.
std::optional<std::string> encodeLoginInfo(std::string_view username, std::string_view password);

struct LoginInfo {
    std::string username;
    std::string password;
};
// The credentials of a record; nullopt for a record that is cut short or whose user-name length
// does not fit inside it.
std::optional<LoginInfo> decodeLoginInfo(std::string_view record);

class TupLoginComponent {
public:
    virtual ~TupLoginComponent() = default;

    const std::string& HTTPUsername() const noexcept { return m_username; }
    const std::string& HTTPPassword() const noexcept { return m_password; }
    void setHTTPUsername(std::string value) { m_username = std::move(value); }
    void setHTTPPassword(std::string value) { m_password = std::move(value); }

    // The stored "LoginInfo" record: "" when both credentials are empty (nothing is stored) or
    // when they are too long for the record.
    std::string LoginInfoRecord() const;
    // Reads a stored record; false (and nothing changed) when it is malformed.
    bool loadLoginInfoRecord(std::string_view record);

private:
    std::string m_username;
    std::string m_password;
};

}  // namespace korvex
