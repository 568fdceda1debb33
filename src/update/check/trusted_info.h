#pragma once
// The update info file as the program may read it. Received bytes become a TrustedInfo only through
// verifyInfoFile: under a publisher key the bytes the signature covers and nothing else, without a
// key the whole file. Every reader of the check (version, date, entries, digests, method, message)
// takes a TrustedInfo, never the received text, so no reader can see a byte that was not signed.
//
// Lookups follow the info file's rules (docs/update-info-file.md): a key is found at the first place
// where it appears followed by "=", in any letter case, even in the middle of a line; a plain value
// ends before the first byte below 32, or, when none follows, at the end of the text less its last
// byte. The text is indexed once when it is made, so each lookup, and the whole entry list, costs
// no more than one pass over the file.
#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::update {

// The largest info file read: anything longer is refused, having read no more than this.
inline constexpr std::size_t kMaxInfoFileSize = 1024 * 1024;
// The entries of a file list together: beyond this (values that run into each other for megabytes)
// the file is no info file.
inline constexpr std::size_t kMaxFileListBytes = 4 * kMaxInfoFileSize;

struct InfoVerdict;

// Whether an info file may be used, and when not, by which rule it was refused.
enum class InfoTrust {
    Accepted,            // no key in this build, or every rule below holds
    NoSignature,         // the build has a key and the file carries no "#signature="
    MisplacedSignature,  // the signature is not alone on the last line, exactly "#signature=" + 128 hex
    TwoSignatures,       // a second "#signature=" (any case) among the signed bytes
    BadSignature,        // the signature does not match the signed bytes under the build's key
    NoExpiry,            // signed, but without a well-formed "#expires=YYYY-MM-DD"
    Expired,             // signed, but "#expires" is past (UTC)
    MissingDigest,       // signed, but a file entry has no well-formed digest
    NotAVersion,         // signed, but "#version" is given and is not one to four numbers ("3.2.0.1")
    BadPublicKey,        // the build's key is not 64 hex digits: nothing can be trusted
};
// One line of English saying which rule refused the file.
const char* infoTrustText(InfoTrust trust);

class TrustedInfo {
public:
    // The bytes every lookup reads: the signed bytes, or without a key the whole file.
    std::string_view bytes() const noexcept;

    // The plain value of `key` ("" when missing). Keys that start with "#", hold no "=" and no
    // more than 64 bytes are answered from the index; any other key by a search of the text.
    std::string value(std::string_view key) const;
    // The braced value: after `key` "={" up to the first "}" (line breaks included), or without
    // one to the end of the text less its last byte.
    std::string bracedValue(std::string_view key) const;
    // The keys of the file entries in list order: "#url" when not empty, "#url0" when not empty,
    // then "#url" followed by n for n = count + 1, + 2, ... up to the first missing or empty one.
    std::vector<std::string> entryKeys() const;
    // The file entries (the values of entryKeys()).
    std::vector<std::string> fileList() const;
    // The digest given for the entry with this URL (the first such entry), lower-case; "" when none.
    std::string entryDigest(std::string_view url) const;
    // Whether the text is an info file at all: it names a version, a date or a file entry, and its
    // entries together stay within kMaxFileListBytes. (An error page served with status 200 is not.)
    bool isInfoFile() const;

private:
    friend InfoVerdict verifyInfoFile(std::string_view, std::string_view, std::time_t);
    explicit TrustedInfo(std::string bytes);
    std::string_view valueView(std::string_view key) const;

    struct Index;
    std::shared_ptr<const Index> m_index;  // shared: copies are cheap and never dangle
};

struct InfoVerdict {
    InfoTrust trust = InfoTrust::Accepted;
    std::optional<TrustedInfo> info;  // set exactly when trust is Accepted
};

// The one check of an info file, used by the program and by korvex-sign-update alike.
// `publicKeyHex`: the publisher's Ed25519 key as 64 hex digits, "" for a build without one (every
// file is then used whole, "#signature" and "#expires" are ignored, given digests still count).
// Under a key the last line must be exactly "#signature=" and 128 hex digits followed by CR LF, LF
// or the end of the text; the bytes before that line are verified and are all that is kept.
// `now` decides "#expires" (UTC). A signed "#version" must be one to four numbers separated by dots
// (blanks around each allowed): a publisher's file is never compared byte by byte. Defined for
// every input; costs one pass plus the signature.
InfoVerdict verifyInfoFile(std::string_view received, std::string_view publicKeyHex,
                           std::time_t now = std::time(nullptr));

}  // namespace korvex::update
