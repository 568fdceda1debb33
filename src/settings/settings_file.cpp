#include "settings/settings_file.h"

#include <sys/stat.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string_view>

#include "book/balance_columns.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"

namespace korvex {

namespace {

constexpr const char* kAccountKeys[kAccountCols] = {"Login_", "Password_", "Sputnik_", "FIO_"};

std::string fullName(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A decimal number, as a boolean setting takes it: sign, digits with an optional fraction (after a
// point or, as a Russian system writes it, a comma), optional exponent. Answers whether the text is one, and
// in `nonZero` whether its value is other than 0.
bool parseNumber(std::string_view s, bool& nonZero) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    nonZero = false;
    for (bool fraction = false; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            digits = true;
            nonZero = nonZero || s[i] != '0';
        } else if ((s[i] == '.' || s[i] == ',') && !fraction) {  // either decimal separator
            fraction = true;
        } else {
            break;
        }
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t exponentStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == exponentStart) return false;
    }
    return i == s.size();
}

// A whole number as the count takes it: blanks around, an optional sign, digits.
bool isWholeNumber(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool proxyFlagFromText(std::string_view text) {
    text = trimBlanks(text);
    bool nonZero = false;
    if (parseNumber(text, nonZero)) return nonZero;
    return equalsIgnoringCase(text, "true");
}

std::string decoded(const IniFile& ini, const char* section, const std::string& key) {
    return decode(ini.value(section, key));
}

void put(IniFile& ini, const char* section, const std::string& key, std::string_view plain) {
    ini.setValue(section, key, encode(plain));
}

// Bytes that are there but are no profile text.
bool isForeignText(const std::error_code& error) {
    return error.category() == iniTextCategory() && error != IniTextError::NotRegularFile;
}

std::string notSettingsText(const std::error_code& error) {
    return "not a settings file Korvex can read (" + error.message() + "); it is left as it is";
}

// A whole number above kMaxAccounts, however many digits it has.
bool countBeyondMax(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (!isWholeNumber(text) || text.front() == '-') return false;
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    return text.size() > 3 || (text.size() == 3 && text > "500");
}

// Row n of an account key ("Login_612" gives 612), or -1.
long long accountKeyRow(std::string_view key) {
    for (const char* prefix : kAccountKeys) {
        const std::string_view p = prefix;
        if (key.size() <= p.size() || !equalsIgnoringCase(key.substr(0, p.size()), p)) continue;
        const std::string_view digits = key.substr(p.size());
        long long row = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
        return error == std::errc() && end == digits.data() + digits.size() ? row : -1;
    }
    return -1;
}

int countRowsBeyondMax(const IniFile& ini) {
    std::set<long long> rows;
    ini.forEachKey(kAuthSection, [&](std::string_view key, std::string_view value) {
        const long long row = accountKeyRow(key);
        if (row >= kMaxAccounts && !value.empty()) rows.insert(row);
    });
    return static_cast<int>(rows.size());
}

void putSingleKeys(IniFile& ini, int count, const ProxySettings& proxy) {
    // Rows beyond the 500th stay reachable by whatever wrote them: a full book keeps the count.
    if (count != kMaxAccounts || !countBeyondMax(decoded(ini, kAuthSection, "Count")))
        put(ini, kAuthSection, "Count", std::to_string(count));
    put(ini, kAuthSection, "Proxy", proxy.enabled ? "-1" : "0");
    put(ini, kAuthSection, "Adress", proxy.address);
    put(ini, kAuthSection, "Port", proxy.port);
}

}  // namespace

SettingsWriteError::SettingsWriteError(const std::string& fullName, const std::string& reason)
    : std::runtime_error("Unable to write to " + fullName + (reason.empty() ? "" : ": " + reason)),
      m_fileName(fullName) {}

unsigned settingsModeBitsToDrop(const IniFile& ini) {
    for (int n = 0; n < kMaxAccounts; ++n)
        if (!ini.value(kAuthSection, "Password_" + std::to_string(n)).empty()) return 077;
    return 0;
}

bool settingsOpenToOthers(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0;
}

bool settingsFileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

SettingsFileState settingsFileState(const std::string& path) {
    IniFile ini;
    std::error_code error;
    const IniFile::LoadStatus status = ini.load(path, &error);
    return settingsFileState(status, error);
}

SettingsFileState settingsFileState(IniFile::LoadStatus status, const std::error_code& error) {
    switch (status) {
        case IniFile::LoadStatus::Loaded:
            return {SettingsFileState::Book, {}};
        case IniFile::LoadStatus::Missing:
            return {SettingsFileState::Missing, {}};
        case IniFile::LoadStatus::Failed:
            break;
    }
    if (error == std::errc::is_a_directory) return {SettingsFileState::Folder, error};
    return {isForeignText(error) ? SettingsFileState::NotSettings : SettingsFileState::Unreadable, error};
}

std::string settingsFileProblem(const std::string& path, const SettingsFileState& state) {
    switch (state.kind) {
        case SettingsFileState::Missing:
        case SettingsFileState::Book:
            break;
        case SettingsFileState::Folder:
            return path + " is a folder, not a settings file (" + state.error.message() + ")";
        case SettingsFileState::Unreadable:
            return "cannot read the settings file " + path + ": " + state.error.message();
        case SettingsFileState::NotSettings:
            return path + " is " + notSettingsText(state.error);
    }
    return {};
}

IniFile loadSettingsForUpdate(const std::string& path) {
    IniFile ini;
    std::error_code error;
    if (ini.load(path, &error) != IniFile::LoadStatus::Failed) return ini;
    throw SettingsWriteError(fullName(path), isForeignText(error) ? notSettingsText(error)
                                                                  : "it cannot be read first: " + error.message());
}

void storeSettings(const IniFile& ini, const std::string& path) {
    std::string reason;
    if (ini.save(path, settingsModeBitsToDrop(ini), &reason)) throw SettingsWriteError(fullName(path), reason);
}

StartupValues readStartup(const std::string& path) {
    IniFile ini;
    ini.load(path);
    return readStartup(ini);
}

StartupValues readStartup(const IniFile& ini) {
    StartupValues values;
    values.countText = decoded(ini, kAuthSection, "Count");
    values.count = accountCountFromText(values.countText);
    for (int n = kMaxAccounts - 1; n >= 0 && values.accountRows == 0; --n) {
        for (const char* key : kAccountKeys)
            if (!ini.value(kAuthSection, key + std::to_string(n)).empty()) values.accountRows = n + 1;
    }
    values.rowsBeyondMax = countRowsBeyondMax(ini);
    values.countDamaged = !isWholeNumber(values.countText) &&
                          (ini.contains(kAuthSection, "Count") || values.accountRows > 1);
    values.proxy.enabled = proxyFlagFromText(decoded(ini, kAuthSection, "Proxy"));
    values.proxy.address = decoded(ini, kAuthSection, "Adress");
    values.proxy.port = decoded(ini, kAuthSection, "Port");
    return values;
}

double readLowBalance(const std::string& path, double fallback) {
    IniFile ini;
    ini.load(path);
    return readLowBalance(ini, fallback);
}

double readLowBalance(const IniFile& ini, double fallback) {
    std::string text(trimBlanks(ini.value(kSummarySection, "LowBalance")));
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty()) return fallback;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value) ? value : fallback;
}

int readDaysLeft(const std::string& path, int fallback) {
    IniFile ini;
    ini.load(path);
    return readDaysLeft(ini, fallback);
}

int readDaysLeft(const IniFile& ini, int fallback) {
    const std::string text(trimBlanks(ini.value(kSummarySection, "DaysLeft")));
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > kMaxDaysLeft)
        return fallback;
    return value;
}

void read(AccountBook& book, const std::string& path) {
    IniFile ini;
    ini.load(path);
    read(book, ini);
}

void read(AccountBook& book, const IniFile& ini) {
    book.forgetDroppedRows();  // the tables are the file's again, deletes not saved undone with the rest
    if (book.clients < 1) return;
    for (int n = 0; n < book.clients; ++n) {
        const std::string suffix = std::to_string(n);
        for (int col = 0; col < kAccountCols; ++col) {
            book.client.setCell(col, n, decoded(ini, kAuthSection, kAccountKeys[col] + suffix));
        }
        book.Stat.setCell(kStatLogin, n, book.client.cell(kLogin, n));
        for (const BalanceColumn& column : kBalanceColumns)
            if (!column.storedKey.empty())
                book.Stat.setCell(column.col, n, decoded(ini, kDataSection, std::string(column.storedKey) + suffix));
    }
}

IniFile zapis(const AccountBook& book, const ProxySettings& proxy, const std::string& path, int emptyRowsTo,
              const IniFile* base) {
    IniFile ini = base ? *base : loadSettingsForUpdate(path);
    putSingleKeys(ini, book.clients, proxy);
    for (int n = 0; n < std::max(book.clients, emptyRowsTo); ++n) {
        const std::string suffix = std::to_string(n);
        const bool empty = n >= book.clients;
        for (int col = 0; col < kAccountCols; ++col) {
            put(ini, kAuthSection, kAccountKeys[col] + suffix, empty ? std::string() : book.client.cell(col, n));
        }
        for (const BalanceColumn& column : kBalanceColumns)
            if (!column.storedKey.empty())
                put(ini, kDataSection, std::string(column.storedKey) + suffix,
                    empty ? std::string() : book.Stat.cell(column.col, n));
    }
    // Rows that fell off the end when accounts were deleted: their login and password must not stay.
    for (int n = std::max(book.clients, book.droppedFirst); n < book.droppedEnd; ++n) {
        const std::string suffix = std::to_string(n);
        for (const char* key : kAccountKeys) put(ini, kAuthSection, key + suffix, "");
        for (const BalanceColumn& column : kBalanceColumns)
            if (!column.storedKey.empty()) put(ini, kDataSection, std::string(column.storedKey) + suffix, "");
    }
    storeSettings(ini, path);
    return ini;
}

void createNewFile(const std::string& path, const ProxySettings& proxy) {
    IniFile ini = loadSettingsForUpdate(path);
    putSingleKeys(ini, 1, proxy);
    for (const char* key : kAccountKeys) put(ini, kAuthSection, std::string(key) + "0", "");
    // The first start has always written the balance keys in this order.
    for (const char* key : {"Balans_", "Plan_", "Date_", "Active_", "Past_"}) {
        put(ini, kDataSection, std::string(key) + "0", "");
    }
    storeSettings(ini, path);
}

}  // namespace korvex
