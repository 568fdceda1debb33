#include "net/portal_pins.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "net/curl_library.h"
#include "net/page_probe.h"
#include "net/url_origin.h"

namespace korvex {

namespace {

constexpr std::string_view kPinPrefix = "sha256//";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

struct BioFree {
    void operator()(BIO* bio) const noexcept { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* cert) const noexcept { X509_free(cert); }
};
struct EasyFree {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};

}  // namespace

std::string pinOrigin(std::string_view url) {
    const Expected<UrlOrigin> origin = parseUrlOrigin(url, "https");
    return origin && origin->scheme == "https" ? origin->text() : std::string();
}

std::string publicKeyPin(std::string_view certificatePem) {
    const std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(certificatePem.data(), static_cast<int>(certificatePem.size())));
    if (!bio) return {};
    const std::unique_ptr<X509, X509Free> cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert) return {};
    unsigned char* der = nullptr;
    const int derLength = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
    if (derLength <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool hashed = EVP_Digest(der, static_cast<std::size_t>(derLength), digest, &digestLength, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!hashed) return {};
    unsigned char encoded[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
    const int encodedLength = EVP_EncodeBlock(encoded, digest, static_cast<int>(digestLength));
    return std::string(kPinPrefix) + std::string(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(encodedLength));
}

std::string pinsPathBeside(const std::string& settingsPath) {
    const std::size_t slash = settingsPath.rfind('/');
    return (slash == std::string::npos ? std::string() : settingsPath.substr(0, slash + 1)) + kPinsFileName;
}

// ---------------------------------------------------------------------------------------------

PortalPins::PortalPins(std::string path, PinsFileCalls calls) : m_path(std::move(path)), m_calls(calls) {
    load();
}

void PortalPins::load() {
    const auto fail = [this](const std::string& reason) { m_loadError = m_path + ": " + reason; };
    // Non-blocking, so that a FIFO in the file's place cannot hang the run; only a regular file is read.
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        // A link to nowhere is there all the same: not a first use.
        if (error == ENOENT && ::lstat(m_path.c_str(), &st) != 0) return;
        return fail(error == ENOENT ? "a link to a file that is not there" : std::strerror(error));
    }
    struct FdClose {
        int fd;
        ~FdClose() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return fail("a folder, not a file");
    if (!S_ISREG(st.st_mode)) return fail("not a regular file");
    const auto tooLarge = [&] { fail("larger than " + std::to_string(kMaxPinsFileBytes >> 20) + " MiB"); };
    if (static_cast<std::size_t>(st.st_size) > kMaxPinsFileBytes) return tooLarge();
    std::string text;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(std::strerror(errno));
        if (n == 0) break;
        // The file may grow while it is read: the bound holds for what is read, not for fstat.
        if (text.size() + static_cast<std::size_t>(n) > kMaxPinsFileBytes) return tooLarge();
        text.append(chunk, static_cast<std::size_t>(n));
    }
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        Line line;
        line.text = text.substr(at, end - at);
        at = end + 1;
        ++number;
        const std::string_view content = trimmed(line.text);
        const std::size_t blank = content.find_first_of(" \t");
        if (!content.empty() && content.front() != '#' && blank != std::string_view::npos) {
            const std::string origin(content.substr(0, blank));
            const std::string_view pin = trimmed(content.substr(blank));
            if (pinOrigin(origin) == origin && pin.starts_with(kPinPrefix) && pin.size() > kPinPrefix.size() &&
                pin.find_first_of(" \t") == std::string_view::npos) {
                line.origin = origin;
                line.pin = std::string(pin);
            }
        }
        if (line.origin.empty() && !content.empty() && content.front() != '#')
            m_unreadableLines.push_back(number);
        // The first line of an origin holds; a later one is kept as text, as a person wrote it.
        if (!line.origin.empty() && !m_index.emplace(line.origin, m_lines.size()).second) {
            line.origin.clear();
            line.pin.clear();
        }
        m_lines.push_back(std::move(line));
    }
}

std::string PortalPins::pinOf(const std::string& origin) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_index.find(origin);
    return found == m_index.end() ? std::string() : m_lines[found->second].pin;
}

std::vector<std::string> PortalPins::origins() const {
    const std::lock_guard lock(m_mutex);
    std::vector<std::string> list;
    for (const Line& line : m_lines)
        if (!line.origin.empty()) list.push_back(line.origin);
    return list;
}

std::string PortalPins::setPin(const std::string& origin, const std::string& pin) {
    const std::lock_guard lock(m_mutex);
    setPinLocked(origin, pin);
    return saveLocked();
}

std::string PortalPins::pinIfNew(const std::string& origin, const std::string& pin) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_index.find(origin); found != m_index.end()) return m_lines[found->second].pin;
    setPinLocked(origin, pin);
    return pin;
}

std::string PortalPins::saveChanges() {
    const std::lock_guard lock(m_mutex);
    return m_changed ? saveLocked() : std::string();
}

void PortalPins::setPinLocked(const std::string& origin, const std::string& pin) {
    m_changed = true;
    if (const auto found = m_index.find(origin); found != m_index.end()) {
        m_lines[found->second].pin = pin;
        return;
    }
    if (m_lines.empty()) {
        m_lines.push_back(
            {"# Korvex: the public keys of the portals' certificates, pinned on first use.", {}, {}});
        m_lines.push_back(
            {"# A portal that shows another key gets no request until its new key is trusted.", {}, {}});
    }
    m_index.emplace(origin, m_lines.size());
    m_lines.push_back({{}, origin, pin});
}

std::string PortalPins::saveLocked() {
    if (!m_loadError.empty()) return m_loadError;
    std::string text;
    for (const Line& line : m_lines)
        text += (line.origin.empty() ? line.text : line.origin + " " + line.pin) + "\n";
    AtomicWriteOptions options;
    options.mode = 0600;
    options.tempInfix = ".";
    options.calls = m_calls;
    const Expected<void> written = writeFileAtomically(m_path, text, options);
    if (!written) return written.error().message;
    m_changed = false;
    return {};
}

void PortalPins::noteMismatch(PinMismatch mismatch) {
    const std::lock_guard lock(m_mutex);
    for (const PinMismatch& seen : m_mismatches)
        if (seen.origin == mismatch.origin && seen.presented == mismatch.presented) return;
    m_mismatches.push_back(std::move(mismatch));
}

std::vector<PinMismatch> PortalPins::takeMismatches() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_mismatches, {});
}

// ---------------------------------------------------------------------------------------------

std::string presentedPin(CURL* handle) {
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CERTINFO, &info) != CURLE_OK || info == nullptr || info->num_of_certs < 1)
        return {};
    for (const curl_slist* field = info->certinfo[0]; field != nullptr; field = field->next) {
        const std::string_view text = field->data;
        if (text.starts_with("Cert:")) return publicKeyPin(text.substr(5));
    }
    return {};
}

PresentedKey fetchPresentedKey(const std::string& origin, const std::string& proxy, long proxyPort,
                               long connectTimeout, const std::atomic<bool>* abort) {
    CurlLibrary::instance();
    PresentedKey answer;
    const std::unique_ptr<CURL, EasyFree> handle(curl_easy_init());
    if (!handle) {
        answer.error = curl_easy_strerror(CURLE_FAILED_INIT);
        return answer;
    }
    CURL* h = handle.get();
    char errorText[CURL_ERROR_SIZE] = {};
    setUnverifiedRequest(h, origin + "/", proxy, proxyPort, connectTimeout, abort, errorText);
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);  // the handshake, and not a byte of a request
    const CURLcode result = curl_easy_perform(h);
    answer.pin = presentedPin(h);
    if (answer.pin.empty())
        answer.error = result != CURLE_OK ? (errorText[0] ? std::string(errorText) : curl_easy_strerror(result))
                                          : std::string("the portal showed no certificate");
    return answer;
}

}  // namespace korvex
