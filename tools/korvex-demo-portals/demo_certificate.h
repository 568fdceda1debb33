#pragma once
// Throw-away TLS identities for servers on the loopback address: the substitute portals' and the
// tests' HTTPS servers. One generator makes them all.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvex {

class CertificateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A self-signed certificate and its key, in PEM.
struct SelfSignedCertificate {
    std::string certificatePem;
    std::string privateKeyPem;
};

// A fresh P-256 key and a certificate for it, self-signed and usable as its own CA, for the given IP
// addresses and host names (subjectAltName; CN the first address, else the first name), valid from a
// day ago for a year. Throws CertificateError on any OpenSSL failure.
SelfSignedCertificate makeSelfSignedCertificate(const std::vector<std::string>& dnsNames,
                                                const std::vector<std::string>& ipAddresses);

// The portals' identity: a certificate for IP:127.0.0.1 and DNS:localhost, written as PEM into a
// private temporary folder that the destructor removes again.
class DemoCertificate {
public:
    // Generates and writes both files; throws CertificateError on any OpenSSL or file failure (and
    // leaves nothing behind then).
    DemoCertificate();
    ~DemoCertificate();
    DemoCertificate(const DemoCertificate&) = delete;
    DemoCertificate& operator=(const DemoCertificate&) = delete;

    const std::filesystem::path& certificatePath() const { return m_certificate; }
    const std::filesystem::path& keyPath() const { return m_key; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_certificate;
    std::filesystem::path m_key;
};

}  // namespace korvex
