#pragma once
// Integrity of an update (keys defined in docs/update-info-file.md): a SHA-256 digest for each
// file entry ("#url.sha256", "#url0.sha256", "#url1.sha256", ... beside "#url", "#url0",
// "#url1", ...), and an Ed25519 signature over the rest of the info file ("#signature", its
// last line); verifyInfoFile (check/trusted_info.h) decides what of a received file may be read.
// OpenSSL's libcrypto does all
// the cryptography.
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/check/trusted_info.h"

namespace korvex::update {

// The build setting KORVEX_UPDATE_PUBLIC_KEY: the raw Ed25519 key as 64 hex digits, or "".
std::string_view buildUpdatePublicKey();

// The digest key of an entry key: "#url1" -> "#url1.sha256".
std::string digestKeyOf(std::string_view entryKey);

// An Ed25519 signature (128 hex digits) of `message` under the key `publicKeyHex` (64 hex digits).
enum class SignatureCheck { Valid, Invalid, BadKey };
SignatureCheck checkSignature(std::string_view publicKeyHex, std::string_view message,
                              std::string_view signatureHex);

// SHA-256 of a file's bytes as 64 lower-case hex digits; nullopt when it cannot be read.
std::optional<std::string> fileSha256Hex(const std::string& path);
std::string sha256Hex(std::string_view bytes);

// True when no digest is expected ("") or the file's digest equals it (hex in any case).
bool fileMatchesDigest(const std::string& path, std::string_view expectedHex);

// Whether a downloaded update file may be installed: its digest, when the info file gives one
// for its URL, must match; under a public key a file without a digest is refused as well.
bool downloadedFileAcceptable(const std::string& path, const TrustedInfo& info, std::string_view url,
                              std::string_view publicKeyHex);

// --- What the publisher's side needs (korvex-sign-update, the demo portal) ---

struct KeyPair {
    std::string privatePem;  // PKCS#8 PEM
    std::string publicHex;   // the raw public key, 64 hex digits: the build setting's value
};
std::optional<KeyPair> generateKeyPair(std::string* error = nullptr);
std::optional<std::string> publicKeyHexOf(std::string_view privatePem, std::string* error = nullptr);

// The info file with its digest, expiry and signature lines removed, its last line ended, and a
// digest key added for every file entry; `digestOf(entryKey, url)` gives each digest (nullopt: fail, `error`
// names the entry).
std::optional<std::string> withDigests(
    std::string_view text,
    const std::function<std::optional<std::string>(const std::string&, const std::string&)>& digestOf,
    std::string* error = nullptr);

// `text` with any earlier "#expires" and "#signature" lines removed, "#expires=" `expiresIsoDate`
// (YYYY-MM-DD) added, and "#signature=" with the signature of all those bytes as its last line.
// Fails for a text that still holds "#signature=" inside a line: no client would accept it.
std::optional<std::string> signInfoText(std::string_view text, std::string_view privatePem,
                                        std::string_view expiresIsoDate, std::string* error = nullptr);
// The UTC date `days` days after `now`, as YYYY-MM-DD.
std::string isoDateAfterDays(std::time_t now, int days);

}  // namespace korvex::update
