#pragma once

#include <QDate>
#include <QList>

#include <cstdint>

namespace kabuka::calendar {

// The names a holiday can carry. Kept as small numbers so that a table of every day
// of the calendar's years stays a few tens of kilobytes.
enum class HolidayName : std::uint8_t {
  None,
  NewYearsDay,
  ComingOfAgeDay,
  NationalFoundationDay,
  EmperorsBirthday,
  VernalEquinoxDay,
  ShowaDay,
  ConstitutionDay,
  GreeneryDay,
  ChildrensDay,
  MarineDay,
  MountainDay,
  RespectForTheAgedDay,
  AutumnalEquinoxDay,
  HealthAndSportsDay,
  SportsDay,
  CultureDay,
  LaborThanksgivingDay,
  SubstituteHoliday,
  CitizensHoliday,
  ShowaFuneral,
  EnthronementCeremony,
  RoyalWedding,
  EnthronementDay,
};

struct Holiday {
  QDate date;
  HolidayName name = HolidayName::None;
};

// The holiday's name as the law gives it, in Japanese.
const char16_t* holidayNameText(HolidayName name);

// Every holiday of `year` in date order: the national holidays of the law as it
// stood that year, the one-off rest days, substitute holidays and the days between
// two national holidays. Meant for the years 1983 to 2099, where the equinox
// formula holds.
QList<Holiday> holidaysOfYear(int year);

}  // namespace kabuka::calendar
