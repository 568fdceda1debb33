#include "net/curl_library.h"

#include <cstdlib>
#include <filesystem>
#include <iterator>

namespace korvex {

namespace {

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

CurlFeatures featuresFromBits(int bits) {
    // The flags in bit order: bit n of `bits` sets kFlags[n].
    static constexpr bool CurlFeatures::*kFlags[] = {
        &CurlFeatures::ipv6,   &CurlFeatures::kerberos4,    &CurlFeatures::ssl,   &CurlFeatures::libz,
        &CurlFeatures::ntlm,   &CurlFeatures::gssNegotiate, &CurlFeatures::debug, &CurlFeatures::asynchDns,
        &CurlFeatures::spnego, &CurlFeatures::largeFile,    &CurlFeatures::idn,   &CurlFeatures::sspi,
    };
    CurlFeatures features;
    for (std::size_t n = 0; n < std::size(kFlags); ++n) features.*kFlags[n] = (bits & (1 << n)) != 0;
    return features;
}

std::string findCaBundle(std::string_view searchPath, const std::vector<std::string>& fallbacks) {
    while (!searchPath.empty()) {
        const std::size_t colon = searchPath.find(':');
        const std::string_view folder = searchPath.substr(0, colon);
        searchPath = colon == std::string_view::npos ? std::string_view{} : searchPath.substr(colon + 1);
        if (folder.empty()) continue;
        std::string candidate(folder);
        if (candidate.back() != '/') candidate += '/';
        candidate += "curl-ca-bundle.crt";
        if (isRegularFile(candidate)) return candidate;
    }
    for (const std::string& candidate : fallbacks) {
        if (isRegularFile(candidate)) return candidate;
    }
    return {};
}

std::string caDirectoryOf(std::string_view bundlePath) {
    const std::size_t slash = bundlePath.rfind('/');
    return slash == std::string_view::npos ? std::string{} : std::string(bundlePath.substr(0, slash + 1));
}

const std::vector<std::string>& distributionCaBundles() {
    static const std::vector<std::string> bundles = {
        "/etc/ssl/certs/ca-certificates.crt",  // Debian, Ubuntu, Arch
        "/etc/pki/tls/certs/ca-bundle.crt",    // Fedora, RHEL
        "/etc/ssl/ca-bundle.pem",              // openSUSE
        "/etc/ssl/cert.pem",                   // Alpine
    };
    return bundles;
}

const CurlLibrary& CurlLibrary::instance() {
    static const CurlLibrary library;
    return library;
}

CurlLibrary::CurlLibrary() {
    m_initialised = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info == nullptr) return;
    m_version = *info;
    CurlStringList protocols;
    for (const char* const* name = info->protocols; name != nullptr && *name != nullptr; ++name) {
        protocols.add(*name);
    }
    m_protocols = THttpReadOnlyList(std::move(protocols));
    m_features = featuresFromBits(info->features);
    if (m_features.ssl) {
        const char* path = std::getenv("PATH");
        m_caBundlePath = findCaBundle(path != nullptr ? path : "", distributionCaBundles());
        m_caDirectory = caDirectoryOf(m_caBundlePath);
    }
}

CurlLibrary::~CurlLibrary() {
    m_protocols = THttpReadOnlyList();
    if (m_initialised) curl_global_cleanup();
}

}  // namespace korvex
