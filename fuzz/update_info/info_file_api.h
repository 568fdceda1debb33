#pragma once
// Every call of the update_info target into the info file's readers and checks, in one place, so
// that a change of their interface changes this file only.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/check/info_file.h"
#include "update/check/integrity.h"
#include "update/check/trusted_info.h"

namespace korvex::fuzz {

// What the updater takes from an info file that passed its check.
struct InfoReading {
    std::vector<std::string> files;
    TupUpgradeMethod method = umSelfUpgrade;
    std::string version, date, message;
};

inline update::InfoTrust trustOf(std::string_view text, std::string_view publicKeyHex) {
    return update::verifyInfoFile(text, publicKeyHex).trust;
}
inline bool accepted(std::string_view text, std::string_view publicKeyHex) {
    return trustOf(text, publicKeyHex) == update::InfoTrust::Accepted;
}

// What the updater reads of a file it accepted under `publicKeyHex` (only the bytes verification
// returned).
inline InfoReading readInfo(std::string_view text, std::string_view publicKeyHex) {
    InfoReading r;
    const auto info = update::verifyInfoFile(text, publicKeyHex).info;
    if (!info) return r;
    r.files = infoFileList(*info);
    r.method = infoUpgradeMethod(*info);
    r.version = info->value("#version");
    r.date = info->value("#date");
    r.message = info->bracedValue("#message");
    return r;
}

// The digest the file gives for a file entry's URL ("" for none).
inline std::string digestOf(std::string_view text, std::string_view publicKeyHex, std::string_view url) {
    const auto info = update::verifyInfoFile(text, publicKeyHex).info;
    return info ? info->entryDigest(url) : std::string();
}

inline bool downloadAcceptable(const std::string& path, std::string_view text, std::string_view url,
                               std::string_view publicKeyHex) {
    const auto info = update::verifyInfoFile(text, publicKeyHex).info;
    return info && update::downloadedFileAcceptable(path, *info, url, publicKeyHex);
}

// The publisher's side: a digest key for every entry (each entry's digest `fileDigest`), then signed.
inline std::optional<std::string> signedWithDigests(std::string_view text, const std::string& fileDigest,
                                                    const std::string& privatePem) {
    const auto withDigest = update::withDigests(
        text, [&](const std::string&, const std::string&) { return std::optional<std::string>(fileDigest); });
    if (!withDigest) return std::nullopt;
    return update::signInfoText(*withDigest, privatePem, update::isoDateAfterDays(std::time(nullptr), 30));
}

inline std::optional<update::KeyPair> makeKeyPair() {
    return update::generateKeyPair();
}
inline std::string sha256Hex(std::string_view bytes) {
    return update::sha256Hex(bytes);
}

}  // namespace korvex::fuzz
