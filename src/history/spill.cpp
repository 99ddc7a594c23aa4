#include "spill.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace kabuka::history {

namespace {

enum Tag : unsigned char { kNull, kInteger, kReal, kText };

void putVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(char(value | 0x80));
    value >>= 7;
  }
  out.push_back(char(value));
}

std::uint64_t getVarint(const char*& p) {
  std::uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*p++);
    value |= std::uint64_t(byte & 0x7f) << shift;
    if (byte < 0x80) {
      return value;
    }
  }
}

std::uint64_t zigzag(std::int64_t v) {
  return (std::uint64_t(v) << 1) ^ std::uint64_t(v >> 63);
}

std::int64_t unzigzag(std::uint64_t v) {
  return std::int64_t(v >> 1) ^ -std::int64_t(v & 1);
}

void putValue(std::string& out, const Value& value) {
  switch (value.kind) {
    case Value::Kind::Null:
      out.push_back(char(kNull));
      break;
    case Value::Kind::Integer:
      out.push_back(char(kInteger));
      putVarint(out, zigzag(value.integer));
      break;
    case Value::Kind::Real: {
      out.push_back(char(kReal));
      char bytes[8];
      std::memcpy(bytes, &value.real, 8);
      out.append(bytes, 8);
      break;
    }
    case Value::Kind::Text: {
      out.push_back(char(kText));
      const QByteArray utf8 = value.text.toUtf8();
      putVarint(out, std::uint64_t(utf8.size()));
      out.append(utf8.constData(), size_t(utf8.size()));
      break;
    }
  }
}

void getValue(const char*& p, Value& value) {
  const auto tag = static_cast<unsigned char>(*p++);
  if (tag == kText) {
    const auto size = qsizetype(getVarint(p));
    value.kind = Value::Kind::Text;
    value.text = QString::fromUtf8(p, size);
    p += size;
    return;
  }
  if (!value.text.isNull()) {
    value.text = QString();
  }
  if (tag == kInteger) {
    value.kind = Value::Kind::Integer;
    value.integer = unzigzag(getVarint(p));
  } else if (tag == kReal) {
    value.kind = Value::Kind::Real;
    std::memcpy(&value.real, p, 8);
    p += 8;
  } else {
    value.kind = Value::Kind::Null;
  }
}

}  // namespace

SpillWriter::~SpillWriter() {
  close();
}

bool SpillWriter::open(const QString& path) {
  m_file = std::fopen(QFile::encodeName(path).constData(), "wb");
  m_failed = m_file == nullptr;
  return !m_failed;
}

void SpillWriter::append(std::uint32_t code, const PriceRow& row) {
  m_record.clear();
  putVarint(m_record, code);
  putVarint(m_record, std::uint64_t(row.day));
  putVarint(m_record, std::uint64_t(row.market));
  putVarint(m_record, std::uint64_t(row.name));
  for (const Value& value : row.values) {
    putValue(m_record, value);
  }
  appendRecord(m_record);
}

void SpillWriter::appendRecord(std::string_view record) {
  char length[10];
  size_t used = 0;
  for (std::uint64_t v = record.size();; v >>= 7) {
    length[used++] = char(v >= 0x80 ? (v & 0x7f) | 0x80 : v);
    if (v < 0x80) {
      break;
    }
  }
  m_buffer.append(length, used);
  m_buffer.append(record);
  if (m_buffer.size() >= kBufferBytes) {
    flush();
  }
}

void SpillWriter::flush() {
  if (m_file == nullptr ||
      std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size()) {
    m_failed = true;
  }
  m_buffer.clear();
}

bool SpillWriter::close() {
  if (m_file != nullptr) {
    flush();
    m_failed = std::fclose(m_file) != 0 || m_failed;
    m_file = nullptr;
  }
  return !m_failed;
}

SpillReader::~SpillReader() {
  if (m_file != nullptr) {
    std::fclose(m_file);
  }
}

bool SpillReader::open(const QString& path) {
  m_file = std::fopen(QFile::encodeName(path).constData(), "rb");
  m_failed = m_file == nullptr;
  return !m_failed;
}

bool SpillReader::fill(size_t wanted) {
  if (m_end - m_at >= wanted) {
    return true;
  }
  m_buffer.erase(0, m_at);
  m_end -= m_at;
  m_at = 0;
  const size_t room = std::max(wanted, kBufferBytes);
  m_buffer.resize(room);
  while (m_end < wanted) {
    const size_t got = std::fread(m_buffer.data() + m_end, 1, room - m_end, m_file);
    if (got == 0) {
      m_failed = m_failed || std::ferror(m_file) != 0;
      return false;
    }
    m_end += got;
  }
  return true;
}

bool SpillReader::next(std::string_view& record) {
  if (!fill(10) && m_at == m_end) {
    return false;  // the end
  }
  const char* p = m_buffer.data() + m_at;
  const std::uint64_t size = getVarint(p);
  m_at = size_t(p - m_buffer.data());
  if (!fill(size)) {
    m_failed = true;
    return false;
  }
  record = std::string_view(m_buffer.data() + m_at, size);
  m_at += size;
  return true;
}

std::uint32_t decodeRecord(std::string_view record, PriceRow& row) {
  const char* p = record.data();
  const auto code = std::uint32_t(getVarint(p));
  row.day = int(getVarint(p));
  row.market = int(getVarint(p));
  row.name = int(getVarint(p));
  for (Value& value : row.values) {
    getValue(p, value);
  }
  return code;
}

std::uint32_t codeOfRecord(std::string_view record) {
  const char* p = record.data();
  return std::uint32_t(getVarint(p));
}

void keyOfRecord(std::string_view record, std::uint32_t& code, std::uint32_t& day,
                 std::uint32_t& market) {
  const char* p = record.data();
  code = std::uint32_t(getVarint(p));
  day = std::uint32_t(getVarint(p));
  market = std::uint32_t(getVarint(p));
}

}  // namespace kabuka::history
