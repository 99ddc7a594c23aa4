#include "splitter.h"

#include "common/field_reader.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kabuka {

namespace {

constexpr int kFieldsPerRecord = 8;

struct Record {
  std::array<Field, kFieldsPerRecord> fields;
  std::string_view raw;  // the input the record was read from, delimiters included
};

// Reads one record; false when the input ends before all eight fields came.
bool readRecord(FieldReader& reader, Record& record) {
  const char* const start = reader.position();
  for (Field& field : record.fields) {
    if (!reader.next(field)) {
      return false;
    }
  }
  record.raw = std::string_view(start, size_t(reader.position() - start));
  return true;
}

bool needsQuotes(std::string_view field) {
  return field.find_first_of(",\r\n") != std::string_view::npos;
}

// True when the record's input is already its output: eight unquoted fields with
// nothing between them but single commas, ended by CR LF. Most records are.
bool isWrittenAsRead(const Record& record) {
  const char* expected = record.raw.data();
  for (int i = 0; i < kFieldsPerRecord; ++i) {
    const Field& field = record.fields[i];
    if (field.quoted || field.bytes.data() != expected) {
      return false;
    }
    expected += field.bytes.size();
    const std::string_view ending = i + 1 < kFieldsPerRecord ? "," : "\r\n";
    if (std::string_view(expected, size_t(record.raw.data() + record.raw.size() - expected))
            .substr(0, ending.size()) != ending) {
      return false;
    }
    expected += ending.size();
  }
  return expected == record.raw.data() + record.raw.size();
}

void appendRecord(std::string& out, const Record& record) {
  if (isWrittenAsRead(record)) {
    out.append(record.raw);
    return;
  }
  for (int i = 0; i < kFieldsPerRecord; ++i) {
    if (i > 0) {
      out.push_back(',');
    }
    const std::string_view bytes = record.fields[i].bytes;
    // A comma or line end written bare would shift every later field when the day
    // file is read back; quoting keeps the record whole.
    if (record.fields[i].quoted && needsQuotes(bytes)) {
      out.push_back('"');
      out.append(bytes);
      out.push_back('"');
    } else {
      out.append(bytes);
    }
  }
  out.append("\r\n");
}

bool writeDayFile(const QString& path, const std::string& content) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return false;
  }
  if (file.write(content.data(), qint64(content.size())) != qint64(content.size())) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

// Anything but empty fields after the last announced block means the counts do not
// describe the file, and some of its days would be lost unnoticed.
bool onlyEmptyFieldsLeft(FieldReader& reader) {
  Field field;
  while (reader.next(field)) {
    if (!field.bytes.empty() && field.bytes != "\x1a") {  // a DOS end-of-file mark is harmless
      return false;
    }
  }
  return true;
}

class MonthFileSplitter {
public:
  MonthFileSplitter(std::string_view input, const QString& dailyFolder, RunWindow& window)
      : m_reader(input), m_dailyFolder(dailyFolder), m_window(window) {}

  SplitResult run() {
    SplitResult result;
    Record header;
    if (!readRecord(m_reader, header)) {
      return result;
    }
    bool allWritten = true;
    const long long blocks = countOf(header.fields[1].bytes);
    for (long long block = 0; block < blocks; ++block) {
      const BlockOutcome outcome = splitBlock();
      if (outcome == BlockOutcome::Written) {
        ++result.dayFilesWritten;
        m_window.yield();
      } else if (outcome == BlockOutcome::Truncated) {
        return result;
      } else {
        allWritten = false;
      }
    }
    result.complete = allWritten && onlyEmptyFieldsLeft(m_reader);
    return result;
  }

private:
  enum class BlockOutcome { Written, NotWritten, Truncated };

  BlockOutcome splitBlock() {
    Record record;
    if (!readRecord(m_reader, record)) {
      return BlockOutcome::Truncated;
    }
    const std::string_view dayName = record.fields[0].bytes;
    const bool nameOk = isDayName(dayName);
    const QString path = m_dailyFolder +
                         QString::fromLatin1(dayName.data(), qsizetype(dayName.size())) +
                         QStringLiteral(".csv");
    m_buffer.clear();
    appendRecord(m_buffer, record);
    const long long rows = countOf(record.fields[1].bytes);
    for (long long row = 0; row < rows; ++row) {
      if (!readRecord(m_reader, record)) {
        return BlockOutcome::Truncated;  // the day is incomplete: nothing of it is written
      }
      appendRecord(m_buffer, record);
    }
    if (!nameOk) {
      return BlockOutcome::NotWritten;
    }
    return writeDayFile(path, m_buffer) ? BlockOutcome::Written : BlockOutcome::NotWritten;
  }

  FieldReader m_reader;
  const QString& m_dailyFolder;
  RunWindow& m_window;
  std::string m_buffer;  // one day at a time, reused
};

}  // namespace

long long countOf(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) {
    ++i;
  }
  const size_t start = i;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    ++i;
  }
  while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
    ++i;
  }
  if (i < field.size() && field[i] == '.') {
    ++i;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
      ++i;
    }
  }
  const std::string number(field.substr(start, i - start));
  char* parsedEnd = nullptr;
  const double value = std::strtod(number.c_str(), &parsedEnd);
  if (parsedEnd == number.c_str() || !std::isfinite(value)) {
    return 0;
  }
  // Far beyond any real count; kept finite so the loops stay well defined.
  constexpr double kLimit = 1e15;
  return static_cast<long long>(std::nearbyint(std::clamp(value, -kLimit, kLimit)));
}

bool isDayName(std::string_view field) {
  return field.size() == 8 &&
         std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

SplitResult data_d_csv_sub(const QString& monthFilePath, const QString& dailyFolder,
                           RunWindow& window) {
  window.yield();
  QFile file(monthFilePath);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  SplitResult result;
  const qint64 size = file.size();
  if (size > 0) {
    // Mapped, not read: the file is walked once, front to back.
    const uchar* mapped = file.map(0, size);
    QByteArray copy;
    std::string_view input;
    if (mapped != nullptr) {
      input = std::string_view(reinterpret_cast<const char*>(mapped), size_t(size));
    } else {
      copy = file.readAll();
      input = std::string_view(copy.constData(), size_t(copy.size()));
    }
    result = MonthFileSplitter(input, dailyFolder, window).run();
  }
  file.close();
  if (result.complete) {
    window.setLabel1Colour(kBlue);
    window.setLabel1Caption(kSplitDoneText);
  }
  return result;
}

}  // namespace kabuka
