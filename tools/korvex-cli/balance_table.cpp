#include "korvex-cli/balance_table.h"

#include <algorithm>

#include "book/balance_columns.h"
#include "korvex-cli/csv_text.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

// The window's headings of the balance table after the row number's, and the CSV header.
std::vector<std::string> columnNames(std::string_view BalanceColumn::*name, std::string first) {
    std::vector<std::string> names;
    if (!first.empty()) names.push_back(std::move(first));
    for (const BalanceColumn& column : kBalanceColumns) names.emplace_back(column.*name);
    return names;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::vector<std::vector<std::string>> balanceTableRows(const AccountBook& book) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<std::size_t>(book.clients));
    for (int row = 0; row < book.clients; ++row) {
        std::vector<std::string> cells;
        for (const BalanceColumn& column : kBalanceColumns)
            cells.push_back(cp1251ToUtf8(column.accountCol >= 0 ? book.client.cell(column.accountCol, row)
                                                                : book.Stat.cell(column.col, row)));
        rows.push_back(std::move(cells));
    }
    return rows;
}

std::string terminalText(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        // C1 controls (U+0080 to U+009F, "\xC2\x80" to "\xC2\x9F") include CSI, which some
        // terminals obey as ESC [ does.
        const bool c1 =
            byte == 0xC2 && at + 1 < utf8.size() && (static_cast<unsigned char>(utf8[at + 1]) & 0xE0) == 0x80;
        if (byte < 0x20 || byte == 0x7F || c1) {
            text += kReplacement;
            if (c1) ++at;
        } else {
            text += utf8[at];
        }
    }
    return text;
}

std::string terminalCsv(std::string_view csv) {
    std::string text;
    text.reserve(csv.size());
    while (!csv.empty()) {
        const std::size_t end = csv.find('\n');
        std::string_view line = csv.substr(0, end);
        const bool crlf = line.ends_with('\r');
        if (crlf) line.remove_suffix(1);
        text += terminalText(line);
        if (crlf) text += '\r';
        if (end == std::string_view::npos) break;
        text += '\n';
        csv.remove_prefix(end + 1);
    }
    return text;
}

std::size_t displayWidth(std::string_view utf8) {
    // Every byte but a continuation byte starts a character.
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void printBalanceTable(std::ostream& out, const AccountBook& book) {
    std::vector<std::vector<std::string>> lines;
    lines.push_back(columnNames(&BalanceColumn::heading, "#"));
    int number = 0;
    for (auto& cells : balanceTableRows(book)) {
        std::vector<std::string> line;
        line.push_back(std::to_string(++number));
        for (auto& cell : cells) line.push_back(terminalText(cell));
        lines.push_back(std::move(line));
    }
    printAlignedLines(out, lines);
}

void printAlignedLines(std::ostream& out, const std::vector<std::vector<std::string>>& lines) {
    std::vector<std::size_t> widths(lines.empty() ? 0 : lines.front().size(), 0);
    for (const auto& line : lines)
        for (std::size_t col = 0; col < line.size(); ++col)
            widths[col] = std::max(widths[col], displayWidth(line[col]));

    for (const auto& line : lines) {
        std::string text;
        // The row number is right-aligned, every other column left-aligned; no blanks at the end.
        text.append(widths[0] - displayWidth(line[0]), ' ');
        text += line[0];
        std::size_t pending = 0;
        for (std::size_t col = 1; col < line.size(); ++col) {
            if (line[col].empty()) {
                pending += 2 + widths[col];
                continue;
            }
            text.append(pending + 2, ' ');
            text += line[col];
            pending = widths[col] - displayWidth(line[col]);
        }
        out << text << '\n';
    }
}

void printBalanceCsv(std::ostream& out, const AccountBook& book) {
    out << csvLine(columnNames(&BalanceColumn::csvName, ""));
    for (const auto& cells : balanceTableRows(book)) out << csvLine(cells);
}

}  // namespace korvex
