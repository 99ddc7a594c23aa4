#include "schema.h"

#include <QDate>

namespace kabuka::history {

namespace {

// Rows keep the date as a day number and the market and name as numbers into
// tables of their own: a row takes some 36 bytes instead of 70. The price
// columns have no declared type, so each value keeps the type it was stored
// with (a column declared INTEGER would turn the text "0123" into 123).
constexpr const char* kCreate = R"sql(
CREATE TABLE day_files (
  date TEXT PRIMARY KEY,       -- 'YYYY-MM-DD'
  path TEXT NOT NULL,          -- relative to the database folder
  bytes INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  checksum TEXT NOT NULL,      -- XXH3 64-bit of the content, 16 hex digits
  records INTEGER NOT NULL,    -- price rows of the day
  header TEXT NOT NULL         -- the day header line
);
CREATE TABLE rejected_files (
  path TEXT PRIMARY KEY,       -- a day file left out as damaged, as it was seen
  bytes INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  problems TEXT NOT NULL       -- what is wrong, one line each, in the check's words
);
CREATE TABLE markets (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE names (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE codes (code TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE price_rows (
  code TEXT NOT NULL,
  day INTEGER NOT NULL,        -- days since 1970-01-01
  market INTEGER NOT NULL,     -- markets.id
  name INTEGER NOT NULL,       -- names.id
  open, high, low, close, volume,
  PRIMARY KEY (code, day, market)
) WITHOUT ROWID;
CREATE VIEW prices AS
  SELECT date(r.day * 86400, 'unixepoch') AS date, r.code AS code, m.name AS market,
         n.name AS name, r.open AS open, r.high AS high, r.low AS low, r.close AS close,
         r.volume AS volume
  FROM price_rows AS r JOIN markets AS m ON m.id = r.market JOIN names AS n ON n.id = r.name;
CREATE VIEW prices_ja AS
  SELECT date AS 日付, code AS コード, market AS 市場, name AS 銘柄名, open AS 始値,
         high AS 高値, low AS 安値, close AS 終値, volume AS 出来高
  FROM prices;
)sql";

constexpr const char* kDrop = R"sql(
DROP VIEW IF EXISTS prices_ja;
DROP VIEW IF EXISTS prices;
DROP TABLE IF EXISTS price_rows;
DROP TABLE IF EXISTS codes;
DROP TABLE IF EXISTS names;
DROP TABLE IF EXISTS markets;
DROP TABLE IF EXISTS rejected_files;
DROP TABLE IF EXISTS day_files;
)sql";

constexpr qint64 kJulianDayOfUnixEpoch = 2440588;

}  // namespace

SchemaState schemaState(Database& db) {
  const qint64 version = db.queryInt("PRAGMA user_version", 0);
  if (version == kSchemaVersion) {
    return SchemaState::Current;
  }
  if (version > kSchemaVersion) {
    return SchemaState::Newer;
  }
  const qint64 tables = db.queryInt(
      "SELECT count(*) FROM sqlite_schema WHERE name IN ('day_files', 'price_rows')", 0);
  return version == 0 && tables == 0 ? SchemaState::Empty : SchemaState::Older;
}

bool createSchema(Database& db) {
  return db.exec(kCreate) && db.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
}

bool dropSchema(Database& db) {
  return db.exec(kDrop) && db.exec("PRAGMA user_version = 0");
}

bool migrateSchema(Database& db) {
  return dropSchema(db) && createSchema(db);
}

int unixDay(const QDate& date) {
  return int(date.toJulianDay() - kJulianDayOfUnixEpoch);
}

QDate dateOfUnixDay(qint64 day) {
  return QDate::fromJulianDay(day + kJulianDayOfUnixEpoch);
}

}  // namespace kabuka::history
