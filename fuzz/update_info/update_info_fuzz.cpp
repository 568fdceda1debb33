// libFuzzer target: the update info file, its check and its readers, as the updater meets them.
//
// Input: one byte choosing how the text arrives, then the text.
//   0  a build without a publisher key: every file is accepted and read
//   1  a build with a key made at start: the bytes as received must never pass the check
//   2  the same key, the text given digests and signed by it (as the publisher's tool does), so the
//      signature holds and the digest checks run against a file of known bytes
// Every call into the update component goes through info_file_api.h.
#include <string>

#include "fuzz_support.h"
#include "info_file_api.h"
#include "update/install/paths.h"

namespace {

using namespace korvex;
using korvex::fuzz::expect;

struct Publisher {
    update::KeyPair key;
    std::string filePath;    // a downloaded update file
    std::string fileDigest;  // its SHA-256
};

const Publisher& publisher() {
    static const Publisher p = [] {
        Publisher made;
        const auto key = fuzz::makeKeyPair();
        if (!key) std::abort();
        made.key = *key;
        const std::string bytes = "the bytes of an update file\n";
        made.filePath = fuzz::scratchPath("download.updtmp");
        fuzz::writeFile(made.filePath, bytes);
        made.fileDigest = fuzz::sha256Hex(bytes);
        return made;
    }();
    return p;
}

bool isHex64(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// What the updater does with an accepted file, and what must hold of it. `signedFile`: the file was
// accepted under a key, so every entry has a digest and a download is accepted exactly when it matches.
void useAcceptedFile(std::string_view text, std::string_view publicKeyHex, bool signedFile) {
    const Publisher& p = publisher();
    const fuzz::InfoReading r = fuzz::readInfo(text, publicKeyHex);
    for (const std::string& file : r.files) {
        expect(!file.empty(), "an entry of the file list is never empty");
        const std::string url = update::splitFileEntry(file).url;
        const std::string digest = fuzz::digestOf(text, publicKeyHex, url);
        if (signedFile) expect(isHex64(digest), "an accepted signed file gives every entry a digest");
        const bool ok = fuzz::downloadAcceptable(p.filePath, text, url, publicKeyHex);
        expect(ok == (digest.empty() ? publicKeyHex.empty() : digest == p.fileDigest),
               "a download is accepted exactly when its digest matches (or none is given without a key)");
        (void)update::urlFileName(file);
    }
    // A version is never newer than itself, and of two versions at most one is the newer.
    expect(!isNewerNumber(r.version, r.version), "a version newer than itself");
    expect(!(isNewerNumber(r.version, "3.0.1") && isNewerNumber("3.0.1", r.version)),
           "each newer than the other");
    expect(!isNewerDate(r.date, r.date, "12/07/2026"), "a date newer than itself");
    (void)r.method;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Publisher& p = publisher();
    const std::string_view text = fuzz::textOf(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            expect(fuzz::accepted(text, ""), "without a key every file is accepted");
            useAcceptedFile(text, "", false);
            break;
        case 1:
            expect(!fuzz::accepted(text, p.key.publicHex), "bytes never signed passed the signature check");
            break;
        case 2: {
            const auto signedText = fuzz::signedWithDigests(text, p.fileDigest, p.key.privatePem);
            // The tool signs every text but one that holds "#signature=" inside a line (any case): no
            // client would accept that file, so the tool refuses it rather than sign it.
            if (!signedText) {
                std::string lower(text);
                for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
                expect(lower.find("#signature=") != std::string::npos,
                       "the publisher's tool signs every text without a signature inside a line");
                break;
            }
            const auto trust = fuzz::trustOf(*signedText, p.key.publicHex);
            // Refused it may be (a digest missing, an "#expires" of its own that is past...), but
            // never for its signature.
            expect(trust != update::InfoTrust::BadSignature && trust != update::InfoTrust::NoSignature &&
                       trust != update::InfoTrust::MisplacedSignature,
                   "a text signed by the publisher's tool fails its signature");
            if (trust == update::InfoTrust::Accepted) useAcceptedFile(*signedText, p.key.publicHex, true);
            break;
        }
    }
    return 0;
}
