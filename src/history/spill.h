#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kabuka::history {

// Records of RowEncoder, each after its length, written to a scratch file and
// read back in order.
class SpillWriter {
public:
  SpillWriter() = default;
  ~SpillWriter();
  SpillWriter(const SpillWriter&) = delete;
  SpillWriter& operator=(const SpillWriter&) = delete;

  bool open(const QString& path);
  // Appends records as RowEncoder wrote them.
  void appendRecords(std::string_view records);
  // Appends one record as SpillReader gives it.
  void appendRecord(std::string_view record);
  bool close();  // false when anything could not be written

private:
  // Some dozens are open at once while a bulk load reads the day files.
  static constexpr size_t kBufferBytes = 1 << 18;
  void flush();
  std::FILE* m_file = nullptr;
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

}  // namespace kabuka::history
