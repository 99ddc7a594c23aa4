#include "calendar/market_calendar.h"

#include "calendar/holiday_rules.h"

#include <vector>

namespace kabuka {

namespace {

using calendar::HolidayName;

bool isWeekend(const QDate& date) {
  return date.dayOfWeek() >= 6;
}

// The exchange closes from 31 December to 3 January.
bool inYearEndClosure(const QDate& date) {
  return (date.month() == 12 && date.day() == 31) || (date.month() == 1 && date.day() <= 3);
}

// Every day of the calendar's years with its holiday and whether the rules close
// it, worked out once: the data check asks about every day of ten years, and a
// lookup here is one index instead of a date conversion per question.
class DayTable {
public:
  DayTable()
      : m_firstDay(QDate(MarketCalendar::kFirstYear, 1, 1).toJulianDay()),
        m_lastDay(QDate(MarketCalendar::kLastYear, 12, 31).toJulianDay()) {
    m_days.resize(std::size_t(m_lastDay - m_firstDay + 1));
    for (int year = MarketCalendar::kFirstYear; year <= MarketCalendar::kLastYear; ++year) {
      for (const calendar::Holiday& holiday : calendar::holidaysOfYear(year)) {
        m_days[index(holiday.date.toJulianDay())].holiday = holiday.name;
      }
    }
    for (qint64 julianDay = m_firstDay; julianDay <= m_lastDay; ++julianDay) {
      Day& day = m_days[index(julianDay)];
      const QDate date = QDate::fromJulianDay(julianDay);
      day.closed = day.holiday != HolidayName::None || isWeekend(date) || inYearEndClosure(date);
    }
  }

  bool covers(qint64 julianDay) const { return julianDay >= m_firstDay && julianDay <= m_lastDay; }
  bool closedByRule(qint64 julianDay) const { return m_days[index(julianDay)].closed; }
  HolidayName holiday(const QDate& date) const {
    const qint64 julianDay = date.toJulianDay();
    return date.isValid() && covers(julianDay) ? m_days[index(julianDay)].holiday
                                               : HolidayName::None;
  }

private:
  struct Day {
    HolidayName holiday = HolidayName::None;
    bool closed = false;
  };

  std::size_t index(qint64 julianDay) const { return std::size_t(julianDay - m_firstDay); }

  qint64 m_firstDay;
  qint64 m_lastDay;
  std::vector<Day> m_days;
};

const DayTable& dayTable() {
  static const DayTable table;  // built on first use, thread-safe
  return table;
}

bool closedByRule(const QDate& date) {
  const qint64 julianDay = date.toJulianDay();
  if (dayTable().covers(julianDay)) {
    return dayTable().closedByRule(julianDay);
  }
  return isWeekend(date) || inYearEndClosure(date);
}

QDate calendarStart() {
  return QDate(MarketCalendar::kFirstYear, 1, 1);
}

}  // namespace

MarketCalendar::MarketCalendar(const QList<QDate>& extraClosedDays)
    : m_extraClosedDays(extraClosedDays.begin(), extraClosedDays.end()) {}

bool MarketCalendar::isTradingDay(const QDate& date) const {
  return date.isValid() && !closedByRule(date) &&
         (m_extraClosedDays.isEmpty() || !m_extraClosedDays.contains(date));
}

// A holiday names the day before the weekend does, so that a holiday on a Sunday
// still shows its name; the exchange's own reasons come last.
QString MarketCalendar::closedReason(const QDate& date) const {
  if (!date.isValid()) {
    return {};
  }
  if (const HolidayName name = dayTable().holiday(date); name != HolidayName::None) {
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
  const HolidayName name = dayTable().holiday(date);
  return name == HolidayName::None ? QString()
                                   : QString::fromUtf16(calendar::holidayNameText(name));
}

}  // namespace kabuka
