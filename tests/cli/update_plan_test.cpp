#include "cli/update_plan.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

// Only <yyyy>/<daily folder>/<yyyymmdd>.csv up to today counts: scratch files,
// leftovers of an interrupted write, files in the wrong year and files dated after
// today must not pass for the newest day.
TEST(NewestDayFile, CountsOnlyDayFilesOfTheirYear) {
  test::TempFolder db;
  for (const char* path :
       {"2015/data_d/20151230.csv", "2016/data_d/20160314.csv", "2016/data_d/20160315.csv",
        "2016/data_d/20160316.csv.Ab12Cd", "2016/data_d/2016031.csv", "2016/data_d/20161301.csv",
        "2016/data_d/20170104.csv", "2016/data_dg/201612.csv", "2016/other/20161201.csv",
        "2017x/data_d/20170105.csv", "2018/data_d/readme.txt", "2016/data_d/20161208.csv",
        "2017/data_d/20170106.csv"}) {
    ASSERT_TRUE(test::writeBytes(db.file(QLatin1String(path)), "x"));
  }
  const QDate today(2016, 12, 7);
  EXPECT_EQ(cli::newestDayFile(db.path() + QLatin1Char('/'), QStringLiteral("data_d"), today),
            QDate(2016, 3, 15));
  EXPECT_EQ(cli::newestDayFile(db.path() + QLatin1Char('/'), QStringLiteral("other"), today),
            QDate(2016, 12, 1));
  EXPECT_FALSE(
      cli::newestDayFile(db.file(QStringLiteral("missing/")), QStringLiteral("data_d"), today)
          .isValid());
}

// An explicit start wins over what the database holds: it is how a gap is refilled.
TEST(PlanUpdate, SinceCollectsEvenWhenUpToDate) {
  const MarketCalendar calendar;
  const cli::UpdatePlan plan =
      cli::planUpdate({2016, 12, 7}, {2016, 11, 30}, {2016, 12, 7}, calendar);
  EXPECT_FALSE(plan.upToDate);
  EXPECT_EQ(plan.months, (QList<YearMonth>{{2016, 11}, {2016, 12}}));
}

}  // namespace
}  // namespace kabuka
