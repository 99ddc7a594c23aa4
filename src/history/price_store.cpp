#include "price_store.h"

#include "history/schema.h"

#include <sqlite3.h>

namespace kabuka::history {

namespace {

std::vector<TextTable::Entry> loadTexts(Database& db, std::string_view table) {
  std::vector<TextTable::Entry> entries;
  Statement select = db.prepare("SELECT id, name FROM " + std::string(table));
  while (select.isValid() && select.step()) {
    const std::string_view name = select.columnBytes(1);
    entries.emplace_back(int(select.columnInt(0)), QByteArray(name.data(), qsizetype(name.size())));
  }
  return entries;
}

QString isoDate(const QDate& date) {
  return date.toString(Qt::ISODate);
}

}  // namespace

bool PriceStore::open() {
  if (!m_feed.attach(m_db)) {
    return false;
  }
  m_insertFeed = m_db.prepare("INSERT INTO price_rows SELECT * FROM temp.row_feed");
  // Every code is a range of the key: one seek per code finds a day's rows.
  m_deleteDay =
      m_db.prepare("DELETE FROM price_rows WHERE code IN (SELECT code FROM codes) AND day = ?1");
  m_putDay = m_db.prepare(
      "INSERT OR REPLACE INTO day_files (date, path, bytes, mtime_ns, checksum, records, header) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  m_refresh =
      m_db.prepare("UPDATE day_files SET path = ?2, bytes = ?3, mtime_ns = ?4 WHERE date = ?1");
  m_removeDay = m_db.prepare("DELETE FROM day_files WHERE date = ?1");
  m_putRejected = m_db.prepare(
      "INSERT OR REPLACE INTO rejected_files (path, bytes, mtime_ns, problems) "
      "VALUES (?1, ?2, ?3, ?4)");
  m_removeRejected = m_db.prepare("DELETE FROM rejected_files WHERE path = ?1");
  m_insertMarket = m_db.prepare("INSERT INTO markets (id, name) VALUES (?1, ?2)");
  m_insertName = m_db.prepare("INSERT INTO names (id, name) VALUES (?1, ?2)");
  m_insertCode = m_db.prepare("INSERT OR IGNORE INTO codes (code) VALUES (?1)");
  for (const Statement* statement :
       {&m_insertFeed, &m_deleteDay, &m_putDay, &m_refresh, &m_removeDay, &m_putRejected,
        &m_removeRejected, &m_insertMarket, &m_insertName, &m_insertCode}) {
    if (!statement->isValid()) {
      return false;
    }
  }
  m_markets.load(loadTexts(m_db, "markets"));
  m_names.load(loadTexts(m_db, "names"));
  m_marketsStored = m_markets.lastId();
  m_namesStored = m_names.lastId();
  std::vector<TextTable::Entry> codes;
  m_codeTexts.assign(1, {});
  Statement select = m_db.prepare("SELECT code FROM codes");
  while (select.isValid() && select.step()) {
    const std::string_view code = select.columnBytes(0);
    m_codeTexts.emplace_back(code);
    codes.emplace_back(int(codes.size()) + 1, QByteArray(code.data(), qsizetype(code.size())));
  }
  m_codes.load(codes);
  return true;
}

QHash<QDate, StoredDay> PriceStore::storedDays() {
  QHash<QDate, StoredDay> days;
  Statement select =
      m_db.prepare("SELECT date, path, bytes, mtime_ns, checksum, records FROM day_files");
  while (select.isValid() && select.step()) {
    StoredDay day;
    day.stamp.date = QDate::fromString(select.columnText(0), Qt::ISODate);
    day.stamp.relative = select.columnText(1);
    day.stamp.bytes = select.columnInt(2);
    day.stamp.mtimeNs = select.columnInt(3);
    day.checksum = select.columnText(4);
    day.records = select.columnInt(5);
    days.insert(day.stamp.date, day);
  }
  return days;
}

QHash<QString, RejectedFile> PriceStore::rejectedFiles() {
  QHash<QString, RejectedFile> files;
  Statement select = m_db.prepare("SELECT path, bytes, mtime_ns, problems FROM rejected_files");
  while (select.isValid() && select.step()) {
    RejectedFile file;
    file.stamp.relative = select.columnText(0);
    file.stamp.bytes = select.columnInt(1);
    file.stamp.mtimeNs = select.columnInt(2);
    file.problems = select.columnText(3).split(QLatin1Char('\n'));
    files.insert(file.stamp.relative, file);
  }
  return files;
}

bool PriceStore::hasRows() {
  return m_db.queryInt("SELECT EXISTS (SELECT 1 FROM price_rows)", 0) != 0;
}

bool PriceStore::run(Statement& statement) {
  statement.step();
  const bool ok = statement.done();
  statement.reset();
  return ok;
}

bool PriceStore::storeTexts(TextTable& table, Statement& insert, int& storedUpTo) {
  for (const auto& [id, utf8] : table.entriesAfter(storedUpTo)) {
    insert.bindInt(1, id);
    insert.bindText(2, std::string_view(utf8.constData(), size_t(utf8.size())));
    if (!run(insert)) {
      return false;
    }
    storedUpTo = id;
  }
  return true;
}

bool PriceStore::storeNewTexts() {
  return storeTexts(m_markets, m_insertMarket, m_marketsStored) &&
         storeTexts(m_names, m_insertName, m_namesStored) && storeCodes();
}

bool PriceStore::storeCodes() {
  for (const auto& [id, utf8] : m_codes.entriesAfter(int(m_codeTexts.size()) - 1)) {
    m_insertCode.bindText(1, std::string_view(utf8.constData(), size_t(utf8.size())));
    if (!run(m_insertCode)) {
      return false;
    }
    m_codeTexts.emplace_back(utf8.constData(), size_t(utf8.size()));
  }
  return true;
}

bool PriceStore::insertRows(const PriceRow* rows, size_t count) {
  return count == 0 || m_feed.insert(m_insertFeed, rows, count);
}

bool PriceStore::insertRecords(std::string_view records) {
  m_batch.clear();
  std::string_view record;
  for (size_t at = 0; nextRecord(records, at, record);) {
    PriceRow& row = m_batch.emplace_back();
    row.code = codeText(decodeRow(record, row));
  }
  return insertRows(m_batch.data(), m_batch.size());
}

bool PriceStore::deleteRows(int day) {
  m_deleteDay.bindInt(1, day);
  return run(m_deleteDay);
}

bool PriceStore::putDay(const DayFileStamp& stamp, const QString& checksum, qint64 records,
                        const QString& header) {
  m_putDay.bindText(1, isoDate(stamp.date));
  m_putDay.bindText(2, stamp.relative);
  m_putDay.bindInt(3, stamp.bytes);
  m_putDay.bindInt(4, stamp.mtimeNs);
  m_putDay.bindText(5, checksum);
  m_putDay.bindInt(6, records);
  m_putDay.bindText(7, header);
  return run(m_putDay);
}

bool PriceStore::refreshStamp(const DayFileStamp& stamp) {
  m_refresh.bindText(1, isoDate(stamp.date));
  m_refresh.bindText(2, stamp.relative);
  m_refresh.bindInt(3, stamp.bytes);
  m_refresh.bindInt(4, stamp.mtimeNs);
  return run(m_refresh);
}

bool PriceStore::removeDay(const QDate& date) {
  m_removeDay.bindText(1, isoDate(date));
  return deleteRows(unixDay(date)) && run(m_removeDay);
}

bool PriceStore::putRejected(const DayFileStamp& stamp, const QStringList& problems) {
  m_putRejected.bindText(1, stamp.relative);
  m_putRejected.bindInt(2, stamp.bytes);
  m_putRejected.bindInt(3, stamp.mtimeNs);
  m_putRejected.bindText(4, problems.join(QLatin1Char('\n')));
  return run(m_putRejected);
}

bool PriceStore::removeRejected(const QString& relative) {
  m_removeRejected.bindText(1, relative);
  return run(m_removeRejected);
}

}  // namespace kabuka::history
