#pragma once
// CSV text as RFC 4180 writes it: records of fields separated by commas; a field in double quotes may
// hold commas, line breaks and doubled quotes. Reading is a little more forgiving than writing: a
// record may end with LF, CR LF or CR, a UTF-8 byte order mark before the first record is skipped,
// blank lines are passed over, and a quote inside an unquoted field is an ordinary character.
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
// The fields joined by commas, with a line feed at the end.
std::string csvLine(const std::vector<std::string>& fields);

}  // namespace korvex
