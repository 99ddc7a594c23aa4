#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <functional>

namespace kabuka {

// Today's date. Injected wherever "today" matters, so tests can pick the day.
using Clock = std::function<QDate()>;

// The machine's local date: what the window shows and goes by.
inline QDate systemToday() {
  return QDate::currentDate();
}

// The exchange's date at `instant`: the date in Tokyo, wherever the machine is.
// Japan keeps no summer time, so a fixed nine hours stand in when the zone
// database is missing.
inline QDate marketDate(const QDateTime& instant) {
  static const QTimeZone tokyo = [] {
    const QTimeZone zone("Asia/Tokyo");
    return zone.isValid() ? zone : QTimeZone(9 * 3600);
  }();
  return instant.toTimeZone(tokyo).date();
}

// What the command line and the check go by: a trading day begins and ends in
// Tokyo.
inline QDate marketToday() {
  return marketDate(QDateTime::currentDateTimeUtc());
}

// An instant as a log shows it: local time with its offset from UTC, in ISO 8601
// ("2026-12-08T03:23:00+09:00"), so lines from machines in other zones compare.
inline QString logTimeStamp(const QDateTime& instant) {
  const QDateTime local = instant.toLocalTime();
  return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

}  // namespace kabuka
