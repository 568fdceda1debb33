#pragma once
// CSV text as RFC 4180 writes it: records of fields separated by commas; a field in double quotes may
// hold commas, line breaks and doubled quotes. Reading is a little more forgiving than writing: a
// record may end with LF, CR LF or CR, a UTF-8 byte order mark before the first record is skipped,
// blank lines are passed over, and a quote inside an unquoted field is an ordinary character.
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct CsvRecord {
    std::vector<std::string> fields;
    int line = 0;  // the line of the text on which the record begins, from 1
};

// Text that cannot be read as CSV: a quoted field that is never closed, or something other than a
// comma or a line end right after a closing quote. what() names the line.
class CsvSyntaxError : public std::runtime_error {
public:
    CsvSyntaxError(int line, const std::string& problem);
    int line() const noexcept { return m_line; }
    const std::string& problem() const noexcept { return m_problem; }

private:
    int m_line;
    std::string m_problem;
};

// Every record of `text`, in order. Throws CsvSyntaxError.
std::vector<CsvRecord> parseCsv(std::string_view text);

// The field as a record holds it: in double quotes, inner quotes doubled, when it holds a comma, a
// quote, a line break or blanks at either end; as it is otherwise.
std::string csvField(std::string_view field);

// `text`, or `text` behind an apostrophe when a spreadsheet would take it for a formula: it starts
// with '=', '@', a tab or a carriage return, or with '+' or '-' not followed by a plain number (a bare
// sign and a run of dashes stay); and an apostrophe before a text that gets one, so that
// spreadsheetText can always take the mark off again.
std::string spreadsheetSafeText(std::string_view text);
// A field as spreadsheetSafeText wrote it, back to the text.
std::string spreadsheetText(std::string_view field);

// The one writer of a record of every CSV Korvex writes (show, history, forecast, export): every
// field through spreadsheetSafeText and csvField, joined by commas, a line feed at the end.
std::string csvLine(const std::vector<std::string>& fields);
// And the one way out: CSV text as it stands into a file or a pipe; on a terminal (`terminal`) with
// every control character shown as U+FFFD (terminalCsv), so that a portal's escape sequence cannot
// act on it.
void writeCsv(std::ostream& out, std::string_view csv, bool terminal);

}  // namespace korvex
