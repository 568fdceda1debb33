#include "update/check/trusted_info.h"

#include <algorithm>
#include <unordered_map>

#include "update/check/integrity.h"
#include "platform/ascii_text.h"

namespace korvex::update {

namespace {

constexpr std::string_view kSignatureLineKey = "#signature=";
constexpr std::size_t kSignatureHexSize = 128;
constexpr std::size_t kDigestHexSize = 64;
// Keys up to this length are indexed; ours are far shorter ("#url4294967295.sha256").
constexpr std::size_t kMaxIndexedKey = 64;
constexpr std::size_t kNone = std::string_view::npos;

bool isHex(std::string_view text) {
    for (const char c : text) {
        const char l = lowerAscii(c);
        if (!((l >= '0' && l <= '9') || (l >= 'a' && l <= 'f'))) return false;
    }
    return true;
}

std::size_t findIgnoringCase(std::string_view lowered, std::string_view needle) {
    return lowered.find(lowerAscii(needle));
}

// "YYYY-MM-DD" as days since 1970-01-01; nothing for any other text or an impossible date.
std::optional<long> daysOfIsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    auto number = [&](std::size_t at, std::size_t count) {
        int v = 0;
        for (std::size_t i = at; i < at + count; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    const int y = number(0, 4), m = number(5, 2), d = number(8, 2);
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return std::nullopt;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m == 2 && d == 29 && !leap) return std::nullopt;
    // Days from civil (Howard Hinnant's algorithm).
    const int yy = m <= 2 ? y - 1 : y;
    const long era = yy / 400;
    const long yoe = yy - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// One to four numbers separated by dots (a missing field counts as 0 in the comparison), each with
// blanks around it or not, none beyond what a field of the version comparison holds (2^31 - 1).
bool isVersion(std::string_view text) {
    int fields = 0;
    for (std::size_t start = 0;; ++fields) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        std::string_view field = text.substr(start, dot - start);
        while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
        if (field.empty() || field.size() > 10 ||
            !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoll(std::string(field)) > 2147483647LL)
            return false;
        if (dot == text.size()) return fields <= 3;
        start = dot + 1;
    }
}

// The bytes before the signature line, when the file ends with one exactly as the rule demands.
std::optional<std::string_view> bytesBeforeSignatureLine(std::string_view text,
                                                         std::string_view* signatureHex) {
    std::string_view rest = text;
    if (rest.size() >= 2 && rest.substr(rest.size() - 2) == "\r\n") {
        rest.remove_suffix(2);
    } else if (!rest.empty() && rest.back() == '\n') {
        rest.remove_suffix(1);
    }
    const std::size_t lineStart = rest.rfind('\n') == kNone ? 0 : rest.rfind('\n') + 1;
    const std::string_view line = rest.substr(lineStart);
    if (line.size() != kSignatureLineKey.size() + kSignatureHexSize ||
        line.substr(0, kSignatureLineKey.size()) != kSignatureLineKey)
        return std::nullopt;
    *signatureHex = line.substr(kSignatureLineKey.size());
    if (!isHex(*signatureHex)) return std::nullopt;
    return text.substr(0, lineStart);
}

}  // namespace

struct TrustedInfo::Index {
    std::string bytes;
    std::string lowered;
    struct Place {
        std::size_t start;  // the first byte of the value
        std::size_t end;    // the first byte below 32 from start, kNone when none follows
    };
    std::vector<Place> places;
    std::unordered_map<std::string_view, std::size_t> plain;   // key (lower case) -> places
    std::unordered_map<std::string_view, std::size_t> braced;  // key (lower case) -> after "={"

    explicit Index(std::string text) : bytes(std::move(text)), lowered(lowerAscii(bytes)) {
        const std::string_view low(lowered);
        const auto keys = static_cast<std::size_t>(std::count(low.begin(), low.end(), '#'));
        places.reserve(keys);
        plain.reserve(keys);
        for (std::size_t i = low.find('#'); i != kNone; i = low.find('#', i + 1)) {
            const std::size_t limit = std::min(low.size(), i + kMaxIndexedKey + 1);
            std::size_t eq = i + 1;
            while (eq < limit && low[eq] != '=') ++eq;
            if (eq >= limit) continue;
            const std::string_view key = low.substr(i, eq - i);
            if (plain.try_emplace(key, places.size()).second) places.push_back({eq + 1, kNone});
            if (eq + 1 < low.size() && low[eq + 1] == '{') braced.try_emplace(key, eq + 2);
        }
        // Places were found in text order: one sweep finds where each value ends.
        std::size_t control = 0;
        for (Place& place : places) {
            if (control < place.start) control = place.start;
            while (control < bytes.size() && static_cast<unsigned char>(bytes[control]) >= 32) ++control;
            place.end = control < bytes.size() ? control : kNone;
        }
    }

    // Everything from `start` up to the end of the text less its last byte.
    std::string_view toEndLessLast(std::size_t start) const {
        if (start + 1 >= bytes.size()) return {};
        return std::string_view(bytes).substr(start, bytes.size() - 1 - start);
    }
    std::string_view valueAt(std::size_t start, std::size_t end) const {
        if (end == kNone) return toEndLessLast(start);
        return std::string_view(bytes).substr(start, end - start);
    }
};

namespace {

bool indexable(std::string_view key) {
    return !key.empty() && key.front() == '#' && key.size() <= kMaxIndexedKey && key.find('=') == kNone;
}

}  // namespace

TrustedInfo::TrustedInfo(std::string bytes) : m_index(std::make_shared<const Index>(std::move(bytes))) {}

std::string_view TrustedInfo::bytes() const noexcept {
    return m_index->bytes;
}

std::string_view TrustedInfo::valueView(std::string_view key) const {
    const Index& index = *m_index;
    if (indexable(key)) {
        char lowered[kMaxIndexedKey];
        for (std::size_t i = 0; i < key.size(); ++i) lowered[i] = lowerAscii(key[i]);
        const auto found = index.plain.find(std::string_view(lowered, key.size()));
        if (found == index.plain.end()) return {};
        const Index::Place& place = index.places[found->second];
        return index.valueAt(place.start, place.end);
    }
    if (key.empty()) return {};
    const std::size_t at = findIgnoringCase(index.lowered, std::string(key) + "=");
    if (at == kNone) return {};
    const std::size_t start = at + key.size() + 1;
    std::size_t end = start;
    while (end < index.bytes.size() && static_cast<unsigned char>(index.bytes[end]) >= 32) ++end;
    return index.valueAt(start, end < index.bytes.size() ? end : kNone);
}

std::string TrustedInfo::value(std::string_view key) const {
    return std::string(valueView(key));
}

std::string TrustedInfo::bracedValue(std::string_view key) const {
    const Index& index = *m_index;
    std::size_t start = kNone;
    if (indexable(key)) {
        const auto found = index.braced.find(lowerAscii(key));
        if (found != index.braced.end()) start = found->second;
    } else if (!key.empty()) {
        const std::size_t at = findIgnoringCase(index.lowered, std::string(key) + "={");
        if (at != kNone) start = at + key.size() + 2;
    }
    if (start == kNone) return {};
    const std::size_t close = index.bytes.find('}', start);
    if (close == kNone) return std::string(index.toEndLessLast(start));
    return index.bytes.substr(start, close - start);
}

std::vector<std::string> TrustedInfo::entryKeys() const {
    std::vector<std::string> keys;
    if (!valueView("#url").empty()) keys.emplace_back("#url");
    if (!valueView("#url0").empty()) keys.emplace_back("#url0");
    for (std::size_t n = keys.size() + 1;; ++n) {
        std::string key = "#url" + std::to_string(n);
        if (valueView(key).empty()) break;
        keys.push_back(std::move(key));
    }
    return keys;
}

bool TrustedInfo::isInfoFile() const {
    const std::vector<std::string> keys = entryKeys();
    if (keys.empty() && valueView("#version").empty() && valueView("#date").empty()) return false;
    std::size_t total = 0;
    for (const std::string& key : keys) total += valueView(key).size();
    return total <= kMaxFileListBytes;
}

std::vector<std::string> TrustedInfo::fileList() const {
    std::vector<std::string> files;
    for (const std::string& key : entryKeys()) files.emplace_back(valueView(key));
    return files;
}

std::string TrustedInfo::entryDigest(std::string_view url) const {
    for (const std::string& key : entryKeys()) {
        const std::string_view entry = valueView(key);
        if (entry.substr(0, entry.find('=')) == url) return lowerAscii(valueView(digestKeyOf(key)));
    }
    return {};
}

const char* infoTrustText(InfoTrust trust) {
    switch (trust) {
        case InfoTrust::Accepted:
            return "accepted";
        case InfoTrust::NoSignature:
            return "the info file is not signed";
        case InfoTrust::MisplacedSignature:
            return "the info file's last line is not exactly its signature (#signature= and 128 hex digits)";
        case InfoTrust::TwoSignatures:
            return "the info file holds a second #signature=";
        case InfoTrust::BadSignature:
            return "the info file's signature does not match";
        case InfoTrust::NoExpiry:
            return "the info file gives no expiry date (#expires=YYYY-MM-DD)";
        case InfoTrust::Expired:
            return "the update information has expired";
        case InfoTrust::MissingDigest:
            return "a file entry of the info file has no digest";
        case InfoTrust::NotAVersion:
            return "the info file's #version is not a version (up to four numbers, such as 3.2.0.1)";
        case InfoTrust::BadPublicKey:
            return "the build's update public key is not an Ed25519 key in hex";
    }
    return "";
}

InfoVerdict verifyInfoFile(std::string_view received, std::string_view publicKeyHex, std::time_t now) {
    InfoVerdict verdict;
    auto refuse = [&verdict](InfoTrust trust) {
        verdict.trust = trust;
        verdict.info.reset();
        return std::move(verdict);
    };
    std::string_view trusted = received;
    if (!publicKeyHex.empty()) {
        if (publicKeyHex.size() != kDigestHexSize || !isHex(publicKeyHex))
            return refuse(InfoTrust::BadPublicKey);
        const std::string lowered = lowerAscii(received);
        const std::size_t first = lowered.find(kSignatureLineKey);
        if (first == kNone) return refuse(InfoTrust::NoSignature);
        std::string_view signatureHex;
        const auto before = bytesBeforeSignatureLine(received, &signatureHex);
        if (!before) return refuse(InfoTrust::MisplacedSignature);
        if (first < before->size()) return refuse(InfoTrust::TwoSignatures);
        switch (checkSignature(publicKeyHex, *before, signatureHex)) {
            case SignatureCheck::Valid:
                break;
            case SignatureCheck::Invalid:
                return refuse(InfoTrust::BadSignature);
            case SignatureCheck::BadKey:
                return refuse(InfoTrust::BadPublicKey);
        }
        trusted = *before;
    }
    TrustedInfo info{std::string(trusted)};
    if (!publicKeyHex.empty()) {
        const auto expires = daysOfIsoDate(info.valueView("#expires"));
        if (!expires) return refuse(InfoTrust::NoExpiry);
        if (static_cast<long>(now / 86400) - (now % 86400 < 0 ? 1 : 0) > *expires)
            return refuse(InfoTrust::Expired);
        for (const std::string& key : info.entryKeys()) {
            const std::string_view digest = info.valueView(digestKeyOf(key));
            if (digest.size() != kDigestHexSize || !isHex(digest)) return refuse(InfoTrust::MissingDigest);
        }
        if (const std::string_view version = info.valueView("#version"); !version.empty() && !isVersion(version))
            return refuse(InfoTrust::NotAVersion);
    }
    verdict.info.emplace(std::move(info));
    return verdict;
}

}  // namespace korvex::update
