#pragma once

#include "history/day_listing.h"
#include "history/row_codec.h"
#include "history/row_feed.h"
#include "history/sqlite_db.h"
#include "history/text_table.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace kabuka::history {

// What day_files holds about one day.
struct StoredDay {
  DayFileStamp stamp;
  QString checksum;
  qint64 records = 0;
};

// A day file left out as damaged, as it stood then.
struct RejectedFile {
  DayFileStamp stamp;  // date unset
  QStringList problems;
};

// The rows of the database and the tables around them, written through prepared
// statements. Every write belongs to a transaction the caller holds.
class PriceStore {
public:
  explicit PriceStore(Database& db) : m_db(db) {}

  // Prepares the statements and loads the numbered texts; false on an error.
  bool open();
  // Codes are numbered in memory only, for the rows on their way in; markets and
  // names keep their numbers in their tables.
  TextTable& codes() { return m_codes; }
  TextTable& markets() { return m_markets; }
  TextTable& names() { return m_names; }

  QHash<QDate, StoredDay> storedDays();
  QHash<QString, RejectedFile> rejectedFiles();
  bool hasRows();

  // Stores the codes, markets and names numbered since the last call, which rows
  // about to be inserted may use.
  bool storeNewTexts();
  // The text of a code number, once stored by storeNewTexts(). Safe to call from
  // another thread while no texts are stored.
  std::string_view codeText(std::uint32_t number) const { return m_codeTexts[number]; }
  bool insertRows(const PriceRow* rows, size_t count);
  // Decodes RowEncoder's records and inserts them.
  bool insertRecords(std::string_view records);
  bool deleteRows(int day);
  bool putDay(const DayFileStamp& stamp, const QString& checksum, qint64 records,
              const QString& header);
  bool refreshStamp(const DayFileStamp& stamp);
  bool removeDay(const QDate& date);
  bool putRejected(const DayFileStamp& stamp, const QStringList& problems);
  bool removeRejected(const QString& relative);

private:
  bool storeTexts(TextTable& table, Statement& insert, int& storedUpTo);
  bool storeCodes();
  bool run(Statement& statement);

  Database& m_db;
  RowFeed m_feed;
  TextTable m_codes;
  TextTable m_markets;
  TextTable m_names;
  int m_marketsStored = 0;
  int m_namesStored = 0;
  std::vector<std::string> m_codeTexts;  // by number; 0 is no code
  std::vector<PriceRow> m_batch;
  Statement m_insertFeed, m_deleteDay, m_putDay, m_refresh, m_removeDay, m_putRejected,
      m_removeRejected, m_insertMarket, m_insertName, m_insertCode;
};

}  // namespace kabuka::history
