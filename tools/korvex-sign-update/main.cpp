// korvex-sign-update: makes the key pair for signed updates, and signs an update info file after
// adding the SHA-256 digest of the local copy of each of its files (docs/update-info-file.md).
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "update/check/integrity.h"
#include "update/check/info_file.h"
#include "update/install/paths.h"
#include "update/updater/info_check.h"

namespace {

using namespace korvex::update;
using korvex::AtomicWriteOptions;
using korvex::Expected;
using korvex::UpCheckFailure;
using korvex::printableText;

// Where verify places the entries' local paths: a copy of the program there, the macros' other
// folders those of the user who runs the tool.
constexpr const char* kSampleProgramFolder = "/opt/korvex/";
constexpr const char* kSampleTempFolder = "/run/user/korvex/";

constexpr const char* kUsage =
    "usage: korvex-sign-update keygen PRIVATE-KEY-FILE\n"
    "       korvex-sign-update public-key PRIVATE-KEY-FILE\n"
    "       korvex-sign-update sign --key PRIVATE-KEY-FILE [--files FOLDER] [--output FILE]\n"
    "                               [--expires-in DAYS] INFO-FILE\n"
    "       korvex-sign-update verify --public-key HEX [--files FOLDER] INFO-FILE\n"
    "\n"
    "keygen      makes a new Ed25519 key pair: the private key goes into PRIVATE-KEY-FILE (mode 0600,\n"
    "            never over an existing file), the public key is printed as the hex value of the\n"
    "            build setting KORVEX_UPDATE_PUBLIC_KEY\n"
    "public-key  prints the public key of a private key file\n"
    "sign        adds to INFO-FILE the digest of each file it lists, read from FOLDER (default: the\n"
    "            info file's folder) under the file name of its URL, writes #expires (today in UTC\n"
    "            plus DAYS, default 30: clients refuse the file after that day), and signs it; the\n"
    "            result replaces INFO-FILE unless --output names another file\n"
    "verify      checks an info file with the very check korvex makes under that public key\n"
    "            (today's date, the size bound and where its files may go included), and the digests\n"
    "            of the local copies in FOLDER when given\n";

// The file's bytes, no more than `limit` of them.
std::optional<std::string> readWhole(const std::string& path, std::size_t limit = std::string().max_size()) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    char buffer[65536];
    while (text.size() < limit && in.read(buffer, sizeof buffer).gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(std::min<std::streamsize>(
                                in.gcount(), static_cast<std::streamsize>(limit - text.size()))));
    if (in.bad()) return std::nullopt;
    return text;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

int fail(const std::string& message) {
    std::cerr << "korvex-sign-update: " << message << '\n';
    return 1;
}

int keygen(const std::string& keyFile) {
    std::string error;
    const auto pair = generateKeyPair(&error);
    if (!pair) return fail(error);
    const int fd = ::open(keyFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return fail(keyFile + ": " + std::strerror(errno));
    const bool written = ::write(fd, pair->privatePem.data(), pair->privatePem.size()) ==
                         static_cast<ssize_t>(pair->privatePem.size());
    if (::close(fd) != 0 || !written) {
        ::unlink(keyFile.c_str());
        return fail(keyFile + ": cannot be written");
    }
    std::cout << pair->publicHex << '\n';
    return 0;
}

int publicKey(const std::string& keyFile) {
    const auto pem = readWhole(keyFile);
    if (!pem) return fail(keyFile + ": cannot be read");
    std::string error;
    const auto hex = publicKeyHexOf(*pem, &error);
    if (!hex) return fail(keyFile + ": " + error);
    std::cout << *hex << '\n';
    return 0;
}

int sign(const std::string& keyFile, const std::string& infoFile, std::string folder, std::string output,
         int expiresInDays) {
    const auto pem = readWhole(keyFile);
    if (!pem) return fail(keyFile + ": cannot be read");
    const auto text = readWhole(infoFile);
    if (!text) return fail(infoFile + ": cannot be read");
    folder = folder.empty() ? folderOf(infoFile) : withSlash(folder);
    if (output.empty()) output = infoFile;

    std::string error;
    const auto digested = withDigests(
        *text,
        [&](const std::string& key, const std::string& url) {
            const std::string local = folder + urlFileName(url);
            auto digest = fileSha256Hex(local);
            if (!digest) std::cerr << "korvex-sign-update: " << key << ": no local copy " << local << '\n';
            return digest;
        },
        &error);
    if (!digested) return fail(infoFile + ": " + error);
    const InfoVerdict listed = verifyInfoFile(*digested, "");
    if (!listed.info || listed.info->entryKeys().empty())
        return fail(infoFile + ": lists no file (#url, #url0, #url1...)");
    const std::string expires = isoDateAfterDays(std::time(nullptr), expiresInDays);
    const auto signedText = signInfoText(*digested, *pem, expires, &error);
    if (!signedText) return fail(infoFile + ": " + error);
    AtomicWriteOptions options;
    options.mode = 0644;
    if (const Expected<void> written = writeFileAtomically(output, *signedText, options); !written)
        return fail(written.error().message);
    std::cout << output << ": " << listed.info->entryKeys().size() << " file(s) digested, signed, expires "
              << expires << "\n";
    return 0;
}

// Why the program's check refuses an info file, "" when it does not.
std::string refusal(const InfoCheck& check) {
    if (!check.refusedEntry.empty())
        return "names a file outside the folders an update may write: " + printableText(check.refusedEntry);
    switch (check.failure) {
        case UpCheckFailure::TooLarge:
            return "larger than " + std::to_string(kMaxInfoFileSize) + " bytes: Korvex does not read it";
        case UpCheckFailure::NotTrusted:
        case UpCheckFailure::Expired:
            return infoTrustText(check.trust);
        case UpCheckFailure::NotAnInfoFile:
            return "not update information (it names no version, no date and no file)";
        default:
            return {};
    }
}

int verify(const std::string& publicHex, const std::string& infoFile, const std::string& folder) {
    // One byte past the bound is enough to know the program would refuse it.
    const auto text = readWhole(infoFile, kMaxInfoFileSize + 1);
    if (!text) return fail(infoFile + ": cannot be read");
    // The program's own check, so that the two can never disagree. Local paths are placed as for
    // a copy in /opt/korvex/ of this user.
    InfoCheck check = checkInfoFile(*text, publicHex, pathMacroFolders(kSampleProgramFolder, kSampleTempFolder));
    if (const std::string why = refusal(check); !why.empty()) return fail(infoFile + ": " + why);
    const TrustedInfo& info = *check.info;
    int status = 0;
    if (!folder.empty()) {
        for (const auto& key : info.entryKeys()) {
            const std::string entry = info.value(key);
            const std::string url = entry.substr(0, entry.find('='));
            const std::string local = withSlash(folder) + urlFileName(url);
            if (!fileMatchesDigest(local, info.entryDigest(url)))
                status = fail(local + ": digest differs from " + key);
        }
    }
    if (status == 0) std::cout << infoFile << ": signature and digests valid\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? std::cerr : std::cout) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    std::string key, files, output, publicHex, expiresIn = "30";
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takesValue =
            a == "--key" || a == "--files" || a == "--output" || a == "--public-key" || a == "--expires-in";
        if (takesValue && i + 1 >= args.size()) {
            std::cerr << "korvex-sign-update: " << a << " needs a value\n" << kUsage;
            return 2;
        }
        if (a == "--key")
            key = args[++i];
        else if (a == "--files")
            files = args[++i];
        else if (a == "--output")
            output = args[++i];
        else if (a == "--public-key")
            publicHex = args[++i];
        else if (a == "--expires-in")
            expiresIn = args[++i];
        else if (a.size() > 1 && a[0] == '-') {
            std::cerr << "korvex-sign-update: unknown option " << a << '\n' << kUsage;
            return 2;
        } else
            rest.push_back(a);
    }
    if (command == "keygen" && rest.size() == 1) return keygen(rest[0]);
    if (command == "public-key" && rest.size() == 1) return publicKey(rest[0]);
    int expiresInDays = 0;
    const auto [end, parseError] =
        std::from_chars(expiresIn.data(), expiresIn.data() + expiresIn.size(), expiresInDays);
    if (parseError != std::errc{} || end != expiresIn.data() + expiresIn.size() || expiresInDays < 1 ||
        expiresInDays > 3660) {
        std::cerr << "korvex-sign-update: --expires-in takes a number of days from 1 to 3660\n";
        return 2;
    }
    if (command == "sign" && rest.size() == 1 && !key.empty())
        return sign(key, rest[0], files, output, expiresInDays);
    if (command == "verify" && rest.size() == 1 && !publicHex.empty())
        return verify(publicHex, rest[0], files);
    std::cerr << kUsage;
    return 2;
}
