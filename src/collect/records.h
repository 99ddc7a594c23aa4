#pragma once

#include "common/field_reader.h"
#include "common/year_month.h"

#include <array>
#include <string_view>

namespace kabuka {

// The price files are records of eight fields, counted across line breaks: a
// header record (field 1 names the day or month, field 2 counts what follows) and
// data records.
inline constexpr int kFieldsPerRecord = 8;

struct Record {
  std::array<Field, kFieldsPerRecord> fields;
  std::string_view raw;  // the input the record was read from, delimiters included
};

// Reads one record; false when the input ends before all eight fields came.
inline bool readRecord(FieldReader& reader, Record& record) {
  const char* const start = reader.position();
  for (Field& field : record.fields) {
    if (!reader.next(field)) {
      return false;
    }
  }
  record.raw = std::string_view(start, size_t(reader.position() - start));
  return true;
}

inline bool isLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// True when the record's own input ends with a line end. A transfer cut inside the
// last field leaves a record that reads whole but does not.
inline bool endsWithLineEnd(const Record& record) {
  return !record.raw.empty() && isLineEnd(record.raw.back());
}

// What may follow the last announced record: empty fields, blank lines, and a DOS
// end-of-file mark. Anything else means the counts do not describe the file, and
// some of its data would be lost unnoticed.
inline bool isTrailingFiller(char c) {
  return c == ',' || c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '"' || c == '\x1a';
}

inline constexpr char kEndOfFileMark = '\x1a';

// The month a month file is for: its blocks may only name days of it.
using SplitMonth = YearMonth;

// A count field: blanks skipped, the leading decimal number rounded to the nearest
// whole number (halves to even); anything else is 0.
long long countOf(std::string_view field);

// True for a day name that can safely become a file name: exactly eight ASCII digits.
bool isDayName(std::string_view field);
// True for the eight digits of a calendar date in `month`.
bool isDayOfMonth(std::string_view field, SplitMonth month);

}  // namespace kabuka
