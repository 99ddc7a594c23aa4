#pragma once

#include "history/typed_value.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kabuka::history {

// One price value as it goes to SQLite; a text is a view of UTF-8 bytes.
struct StoredValue {
  Value::Kind kind = Value::Kind::Null;
  std::int64_t integer = 0;
  double real = 0;
  std::string_view text;
};

// One record as the database keeps it, with views of the bytes it was decoded
// from (and of the code's text).
struct PriceRow {
  std::string_view code;              // UTF-8
  int day = 0;                        // days since 1970-01-01
  int market = 0;                     // number in the market table
  int name = 0;                       // number in the name table
  std::array<StoredValue, 5> values;  // open, high, low, close, volume
};

// Rows in the compact form in which the export hands them from the reading
// threads to SQLite, in memory and through its scratch files. A record: its
// length, then varints of the code's number, the day, and the market and name
// numbers, then the five values, each a tag and a zigzag varint, the eight bytes
// of a double, or a length and UTF-8 text. Appends to `out`; a record without
// text is built in a buffer of its own and appended at once.
class RowEncoder {
public:
  explicit RowEncoder(std::string& out) : m_out(out) {}
  void begin(std::uint32_t code, int day, int market, int name);
  void null();
  void integer(std::int64_t value);
  void real(double value);
  void text(std::string_view utf8);
  void end();

private:
  void varint(std::uint64_t value);
  void flush();
  std::string& m_out;
  size_t m_start = 0;
  bool m_inOut = false;  // a text made the record go to `out` before its end
  size_t m_used = 0;
  // The length's first byte, four varints and five values, at their longest.
  char m_buffer[1 + 4 * 10 + 5 * 11];
};

// Varints of seven bits a byte, the lowest first.
inline std::uint64_t readVarint(const char*& p) {
  std::uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*p++);
    value |= std::uint64_t(byte & 0x7f) << shift;
    if (byte < 0x80) {
      return value;
    }
  }
}

inline size_t writeVarint(char* out, std::uint64_t value) {  // at most ten bytes
  size_t used = 0;
  while (value >= 0x80) {
    out[used++] = char(value | 0x80);
    value >>= 7;
  }
  out[used++] = char(value);
  return used;
}

// The record that starts at `at` in `bytes` (after its length), and where the next
// one starts; false at the end.
bool nextRecord(std::string_view bytes, size_t& at, std::string_view& record);

// Decodes a record into `row`, all but the code's text; returns the code's number.
std::uint32_t decodeRow(std::string_view record, PriceRow& row);
// The numbers that start a record, for sorting it without decoding it all.
struct RowKey {
  std::uint32_t code = 0;
  std::uint32_t day = 0;
  std::uint32_t market = 0;
};
RowKey keyOfRecord(std::string_view record);

}  // namespace kabuka::history
