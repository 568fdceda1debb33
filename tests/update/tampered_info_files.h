#pragma once
// An attacker's variants of a correctly signed info file, with the rule each must be refused by.
// Shared by the tests of the verifying function, of the update check and of korvex-cli.
#include <ctime>
#include <string>
#include <vector>

#include "update/check/integrity.h"

namespace korvex::test {

struct TamperedInfo {
    std::string what;
    std::string text;
    update::InfoTrust trust;
};

// `digested`: an info file with a digest for every entry (withDigests); `keys`: the key the build
// trusts; `evilUrl`: an address the attacker wants installed.
inline std::vector<TamperedInfo> tamperedInfoFiles(const std::string& digested, const update::KeyPair& keys,
                                                   const update::KeyPair& otherKeys,
                                                   const std::string& evilUrl) {
    using update::InfoTrust;
    const std::string tomorrow = update::isoDateAfterDays(std::time(nullptr), 1);
    const std::string good = update::signInfoText(digested, keys.privatePem, tomorrow).value();
    const std::size_t signatureAt = good.find("#signature=");
    const std::string signatureLine =
        good.substr(signatureAt, good.size() - signatureAt - 2);  // without CR LF
    const std::string body = good.substr(0, signatureAt);
    const std::string evilKeys = "#version=9.9.9.9\t#url=" + evilUrl +
                                 "\t#url.sha256=" + update::sha256Hex("evil") + "\t#url2=" + evilUrl +
                                 "=%mydocuments%.bashrc";
    std::string changedByte = good;
    changedByte.replace(changedByte.find("3.2.0.2"), 7, "3.2.0.3");
    std::string capitals = good;
    capitals.replace(signatureAt, 10, "#SIGNATURE");
    // Signed as it is, but with a version the comparison would read byte by byte.
    const auto withVersion = [&](const std::string& version) {
        std::string text = digested;
        text.replace(text.find("#version=3.2.0.2"), 16, "#version=" + version);
        return update::signInfoText(text, keys.privatePem, tomorrow).value();
    };
    std::vector<TamperedInfo> cases = {
        {"keys after a TAB on the signature line, moved to the top",
         signatureLine + "\t" + evilKeys + "\r\n" + body, InfoTrust::MisplacedSignature},
        {"keys after a VT on the signature line", signatureLine + "\v" + evilKeys + "\r\n" + body,
         InfoTrust::MisplacedSignature},
        {"keys after 0x01 on the signature line", signatureLine + "\x01" + evilKeys + "\r\n" + body,
         InfoTrust::MisplacedSignature},
        {"the signature last, an entry appended after a TAB",
         body + signatureLine + "\t#url3=" + evilUrl + "\r\n", InfoTrust::MisplacedSignature},
        {"the signature first", signatureLine + "\r\n" + body, InfoTrust::MisplacedSignature},
        {"two signatures", signatureLine + "\r\n" + good, InfoTrust::TwoSignatures},
        {"a line after the signature", good + "#url3=" + evilUrl + "\r\n", InfoTrust::MisplacedSignature},
        {"a blank after the signature", body + signatureLine + " \r\n", InfoTrust::MisplacedSignature},
        {"a lone CR after the signature", body + signatureLine + "\r", InfoTrust::MisplacedSignature},
        {"the signature key in capitals", capitals, InfoTrust::MisplacedSignature},
        {"expired", update::signInfoText(digested, keys.privatePem, "2020-01-01").value(),
         InfoTrust::Expired},
        {"no expiry date", update::signInfoText(digested, keys.privatePem, "").value(), InfoTrust::NoExpiry},
        {"an impossible expiry date", update::signInfoText(digested, keys.privatePem, "2099-02-30").value(),
         InfoTrust::NoExpiry},
        {"one byte changed", changedByte, InfoTrust::BadSignature},
        {"signed with another key", update::signInfoText(digested, otherKeys.privatePem, tomorrow).value(),
         InfoTrust::BadSignature},
        {"unsigned", body, InfoTrust::NoSignature},
        {"a version with a letter in front", withVersion("v3.1"), InfoTrust::NotAVersion},
        {"a version with a letter behind", withVersion("3.2.0.1a"), InfoTrust::NotAVersion},
        {"a version of five numbers", withVersion("3.2.0.1.9"), InfoTrust::NotAVersion},
    };
    return cases;
}

}  // namespace korvex::test
