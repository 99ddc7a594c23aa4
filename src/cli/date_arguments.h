#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace kabuka::cli {

// A year, or a month of it (month 0: the whole year).
struct Period {
  int year = 0;
  int month = 0;
  friend bool operator==(const Period&, const Period&) = default;
};

// The one reading of dates, months and years on the command line, for every
// command. A day is yyyy-mm-dd, yyyy/mm/dd or yyyymmdd; a month yyyy-mm, yyyy/mm
// or yyyymm; a year yyyy. Month 00, day 00 and year 0000 are not dates.
QDate parseDayArgument(const QString& text);                    // invalid when bad
std::optional<Period> parseMonthArgument(const QString& text);  // month 1 to 12
std::optional<int> parseYearArgument(const QString& text);
std::optional<Period> parseYearOrMonthArgument(const QString& text);

}  // namespace kabuka::cli
