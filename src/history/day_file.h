#pragma once

#include "check/day_file_scan.h"
#include "history/text_table.h"
#include "history/typed_value.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kabuka::history {

// The eight fields of one line of a day file, without their quotes; views into
// the file's bytes.
struct RawRecord {
  std::array<std::string_view, 8> fields;
  int line = 0;
};

// Splits the bytes of a sound day file into its day header and its records.
void splitRecords(std::string_view bytes, RawRecord& header, std::vector<RawRecord>& records);

// A fault as the check words it: the kind's text and its particulars.
QString faultText(const check::DayFault& fault);

// Text fields of a day file in UTF-8. Codes and most fields are ASCII, which is
// the same in both.
QString decodeField(std::string_view sjis);
std::string decodeFieldUtf8(std::string_view sjis);

// One record as the database keeps it.
struct PriceRow {
  std::string code;             // UTF-8
  int day = 0;                  // days since 1970-01-01
  int market = 0;               // number in the market table
  int name = 0;                 // number in the name table
  std::array<Value, 5> values;  // open, high, low, close, volume
};

// A day file judged and, when sound, turned into rows.
struct DayContent {
  QStringList problems;  // empty when the file is sound
  QString header;        // the day header line in UTF-8
  std::vector<PriceRow> rows;
  qint64 textValues = 0;  // price fields kept as text
};

// Judges and converts day files; one per thread, reusing its memory.
class DayFileConverter {
public:
  DayFileConverter(TextTable& markets, TextTable& names) : m_markets(markets), m_names(names) {}
  // `day` is the file's date as a day number, `dayName` as its eight digits.
  void convert(std::string_view bytes, int day, std::string_view dayName, DayContent& out);

private:
  check::DayFileScanner m_scanner;
  TextCache m_markets;
  TextCache m_names;
  RawRecord m_header;
  std::vector<RawRecord> m_records;
};

}  // namespace kabuka::history
