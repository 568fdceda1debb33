#include "update/check/info_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <optional>

#include "net/str_to_int.h"

namespace korvex {

namespace {

std::vector<std::string> versionFields(std::string_view version) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() < 4) {
        const std::size_t dot = version.find('.', start);
        fields.emplace_back(
            version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    while (fields.size() < 4) fields.emplace_back("0");
    return fields;
}

std::optional<std::int32_t> integerField(const std::string& field) {
    // A blank around a number ("3.2.0.1 ") changes nothing: the field is the number.
    const std::size_t first = field.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::string trimmed = field.substr(first, field.find_last_not_of(" \t") - first + 1);
    try {
        return strToInt(trimmed);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

struct Date {
    int year = 0, month = 0, day = 0;
    auto operator<=>(const Date&) const = default;
};

std::optional<Date> readDate(std::string_view text) {
    int parts[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        while (pos < text.size() && text[pos] == ' ') ++pos;
        const auto [end, error] = std::from_chars(text.data() + pos, text.data() + text.size(), parts[i]);
        if (error != std::errc{}) return std::nullopt;
        pos = static_cast<std::size_t>(end - text.data());
        if (i < 2) {
            if (pos >= text.size() || text[pos] != '/') return std::nullopt;
            ++pos;
        }
    }
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos != text.size()) return std::nullopt;
    const Date date{parts[2], parts[0], parts[1]};
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > kDays[date.month - 1])
        return std::nullopt;
    const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    if (date.month == 2 && date.day == 29 && !leap) return std::nullopt;
    return date;
}

}  // namespace

std::vector<std::string> infoFileList(const update::TrustedInfo& info) {
    return info.fileList();
}

TupUpgradeMethod infoUpgradeMethod(const update::TrustedInfo& info) {
    const std::string method = info.value("#method");
    if (method.empty()) return umSelfUpgrade;
    if (method[0] == '1') return umUseExternalSetup;
    if (method[0] == '2') return umRedirectToURL;
    return umSelfUpgrade;
}

bool isNewerNumber(std::string_view offered, std::string_view running) {
    const auto a = versionFields(offered);
    const auto b = versionFields(running);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto x = integerField(a[i]);
        const auto y = integerField(b[i]);
        if (!x || !y) {
            // Byte by byte, as unsigned bytes.
            return std::lexicographical_compare(
                running.begin(), running.end(), offered.begin(), offered.end(),
                [](char l, char r) { return static_cast<unsigned char>(l) < static_cast<unsigned char>(r); });
        }
        if (*x != *y) return *x > *y;
    }
    return false;
}

bool isNewerDate(std::string_view offered, std::string_view running, std::string_view today) {
    const Date now = readDate(today).value_or(Date{});
    return readDate(offered).value_or(now) > readDate(running).value_or(now);
}

std::string todayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
    return text;
}

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += c == '\n' || (c >= 32 && c != 0x7F && c != 0x98) ? static_cast<char>(c) : '?';
    }
    return out;
}

}  // namespace korvex
