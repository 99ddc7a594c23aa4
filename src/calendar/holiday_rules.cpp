#include "calendar/holiday_rules.h"

#include <algorithm>
#include <cmath>

namespace kabuka::calendar {

namespace {

constexpr int kSunday = 7;

// A day off of the year, before the substitute and in-between days are added.
struct DayOff {
  QDate date;
  HolidayName name;
  // A national holiday in the law's sense. Only these move to a substitute day and
  // make a day between two of them a holiday; the one-off rest days of 1989, 1990
  // and 1993 were enacted as plain rest days and do neither.
  bool national = true;
};

QDate nthMonday(int year, int month, int n) {
  const QDate first(year, month, 1);
  const int toFirstMonday = (8 - first.dayOfWeek()) % 7;
  return first.addDays(toFirstMonday + 7 * (n - 1));
}

// The usual approximation of the equinox day in Japan Standard Time, good from
// 1980 to 2099; the government fixes each year's day by the same astronomy.
int equinoxDay(double dayIn1980, int year) {
  const int since1980 = year - 1980;
  return int(std::floor(dayIn1980 + 0.242194 * since1980 - std::floor(since1980 / 4.0)));
}

// The emperor's birthday follows the reigning emperor; 2019 has none, since the
// new emperor's birthday had passed when he acceded and the old one's was dropped.
QDate emperorsBirthday(int year) {
  if (year <= 1988) {
    return QDate(year, 4, 29);
  }
  if (year <= 2018) {
    return QDate(year, 12, 23);
  }
  return year == 2019 ? QDate() : QDate(year, 2, 23);
}

HolidayName nameOf29April(int year) {
  if (year <= 1988) {
    return HolidayName::EmperorsBirthday;
  }
  return year <= 2006 ? HolidayName::GreeneryDay : HolidayName::ShowaDay;
}

// 2020 and 2021 moved three holidays to the days around the Tokyo games.
QDate marineDay(int year) {
  if (year < 1996) {
    return {};
  }
  if (year == 2020 || year == 2021) {
    return QDate(year, 7, year == 2020 ? 23 : 22);
  }
  return year < 2003 ? QDate(year, 7, 20) : nthMonday(year, 7, 3);
}

QDate mountainDay(int year) {
  if (year < 2016) {
    return {};
  }
  if (year == 2020 || year == 2021) {
    return QDate(year, 8, year == 2020 ? 10 : 8);
  }
  return QDate(year, 8, 11);
}

DayOff sportsDay(int year) {
  const HolidayName name = year < 2020 ? HolidayName::HealthAndSportsDay : HolidayName::SportsDay;
  if (year == 2020 || year == 2021) {
    return {QDate(year, 7, year == 2020 ? 24 : 23), name};
  }
  return {year < 2000 ? QDate(year, 10, 10) : nthMonday(year, 10, 2), name};
}

QList<DayOff> nationalHolidays(int year) {
  QList<DayOff> days;
  days.append({QDate(year, 1, 1), HolidayName::NewYearsDay});
  days.append(
      {year < 2000 ? QDate(year, 1, 15) : nthMonday(year, 1, 2), HolidayName::ComingOfAgeDay});
  days.append({QDate(year, 2, 11), HolidayName::NationalFoundationDay});
  days.append({emperorsBirthday(year), HolidayName::EmperorsBirthday});
  days.append({QDate(year, 3, equinoxDay(20.8431, year)), HolidayName::VernalEquinoxDay});
  days.append({QDate(year, 4, 29), nameOf29April(year)});
  days.append({QDate(year, 5, 3), HolidayName::ConstitutionDay});
  days.append({year >= 2007 ? QDate(year, 5, 4) : QDate(), HolidayName::GreeneryDay});
  days.append({QDate(year, 5, 5), HolidayName::ChildrensDay});
  days.append({marineDay(year), HolidayName::MarineDay});
  days.append({mountainDay(year), HolidayName::MountainDay});
  days.append({year < 2003 ? QDate(year, 9, 15) : nthMonday(year, 9, 3),
               HolidayName::RespectForTheAgedDay});
  days.append({QDate(year, 9, equinoxDay(23.2488, year)), HolidayName::AutumnalEquinoxDay});
  days.append(sportsDay(year));
  days.append({QDate(year, 11, 3), HolidayName::CultureDay});
  days.append({QDate(year, 11, 23), HolidayName::LaborThanksgivingDay});
  // The emperor's birthday of 2019 and the days not yet created are left out here.
  days.removeIf([](const DayOff& day) { return !day.date.isValid(); });
  return days;
}

// Days off by laws of their own, each for one year only.
QList<DayOff> oneOffDays(int year) {
  const QList<DayOff> all = {
      {QDate(1989, 2, 24), HolidayName::ShowaFuneral, false},
      {QDate(1990, 11, 12), HolidayName::EnthronementCeremony, false},
      {QDate(1993, 6, 9), HolidayName::RoyalWedding, false},
      // The law of 2018 made both days of 2019 count as national holidays, which
      // turned 30 April and 2 May into days between two holidays.
      {QDate(2019, 5, 1), HolidayName::EnthronementDay, true},
      {QDate(2019, 10, 22), HolidayName::EnthronementCeremony, true},
  };
  QList<DayOff> days;
  std::copy_if(all.begin(), all.end(), std::back_inserter(days),
               [year](const DayOff& day) { return day.date.year() == year; });
  return days;
}

bool isNational(const QList<DayOff>& days, QDate date) {
  return std::any_of(days.begin(), days.end(),
                     [date](const DayOff& day) { return day.national && day.date == date; });
}

bool isDayOff(const QList<DayOff>& days, QDate date) {
  return std::any_of(days.begin(), days.end(),
                     [date](const DayOff& day) { return day.date == date; });
}

// A national holiday on a Sunday gives a substitute day: up to 2006 the Monday
// after it unless that is a holiday itself, from 2007 the first day after it that
// is no national holiday (so a Sunday 3 May moves to 6 May).
QList<DayOff> substituteHolidays(const QList<DayOff>& days, int year) {
  QList<DayOff> substitutes;
  for (const DayOff& day : days) {
    if (!day.national || day.date.dayOfWeek() != kSunday) {
      continue;
    }
    QDate substitute = day.date.addDays(1);
    if (year >= 2007) {
      while (isNational(days, substitute)) {
        substitute = substitute.addDays(1);
      }
    } else if (isNational(days, substitute)) {
      continue;
    }
    substitutes.append({substitute, HolidayName::SubstituteHoliday, false});
  }
  return substitutes;
}

// A day between two national holidays is a holiday itself, by the amendment in
// force from 27 December 1985. Up to 2006 a Sunday or a substitute day was left as
// it was; from 2007 only a national holiday is.
QList<DayOff> daysBetweenHolidays(const QList<DayOff>& days, const QList<DayOff>& substitutes,
                                  int year) {
  QList<DayOff> between;
  if (year < 1986) {
    return between;
  }
  for (const DayOff& day : days) {
    const QDate candidate = day.date.addDays(1);
    if (!day.national || isNational(days, candidate) || !isNational(days, candidate.addDays(1))) {
      continue;
    }
    const bool keptAsItWas = candidate.dayOfWeek() == kSunday || isDayOff(substitutes, candidate);
    if (year < 2007 && keptAsItWas) {
      continue;
    }
    between.append({candidate, HolidayName::CitizensHoliday, false});
  }
  return between;
}

}  // namespace

const char16_t* holidayNameText(HolidayName name) {
  switch (name) {
    case HolidayName::None:
      return u"";
    case HolidayName::NewYearsDay:
      return u"元日";
    case HolidayName::ComingOfAgeDay:
      return u"成人の日";
    case HolidayName::NationalFoundationDay:
      return u"建国記念の日";
    case HolidayName::EmperorsBirthday:
      return u"天皇誕生日";
    case HolidayName::VernalEquinoxDay:
      return u"春分の日";
    case HolidayName::ShowaDay:
      return u"昭和の日";
    case HolidayName::ConstitutionDay:
      return u"憲法記念日";
    case HolidayName::GreeneryDay:
      return u"みどりの日";
    case HolidayName::ChildrensDay:
      return u"こどもの日";
    case HolidayName::MarineDay:
      return u"海の日";
    case HolidayName::MountainDay:
      return u"山の日";
    case HolidayName::RespectForTheAgedDay:
      return u"敬老の日";
    case HolidayName::AutumnalEquinoxDay:
      return u"秋分の日";
    case HolidayName::HealthAndSportsDay:
      return u"体育の日";
    case HolidayName::SportsDay:
      return u"スポーツの日";
    case HolidayName::CultureDay:
      return u"文化の日";
    case HolidayName::LaborThanksgivingDay:
      return u"勤労感謝の日";
    case HolidayName::SubstituteHoliday:
      return u"振替休日";
    case HolidayName::CitizensHoliday:
      return u"国民の休日";
    case HolidayName::ShowaFuneral:
      return u"昭和天皇の大喪の礼";
    case HolidayName::EnthronementCeremony:
      return u"即位礼正殿の儀";
    case HolidayName::RoyalWedding:
      return u"皇太子徳仁親王の結婚の儀";
    case HolidayName::EnthronementDay:
      return u"天皇の即位の日";
  }
  return u"";
}

QList<Holiday> holidaysOfYear(int year) {
  QList<DayOff> days = nationalHolidays(year);
  days.append(oneOffDays(year));
  const QList<DayOff> substitutes = substituteHolidays(days, year);
  const QList<DayOff> between = daysBetweenHolidays(days, substitutes, year);
  days.append(substitutes);
  days.append(between);
  std::sort(days.begin(), days.end(),
            [](const DayOff& a, const DayOff& b) { return a.date < b.date; });
  QList<Holiday> holidays;
  holidays.reserve(days.size());
  for (const DayOff& day : days) {
    holidays.append({day.date, day.name});
  }
  return holidays;
}

}  // namespace kabuka::calendar
