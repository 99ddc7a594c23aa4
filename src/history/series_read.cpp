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

// The records of a sound day file whose code is `code`: candidates are found by
// searching the bytes, then read with the field rule from their line's start.
void recordsWithCode(std::string_view bytes, std::string_view code, const QDate& date,
                     const QString& market, QList<SeriesRow>& out) {
  for (size_t at = bytes.find(code); at != std::string_view::npos; at = bytes.find(code, at + 1)) {
    size_t start = at;
    while (start > 0 &&
           (bytes[start - 1] == ' ' || bytes[start - 1] == '\t' || bytes[start - 1] == '"')) {
      --start;
    }
    if (start == 0 || bytes[start - 1] != '\n') {
      continue;  // not the first field of a record (the first line is the header)
    }
    FieldReader reader(bytes.substr(start));
    std::array<std::string_view, 8> fields;
    Field field;
    for (std::string_view& slot : fields) {
      reader.next(field);
      slot = field.bytes;
    }
    if (fields[0] != code) {
      continue;
    }
    SeriesRow row{date, decodeField(fields[0]), decodeField(fields[1]), decodeField(fields[2]), {}};
    if (!market.isEmpty() && row.market != market) {
      continue;
    }
    for (size_t v = 0; v < 5; ++v) {
      row.values[v] = typedValue(fields[v + 3]);
    }
    out.append(row);
  }
}

QList<SeriesRow> rowsFromDayFiles(const DayListing& listing, const SeriesOptions& options) {
  QList<DayFileStamp> days = listing.days;
  days.removeIf([&](const DayFileStamp& day) {
    return (options.from.isValid() && day.date < options.from) ||
           (options.to.isValid() && day.date > options.to);
  });
  const std::string code = toSjis(options.code).toStdString();
  std::vector<QList<SeriesRow>> perDay(size_t(days.size()));
  std::atomic<qsizetype> next{0};
  const auto work = [&] {
    check::StableFileReader reader;
    check::DayFileScanner scanner;
    for (qsizetype i = next++; i < days.size(); i = next++) {
      const DayFileStamp& day = days[i];
      if (reader.read(options.dbPath + day.relative, {}) !=
          check::StableFileReader::Outcome::Read) {
        continue;
      }
      const QByteArray name = day.date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
      if (scanner.scan(reader.bytes(), std::string_view(name.constData(), 8)).sound()) {
        recordsWithCode(reader.bytes(), code, day.date, options.market, perDay[size_t(i)]);
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
