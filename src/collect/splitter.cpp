#include "splitter.h"

#include "collect/staged_files.h"
#include "common/field_reader.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

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
  const char* const end = expected + record.raw.size();
  for (int i = 0; i < kFieldsPerRecord; ++i) {
    const Field& field = record.fields[i];
    if (field.quoted || field.bytes.data() != expected) {
      return false;
    }
    expected += field.bytes.size();
    if (i + 1 < kFieldsPerRecord) {
      if (expected == end || *expected != ',') {
        return false;
      }
      ++expected;
    }
  }
  return end - expected == 2 && expected[0] == '\r' && expected[1] == '\n';
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

// What may follow the last announced block: empty fields, blank lines, and a DOS
// end-of-file mark. Anything else means the counts do not describe the file, and
// some of its days would be lost unnoticed.
bool isTrailingFiller(char c) {
  return c == ',' || c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '"' || c == '\x1a';
}

// The month file seen through a window of it, so that a month is never held in
// memory whole. The window always starts at the first byte not yet used.
class InputWindow {
public:
  InputWindow(QIODevice& file, size_t initialSize)
      : m_file(file), m_buffer(std::max<size_t>(initialSize, 2)) {}

  std::string_view unread() const { return {m_buffer.data() + m_start, m_end - m_start}; }
  // True when less than half a window is left unread, so that a day that starts
  // now might not fit what is in.
  bool runningLow() const { return !m_endOfFile && (m_end - m_start) < m_buffer.size() / 2; }
  bool atEndOfFile() const { return m_endOfFile; }
  void consumeTo(const char* position) { m_start = size_t(position - m_buffer.data()); }

  // Brings in more of the file behind what is unread, growing the window when the
  // unread part fills half of it; false once the whole file is in.
  bool refill() {
    if (m_endOfFile) {
      return false;
    }
    const size_t unreadSize = m_end - m_start;
    std::memmove(m_buffer.data(), m_buffer.data() + m_start, unreadSize);
    m_start = 0;
    m_end = unreadSize;
    if (m_buffer.size() - m_end < m_buffer.size() / 2) {
      m_buffer.resize(m_buffer.size() * 2);
    }
    const qint64 got = m_file.read(m_buffer.data() + m_end, qint64(m_buffer.size() - m_end));
    if (got <= 0) {
      m_endOfFile = true;
      dropEndOfFileMark();
    } else {
      m_end += size_t(got);
    }
    return true;
  }

private:
  // A DOS end-of-file mark as the last byte ends the text there, even straight
  // after the last field; left in, it would become part of that field. A piece
  // that reached the old end is always read again once the end is known.
  void dropEndOfFileMark() {
    if (m_end > m_start && m_buffer[m_end - 1] == '\x1a') {
      --m_end;
    }
  }

  QIODevice& m_file;
  std::vector<char> m_buffer;
  size_t m_start = 0;
  size_t m_end = 0;
  bool m_endOfFile = false;
};

// The text of one day file. As long as every record is written as it was read,
// the day is the very bytes of the month file and nothing is copied; the first
// record that needs rewriting starts a copy.
class DayText {
public:
  DayText(const char* start, std::string& buffer) : m_start(start), m_buffer(buffer) {}

  void take(const Record& record) {
    if (m_asRead && isWrittenAsRead(record)) {
      return;
    }
    if (m_asRead) {
      m_buffer.assign(m_start, record.raw.data());
      m_asRead = false;
    }
    appendRecord(m_buffer, record);
  }

  // Valid until the input window moves on.
  std::string_view text(const char* end) const {
    return m_asRead ? std::string_view(m_start, size_t(end - m_start)) : std::string_view(m_buffer);
  }

private:
  const char* m_start;
  std::string& m_buffer;
  bool m_asRead = true;
};

class MonthFileSplitter {
public:
  MonthFileSplitter(QIODevice& monthFile, size_t readWindowBytes, const QString& dailyFolder,
                    RunWindow& window)
      : m_input(monthFile, readWindowBytes), m_dailyFolder(dailyFolder), m_window(window) {}

  SplitResult run() {
    SplitResult result;
    long long blocks = 0;
    const bool headerRead = readPiece([&blocks](FieldReader& reader) {
      Record header;
      if (!readRecord(reader, header)) {
        return false;
      }
      blocks = countOf(header.fields[1].bytes);
      return true;
    });
    if (!headerRead) {
      return result;
    }
    bool allStaged = true;
    bool truncated = false;
    for (long long block = 0; block < blocks && !truncated; ++block) {
      const BlockOutcome outcome = splitBlock();
      truncated = outcome == BlockOutcome::Truncated;
      allStaged = allStaged && outcome == BlockOutcome::Written;
      if (!truncated) {
        m_window.yield();
      }
    }
    // The days read whole are stored even when the file breaks off later.
    const StagedFiles::Committed committed = m_days.commit();
    result.dayFilesWritten = committed.files;
    result.complete = !truncated && allStaged && committed.all && onlyFillerLeft();
    return result;
  }

private:
  enum class BlockOutcome { Written, NotWritten, Truncated };

  // Reads one piece of the file (a record, a day block) with `parse`, which returns
  // false when the input ran out before the piece was whole. A piece that reaches
  // the end of the window might go on in the file, so it is read again over a
  // window that reaches further. False when the file ends inside the piece.
  template <typename Parse>
  bool readPiece(Parse&& parse) {
    for (;;) {
      const std::string_view input = m_input.unread();
      FieldReader reader(input);
      const bool whole = parse(reader);
      const bool reachedWindowEnd = reader.position() == input.data() + input.size();
      if (m_input.atEndOfFile() || (whole && !reachedWindowEnd)) {
        if (whole) {
          m_input.consumeTo(reader.position());
        }
        return whole;
      }
      m_input.refill();
    }
  }

  BlockOutcome splitBlock() {
    if (m_input.runningLow()) {
      m_input.refill();  // cheaper than reading a day twice when it overruns the window
    }
    std::string dayName;
    std::string_view content;
    const bool whole = readPiece([this, &dayName, &content](FieldReader& reader) {
      DayText day(reader.position(), m_buffer);
      Record record;
      if (!readRecord(reader, record)) {
        return false;
      }
      dayName = record.fields[0].bytes;
      day.take(record);
      const long long rows = countOf(record.fields[1].bytes);
      for (long long row = 0; row < rows; ++row) {
        if (!readRecord(reader, record)) {
          return false;
        }
        day.take(record);
      }
      content = day.text(reader.position());
      return true;
    });
    if (!whole) {
      return BlockOutcome::Truncated;  // the day is incomplete: nothing of it is written
    }
    if (!isDayName(dayName)) {
      return BlockOutcome::NotWritten;
    }
    const QString path = m_dailyFolder + QString::fromLatin1(dayName) + QStringLiteral(".csv");
    return m_days.add(path, content) ? BlockOutcome::Written : BlockOutcome::NotWritten;
  }

  bool onlyFillerLeft() {
    do {
      const std::string_view rest = m_input.unread();
      if (!std::all_of(rest.begin(), rest.end(), isTrailingFiller)) {
        return false;
      }
      m_input.consumeTo(rest.data() + rest.size());
    } while (m_input.refill());
    return true;
  }

  InputWindow m_input;
  const QString& m_dailyFolder;
  RunWindow& m_window;
  std::string m_buffer;  // one day at a time, reused
  StagedFiles m_days;    // written as read, stored together at the end
};

}  // namespace

long long countOf(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) {
    ++i;
  }
  // from_chars takes no leading "+", which a count may carry.
  if (i + 1 < field.size() && field[i] == '+' && field[i + 1] != '-') {
    ++i;
  }
  double value = 0;
  const char* const first = field.data() + i;
  const char* const last = field.data() + field.size();
  // Always the "." decimal point, whatever the user's locale says.
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (error != std::errc() || !std::isfinite(value)) {
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
                           RunWindow& window, size_t readWindowBytes) {
  window.yield();
  QFile file(monthFilePath);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  const SplitResult result = MonthFileSplitter(file, readWindowBytes, dailyFolder, window).run();
  file.close();
  if (result.complete) {
    window.setLabel1Colour(kBlue);
    window.setLabel1Caption(kSplitDoneText);
  }
  return result;
}

}  // namespace kabuka
