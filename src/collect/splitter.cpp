#include "splitter.h"

#include "collect/records.h"
#include "collect/staged_files.h"
#include "common/field_reader.h"
#include "settings/folder_layout.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace kabuka {

namespace {

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
  // The file ended with a DOS end-of-file mark, which ends its last line too.
  bool endedByMark() const { return m_endedByMark; }
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
    if (m_end > m_start && m_buffer[m_end - 1] == kEndOfFileMark) {
      --m_end;
      m_endedByMark = true;
    }
  }

  QIODevice& m_file;
  std::vector<char> m_buffer;
  size_t m_start = 0;
  size_t m_end = 0;
  bool m_endOfFile = false;
  bool m_endedByMark = false;
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

// A name from the file as a message may show it: printable ASCII only, so no
// control character of a hostile file reaches a terminal.
QString printableName(std::string_view name) {
  constexpr size_t kLongest = 24;
  QString text;
  for (char c : name.substr(0, kLongest)) {
    text += (c >= 0x20 && c < 0x7f) ? QLatin1Char(c) : QLatin1Char('?');
  }
  return name.size() > kLongest ? text + QStringLiteral("...") : text;
}

class MonthFileSplitter {
public:
  MonthFileSplitter(QIODevice& monthFile, const SplitOptions& options, SplitMonth month,
                    const QString& dailyFolder, RunWindow& window)
      : m_input(monthFile, options.readWindowBytes),
        m_month(month),
        m_dailyFolder(dailyFolder),
        m_window(window) {
    m_days.keepUnchangedFiles(options.keepUnchangedFiles);
  }

  SplitResult run() {
    long long blocks = 0;
    const bool headerRead = readPiece([this, &blocks](FieldReader& reader) {
      Record header;
      if (!readRecord(reader, header)) {
        return false;
      }
      blocks = countOf(header.fields[1].bytes);
      m_lastRecordEndsLine = endsWithLineEnd(header);
      return true;
    });
    if (!headerRead) {
      return finish(SplitProblem::CutShort, QStringLiteral("ファイルのヘッダ"));
    }
    bool truncated = false;
    for (long long block = 0; block < blocks && !truncated; ++block) {
      truncated = !splitBlock();
      if (!truncated) {
        m_window.yield();
      }
    }
    if (!truncated && !lastLineEnded()) {
      // The last day ends in a field that may be cut short: it is not stored.
      note(SplitProblem::CutShort, QStringLiteral("最後の行"));
      if (m_lastDayStaged) {
        m_days.discardLast();
      }
    }
    // The days read whole are stored even when the file breaks off later.
    const StagedFiles::Committed committed = m_days.commit();
    m_result.dayFilesWritten = committed.files;
    if (!committed.all) {
      note(SplitProblem::NotCommitted);
    }
    return finish(SplitProblem::None);
  }

private:
  static SplitResult wholeSoFar() {
    SplitResult result;
    result.problem = SplitProblem::None;
    return result;
  }

  SplitResult finish(SplitProblem problem, QString detail = {}) {
    note(problem, std::move(detail));
    m_result.complete = m_result.problem == SplitProblem::None;
    return m_result;
  }

  // Keeps the first problem met: the later ones often follow from it.
  void note(SplitProblem problem, QString detail = {}) {
    if (m_result.problem == SplitProblem::None && problem != SplitProblem::None) {
      m_result.problem = problem;
      m_result.detail = std::move(detail);
    }
  }

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

  // Reads one day and stages its file; false when the file ends inside the day,
  // which is then not written at all.
  bool splitBlock() {
    if (m_input.runningLow()) {
      m_input.refill();  // cheaper than reading a day twice when it overruns the window
    }
    std::string dayName;
    std::string_view content;
    bool endsLine = false;
    const bool whole = readPiece([this, &dayName, &content, &endsLine](FieldReader& reader) {
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
      endsLine = endsWithLineEnd(record);
      return true;
    });
    if (!whole) {
      note(SplitProblem::CutShort, printableName(dayName));
      return false;
    }
    m_lastRecordEndsLine = endsLine;
    m_lastDayStaged = false;
    if (!isDayOfMonth(dayName, m_month)) {
      note(SplitProblem::NotOfTheMonth, printableName(dayName));
      return true;
    }
    const QString path = m_dailyFolder + layout::dayFileName(QString::fromLatin1(dayName));
    const StagedFiles::Added added = m_days.add(path, content);
    m_lastDayStaged = added == StagedFiles::Added::Staged;
    m_result.dayFilesUnchanged += added == StagedFiles::Added::Unchanged ? 1 : 0;
    if (added == StagedFiles::Added::Failed) {
      note(SplitProblem::NotWritten, path);
    }
    return true;
  }

  // Reads what follows the last day: only filler may, or the counts do not
  // describe the file. True when the last record ended with a line end (or the
  // filler after it holds one, or an end-of-file mark ends the text): a transfer
  // cut inside the last field leaves counts that all match.
  bool lastLineEnded() {
    bool lineEndFollows = false;
    do {
      const std::string_view rest = m_input.unread();
      if (!std::all_of(rest.begin(), rest.end(), isTrailingFiller)) {
        note(SplitProblem::DataBeyondCounts);
        return true;
      }
      lineEndFollows = lineEndFollows || std::any_of(rest.begin(), rest.end(), isLineEnd);
      m_input.consumeTo(rest.data() + rest.size());
    } while (m_input.refill());
    return m_lastRecordEndsLine || lineEndFollows || m_input.endedByMark();
  }

  InputWindow m_input;
  SplitMonth m_month;
  const QString& m_dailyFolder;
  RunWindow& m_window;
  std::string m_buffer;  // one day at a time, reused
  StagedFiles m_days;    // written as read, stored together at the end
  bool m_lastRecordEndsLine = false;
  bool m_lastDayStaged = false;
  SplitResult m_result = wholeSoFar();
};

}  // namespace

QString splitProblemText(const SplitResult& result) {
  switch (result.problem) {
    case SplitProblem::None:
      return {};
    case SplitProblem::Unreadable:
      return QStringLiteral("月ファイルを読めませんでした");
    case SplitProblem::CutShort:
      return QStringLiteral("月ファイルが途中で切れています（%1）").arg(result.detail);
    case SplitProblem::NotOfTheMonth:
      return QStringLiteral("月ファイルにこの月の日付でないブロック「%1」があります")
          .arg(result.detail);
    case SplitProblem::NotWritten:
      return QStringLiteral("日毎株価ファイル「%1」を書けませんでした").arg(result.detail);
    case SplitProblem::NotCommitted:
      return QStringLiteral("日毎株価ファイルをディスクに書き出せませんでした");
    case SplitProblem::DataBeyondCounts:
      break;
  }
  return QStringLiteral("月ファイルに件数より多くのデータがあります");
}

SplitResult data_d_csv_sub(const QString& monthFilePath, SplitMonth month,
                           const QString& dailyFolder, RunWindow& window,
                           const SplitOptions& options) {
  window.yield();
  QFile file(monthFilePath);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  const SplitResult result = MonthFileSplitter(file, options, month, dailyFolder, window).run();
  file.close();
  if (result.complete) {
    window.setLabel1Colour(kBlue);
    window.setLabel1Caption(kSplitDoneText);
  }
  return result;
}

}  // namespace kabuka
