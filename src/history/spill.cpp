#include "spill.h"

#include <QFile>

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

Value getValue(const char*& p) {
  switch (static_cast<unsigned char>(*p++)) {
    case kInteger:
      return Value::ofInteger(unzigzag(getVarint(p)));
    case kReal: {
      double real;
      std::memcpy(&real, p, 8);
      p += 8;
      return Value::ofReal(real);
    }
    case kText: {
      const auto size = qsizetype(getVarint(p));
      const QString text = QString::fromUtf8(p, size);
      p += size;
      return Value::ofText(text);
    }
    default:
      return Value{};
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
  if (m_file == nullptr || std::fwrite(length, 1, used, m_file) != used ||
      std::fwrite(record.data(), 1, record.size(), m_file) != record.size()) {
    m_failed = true;
  }
}

bool SpillWriter::close() {
  if (m_file != nullptr) {
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

bool SpillReader::next(std::string_view& record) {
  std::uint64_t size = 0;
  for (int shift = 0;; shift += 7) {
    const int byte = std::fgetc(m_file);
    if (byte == EOF) {
      m_failed = m_failed || shift != 0 || std::ferror(m_file) != 0;
      return false;
    }
    size |= std::uint64_t(byte & 0x7f) << shift;
    if (byte < 0x80) {
      break;
    }
  }
  m_record.resize(size);
  if (std::fread(m_record.data(), 1, size, m_file) != size) {
    m_failed = true;
    return false;
  }
  record = m_record;
  return true;
}

std::uint32_t decodeRecord(std::string_view record, PriceRow& row) {
  const char* p = record.data();
  const auto code = std::uint32_t(getVarint(p));
  row.day = int(getVarint(p));
  row.market = int(getVarint(p));
  row.name = int(getVarint(p));
  for (Value& value : row.values) {
    value = getValue(p);
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
