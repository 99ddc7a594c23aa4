#pragma once

#include "history/day_file.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kabuka::history {

// Rows in a compact binary form, written to a scratch file and read back in
// order. A record: its length, the code's number, the day, the market and name
// numbers, then the five values (a tag, and a varint, eight bytes or a text).
class SpillWriter {
public:
  SpillWriter() = default;
  ~SpillWriter();
  SpillWriter(const SpillWriter&) = delete;
  SpillWriter& operator=(const SpillWriter&) = delete;

  bool open(const QString& path);
  void append(std::uint32_t code, const PriceRow& row);
  // Appends a record as read by SpillReader.
  void appendRecord(std::string_view record);
  bool close();  // false when anything could not be written

private:
  static constexpr size_t kBufferBytes = 1 << 20;
  void flush();
  std::FILE* m_file = nullptr;
  std::string m_record;
  std::string m_buffer;
  bool m_failed = false;
};

class SpillReader {
public:
  SpillReader() = default;
  ~SpillReader();
  SpillReader(const SpillReader&) = delete;
  SpillReader& operator=(const SpillReader&) = delete;

  bool open(const QString& path);
  // The next record, valid until the next call; false at the end.
  bool next(std::string_view& record);
  bool failed() const { return m_failed; }

private:
  static constexpr size_t kBufferBytes = 1 << 20;
  // Makes at least `wanted` bytes from m_at readable; false at the end.
  bool fill(size_t wanted);
  std::FILE* m_file = nullptr;
  std::string m_buffer;
  size_t m_at = 0;
  size_t m_end = 0;
  bool m_failed = false;
};

// Decodes a record: the code's number, and the row less its code.
std::uint32_t decodeRecord(std::string_view record, PriceRow& row);
// The code's number alone, which starts the record.
std::uint32_t codeOfRecord(std::string_view record);
// The day and market, for sorting.
void keyOfRecord(std::string_view record, std::uint32_t& code, std::uint32_t& day,
                 std::uint32_t& market);

}  // namespace kabuka::history
