#pragma once

#include "check/day_file_scan.h"
#include "history/text_table.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kabuka::history {

// A fault as the check words it: the kind's text and its particulars.
QString faultText(const check::DayFault& fault);

// Text fields of a day file in UTF-8. Codes and most fields are ASCII, which is
// the same in both.
QString decodeField(std::string_view sjis);
std::string decodeFieldUtf8(std::string_view sjis);

// A day file's rows: RowEncoder's records, and the code's number of each.
struct DayRows {
  std::string records;
  std::vector<std::uint32_t> codes;
  size_t size() const { return codes.size(); }
};

// A day file judged and, when sound, turned into rows.
struct DayContent {
  QStringList problems;  // empty when the file is sound
  QString header;        // the day header line in UTF-8
  DayRows rows;
  qint64 textValues = 0;  // price fields kept as text
};

// Judges day files as the check does and converts the sound ones; one per
// thread, reusing its memory. Codes, markets and names are numbered through the
// shared tables, each text converted once; a code of a few digits finds its
// number without hashing.
class DayFileConverter {
public:
  DayFileConverter(TextTable& codes, TextTable& markets, TextTable& names);
  // `day` is the file's date as a day number, `dayName` as its eight digits.
  void convert(std::string_view bytes, int day, std::string_view dayName, DayContent& out);

private:
  void convertRecord(const std::string_view (&fields)[8], int day, DayContent& out);
  std::uint32_t codeNumber(std::string_view sjis);

  check::DayFileScanner m_scanner;
  TextCache m_codes;
  TextCache m_markets;
  TextCache m_names;
  std::vector<std::uint32_t> m_numericCodes;  // by check::numericCodeKey(); 0: not met
};

}  // namespace kabuka::history
