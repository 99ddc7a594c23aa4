#pragma once

#include "check/findings.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <string_view>
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

// Judges the bytes of one day file named `dayName` (eight digits) the way the
// splitter reads month files: fields under the shared field rule, records of eight
// fields, a day header whose field 1 is the day and whose field 2 counts the
// records that follow. One pass; reuses its memory from file to file, so one
// scanner per thread.
class DayFileScanner {
public:
  DayScan scan(std::string_view bytes, std::string_view dayName);

private:
  // Stock codes seen in the current day: open addressing over views into the
  // file's bytes, emptied by bumping a generation instead of clearing.
  struct Slot {
    std::uint32_t generation = 0;
    std::uint32_t hash = 0;
    int line = 0;
    std::string_view code;
  };
  // 0 when the code is new to the day, else the line it was first seen on.
  int insertCode(std::string_view code, int line);
  void startDay(size_t expectedCodes);
  void grow();

  std::vector<Slot> m_slots;
  size_t m_count = 0;
  std::uint32_t m_generation = 0;
};

}  // namespace kabuka::check
