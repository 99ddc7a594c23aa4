#pragma once

namespace kabuka {

// A month of a year. Where a range may be a whole year (the targets of the check
// and of the export), month 0 stands for the year.
struct YearMonth {
  int year = 0;
  int month = 0;
  friend auto operator<=>(const YearMonth&, const YearMonth&) = default;
};

}  // namespace kabuka
