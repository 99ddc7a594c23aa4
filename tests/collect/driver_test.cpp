#include "driver_fixture.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::DriverTest;
using test::kBasePath;

TEST_F(DriverTest, DateRunStoresTheDayFile) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral(" 15 "));
  window.label3.caption = QStringLiteral("old notice");
  run();
  EXPECT_EQ(test::readBytes(dayFile(QStringLiteral("20160315"))),
            tree.prices().dayFile(QDate(2016, 3, 15)));
  EXPECT_EQ(requested(), QStringList({"2016/data_d/20160315.csv"}));
  EXPECT_EQ(window.label1History,
            QStringList({"", "20160315(火曜日)", "日付指定：20160315：日毎株価収集処理中",
                         "収集処理を完了しました。"}));
  expectEnding(kBlue, run_text::kCompleted);
  EXPECT_TRUE(window.label3.caption.isEmpty());
}

TEST_F(DriverTest, YearMonthRunSplitsTheMonthAndCleansUp) {
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("03"));
  run();
  EXPECT_EQ(requested(), QStringList({"2016/data_dg/201603.csv"}));
  expectMonthStored(2016, 3);
  EXPECT_FALSE(QDir(scratch(QStringLiteral("2016"))).exists());
  EXPECT_TRUE(
      window.label1History.contains(QStringLiteral("月指定：2016年03月の日毎株価収集処理中")));
  EXPECT_TRUE(window.label1History.contains(QStringLiteral("日毎株価の処理完了")));
  expectEnding(kBlue, run_text::kCompleted);
}

TEST_F(DriverTest, YearRunForAPastYearFetchesTwelveMonths) {
  window.chooseYearMonth(QStringLiteral("2015"), QStringLiteral("all"));
  run();
  QStringList expected;
  for (int m = 1; m <= 12; ++m) {
    expected.append(QStringLiteral("2015/data_dg/2015%1.csv").arg(m, 2, 10, QLatin1Char('0')));
  }
  EXPECT_EQ(requested(), expected);
  expectMonthStored(2015, 1);
  expectMonthStored(2015, 12);
  EXPECT_FALSE(QDir(scratch(QStringLiteral("2015"))).exists());
  expectEnding(kBlue, run_text::kCompleted);
}

TEST_F(DriverTest, YearRunForTheCurrentYearStopsAtTheCurrentMonth) {
  today = QDate(2016, 3, 15);
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("all"));
  run();
  EXPECT_EQ(requested(), QStringList({"2016/data_dg/201601.csv", "2016/data_dg/201602.csv",
                                      "2016/data_dg/201603.csv"}));
  expectEnding(kBlue, run_text::kCompleted);
}

TEST_F(DriverTest, AMissingMonthEndsTheYearRunKeepingEarlierMonths) {
  tree.remove(QStringLiteral("201505"));
  window.chooseYearMonth(QStringLiteral("2015"), QStringLiteral("all"));
  run();
  EXPECT_EQ(requested().size(), 5);
  expectMonthStored(2015, 4);
  EXPECT_FALSE(QFile::exists(dayFile(QStringLiteral("20150601"))));
  EXPECT_TRUE(QDir(scratch(QStringLiteral("2015"))).exists());
  expectEnding(kRed, QStringLiteral("年指定：2015年05月の情報は収集できませんでした。"));

  // The next run finds the scratch folder in place and uses it.
  tree.restore(QStringLiteral("201505"));
  window.chooseYearMonth(QStringLiteral("2015"), QStringLiteral("05"));
  run();
  expectMonthStored(2015, 5);
  EXPECT_FALSE(QDir(scratch(QStringLiteral("2015"))).exists());
  expectEnding(kBlue, run_text::kCompleted);
}

TEST_F(DriverTest, AMonthThatCannotBeSplitWholeIsAFailureAndIsKept) {
  const QByteArray shortMonth = "201603,2,,,,,,\r\n20160301,0,,,,,,\r\n";
  tree.replace(QStringLiteral("201603"), shortMonth);
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("03"));
  run();
  EXPECT_EQ(test::readBytes(scratch(QStringLiteral("2016")) + QStringLiteral("/201603.csv")),
            shortMonth);
  EXPECT_EQ(test::readBytes(dayFile(QStringLiteral("20160301"))), "20160301,0,,,,,,\r\n");
  expectEnding(kRed, QStringLiteral("年月指定：201603の情報は収集できませんでした。"));
}

TEST_F(DriverTest, AStopDuringAYearRunFinishesTheMonthInHand) {
  window.chooseYearMonth(QStringLiteral("2015"), QStringLiteral("all"));
  pressStopWhile(QStringLiteral("年指定：2015年03月の日毎株価収集処理中"));
  run();
  EXPECT_EQ(requested().size(), 3);
  expectMonthStored(2015, 3);
  EXPECT_FALSE(QFile::exists(scratch(QStringLiteral("2015")) + QStringLiteral("/201503.csv")));
  EXPECT_FALSE(QDir(scratch(QStringLiteral("2015"))).exists());
  expectEnding(kRed, run_text::kStopped);
  EXPECT_TRUE(window.label3.caption.isEmpty());
}

TEST_F(DriverTest, AStopDuringADateFetchStillStoresTheDay) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  window.onWait = [this](int) { m_dl_stop_cmd_Click(window); };
  run();
  EXPECT_TRUE(QFile::exists(dayFile(QStringLiteral("20160315"))));
  expectEnding(kRed, run_text::kStopped);
}

TEST_F(DriverTest, AFailedFetchAfterAStopKeepsTheNotice) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"),
                    QStringLiteral("19"));  // a Saturday
  window.onWait = [this](int) { m_dl_stop_cmd_Click(window); };
  run();
  expectEnding(kRed, QStringLiteral("日付指定：20160319(土曜日)の情報は収集できませんでした。"));
  EXPECT_EQ(window.label3.caption, kStoppingSoonNotice);
  EXPECT_EQ(window.label3.colour, kRed);
}

TEST_F(DriverTest, ADayTheCalendarLacksFailsWithTheFetchersMessage) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("02"), QStringLiteral("30"));
  run();
  EXPECT_FALSE(window.label1History.contains(QStringLiteral("20160230")));
  expectEnding(kRed, kDownloadFailedMessage);
}

TEST_F(DriverTest, AStopWhileTheSettingsAreReadAbortsBeforeLocking) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  window.onYield = [this](int count) {
    if (count == 1) {
      window.closed = true;  // the window is closed: its unload raises the flag
      window.stopFlag = kTrue;
    }
  };
  run();
  expectEnding(kRed, run_text::kAborted);
  EXPECT_TRUE(requested().isEmpty());
  EXPECT_FALSE(QDir(db()).exists()) << "nothing was created";
}

TEST_F(DriverTest, AStopAfterTheSettingsAbortsOnceTheSelectionIsRead) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  bool lockedWhenAborting = false;
  window.onYield = [this, &lockedWhenAborting](int count) {
    if (count == 2) {
      window.stopFlag = kTrue;
    }
    if (count == 3) {
      lockedWhenAborting = true;  // no third yield may come
    }
  };
  run();
  EXPECT_FALSE(lockedWhenAborting);
  EXPECT_TRUE(window.label1History.contains(QStringLiteral("20160315(火曜日)")));
  expectEnding(kRed, run_text::kAborted);
  EXPECT_TRUE(requested().isEmpty());
}

TEST_F(DriverTest, ControlsAreLockedWhileTheRunWorks) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  bool lockedDuringFetch = false;
  window.onWait = [this, &lockedDuringFetch](int) { lockedDuringFetch = window.isRunningState(); };
  run();
  EXPECT_TRUE(lockedDuringFetch);
  EXPECT_TRUE(window.isIdle());
}

TEST_F(DriverTest, ASecondPressDuringARunIsIgnored) {
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  CollectionDriver driver(window, settei_tbl, environment());
  window.onYield = [&driver](int count) {
    if (count == 1) {
      driver.m_dl_start_cmd_Click();
    }
  };
  driver.m_dl_start_cmd_Click();
  EXPECT_EQ(requested().size(), 1);
  EXPECT_FALSE(driver.isRunning());
}

TEST_F(DriverTest, UsesTheSettingsForServerAndFolders) {
  const QString elsewhere = program.file(QStringLiteral("db"));
  ASSERT_TRUE(test::writeBytes(
      program.file(QStringLiteral("settei.txt")),
      toSjis(QStringLiteral("株価データベースフォルダパス,%1\r\n日毎株価フォルダ名,daily\r\n"
                            "日毎株価取得サイト,%2\r\nEOF,EOF\r\n")
                 .arg(elsewhere, server.origin() + kBasePath))));
  RunEnvironment env = environment();
  env.builtInBaseUrl = QStringLiteral("http://127.0.0.1:9/unused/");
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("02"));
  CollectionDriver(window, settei_tbl, env).m_dl_start_cmd_Click();
  expectEnding(kBlue, run_text::kCompleted);
  EXPECT_EQ(test::readBytes(elsewhere + QStringLiteral("/2016/daily/20160201.csv")),
            tree.prices().dayFile(QDate(2016, 2, 1)));
  EXPECT_FALSE(QDir(elsewhere + QStringLiteral("/2016/dailyg")).exists());
}

TEST_F(DriverTest, ClosingTheWindowDuringAFetchCancelsIt) {
  window.chooseYearMonth(QStringLiteral("2016"), QStringLiteral("all"));
  today = QDate(2016, 3, 15);
  window.onWait = [this](int) {
    window.closed = true;
    window.stopFlag = kTrue;
  };
  run();
  EXPECT_LE(requested().size(), 1) << "no month after the cancelled one is asked for";
  EXPECT_FALSE(QFile::exists(dayFile(QStringLiteral("20160104"))));
  EXPECT_FALSE(QFile::exists(scratch(QStringLiteral("2016")) + QStringLiteral("/201601.csv")));
  expectEnding(kRed, QStringLiteral("年指定：2016年01月の情報は収集できませんでした。"));
}

}  // namespace
}  // namespace kabuka
