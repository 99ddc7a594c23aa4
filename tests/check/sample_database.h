#pragma once

#include "calendar/market_calendar.h"
#include "check/database_check.h"
#include "sample_data/sample_prices.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace kabuka::test {

// A price database in a folder, filled with the sample market's day files for the
// trading days of the market calendar, for the check to read.
class SampleDatabase {
public:
  SampleDatabase(QString dbPath, int recordsPerDay, const QList<QDate>& extraClosedDays = {});

  QString dbPath() const { return m_dbPath; }
  QString dayFile(const QDate& day) const;       // absolute
  QString monthFile(int year, int month) const;  // in the scratch folder
  QString inDatabase(const QString& relative) const { return m_dbPath + relative; }

  void storeDays(const QDate& first, const QDate& last);
  void storeDay(const QDate& day, const QByteArray& bytes);
  QByteArray dayBytes(const QDate& day) const { return m_prices.dayFile(day); }

  const MarketCalendar& market() const { return m_market; }
  check::TradingCalendar calendar() const { return check::fromMarketCalendar(m_market); }
  check::CheckOptions options(const QDate& today, QList<check::CheckTarget> targets = {}) const;

private:
  QString m_dbPath;
  MarketCalendar m_market;
  tools::SamplePrices m_prices;
};

// Edits of a day file's bytes that each break one rule. Lines and fields count
// from 1; a field is found by its commas, so only unquoted fields may be named.
qsizetype lineStart(const QByteArray& bytes, int line);
void replaceField(QByteArray& bytes, int line, int field, const QByteArray& value);
QByteArray fieldOf(const QByteArray& bytes, int line, int field);
void insertInField(QByteArray& bytes, int line, int field, const QByteArray& value);
void joinFieldWithNext(QByteArray& bytes, int line, int field);
void dropCarriageReturn(QByteArray& bytes, int line);

}  // namespace kabuka::test
