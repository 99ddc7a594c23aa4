#include "driver_fixture.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::DriverTest;

struct FailedFileCase {
  const char* name;
  DateSelection selection;
  const char* file;        // on the server: yyyymmdd or yyyymm
  QByteArray served;       // empty: a 404
  const char* kept;        // a good day file that must keep its bytes
  const char* endingText;  // Label1
  const char* why;         // in the failure's text
};

DateSelection dateOf(const char* yyyy, const char* mm, const char* dd) {
  return {true, false, QLatin1String(yyyy), QLatin1String(mm), QLatin1String(dd), {}, {}};
}
DateSelection monthOf(const char* yyyy, const char* mm) {
  return {false, true, {}, {}, {}, QLatin1String(yyyy), QLatin1String(mm)};
}

class DriverFailureTest : public DriverTest,
                          public ::testing::WithParamInterface<FailedFileCase> {};

// A file that is not the whole of what was asked for ends the run as failed with
// its mode's message, the good files stay, and the run tells which file and why.
TEST_P(DriverFailureTest, NamesTheFileAndWhy) {
  const FailedFileCase& c = GetParam();
  if (c.served.isEmpty()) {
    tree.remove(QLatin1String(c.file));
  } else {
    tree.replace(QLatin1String(c.file), c.served);
  }
  const QByteArray good = "good day\r\n";
  ASSERT_TRUE(test::writeBytes(dayFile(QLatin1String(c.kept)), good));
  window.chosen = c.selection;
  CollectionDriver driver(window, settei_tbl, environment());
  driver.m_dl_start_cmd_Click();
  expectEnding(kRed, QString::fromUtf8(c.endingText));
  EXPECT_EQ(test::readBytes(dayFile(QLatin1String(c.kept))), good);
  const RunFailure& failure = driver.lastFailure();
  EXPECT_TRUE(failure.url.endsWith(QLatin1String(c.file) + QStringLiteral(".csv")))
      << failure.url.toStdString();
  EXPECT_TRUE(failure.text().startsWith(failure.url));
  EXPECT_TRUE(failure.text().contains(QString::fromUtf8(c.why))) << failure.text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Files, DriverFailureTest,
    ::testing::Values(
        FailedFileCase{"missing_day",
                       dateOf("2016", "03", "15"),
                       "20160315",
                       {},
                       "20160315",
                       "日付指定：20160315(火曜日)の情報は収集できませんでした。",
                       "HTTP 404"},
        FailedFileCase{"another_days_data", dateOf("2016", "03", "15"), "20160315",
                       "20160314,0,,,,,,\r\n", "20160315",
                       "日付指定：20160315(火曜日)の情報は収集できませんでした。",
                       "20160315 の日毎株価ではありません"},
        FailedFileCase{"day_cut_in_its_last_field", dateOf("2016", "03", "15"), "20160315",
                       "20160315,1,,,,,,\r\n1,a,b,c,d,e,f,1770", "20160315",
                       "日付指定：20160315(火曜日)の情報は収集できませんでした。", "途中で切れ"},
        FailedFileCase{"missing_month",
                       monthOf("2016", "03"),
                       "201603",
                       {},
                       "20160301",
                       "年月指定：201603の情報は収集できませんでした。",
                       "HTTP 404"},
        FailedFileCase{"month_cut_in_its_last_field", monthOf("2016", "03"), "201603",
                       "201603,1,,,,,,\r\n20160301,1,,,,,,\r\n1,a,b,c,d,e,f,1770", "20160301",
                       "年月指定：201603の情報は収集できませんでした。", "最後の行"},
        FailedFileCase{"month_with_another_months_day", monthOf("2016", "03"), "201603",
                       "201603,1,,,,,,\r\n20160115,0,,,,,,\r\n", "20160115",
                       "年月指定：201603の情報は収集できませんでした。", "20160115"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a run killed in the middle of storing a month or a day left behind, the
// next run of that month or day removes; other months' are not its to judge.
TEST_F(DriverTest, TheNextRunRemovesTheLeftOversOfItsOwnDays) {
  const QString daily = db() + QStringLiteral("2016/data_d/");
  const QString months = scratch(QStringLiteral("2016")) + QLatin1Char('/');
  const QStringList ours = {daily + QStringLiteral("20160301.csv.Ab12Cd"),
                            daily + QStringLiteral("20160331.csv.zzzzzz"),
                            months + QStringLiteral("201603.csv.XyZ123")};
  const QStringList others = {daily + QStringLiteral("20160401.csv.Ab12Cd"),
                              months + QStringLiteral("201604.csv.XyZ123")};
  for (const QString& path : ours + others) {
    ASSERT_TRUE(test::writeBytes(path, "left over"));
  }
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("03"));
  run();
  expectEnding(kBlue, run_text::kCompleted);
  for (const QString& path : ours) {
    EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
  }
  for (const QString& path : others) {
    EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
  }

  const QString dayLeftOver = daily + QStringLiteral("20160315.csv.Qw3rty");
  ASSERT_TRUE(test::writeBytes(dayLeftOver, "left over"));
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("04"), QStringLiteral("01"));
  run();
  EXPECT_TRUE(QFile::exists(dayLeftOver)) << "a date run removes only its own day's";
  EXPECT_FALSE(QFile::exists(others.front()));
}

TEST_F(DriverTest, ARunThatStoredNothingCanLeaveNoFoldersBehind) {
  tree.remove(QStringLiteral("201603"));
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("03"));
  RunEnvironment env = environment();
  env.removeEmptyFoldersItMade = true;
  CollectionDriver(window, settei_tbl, env).m_dl_start_cmd_Click();
  EXPECT_EQ(window.label1.colour, kRed);
  EXPECT_FALSE(QDir(db()).exists());

  // The window keeps the folders it made.
  run();
  EXPECT_TRUE(QDir(db() + QStringLiteral("2016/data_d")).exists());
}

TEST_F(DriverTest, ACallerThatHoldsTheLockRunsUnderIt) {
  ASSERT_TRUE(QDir().mkpath(db()));
  RunLock held(db());
  ASSERT_TRUE(held.acquired());
  RunEnvironment env = environment();
  env.databaseLockHeld = true;
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  CollectionDriver(window, settei_tbl, env).m_dl_start_cmd_Click();
  expectEnding(kBlue, run_text::kCompleted);
  EXPECT_TRUE(QFile::exists(RunLock::lockPathFor(db()))) << "the run left the caller's lock alone";
  const RunLock other(db());
  EXPECT_FALSE(other.acquired());
}

}  // namespace
}  // namespace kabuka
