#include "spill.h"

#include "history/row_codec.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace kabuka::history {

SpillWriter::~SpillWriter() {
  close();
}

bool SpillWriter::open(const QString& path) {
  m_file = std::fopen(QFile::encodeName(path).constData(), "wb");
  m_failed = m_file == nullptr;
  return !m_failed;
}

void SpillWriter::appendRecords(std::string_view records) {
  m_buffer.append(records);
  if (m_buffer.size() >= kBufferBytes) {
    flush();
  }
}

void SpillWriter::appendRecord(std::string_view record) {
  char length[10];
  m_buffer.append(length, writeVarint(length, record.size()));
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
  const std::uint64_t size = readVarint(p);
  m_at = size_t(p - m_buffer.data());
  if (!fill(size)) {
    m_failed = true;
    return false;
  }
  record = std::string_view(m_buffer.data() + m_at, size);
  m_at += size;
  return true;
}

}  // namespace kabuka::history
