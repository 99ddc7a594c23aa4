#include "series.h"

#include "check/stable_read.h"
#include "common/field_reader.h"
#include "common/sjis.h"
#include "common/vector_state.h"
#include "history/day_file.h"
#include "history/day_listing.h"
#include "history/export.h"
#include "history/price_store.h"
#include "history/schema.h"
#include "history/sqlite_db.h"
#include "settings/folder_layout.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace kabuka::history {

namespace {

bool sameStamp(const DayFileStamp& a, const DayFileStamp& b) {
  return a.relative == b.relative && a.bytes == b.bytes && a.mtimeNs == b.mtimeNs;
}

// True when every day file is in the database as it is now, or was left out as
// damaged as it is now, and no stored day has lost its file.
bool inStep(PriceStore& store, const DayListing& listing) {
  const QHash<QDate, StoredDay> stored = store.storedDays();
  const QHash<QString, RejectedFile> rejected = store.rejectedFiles();
  qsizetype matched = 0;
  for (const DayFileStamp& stamp : listing.days) {
    const auto day = stored.constFind(stamp.date);
    if (day != stored.constEnd()) {
      if (!sameStamp(day->stamp, stamp)) {
        return false;
      }
      ++matched;
      continue;
    }
    const auto refused = rejected.constFind(stamp.relative);
    if (refused == rejected.constEnd() || !sameStamp(refused->stamp, stamp)) {
      return false;
    }
  }
  return matched == stored.size();
}

Value valueAt(const Statement& select, int column) {
  switch (select.columnType(column)) {
    case SQLITE_INTEGER:
      return Value::ofInteger(select.columnInt(column));
    case SQLITE_FLOAT:
      return Value::ofReal(select.columnReal(column));
    case SQLITE_NULL:
      return Value{};
    default:
      return Value::ofText(select.columnText(column));
  }
}

QList<SeriesRow> rowsFromDatabase(Database& db, const SeriesOptions& options) {
  Statement select = db.prepare(
      "SELECT r.day, m.name, n.name, r.open, r.high, r.low, r.close, r.volume "
      "FROM price_rows AS r JOIN markets AS m ON m.id = r.market JOIN names AS n ON n.id = r.name "
      "WHERE r.code = ?1 AND r.day BETWEEN ?2 AND ?3 AND (?4 IS NULL OR m.name = ?4) "
      "ORDER BY r.day, m.name");
  const QByteArray code = options.code.toUtf8();
  select.bindText(1, std::string_view(code.constData(), size_t(code.size())));
  select.bindInt(2, options.from.isValid() ? unixDay(options.from) : 0);
  select.bindInt(3, options.to.isValid() ? unixDay(options.to) : INT32_MAX);
  if (options.market.isEmpty()) {
    select.bindNull(4);
  } else {
    select.bindText(4, options.market);
  }
  QList<SeriesRow> rows;
  while (select.step()) {
    SeriesRow row{dateOfUnixDay(select.columnInt(0)),
                  options.code,
                  select.columnText(1),
                  select.columnText(2),
                  {}};
    for (int v = 0; v < 5; ++v) {
      row.values[size_t(v)] = valueAt(select, 3 + v);
    }
    rows.append(row);
  }
  return rows;
}

const char* find(const char* from, const char* end, char c) {
  const auto* at = static_cast<const char*>(std::memchr(from, c, size_t(end - from)));
  return at != nullptr ? at : end;
}

// True when the plain line at `line` may begin with the field `code`: after the
// blanks the field rule skips, the code and the comma that ends it.
bool mayStartWith(const char* line, const char* lineEnd, std::string_view code) {
  while (line != lineEnd && (*line == ' ' || *line == '\t')) {
    ++line;
  }
  return size_t(lineEnd - line) > code.size() && std::memcmp(line, code.data(), code.size()) == 0 &&
         line[code.size()] == ',';
}

// Looks for one stock's records in the bytes of a sound day file, which the
// converter would split into records of eight fields. A line without a quote is
// one such record; a line with one is read with the field rule, as a quoted
// field may hold a line end. Only the records whose first field is the code are
// split and converted.
class CodeSearch {
public:
  CodeSearch(const SeriesOptions& options)
      : m_code(options.code),
        m_market(options.market),
        m_sjis(toSjis(options.code).toStdString()),
        m_plainCode(!hasNonAscii(QByteArrayView(m_sjis.data(), qsizetype(m_sjis.size())))) {}

  void search(std::string_view bytes, const QDate& date, QList<SeriesRow>& out) const {
    if (!bytes.empty() && bytes.back() == '\x1a') {
      bytes.remove_suffix(1);  // a DOS end-of-file mark, as the converter reads it
    }
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    const char* quote = find(p, end, '"');
    for (bool header = true; p < end; header = false) {
      const char* const lineEnd = find(p, end, '\n');
      const char* next = lineEnd == end ? end : lineEnd + 1;
      if (quote < lineEnd || !m_plainCode) {
        next = take(p, end, header, date, out);
        quote = quote < next ? find(next, end, '"') : quote;
      } else if (!header && mayStartWith(p, lineEnd, m_sjis)) {
        take(p, end, header, date, out);
      }
      p = next;
    }
  }

private:
  // Reads the record at `p` with the field rule, keeps it when it is the code's,
  // and returns where the next record starts.
  const char* take(const char* p, const char* end, bool header, const QDate& date,
                   QList<SeriesRow>& out) const {
    FieldReader reader(std::string_view(p, size_t(end - p)));
    std::array<std::string_view, 8> fields;
    Field field;
    for (std::string_view& slot : fields) {
      reader.next(field);
      slot = field.bytes;
    }
    if (header || decodeField(fields[0]) != m_code) {
      return reader.position();
    }
    SeriesRow row{date, m_code, decodeField(fields[1]), decodeField(fields[2]), {}};
    if (m_market.isEmpty() || row.market == m_market) {
      for (size_t v = 0; v < 5; ++v) {
        row.values[v] = typedValue(fields[v + 3]);
      }
      out.append(row);
    }
    return reader.position();
  }

  const QString m_code;
  const QString m_market;
  const std::string m_sjis;
  const bool m_plainCode;  // ASCII: found by its bytes; else every record is decoded
};

// The days of the listing in the options' range.
std::vector<DayFileStamp> daysInRange(const DayListing& listing, const SeriesOptions& options) {
  std::vector<DayFileStamp> days;
  for (const DayFileStamp& day : listing.days) {
    if ((!options.from.isValid() || day.date >= options.from) &&
        (!options.to.isValid() || day.date <= options.to)) {
      days.push_back(day);
    }
  }
  return days;
}

// Reads the day files on worker threads, stably, and judges each as the export
// does: a file that changes while it is read, cannot be read or is damaged is
// not in the database, so it gives no rows here either.
QList<SeriesRow> rowsFromDayFiles(const DayListing& listing, const SeriesOptions& options) {
  const std::vector<DayFileStamp> days = daysInRange(listing, options);
  const CodeSearch search(options);
  std::vector<QList<SeriesRow>> perDay(days.size());
  std::atomic<size_t> next{0};
  const auto work = [&] {
    check::StableFileReader reader;
    check::DayFileScanner scanner;
    for (size_t i = next++; i < days.size(); i = next++) {
      const DayFileStamp& day = days[i];
      if (reader.read(options.dbPath + day.relative, {}) !=
          check::StableFileReader::Outcome::Read) {
        continue;
      }
      const QByteArray name = layout::dayDigits(day.date).toLatin1();
      if (scanner.scan(reader.bytes(), std::string_view(name.constData(), 8)).sound()) {
        search.search(reader.bytes(), day.date, perDay[i]);
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < std::clamp(options.workers, 1, 8); ++i) {
    helpers.emplace_back(work);
  }
  work();
  for (std::thread& helper : helpers) {
    helper.join();
  }
  QList<SeriesRow> rows;
  for (QList<SeriesRow>& day : perDay) {
    // The database's order on a day: by market, in the byte order of UTF-8.
    std::stable_sort(day.begin(), day.end(), [](const SeriesRow& a, const SeriesRow& b) {
      return a.market.toUtf8() < b.market.toUtf8();
    });
    rows += day;
  }
  return rows;
}

}  // namespace

SeriesResult readSeries(const SeriesOptions& options) {
  releaseUpperVectorState();
  SeriesResult result;
  const QString sqlitePath =
      options.sqlitePath.isEmpty() ? defaultSqlitePath(options.dbPath) : options.sqlitePath;
  const DayListing listing = listDayFiles(options.dbPath, options.dayFolder);
  if (!QFileInfo::exists(sqlitePath)) {
    result.whyDayFiles = QStringLiteral("データベースファイルがありません");
  } else {
    Database db;
    PriceStore store(db);
    if (!db.open(sqlitePath, Database::Mode::ReadOnly, 5000) ||
        schemaState(db) != SchemaState::Current) {
      result.whyDayFiles = QStringLiteral("データベースファイルを読めません");
    } else if (!db.exec("BEGIN") || !inStep(store, listing)) {
      result.whyDayFiles = QStringLiteral("データベースが日毎のファイルと揃っていません");
    } else {
      result.source = SeriesResult::Source::Database;
      result.rows = rowsFromDatabase(db, options);
      return result;
    }
  }
  if (listing.days.isEmpty() && !QFileInfo(options.dbPath).isDir()) {
    result.error = QStringLiteral("データベースのフォルダがありません: ") + options.dbPath;
    return result;
  }
  result.rows = rowsFromDayFiles(listing, options);
  return result;
}

}  // namespace kabuka::history
