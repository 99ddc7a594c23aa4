#pragma once

#include "calendar/market_calendar.h"
#include "history/typed_value.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <array>

namespace kabuka::history {

// One day of one stock on one market, with the values as the database keeps
// them (see typedValue()).
struct SeriesRow {
  QDate date;
  QString code;
  QString market;
  QString name;
  std::array<Value, 5> values;  // open, high, low, close, volume
  friend bool operator==(const SeriesRow&, const SeriesRow&) = default;
};

struct SeriesOptions {
  QString dbPath;  // the database folder, ending in '/'
  QString dayFolder = QStringLiteral("data_d");
  QString sqlitePath;  // empty: defaultSqlitePath(dbPath)
  QString code;
  QDate from;       // invalid: from the first day
  QDate to;         // invalid: to the last day
  QString market;   // empty: every market
  int workers = 2;  // threads reading day files
};

struct SeriesResult {
  enum class Source { Database, DayFiles };
  Source source = Source::DayFiles;
  // Why the day files were read: no database file, or one not in step.
  QString whyDayFiles;
  QList<SeriesRow> rows;  // oldest first; on one day, by market
  QString error;          // set when the rows could not be read at all
};

// One stock's series: from the SQLite database when it is in step with the day
// files (every day file imported as it is now, or left out as damaged as it is
// now), else from the day files themselves, which gives the same rows.
SeriesResult readSeries(const SeriesOptions& options);

// UTF-8 CSV with the header date,code,market,name,open,high,low,close,volume;
// LF line ends; `bom` puts a byte-order mark in front, for spreadsheets.
QByteArray seriesCsv(const QList<SeriesRow>& rows, bool bom);
// A JSON array of objects with the same keys; numbers as numbers, NULL as null.
QByteArray seriesJson(const QList<SeriesRow>& rows);

// A self-contained page: candlesticks and volume bars in inline SVG, with a date
// axis, gaps for the trading days without a row, and a tooltip per candle. When
// the days are too many for the width, candles stand for weeks or months.
QString seriesChartHtml(const QList<SeriesRow>& rows, const MarketCalendar& calendar);

}  // namespace kabuka::history
