#include "calendar/market_calendar.h"

#include "calendar/holiday_rules.h"

#include <vector>

namespace kabuka {

namespace {

using calendar::HolidayName;

// The holiday of every day of the calendar's years, worked out once: the data
// check asks about every day of ten years, and a lookup here is one index.
class HolidayTable {
public:
  HolidayTable() {
    m_names.resize(std::size_t(QDate(MarketCalendar::kLastYear, 12, 31).toJulianDay() -
                               firstDay() + 1),
                   HolidayName::None);
    for (int year = MarketCalendar::kFirstYear; year <= MarketCalendar::kLastYear; ++year) {
      for (const calendar::Holiday& holiday : calendar::holidaysOfYear(year)) {
        m_names[std::size_t(holiday.date.toJulianDay() - firstDay())] = holiday.name;
      }
    }
  }

  HolidayName at(const QDate& date) const {
    const qint64 index = date.toJulianDay() - firstDay();
    if (!date.isValid() || index < 0 || index >= qint64(m_names.size())) {
      return HolidayName::None;
    }
    return m_names[std::size_t(index)];
  }

private:
  static qint64 firstDay() { return QDate(MarketCalendar::kFirstYear, 1, 1).toJulianDay(); }

  std::vector<HolidayName> m_names;
};

const HolidayTable& holidayTable() {
  static const HolidayTable table;  // built on first use, thread-safe
  return table;
}

bool isWeekend(const QDate& date) {
  return date.dayOfWeek() >= 6;
}

// The exchange closes from 31 December to 3 January.
bool inYearEndClosure(const QDate& date) {
  return (date.month() == 12 && date.day() == 31) || (date.month() == 1 && date.day() <= 3);
}

QDate calendarStart() {
  return QDate(MarketCalendar::kFirstYear, 1, 1);
}

}  // namespace

MarketCalendar::MarketCalendar(const QList<QDate>& extraClosedDays)
    : m_extraClosedDays(extraClosedDays.begin(), extraClosedDays.end()) {}

bool MarketCalendar::isTradingDay(const QDate& date) const {
  return date.isValid() && !isWeekend(date) && !inYearEndClosure(date) &&
         holidayTable().at(date) == HolidayName::None && !m_extraClosedDays.contains(date);
}

// A holiday names the day before the weekend does, so that a holiday on a Sunday
// still shows its name; the exchange's own reasons come last.
QString MarketCalendar::closedReason(const QDate& date) const {
  if (!date.isValid()) {
    return {};
  }
  if (const HolidayName name = holidayTable().at(date); name != HolidayName::None) {
    return QString::fromUtf16(calendar::holidayNameText(name));
  }
  if (date.dayOfWeek() == 6) {
    return QStringLiteral("土曜日");
  }
  if (date.dayOfWeek() == 7) {
    return QStringLiteral("日曜日");
  }
  if (inYearEndClosure(date)) {
    return QStringLiteral("年末年始休場");
  }
  if (m_extraClosedDays.contains(date)) {
    return QStringLiteral("休場日");
  }
  return {};
}

QList<QDate> MarketCalendar::tradingDays(const QDate& first, const QDate& last) const {
  QList<QDate> days;
  if (!first.isValid() || !last.isValid()) {
    return days;
  }
  for (QDate day = first; day <= last; day = day.addDays(1)) {
    if (isTradingDay(day)) {
      days.append(day);
    }
  }
  return days;
}

QDate MarketCalendar::lastTradingDayOnOrBefore(const QDate& date) const {
  for (QDate day = date; day.isValid() && day >= calendarStart(); day = day.addDays(-1)) {
    if (isTradingDay(day)) {
      return day;
    }
  }
  return {};
}

// Every run of closed days ends, since the extra closed days are finitely many.
QDate MarketCalendar::firstTradingDayOnOrAfter(const QDate& date) const {
  for (QDate day = date; day.isValid(); day = day.addDays(1)) {
    if (isTradingDay(day)) {
      return day;
    }
  }
  return {};
}

QString nationalHolidayName(const QDate& date) {
  const HolidayName name = holidayTable().at(date);
  return name == HolidayName::None ? QString() : QString::fromUtf16(calendar::holidayNameText(name));
}

}  // namespace kabuka
