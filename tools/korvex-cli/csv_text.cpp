#include "korvex-cli/csv_text.h"

#include "korvex-cli/balance_table.h"

namespace korvex {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

CsvSyntaxError::CsvSyntaxError(int line, const std::string& problem)
    : std::runtime_error("line " + std::to_string(line) + ": " + problem), m_line(line), m_problem(problem) {}

namespace {

// A quoted field that opens at text[at]: up to the quote that is not doubled, into `field`, the line
// count moved past the line breaks inside. Answers where the field ends.
std::size_t readQuotedField(std::string_view text, std::size_t at, std::string& field, int& line) {
    const int opened = line;
    const std::size_t n = text.size();
    std::size_t i = at + 1;
    for (;;) {
        if (i >= n) throw CsvSyntaxError(opened, "a quoted field is not closed");
        const char q = text[i];
        if (q == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
                field += '"';
                i += 2;
                continue;
            }
            return i + 1;
        }
        if (q == '\n' || (q == '\r' && (i + 1 >= n || text[i + 1] != '\n'))) ++line;
        field += q;
        ++i;
    }
}

}  // namespace

std::vector<CsvRecord> parseCsv(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());

    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    bool fieldWasQuoted = false;
    int line = 1;
    record.line = line;

    const auto endField = [&] {
        record.fields.push_back(std::move(field));
        field.clear();
        fieldWasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        records.push_back(std::move(record));
        record = CsvRecord{};
    };

    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (c == '"' && field.empty() && !fieldWasQuoted) {
            i = readQuotedField(text, i, field, line);
            fieldWasQuoted = true;
            if (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
                throw CsvSyntaxError(line, "text after the closing quote of a field");
            continue;
        }
        if (c == ',') {
            endField();
            ++i;
            continue;
        }
        if (c == '\n' || c == '\r') {
            // A line with nothing on it is no record; it only moves the line count on.
            if (!record.fields.empty() || !field.empty() || fieldWasQuoted) endRecord();
            i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
            ++line;
            record.line = line;
            continue;
        }
        field += c;
        ++i;
    }
    if (!record.fields.empty() || !field.empty() || fieldWasQuoted) endRecord();
    return records;
}

std::string csvField(std::string_view field) {
    const bool needsQuotes = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                             (!field.empty() && (field.front() == ' ' || field.back() == ' '));
    if (!needsQuotes) return std::string(field);
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

namespace {

bool formulaStart(std::string_view text) {
    if (text.empty()) return false;
    const char first = text.front();
    if (first == '+' || first == '-') {
        // A signed amount ("-12.50", "+3,00") is a value and stays, and so do a bare sign and a run
        // of dashes (the not-found marker "--------"); anything else after a sign ("-SUM(...)",
        // "+cmd|...", "-2+3+cmd|...") is read as a formula.
        const bool dashes = text.find_first_not_of('-') == std::string_view::npos;
        return !dashes && text.substr(1).find_first_not_of("0123456789., ") != std::string_view::npos;
    }
    return first == '=' || first == '@' || first == '\t' || first == '\r';
}

// Whether spreadsheetSafeText puts an apostrophe before `text`.
bool needsMark(std::string_view text) {
    while (text.starts_with('\'')) text.remove_prefix(1);
    return formulaStart(text);
}

}  // namespace

std::string spreadsheetSafeText(std::string_view text) {
    return needsMark(text) ? "'" + std::string(text) : std::string(text);
}

std::string spreadsheetText(std::string_view field) {
    return field.starts_with('\'') && needsMark(field.substr(1)) ? std::string(field.substr(1)) : std::string(field);
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += csvField(spreadsheetSafeText(fields[i]));
    }
    line += '\n';
    return line;
}

void writeCsv(std::ostream& out, std::string_view csv, bool terminal) {
    if (terminal)
        out << terminalCsv(csv);
    else
        out << csv;
}

}  // namespace korvex
