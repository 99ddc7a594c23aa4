#include "row_codec.h"

#include <cstring>

namespace kabuka::history {

namespace {

enum Tag : unsigned char { kNull, kInteger, kReal, kText };

std::uint64_t zigzag(std::int64_t v) {
  return (std::uint64_t(v) << 1) ^ std::uint64_t(v >> 63);
}

std::int64_t unzigzag(std::uint64_t v) {
  return std::int64_t(v >> 1) ^ -std::int64_t(v & 1);
}

void getValue(const char*& p, StoredValue& value) {
  switch (static_cast<unsigned char>(*p++)) {
    case kInteger:
      value.kind = Value::Kind::Integer;
      value.integer = unzigzag(readVarint(p));
      break;
    case kReal:
      value.kind = Value::Kind::Real;
      std::memcpy(&value.real, p, 8);
      p += 8;
      break;
    case kText: {
      const auto size = size_t(readVarint(p));
      value.kind = Value::Kind::Text;
      value.text = std::string_view(p, size);
      p += size;
      break;
    }
    default:
      value.kind = Value::Kind::Null;
      break;
  }
}

}  // namespace

void RowEncoder::varint(std::uint64_t value) {
  m_used += writeVarint(m_buffer + m_used, value);
}

void RowEncoder::begin(std::uint32_t code, int day, int market, int name) {
  m_start = m_out.size();
  m_inOut = false;
  m_used = 1;  // room for the length, most often one byte; see end()
  varint(code);
  varint(std::uint64_t(day));
  varint(std::uint64_t(market));
  varint(std::uint64_t(name));
}

void RowEncoder::null() {
  m_buffer[m_used++] = char(kNull);
}

void RowEncoder::integer(std::int64_t value) {
  m_buffer[m_used++] = char(kInteger);
  varint(zigzag(value));
}

void RowEncoder::real(double value) {
  m_buffer[m_used++] = char(kReal);
  std::memcpy(m_buffer + m_used, &value, 8);
  m_used += 8;
}

void RowEncoder::text(std::string_view utf8) {
  m_buffer[m_used++] = char(kText);
  varint(utf8.size());
  flush();
  m_out.append(utf8);
}

void RowEncoder::flush() {
  const size_t from = m_inOut ? 0 : 1;
  if (!m_inOut) {
    m_out.push_back('\0');
    m_inOut = true;
  }
  m_out.append(m_buffer + from, m_used - from);
  m_used = 0;
}

void RowEncoder::end() {
  if (!m_inOut && m_used - 1 < 0x80) {
    m_buffer[0] = char(m_used - 1);
    m_out.append(m_buffer, m_used);
    return;
  }
  flush();
  const size_t length = m_out.size() - m_start - 1;
  char bytes[10];
  const size_t used = writeVarint(bytes, length);
  if (used > 1) {
    m_out.insert(m_start + 1, used - 1, '\0');
  }
  std::memcpy(m_out.data() + m_start, bytes, used);
}

bool nextRecord(std::string_view bytes, size_t& at, std::string_view& record) {
  if (at >= bytes.size()) {
    return false;
  }
  const char* p = bytes.data() + at;
  const auto length = size_t(readVarint(p));
  record = std::string_view(p, length);
  at = size_t(p - bytes.data()) + length;
  return true;
}

std::uint32_t decodeRow(std::string_view record, PriceRow& row) {
  const char* p = record.data();
  const auto code = std::uint32_t(readVarint(p));
  row.day = int(readVarint(p));
  row.market = int(readVarint(p));
  row.name = int(readVarint(p));
  for (StoredValue& value : row.values) {
    getValue(p, value);
  }
  return code;
}

RowKey keyOfRecord(std::string_view record) {
  const char* p = record.data();
  RowKey key;
  key.code = std::uint32_t(readVarint(p));
  key.day = std::uint32_t(readVarint(p));
  key.market = std::uint32_t(readVarint(p));
  return key;
}

}  // namespace kabuka::history
