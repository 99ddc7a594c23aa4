#pragma once

#include "common/year_month.h"

#include <QDate>
#include <QString>

#include <optional>

namespace kabuka::cli {

// The one reading of dates, months and years on the command line, for every
// command. A day is yyyy-mm-dd, yyyy/mm/dd or yyyymmdd; a month yyyy-mm, yyyy/mm
// or yyyymm; a year yyyy. Month 00, day 00 and year 0000 are not dates.
QDate parseDayArgument(const QString& text);                       // invalid when bad
std::optional<YearMonth> parseMonthArgument(const QString& text);  // month 1 to 12
std::optional<int> parseYearArgument(const QString& text);
// A year gives month 0.
std::optional<YearMonth> parseYearOrMonthArgument(const QString& text);

}  // namespace kabuka::cli
