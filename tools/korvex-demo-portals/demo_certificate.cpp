#include "korvex-demo-portals/demo_certificate.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

namespace korvex {

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
struct ExtensionFree {
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};

[[noreturn]] void fail(const std::string& what) {
    std::string text = "certificate: " + what;
    if (const unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += ": ";
        text += buffer;
    }
    ERR_clear_error();
    throw CertificateError(text);
}

void check(int ok, const char* what) {
    if (ok != 1) fail(what);
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, ExtensionFree> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext) fail(std::string("extension ") + value);
    check(X509_add_ext(cert, ext.get(), -1), "X509_add_ext");
}

std::unique_ptr<X509, X509Free> makeCertificate(EVP_PKEY* key, const std::vector<std::string>& dnsNames,
                                                const std::vector<std::string>& ipAddresses) {
    if (dnsNames.empty() && ipAddresses.empty()) throw CertificateError("certificate: no name to certify");
    std::unique_ptr<X509, X509Free> cert(X509_new());
    if (!cert) fail("X509_new");
    check(X509_set_version(cert.get(), 2), "X509_set_version");

    unsigned char serial[8];
    check(RAND_bytes(serial, sizeof serial), "RAND_bytes");
    serial[0] &= 0x7F;  // a positive serial number
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    if (!bn || !BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()))) {
        BN_free(bn);
        fail("serial number");
    }
    BN_free(bn);

    if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600))
        fail("validity");
    check(X509_set_pubkey(cert.get(), key), "X509_set_pubkey");

    X509_NAME* name = X509_get_subject_name(cert.get());
    const auto addEntry = [name](const char* field, const char* value) {
        check(X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC,
                                         reinterpret_cast<const unsigned char*>(value), -1, -1, 0),
              "X509_NAME_add_entry_by_txt");
    };
    addEntry("O", "Korvex demo portals");
    addEntry("CN", (!ipAddresses.empty() ? ipAddresses.front() : dnsNames.front()).c_str());
    check(X509_set_issuer_name(cert.get(), name), "X509_set_issuer_name");

    std::string altNames;
    for (const std::string& ip : ipAddresses) altNames += (altNames.empty() ? "IP:" : ",IP:") + ip;
    for (const std::string& dns : dnsNames) altNames += (altNames.empty() ? "DNS:" : ",DNS:") + dns;
    addExtension(cert.get(), NID_subject_alt_name, altNames.c_str());
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");

    if (X509_sign(cert.get(), key, EVP_sha256()) <= 0) fail("X509_sign");
    return cert;
}

struct BioFree {
    void operator()(BIO* p) const { BIO_free_all(p); }
};

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0)
        throw CertificateError("demo certificate: cannot write " + path.string());
}

}  // namespace

SelfSignedCertificate makeSelfSignedCertificate(const std::vector<std::string>& dnsNames,
                                                const std::vector<std::string>& ipAddresses) {
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
    if (!key) fail("EVP_EC_gen");
    const auto cert = makeCertificate(key.get(), dnsNames, ipAddresses);
    std::unique_ptr<BIO, BioFree> certBio(BIO_new(BIO_s_mem()));
    std::unique_ptr<BIO, BioFree> keyBio(BIO_new(BIO_s_mem()));
    if (!certBio || !keyBio) fail("BIO_new");
    check(PEM_write_bio_X509(certBio.get(), cert.get()), "PEM_write_bio_X509");
    check(PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr),
          "PEM_write_bio_PrivateKey");
    return {bioText(certBio.get()), bioText(keyBio.get())};
}


DemoCertificate::DemoCertificate() {
    const SelfSignedCertificate pem = makeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});

    std::string pattern = (std::filesystem::temp_directory_path() / "korvex-demo-portals-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw CertificateError("demo certificate: cannot make a temporary folder: " +
                               std::error_code(errno, std::generic_category()).message());
    m_folder = pattern;  // mkdtemp makes it 0700, so the key is private to this user
    m_certificate = m_folder / "certificate.pem";
    m_key = m_folder / "key.pem";
    try {
        writeFile(m_certificate, pem.certificatePem);
        writeFile(m_key, pem.privateKeyPem);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
        throw;
    }
}

DemoCertificate::~DemoCertificate() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

}  // namespace korvex
