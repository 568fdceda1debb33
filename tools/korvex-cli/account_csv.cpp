#include "korvex-cli/account_csv.h"

#include <cstdio>

#include "korvex-cli/csv_text.h"
#include "platform/ascii_text.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

constexpr std::array<std::string_view, kAccountCols> kFieldNames = {"login", "password", "plan code",
                                                                    "holder"};

std::string trimmedLower(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return lowerAscii(s);
}

std::string headerText() {
    std::string text;
    for (std::string_view name : kAccountCsvHeader) {
        if (!text.empty()) text += ',';
        text += name;
    }
    return text;
}

std::string hexByte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// The length of the UTF-8 sequence that starts with `lead`, or 0 for a byte that starts none.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Why the UTF-8 field cannot go into a cell, or "" when it can.
std::string fieldProblem(std::string_view field) {
    for (std::size_t i = 0; i < field.size();) {
        const auto lead = static_cast<unsigned char>(field[i]);
        if (lead < 0x20 && lead != '\t') return "holds a control character (" + hexByte(lead) + ")";
        if (lead == 0x7F) return "holds a control character (0x7F)";
        const std::size_t length = sequenceLength(lead);
        bool wellFormed = length > 0 && i + length <= field.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k)
            wellFormed = (static_cast<unsigned char>(field[i + k]) & 0xC0) == 0x80;
        if (!wellFormed) return "is not UTF-8 text (byte " + hexByte(lead) + ")";
        const std::string_view character = field.substr(i, length);
        if (!utf8FitsCp1251(character))
            return "holds \"" + std::string(character) +
                   "\", which the Cyrillic code page (cp1251) cannot hold";
        i += length;
    }
    return {};
}

}  // namespace

AccountCsvError::AccountCsvError(int line, const std::string& problem)
    : std::runtime_error("line " + std::to_string(line) + ": " + problem), m_line(line) {}

std::vector<ImportedAccount> readAccountCsv(std::string_view utf8Text) {
    std::vector<CsvRecord> records;
    try {
        records = parseCsv(utf8Text);
    } catch (const CsvSyntaxError& e) {
        throw AccountCsvError(e.line(), e.problem());
    }
    if (records.empty())
        throw AccountCsvError(1, "the file is empty; its first line must be the header " + headerText());

    const CsvRecord& header = records.front();
    bool headerMatches = header.fields.size() == kAccountCsvHeader.size();
    for (std::size_t i = 0; headerMatches && i < header.fields.size(); ++i)
        headerMatches = trimmedLower(header.fields[i]) == kAccountCsvHeader[i];
    if (!headerMatches)
        throw AccountCsvError(header.line, "the first line must be the header " + headerText());

    std::vector<ImportedAccount> accounts;
    accounts.reserve(records.size() - 1);
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        if (record.fields.size() != static_cast<std::size_t>(kAccountCols)) {
            throw AccountCsvError(record.line, std::to_string(record.fields.size()) + " fields where " +
                                                   std::to_string(kAccountCols) + " are needed (" +
                                                   headerText() + ")");
        }
        ImportedAccount account;
        account.line = record.line;
        account.cells.reserve(kAccountCols);
        for (int col = 0; col < kAccountCols; ++col) {
            // The apostrophe that csvLine put before a formula-like password comes off again.
            const std::string field = spreadsheetText(record.fields[col]);
            const std::string problem = fieldProblem(field);
            if (!problem.empty())
                throw AccountCsvError(record.line, "the " + std::string(kFieldNames[col]) + " " + problem);
            account.cells.push_back(utf8ToCp1251(field));
        }
        accounts.push_back(std::move(account));
    }
    return accounts;
}

std::string writeAccountCsv(const AccountBook& book) {
    std::string text = csvLine({kAccountCsvHeader.begin(), kAccountCsvHeader.end()});
    for (int row = 0; row < book.clients; ++row) {
        std::vector<std::string> fields;
        for (int col = 0; col < kAccountCols; ++col)
            fields.push_back(cp1251ToUtf8(book.client.cell(col, row)));
        text += csvLine(fields);
    }
    return text;
}

}  // namespace korvex
