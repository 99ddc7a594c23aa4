#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>

namespace kabuka::tools {

// Synthetic daily prices, made up deterministically from the date: the same day
// always gives the same bytes. Texts are Shift-JIS with CR LF line ends, some
// names are quoted and a few hold a comma, as real exports do.
struct SamplePrices {
  int recordsPerDay = 4000;

  // The trading days of the month by the market calendar: weekdays less the
  // holidays and the year-end closure, so that the sample server, the demo and the
  // database check agree on which days have prices.
  static QList<QDate> tradingDays(int year, int month);
  static bool isTradingDay(QDate day);

  // A day file as the server keeps it: the day header line, then one line per record.
  QByteArray dayFile(QDate day) const;
  // A month file: a file header record, then per trading day its day header and
  // records, with extra quotes the day files do not have. With `lastDay` given,
  // only the days up to it, as a server has them in the middle of a month.
  QByteArray monthFile(int year, int month, QDate lastDay = {}) const;
};

}  // namespace kabuka::tools
