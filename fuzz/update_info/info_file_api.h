#pragma once
// Every call of the update_info target into the info file's readers and checks, in one place, so
// that a change of their interface changes this file only.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/up_info_file.h"
#include "update/up_integrity.h"

namespace korvex::fuzz {

// What the updater takes from an info file that passed its check.
struct InfoReading {
    std::vector<std::string> files;
    TupUpgradeMethod method = umSelfUpgrade;
    std::string version, date, message;
};

inline update::InfoTrust trustOf(std::string_view text, std::string_view publicKeyHex) {
    return update::checkInfoFile(text, publicKeyHex);
}
inline bool accepted(std::string_view text, std::string_view publicKeyHex) {
    return trustOf(text, publicKeyHex) == update::InfoTrust::Accepted;
}

inline InfoReading readInfo(std::string_view text) {
    InfoReading r;
    r.files = infoFileList(text);
    r.method = infoUpgradeMethod(text);
    r.version = infoValue(text, "#version");
    r.date = infoValue(text, "#date");
    r.message = infoBracedValue(text, "#message");
    return r;
}

// The digest the file gives for a file entry's URL ("" for none).
inline std::string digestOf(std::string_view text, std::string_view url) {
    return update::entryDigest(text, url);
}

inline bool downloadAcceptable(const std::string& path, std::string_view text, std::string_view url,
                               std::string_view publicKeyHex) {
    return update::downloadedFileAcceptable(path, text, url, publicKeyHex);
}

// The publisher's side: a digest key for every entry (each entry's digest `fileDigest`), then signed.
inline std::optional<std::string> signedWithDigests(std::string_view text, const std::string& fileDigest,
                                                    const std::string& privatePem) {
    const auto withDigest = update::withDigests(
        text, [&](const std::string&, const std::string&) { return std::optional<std::string>(fileDigest); });
    if (!withDigest) return std::nullopt;
    return update::signInfoText(*withDigest, privatePem);
}

inline std::optional<update::KeyPair> makeKeyPair() {
    return update::generateKeyPair();
}
inline std::string sha256Hex(std::string_view bytes) {
    return update::sha256Hex(bytes);
}

}  // namespace korvex::fuzz
