#pragma once

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>

namespace kabuka {

// The days the Japanese exchange trades: weekdays, less the national holidays, the
// year-end and new-year closure (31 December to 3 January) and any extra closed
// day the user lists in settei.txt under "休場日". Holidays follow the holiday law
// as it stood in each year from 1983 to 2099; outside that range only weekends and
// the year-end closure are known.
class MarketCalendar {
public:
  static constexpr int kFirstYear = 1983;
  static constexpr int kLastYear = 2099;

  explicit MarketCalendar(const QList<QDate>& extraClosedDays = {});

  bool isTradingDay(const QDate& date) const;
  // Why the exchange is closed that day, in Japanese ("土曜日", "日曜日", the
  // holiday's name, "年末年始休場", "休場日"); empty on a trading day. Where several
  // apply, a holiday's name wins, so that a holiday on a Sunday or on 1 January is
  // shown by its name.
  QString closedReason(const QDate& date) const;

  // The trading days from `first` to `last`, both included, in order.
  QList<QDate> tradingDays(const QDate& first, const QDate& last) const;
  // The newest trading day on or before `date`; invalid when there is none since
  // the calendar's first year.
  QDate lastTradingDayOnOrBefore(const QDate& date) const;
  QDate firstTradingDayOnOrAfter(const QDate& date) const;

private:
  QSet<QDate> m_extraClosedDays;
};

// The national holiday that falls on `date` (substitute holidays and the
// "national holiday" between two holidays included), or an empty text.
QString nationalHolidayName(const QDate& date);

}  // namespace kabuka
