#pragma once

#include "calendar/market_calendar.h"
#include "cli/driver_runs.h"

#include <QDate>
#include <QList>
#include <QString>

namespace kabuka::cli {

// The newest day file in the price database (<db>/<yyyy>/<daily folder>/<yyyymmdd>.csv)
// up to `today`; invalid when there is none. A file dated after today cannot hold
// that day's prices, and taken for the newest it would hide the days missing.
QDate newestDayFile(const QString& dbPath, const QString& dayFolder, const QDate& today);

// What "update" collects to bring the database up to today.
struct UpdatePlan {
  QDate lastTradingDay;      // the newest trading day up to today
  bool upToDate = false;     // the database already holds lastTradingDay
  QList<YearMonth> months;   // to collect, oldest first
  QList<YearMonth> skipped;  // no trading day in them up to today: nothing to fetch
};

// Months from `since` (when valid), else from the newest stored day, else from the
// current month, through the current month. A month is collected whole even when
// part of it is stored: the newest file does not prove the days before it.
UpdatePlan planUpdate(const QDate& newestStored, const QDate& since, const QDate& today,
                      const MarketCalendar& calendar);

}  // namespace kabuka::cli
