#pragma once

#include "check/findings.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

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

// The stock codes of one day, to find one that comes twice. Codes are mostly a
// few digits: those go to a bit set keyed by length and value (so "0123" and
// "123" stay apart), others to a hash set. Reused from day to day.
class StockCodeSet {
public:
  void clear();
  // False when the day already had the code.
  bool insert(std::string_view code);

private:
  static constexpr int kNumericKeys = 111110;
  std::vector<std::uint64_t> m_numeric;
  std::unordered_set<std::string> m_other;
};

// Judges the bytes of one day file named `dayName` (eight digits) the way the
// splitter reads month files: fields under the shared field rule, records of eight
// fields, a day header whose field 1 is the day and whose field 2 counts the
// records that follow. One pass; reuses its memory from file to file, so one
// scanner per thread.
class DayFileScanner {
public:
  DayScan scan(std::string_view bytes, std::string_view dayName);

private:
  StockCodeSet m_codes;
};

}  // namespace kabuka::check
