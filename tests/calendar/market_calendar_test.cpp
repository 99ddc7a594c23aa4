#include "calendar/market_calendar.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <gtest/gtest.h>

#include <optional>

namespace kabuka {
namespace {

constexpr int kFirstListedYear = 1983;
constexpr int kLastListedYear = 2050;

// One line of the holiday list made from two outside sources (tools/holidays).
struct ListedHoliday {
  QString holidayJp;       // the primary reference
  QString pythonHolidays;  // Debian's python3-holidays 0.10
};

QHash<QDate, ListedHoliday> readHolidayList() {
  QHash<QDate, ListedHoliday> list;
  QFile file(QStringLiteral(KABUKA_HOLIDAYS_CSV));
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << KABUKA_HOLIDAYS_CSV;
    return list;
  }
  file.readLine();  // column names
  while (!file.atEnd()) {
    const QStringList fields = QString::fromUtf8(file.readLine()).trimmed().split(u',');
    const QDate date = QDate::fromString(fields.value(0), Qt::ISODate);
    if (fields.size() != 3 || !date.isValid()) {
      ADD_FAILURE() << "bad line in the holiday list: " << qPrintable(fields.join(u','));
      continue;
    }
    list.insert(date, {fields[1], fields[2]});
  }
  return list;
}

const QHash<QDate, ListedHoliday>& holidayList() {
  static const QHash<QDate, ListedHoliday> list = readHolidayList();
  return list;
}

// holiday_jp's name for a day in the words of the law, which are the calendar's.
QString lawName(const QString& holidayJpName, QDate date) {
  // holiday_jp names a substitute day after the holiday it replaces.
  if (holidayJpName.endsWith(u" 振替休日")) {
    return QStringLiteral("振替休日");
  }
  // It calls both one-off days of 2019 by their legal effect alone.
  if (holidayJpName == u"休日（祝日扱い）") {
    return date.month() == 5 ? QStringLiteral("天皇の即位の日") : QStringLiteral("即位礼正殿の儀");
  }
  static const QHash<QString, QString> shortened = {
      {QStringLiteral("休日"), QStringLiteral("国民の休日")},
      {QStringLiteral("大喪の礼"), QStringLiteral("昭和天皇の大喪の礼")},
      {QStringLiteral("結婚の儀"), QStringLiteral("皇太子徳仁親王の結婚の儀")},
      // The new name took effect on 1 January 2020.
      {QStringLiteral("体育の日（スポーツの日）"), QStringLiteral("体育の日")},
  };
  return shortened.value(holidayJpName, holidayJpName);
}

template <typename Check>
void forEveryListedDay(Check check) {
  for (QDate day(kFirstListedYear, 1, 1); day.year() <= kLastListedYear; day = day.addDays(1)) {
    check(day, holidayList().value(day));
  }
}

TEST(NationalHolidays, AgreeWithHolidayJpOnEveryDayFrom1983To2050) {
  ASSERT_GT(holidayList().size(), 1000);
  QStringList differences;
  forEveryListedDay([&](QDate day, const ListedHoliday& listed) {
    const QString ours = nationalHolidayName(day);
    const QString expected =
        listed.holidayJp.isEmpty() ? QString() : lawName(listed.holidayJp, day);
    if (ours != expected) {
      differences.append(QStringLiteral("%1: ours '%2', holiday_jp '%3'")
                             .arg(day.toString(Qt::ISODate), ours, listed.holidayJp));
    }
  });
  EXPECT_TRUE(differences.isEmpty()) << qPrintable(differences.join(u'\n'));
}

// Where python3-holidays 0.10 is wrong, by the holiday law and the special laws.
struct KnownFault {
  QDate date;
  const char* why;
};

const KnownFault kPythonHolidaysFaults[] = {
    {QDate(1989, 2, 24), "rest day by the law for the Showa emperor's funeral; not listed"},
    {QDate(1990, 11, 12), "rest day by the law for the enthronement ceremony; not listed"},
    {QDate(1993, 6, 9), "rest day by the law for the crown prince's wedding; not listed"},
    {QDate(2021, 7, 19), "the 2020 amendment moved Marine Day of 2021 to 22 July"},
    {QDate(2021, 7, 22), "Marine Day of 2021, moved by the 2020 amendment"},
    {QDate(2021, 7, 23), "Sports Day of 2021, moved by the 2020 amendment"},
    {QDate(2021, 8, 8), "Mountain Day of 2021, moved by the 2020 amendment"},
    {QDate(2021, 8, 9), "substitute for the moved Mountain Day on Sunday 8 August 2021"},
    {QDate(2021, 8, 11), "the 2020 amendment moved Mountain Day of 2021 to 8 August"},
    {QDate(2021, 10, 11), "the 2020 amendment moved Sports Day of 2021 to 23 July"},
    // Article 3(2): a national holiday on a Sunday gives the next non-holiday a rest
    // day; the package applies it to 23 February only in 2020.
    {QDate(2025, 2, 24), "substitute for the emperor's birthday on a Sunday"},
    {QDate(2031, 2, 24), "substitute for the emperor's birthday on a Sunday"},
    {QDate(2042, 2, 24), "substitute for the emperor's birthday on a Sunday"},
    {QDate(2048, 2, 24), "substitute for the emperor's birthday on a Sunday"},
};

std::optional<KnownFault> knownPythonFault(QDate day) {
  for (const KnownFault& fault : kPythonHolidaysFaults) {
    if (fault.date == day) {
      return fault;
    }
  }
  return std::nullopt;
}

// Days count, not names: the package's names are its own.
TEST(NationalHolidays, AgreeWithPythonHolidaysExceptItsKnownFaults) {
  QStringList differences;
  forEveryListedDay([&](QDate day, const ListedHoliday& listed) {
    const bool ours = !nationalHolidayName(day).isEmpty();
    const bool theirs = !listed.pythonHolidays.isEmpty();
    const std::optional<KnownFault> fault = knownPythonFault(day);
    if ((ours != theirs) != fault.has_value()) {
      differences.append(QStringLiteral("%1: ours %2, python3-holidays '%3'%4")
                             .arg(day.toString(Qt::ISODate),
                                  ours ? QStringLiteral("holiday") : QStringLiteral("none"),
                                  listed.pythonHolidays,
                                  fault ? QStringLiteral(" (listed as a fault)") : QString()));
    }
  });
  EXPECT_TRUE(differences.isEmpty()) << qPrintable(differences.join(u'\n'));
}

struct DayCase {
  QDate date;
  QString closedReason;  // empty: the exchange trades
};

const QDate kSystemFailureDay(2020, 10, 1);

class TradingDays : public testing::Test {
protected:
  const MarketCalendar m_calendar{{kSystemFailureDay}};
};

TEST_F(TradingDays, ClosedForWeekendsHolidaysYearEndAndExtraDays) {
  const DayCase cases[] = {
      {QDate(2019, 12, 30), {}},
      {QDate(2019, 12, 31), QStringLiteral("年末年始休場")},
      {QDate(2020, 1, 1), QStringLiteral("元日")},
      {QDate(2020, 1, 2), QStringLiteral("年末年始休場")},
      {QDate(2020, 1, 3), QStringLiteral("年末年始休場")},
      {QDate(2020, 1, 4), QStringLiteral("土曜日")},
      {QDate(2020, 1, 5), QStringLiteral("日曜日")},
      {QDate(2020, 1, 6), {}},
      // A holiday on a Sunday is named by the holiday.
      {QDate(2016, 3, 20), QStringLiteral("春分の日")},
      {QDate(2016, 3, 21), QStringLiteral("振替休日")},
      {QDate(2020, 9, 30), {}},
      {kSystemFailureDay, QStringLiteral("休場日")},
      {QDate(2020, 10, 2), {}},
      // Past the calendar's years only weekends and the year-end closure are known.
      {QDate(2100, 1, 1), QStringLiteral("年末年始休場")},
      {QDate(2100, 3, 22), {}},
  };
  for (const DayCase& day : cases) {
    SCOPED_TRACE(qPrintable(day.date.toString(Qt::ISODate)));
    EXPECT_EQ(m_calendar.isTradingDay(day.date), day.closedReason.isEmpty());
    EXPECT_EQ(m_calendar.closedReason(day.date), day.closedReason);
  }
}

TEST_F(TradingDays, ExtraClosedDayIsOnlyInTheCalendarGivenIt) {
  EXPECT_TRUE(MarketCalendar().isTradingDay(kSystemFailureDay));
}

struct NearestCase {
  QDate date;
  QDate lastOnOrBefore;
  QDate firstOnOrAfter;
};

TEST_F(TradingDays, NearestTradingDayAcrossNewYearAndLongHolidays) {
  const NearestCase cases[] = {
      {QDate(2020, 1, 1), QDate(2019, 12, 30), QDate(2020, 1, 6)},
      {QDate(2020, 1, 6), QDate(2020, 1, 6), QDate(2020, 1, 6)},
      // The ten days off around the accession of 2019.
      {QDate(2019, 5, 1), QDate(2019, 4, 26), QDate(2019, 5, 7)},
      {kSystemFailureDay, QDate(2020, 9, 30), QDate(2020, 10, 2)},
      // Nothing trades before 4 January 1983 in the calendar's years.
      {QDate(1983, 1, 3), QDate(), QDate(1983, 1, 4)},
  };
  for (const NearestCase& day : cases) {
    SCOPED_TRACE(qPrintable(day.date.toString(Qt::ISODate)));
    EXPECT_EQ(m_calendar.lastTradingDayOnOrBefore(day.date), day.lastOnOrBefore);
    EXPECT_EQ(m_calendar.firstTradingDayOnOrAfter(day.date), day.firstOnOrAfter);
  }
}

TEST_F(TradingDays, TradingDaysOfARangeSkipTheClosedDays) {
  const QList<QDate> expected = {QDate(2019, 4, 26), QDate(2019, 5, 7), QDate(2019, 5, 8)};
  EXPECT_EQ(m_calendar.tradingDays(QDate(2019, 4, 26), QDate(2019, 5, 8)), expected);
  EXPECT_TRUE(m_calendar.tradingDays(QDate(2019, 5, 8), QDate(2019, 4, 26)).isEmpty());
}

}  // namespace
}  // namespace kabuka
