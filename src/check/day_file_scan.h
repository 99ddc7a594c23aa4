#pragma once

#include "check/code_market_set.h"
#include "check/findings.h"

#include <QList>
#include <QString>

#include <string_view>

namespace kabuka::check {

// One fault of a day file, with where it is.
struct DayFault {
  FindingKind kind;
  QString detail;
};

struct DayScan {
  int records = 0;  // lines after the day header
  QList<DayFault> faults;
  bool sound() const { return faults.isEmpty(); }
};

// True when `bytes` are well-formed code page 932: ASCII, half-width katakana, and
// double-byte characters that the code page assigns (its NEC and IBM extensions and
// user-defined area included). Returns the offset of the first bad byte, or npos.
size_t firstInvalidSjisByte(std::string_view bytes);

// Judges the bytes of one day file named `dayName` (eight digits) the way the
// splitter reads month files: fields under the shared field rule, records of eight
// fields, a day header whose field 1 is the day and whose field 2 counts the
// records that follow, and no stock code twice on one market. One pass; reuses
// its memory from file to file, so one scanner per thread.
class DayFileScanner {
public:
  DayScan scan(std::string_view bytes, std::string_view dayName);

private:
  CodeMarketSet m_codes;
};

}  // namespace kabuka::check
