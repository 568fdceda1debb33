#pragma once
// A throw-away TLS identity for the HTTPS portals: a fresh P-256 key and a self-signed certificate for
// CN 127.0.0.1 (subjectAltName IP:127.0.0.1 and DNS:localhost), valid from a day ago for a year,
// written as PEM into a private temporary folder that the destructor removes again.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace korvex {

class CertificateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
