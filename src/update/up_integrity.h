#pragma once
// Integrity of an update (keys defined in docs/update-info-file.md): a SHA-256 digest for each
// file entry ("#url.sha256", "#url0.sha256", "#url1.sha256", ... beside "#url", "#url0",
// "#url1", ...), and an Ed25519 signature over the rest of the info file ("#signature"). When
// the build has a public key, an info file must carry a valid signature and a digest for every
// entry; without one, digests that are given are still checked. OpenSSL's libcrypto does all
// the cryptography.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::update {

// The build setting KORVEX_UPDATE_PUBLIC_KEY: the raw Ed25519 key as 64 hex digits, or "".
std::string_view buildUpdatePublicKey();

// The info file's plain lookup: the first occurrence of `key` "=" in any letter case; the value
// runs to the first character below 32, or to the end of the text less its last character.
std::string infoValue(std::string_view text, std::string_view key);

// The keys of the file entries in the order the file list is built from them: "#url" when not
// empty, "#url0" when not empty, then "#url" followed by n for n = count + 1, + 2, ... up to the
// first missing or empty one.
std::vector<std::string> infoFileEntryKeys(std::string_view text);

// The digest key of an entry key: "#url1" -> "#url1.sha256".
std::string digestKeyOf(std::string_view entryKey);

// The digest that the info file gives for the file entry with this URL (lower-case hex; the
// first entry with that URL), "" when it gives none.
std::string entryDigest(std::string_view text, std::string_view url);

enum class InfoTrust {
    Accepted,       // no key in this build, or a valid signature and a digest for every entry
    NoSignature,    // the build has a key and the file carries no "#signature"
    BadSignature,   // the signature does not match the file's other bytes under the build's key
    MissingDigest,  // signed, but a file entry has no well-formed digest
    BadPublicKey,   // the build's key is not 64 hex digits: nothing can be trusted
};
const char* infoTrustText(InfoTrust trust);

// Whether an info file may be used under `publicKeyHex` ("" accepts every file).
InfoTrust checkInfoFile(std::string_view text, std::string_view publicKeyHex);

// The bytes the signature covers: the text without the first "#signature=" (any case) and the
// rest of its line, line break included.
std::string signedPart(std::string_view text);

// SHA-256 of a file's bytes as 64 lower-case hex digits; nullopt when it cannot be read.
std::optional<std::string> fileSha256Hex(const std::string& path);
std::string sha256Hex(std::string_view bytes);

// True when no digest is expected ("") or the file's digest equals it (hex in any case).
bool fileMatchesDigest(const std::string& path, std::string_view expectedHex);

// Whether a downloaded update file may be installed: its digest, when the info file gives one
// for its URL, must match; under a public key a file without a digest is refused as well.
bool downloadedFileAcceptable(const std::string& path, std::string_view infoText, std::string_view url,
                              std::string_view publicKeyHex);

// --- What the publisher's side needs (korvex-sign-update, the demo portal) ---

struct KeyPair {
    std::string privatePem;  // PKCS#8 PEM
    std::string publicHex;   // the raw public key, 64 hex digits: the build setting's value
};
std::optional<KeyPair> generateKeyPair(std::string* error = nullptr);
std::optional<std::string> publicKeyHexOf(std::string_view privatePem, std::string* error = nullptr);

// The info file with its digest and signature keys removed, its last line ended, and a digest key
// added for every file entry; `digestOf(entryKey, url)` gives each digest (nullopt: fail, `error`
// names the entry).
std::optional<std::string> withDigests(
    std::string_view text,
    const std::function<std::optional<std::string>(const std::string&, const std::string&)>& digestOf,
    std::string* error = nullptr);

// `text` (any earlier signature removed) with "#signature=" and the signature of those bytes
// appended as its last line.
std::optional<std::string> signInfoText(std::string_view text, std::string_view privatePem,
                                        std::string* error = nullptr);

}  // namespace korvex::update
