#include "demo_certificate.h"

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
    std::string text = "demo certificate: " + what;
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

std::unique_ptr<X509, X509Free> makeCertificate(EVP_PKEY* key) {
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
    addEntry("CN", "127.0.0.1");
    check(X509_set_issuer_name(cert.get(), name), "X509_set_issuer_name");

    addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");

    if (X509_sign(cert.get(), key, EVP_sha256()) <= 0) fail("X509_sign");
    return cert;
}

std::unique_ptr<FILE, FileClose> openForWriting(const std::filesystem::path& path) {
    std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw CertificateError("demo certificate: cannot write " + path.string());
    return file;
}

}  // namespace

DemoCertificate::DemoCertificate() {
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
    if (!key) fail("EVP_EC_gen");
    const auto cert = makeCertificate(key.get());

    std::string pattern = (std::filesystem::temp_directory_path() / "korvex-demo-portals-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw CertificateError("demo certificate: cannot make a temporary folder: " +
                               std::error_code(errno, std::generic_category()).message());
    m_folder = pattern;  // mkdtemp makes it 0700, so the key is private to this user
    m_certificate = m_folder / "certificate.pem";
    m_key = m_folder / "key.pem";
    try {
        auto certFile = openForWriting(m_certificate);
        check(PEM_write_X509(certFile.get(), cert.get()), "PEM_write_X509");
        auto keyFile = openForWriting(m_key);
        check(PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr),
              "PEM_write_PrivateKey");
        if (std::fflush(certFile.get()) != 0 || std::fflush(keyFile.get()) != 0)
            throw CertificateError("demo certificate: cannot write " + m_folder.string());
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
