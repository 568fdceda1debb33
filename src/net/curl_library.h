#pragma once
// libcurl's process-wide state: curl_global_init once, before the first transfer component, and
// curl_global_cleanup once, after the last one (at program end). Also what the library reports
// about itself and where the CA bundle is.
#include <curl/curl.h>

#include <string>
#include <string_view>
#include <vector>

#include "net/curl_string_list.h"

namespace korvex {

// libcurl's feature bits in the library's bit order (CURL_VERSION_IPV6 is bit 0).
struct CurlFeatures {
    bool ipv6 = false;
    bool kerberos4 = false;
    bool ssl = false;
    bool libz = false;
    bool ntlm = false;
    bool gssNegotiate = false;
    bool debug = false;
    bool asynchDns = false;
    bool spnego = false;
    bool largeFile = false;
    bool idn = false;
    bool sspi = false;
};

CurlFeatures featuresFromBits(int bits);

// The CA bundle: the file "curl-ca-bundle.crt" in the first folder of `searchPath` (folders
// separated by ':') that holds one, otherwise the first of `fallbacks` that exists as a regular
// file, otherwise "" (libcurl then keeps its built-in default).
std::string findCaBundle(std::string_view searchPath, const std::vector<std::string>& fallbacks);
// The folder part of a bundle path, up to and including its last '/' ("" when there is none).
std::string caDirectoryOf(std::string_view bundlePath);
// The bundle files that Linux distributions ship, most common first.
const std::vector<std::string>& distributionCaBundles();

class CurlLibrary {
public:
    // The one instance; the first call initialises libcurl (thread-safe), and the instance is
    // destroyed, and libcurl cleaned up, when the program ends.
    static const CurlLibrary& instance();

    const curl_version_info_data& version() const noexcept { return m_version; }
    const THttpReadOnlyList& protocols() const noexcept { return m_protocols; }
    const CurlFeatures& features() const noexcept { return m_features; }
    // Empty unless the library can do SSL and a bundle was found at start.
    const std::string& caBundlePath() const noexcept { return m_caBundlePath; }
    const std::string& caDirectory() const noexcept { return m_caDirectory; }
    // Whether curl_global_init succeeded; without it no easy handle can be made.
    bool initialised() const noexcept { return m_initialised; }

    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;

private:
    CurlLibrary();
    ~CurlLibrary();

    bool m_initialised = false;
    curl_version_info_data m_version{};
    THttpReadOnlyList m_protocols;
    CurlFeatures m_features;
    std::string m_caBundlePath;
    std::string m_caDirectory;
};

}  // namespace korvex
