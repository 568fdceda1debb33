#include "update/check/integrity.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "update/check/public_key.h"
#include "platform/ascii_text.h"

namespace korvex::update {
namespace {

constexpr std::string_view kSignatureKey = "#signature";
constexpr std::string_view kDigestSuffix = ".sha256";
constexpr size_t kKeySize = 32;
constexpr size_t kSignatureSize = 64;

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct BioFree {
    void operator()(BIO* p) const { BIO_free(p); }
};
struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

// The first occurrence of `needle` in `text`, ignoring the case of ASCII letters.
size_t findIgnoringCase(std::string_view text, std::string_view needle) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && lowerAscii(text[i + k]) == lowerAscii(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

std::string toHex(const unsigned char* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

std::optional<std::string> fromHex(std::string_view hex, size_t size) {
    if (hex.size() != size * 2) return std::nullopt;
    std::string bytes(size, '\0');
    for (size_t i = 0; i < hex.size(); ++i) {
        const char c = lowerAscii(hex[i]);
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            return std::nullopt;
        bytes[i / 2] = static_cast<char>(bytes[i / 2] | (i % 2 ? v : v << 4));
    }
    return bytes;
}

std::string opensslError(const char* what) {
    const unsigned long code = ERR_get_error();
    char buffer[256] = "";
    if (code) ERR_error_string_n(code, buffer, sizeof buffer);
    ERR_clear_error();
    return std::string(what) + (code ? std::string(": ") + buffer : std::string());
}

bool setError(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

Pkey readPrivateKey(std::string_view pem, std::string* error) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    Pkey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        setError(error, key ? std::string("not an Ed25519 private key")
                            : opensslError("cannot read the private key"));
        return nullptr;
    }
    return key;
}

std::string lineBreakOf(std::string_view text) {
    return text.find("\r\n") != std::string_view::npos || text.find('\n') == std::string_view::npos ? "\r\n"
                                                                                                    : "\n";
}

std::string withLastLineEnded(std::string_view text) {
    std::string out(text);
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += lineBreakOf(text);
    return out;
}

bool isSignatureOrExpiryLine(std::string_view line) {
    const std::string low = lowerAscii(line.substr(0, 16));
    return low.rfind("#signature=", 0) == 0 || low.rfind("#expires=", 0) == 0;
}

// Whether a line starts with one of our keys: "#signature=", "#expires=" or "#url<digits>.sha256=".
bool isIntegrityLine(std::string_view line) {
    if (isSignatureOrExpiryLine(line)) return true;
    const std::string low = lowerAscii(line.substr(0, 32));
    if (low.rfind("#url", 0) != 0) return false;
    size_t i = 4;
    while (i < low.size() && low[i] >= '0' && low[i] <= '9') ++i;
    return low.compare(i, kDigestSuffix.size() + 1, ".sha256=") == 0;
}

}  // namespace

std::string_view buildUpdatePublicKey() {
    return kBuildUpdatePublicKey;
}

std::string digestKeyOf(std::string_view entryKey) {
    return std::string(entryKey) + std::string(kDigestSuffix);
}

SignatureCheck checkSignature(std::string_view publicKeyHex, std::string_view message,
                              std::string_view signatureHex) {
    const auto raw = fromHex(publicKeyHex, kKeySize);
    if (!raw) return SignatureCheck::BadKey;
    const auto signature = fromHex(signatureHex, kSignatureSize);
    if (!signature) return SignatureCheck::Invalid;
    Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                         reinterpret_cast<const unsigned char*>(raw->data()), raw->size()));
    if (!key) {
        ERR_clear_error();
        return SignatureCheck::BadKey;
    }
    MdCtx ctx(EVP_MD_CTX_new());
    const bool valid =
        ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                         signature->size(), reinterpret_cast<const unsigned char*>(message.data()),
                         message.size()) == 1;
    ERR_clear_error();
    return valid ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

std::optional<std::string> fileSha256Hex(const std::string& path) {
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rbe"));
    if (!file) return std::nullopt;
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        if (EVP_DigestUpdate(ctx.get(), buffer, n) != 1) return std::nullopt;
    if (std::ferror(file.get())) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) return std::nullopt;
    return toHex(digest, size);
}

std::string sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    return toHex(digest, size);
}

bool fileMatchesDigest(const std::string& path, std::string_view expectedHex) {
    if (expectedHex.empty()) return true;
    const auto actual = fileSha256Hex(path);
    return actual && *actual == lowerAscii(expectedHex);
}

bool downloadedFileAcceptable(const std::string& path, const TrustedInfo& info, std::string_view url,
                              std::string_view publicKeyHex) {
    const std::string digest = info.entryDigest(url);
    if (digest.empty()) return publicKeyHex.empty();
    return fileMatchesDigest(path, digest);
}

std::optional<KeyPair> generateKeyPair(std::string* error) {
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* made = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &made) != 1) {
        setError(error, opensslError("cannot make a key pair"));
        return std::nullopt;
    }
    Pkey key(made);
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        setError(error, opensslError("cannot write the private key"));
        return std::nullopt;
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    KeyPair pair;
    pair.privatePem.assign(data, static_cast<size_t>(size));
    auto publicHex = publicKeyHexOf(pair.privatePem, error);
    if (!publicHex) return std::nullopt;
    pair.publicHex = *publicHex;
    return pair;
}

std::optional<std::string> publicKeyHexOf(std::string_view privatePem, std::string* error) {
    const Pkey key = readPrivateKey(privatePem, error);
    if (!key) return std::nullopt;
    unsigned char raw[kKeySize];
    size_t size = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key.get(), raw, &size) != 1 || size != kKeySize) {
        setError(error, opensslError("cannot read the public key"));
        return std::nullopt;
    }
    return toHex(raw, size);
}

std::optional<std::string> withDigests(
    std::string_view text,
    const std::function<std::optional<std::string>(const std::string&, const std::string&)>& digestOf,
    std::string* error) {
    const std::string eol = lineBreakOf(text);
    const std::string ended = withLastLineEnded(text);
    std::string kept;
    for (size_t pos = 0; pos < ended.size();) {
        size_t end = ended.find('\n', pos);
        end = end == std::string::npos ? ended.size() : end + 1;
        const std::string_view line = std::string_view(ended).substr(pos, end - pos);
        if (!isIntegrityLine(line)) kept += line;
        pos = end;
    }
    std::string out = kept;
    const InfoVerdict entries = verifyInfoFile(kept, "");
    for (const auto& key : entries.info ? entries.info->entryKeys() : std::vector<std::string>{}) {
        const std::string url = entries.info->value(key);
        const auto digest = digestOf(key, url.substr(0, url.find('=')));
        if (!digest) {
            setError(error, key + " (" + url + "): no digest");
            return std::nullopt;
        }
        out += digestKeyOf(key) + "=" + *digest + eol;
    }
    return out;
}

std::optional<std::string> signInfoText(std::string_view text, std::string_view privatePem,
                                        std::string_view expiresIsoDate, std::string* error) {
    const std::string eol = lineBreakOf(text);
    const std::string ended = withLastLineEnded(text);
    std::string message;
    for (size_t pos = 0; pos < ended.size();) {
        size_t end = ended.find('\n', pos);
        end = end == std::string::npos ? ended.size() : end + 1;
        const std::string_view line = std::string_view(ended).substr(pos, end - pos);
        if (!isSignatureOrExpiryLine(line)) message += line;
        pos = end;
    }
    if (findIgnoringCase(message, "#signature=") != std::string_view::npos) {
        setError(error, "\"#signature=\" stands inside a line: no client would accept the file");
        return std::nullopt;
    }
    message += "#expires=" + std::string(expiresIsoDate) + eol;

    const Pkey key = readPrivateKey(privatePem, error);
    if (!key) return std::nullopt;
    MdCtx ctx(EVP_MD_CTX_new());
    unsigned char signature[kSignatureSize];
    size_t size = sizeof signature;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature, &size, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        setError(error, opensslError("cannot sign"));
        return std::nullopt;
    }
    return message + std::string(kSignatureKey) + "=" + toHex(signature, size) + eol;
}

std::string isoDateAfterDays(std::time_t now, int days) {
    const std::time_t then = now + static_cast<std::time_t>(days) * 86400;
    std::tm utc{};
    gmtime_r(&then, &utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
    return text;
}

}  // namespace korvex::update
