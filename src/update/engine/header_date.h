#pragma once
// Dates of HTTP headers (Date, Last-Modified, Expires) as the download engine reads them, and the
// TDateTime value in which it hands them on: days since 30 December 1899, the fraction the time of
// day; 0 means "no date".
#include <ctime>
#include <string_view>

namespace korvex {

using TDateTime = double;

TDateTime encodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The TDateTime of a moment in universal time, and back (whole seconds).
TDateTime dateTimeFromUnix(std::time_t seconds);
std::time_t unixFromDateTime(TDateTime value);

// The header's date in universal time, 0 when the text holds none. Accepted: an optional leading
// weekday and its separator; day and three-letter month name (any case) in either order,
// separated by blanks or '-'; the year (below 80: 2000 + year, 80..99: 1900 + year, missing: 1900);
// an optional hh:mm[:ss] (also before the year, as asctime writes it); an optional zone, "+hhmm"
// or "-hhmm" subtracted to reach universal time, any other zone text (GMT, UTC, ...) counting as 0.
TDateTime parseHeaderDateUtc(std::string_view text);
// The same date in the computer's local time (its zone and daylight rules at that moment).
TDateTime parseHeaderDate(std::string_view text);

}  // namespace korvex
