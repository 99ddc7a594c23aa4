#include "sample_server/sample_tree.h"

#include <gtest/gtest.h>

namespace kabuka::tools {
namespace {

constexpr int kRecords = 30;

// 15 March 2016 is a Tuesday; the trading days of March up to it are 11.
const QDate kToday(2016, 3, 15);

SamplePrices prices() {
  SamplePrices p;
  p.recordsPerDay = kRecords;
  return p;
}

class SampleTreeTest : public ::testing::Test {
protected:
  HttpResponse get(const QByteArray& path) const { return tree.respond({"GET", path, {}}); }

  void expectNotFound(const QByteArray& path) const {
    const HttpResponse response = get(path);
    EXPECT_EQ(response.status, 404) << path.constData();
    EXPECT_EQ(response.body, HttpResponse::notFound().body) << path.constData();
  }

  QDate today = kToday;
  SampleTree tree{{2015, 2016, kRecords}, [this] { return today; }};
};

// The header line of a month file and the rest, its day blocks.
std::pair<QByteArray, QByteArray> splitHeader(const QByteArray& monthFile) {
  const qsizetype end = monthFile.indexOf("\r\n") + 2;
  return {monthFile.first(end), monthFile.sliced(end)};
}

TEST_F(SampleTreeTest, ServesAPastMonthFileWhole) {
  const HttpResponse response = get("/kabu/kabu2/kabuka_db/2016/data_dg/201602.csv");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.contentType, "text/csv");
  EXPECT_EQ(response.body, prices().monthFile(2016, 2));
}

TEST_F(SampleTreeTest, ServesDailyFilesOfTradingDaysUpToToday) {
  // The first and last trading days of 2015, after and before the year-end closure.
  for (const QDate day : {QDate(2015, 1, 5), QDate(2015, 12, 30), QDate(2016, 3, 14), kToday}) {
    const HttpResponse response = get(SampleTree::dayFilePath(day));
    EXPECT_EQ(response.status, 200) << qPrintable(day.toString());
    EXPECT_EQ(response.body, prices().dayFile(day)) << qPrintable(day.toString());
  }
}

TEST_F(SampleTreeTest, PathHelpersNameTheFilesAsTheCollectorAsksForThem) {
  EXPECT_EQ(SampleTree::dayFilePath(QDate(2016, 3, 4)),
            "/kabu/kabu2/kabuka_db/2016/data_d/20160304.csv");
  EXPECT_EQ(SampleTree::monthFilePath(2016, 3), "/kabu/kabu2/kabuka_db/2016/data_dg/201603.csv");
}

// The sample market keeps the exchange's calendar, so the collector's database
// check finds every day it expects and no other.
TEST_F(SampleTreeTest, ClosedDaysHaveNoDailyFileAndNoBlockInTheMonthFile) {
  const QDate closedDays[] = {
      QDate(2016, 3, 12),   // Saturday
      QDate(2016, 3, 13),   // Sunday
      QDate(2015, 1, 2),    // year-end closure
      QDate(2015, 12, 31),  // year-end closure
      QDate(2016, 1, 1),    // 元日
      QDate(2016, 1, 11),   // 成人の日
      QDate(2016, 2, 11),   // 建国記念の日
  };
  for (const QDate day : closedDays) {
    expectNotFound(SampleTree::dayFilePath(day));
    const HttpResponse month = get(SampleTree::monthFilePath(day.year(), day.month()));
    EXPECT_EQ(month.status, 200);
    EXPECT_FALSE(month.body.contains("\r\n" + day.toString(u"yyyyMMdd").toLatin1() + ','))
        << qPrintable(day.toString());
  }
}

TEST_F(SampleTreeTest, NothingAfterTodayIsThere) {
  expectNotFound("/kabu/kabu2/kabuka_db/2016/data_d/20160316.csv");
  expectNotFound("/kabu/kabu2/kabuka_db/2016/data_dg/201604.csv");
  expectNotFound("/kabu/kabu2/kabuka_db/2016/data_dg/201612.csv");
}

TEST_F(SampleTreeTest, TheCurrentMonthHoldsTheDaysUpToToday) {
  const HttpResponse response = get("/kabu/kabu2/kabuka_db/2016/data_dg/201603.csv");
  ASSERT_EQ(response.status, 200);
  const auto [header, blocks] = splitHeader(response.body);
  const auto [wholeHeader, wholeBlocks] = splitHeader(prices().monthFile(2016, 3));

  EXPECT_EQ(header.split(',').value(1), "11") << "the header counts the days served";
  EXPECT_EQ(header.split(',').value(0), wholeHeader.split(',').value(0));
  ASSERT_TRUE(wholeBlocks.startsWith(blocks)) << "the first days, unchanged";
  EXPECT_TRUE(wholeBlocks.sliced(blocks.size()).startsWith("20160316,"))
      << "cut right before the first day after today";
}

TEST_F(SampleTreeTest, OnTheMonthsLastTradingDayTheWholeMonthIsThere) {
  today = QDate(2016, 3, 31);
  EXPECT_EQ(get("/kabu/kabu2/kabuka_db/2016/data_dg/201603.csv").body, prices().monthFile(2016, 3));
}

TEST_F(SampleTreeTest, AMonthWithoutATradingDaySoFarHasOnlyItsHeader) {
  today = QDate(2016, 5, 1);  // a Sunday
  const HttpResponse response = get("/kabu/kabu2/kabuka_db/2016/data_dg/201605.csv");
  ASSERT_EQ(response.status, 200);
  const auto [header, blocks] = splitHeader(response.body);
  EXPECT_TRUE(header.startsWith("201605,0,"));
  EXPECT_TRUE(blocks.isEmpty());
}

TEST_F(SampleTreeTest, FollowsTheClockFromRequestToRequest) {
  const QByteArray tomorrow = "/kabu/kabu2/kabuka_db/2016/data_d/20160316.csv";
  EXPECT_EQ(get(tomorrow).status, 404);
  today = kToday.addDays(1);
  EXPECT_EQ(get(tomorrow).status, 200);
}

TEST_F(SampleTreeTest, YearsOutsideTheRangeAreNotThere) {
  expectNotFound("/kabu/kabu2/kabuka_db/2014/data_d/20141231.csv");
  expectNotFound("/kabu/kabu2/kabuka_db/2014/data_dg/201412.csv");
  today = QDate(2017, 6, 1);
  expectNotFound("/kabu/kabu2/kabuka_db/2017/data_d/20170104.csv");
}

TEST_F(SampleTreeTest, AQueryDoesNotChooseTheFile) {
  const HttpResponse response = get("/kabu/kabu2/kabuka_db/2016/data_d/20160315.csv?v=1");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, prices().dayFile(kToday));
}

TEST_F(SampleTreeTest, OnlyGetIsServed) {
  const HttpResponse response =
      tree.respond({"POST", "/kabu/kabu2/kabuka_db/2016/data_d/20160315.csv", {}});
  EXPECT_EQ(response.status, 404);
}

TEST_F(SampleTreeTest, TheRootPageIsAPageForTheLogo) {
  const HttpResponse response = get("/");
  EXPECT_EQ(response.status, 200);
  EXPECT_TRUE(response.contentType.startsWith("text/html"));
  const QString page = QString::fromUtf8(response.body);
  EXPECT_TRUE(page.contains(QStringLiteral("2015年から2016年"))) << qPrintable(page);
  EXPECT_TRUE(page.contains(QLatin1String(SampleTree::kRoot)));
}

class SampleTreeNotFound : public SampleTreeTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleTreeNotFound, AnswersWithAnOrdinary404Page) {
  expectNotFound(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    UnknownPaths, SampleTreeNotFound,
    ::testing::Values("/index.html", "/kabu/kabu2/kabuka_db/", "/kabu/kabu2/kabuka_db/2016/",
                      "/kabu/kabu2/kabuka_db/2016/data_d/", "/kabu/kabu2/kabuka_db/2016/data_d",
                      "/kabu/kabu2/kabuka_db/2016/data_d/20160315.txt",
                      "/kabu/kabu2/kabuka_db/2016/data_d/20160315.csv/",
                      "/kabu/kabu2/kabuka_db/2016/data_d/20160315.csv.bak",
                      "/kabu/kabu2/kabuka_db/2016/data_d/2016031.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/201603150.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/+2016031.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/2016031..csv",
                      "/kabu/kabu2/kabuka_db/2016/data_dg/20160..csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/20160230.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/201603.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_dg/20160315.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_dg/201600.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_dg/201613.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_m/201603.csv",
                      "/kabu/kabu2/kabuka_db/2015/data_d/20160315.csv",
                      "/kabu/kabu2/kabuka_db/2015/data_dg/201602.csv",
                      "/kabu/kabu2/kabuka_db/16/data_d/20160315.csv",
                      "/KABU/kabu2/kabuka_db/2016/data_d/20160315.csv",
                      "/kabu/kabuka_db/2016/data_d/20160315.csv", "/2016/data_d/20160315.csv"));

INSTANTIATE_TEST_SUITE_P(
    OutsideTheTree, SampleTreeNotFound,
    ::testing::Values("/../etc/passwd", "/kabu/kabu2/kabuka_db/../../../etc/passwd",
                      "/kabu/kabu2/kabuka_db/../kabuka_db/2016/data_d/20160315.csv",
                      "/kabu/kabu2/kabuka_db/2016/../2016/data_d/20160315.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/../data_dg/201602.csv",
                      "/kabu/kabu2/kabuka_db/./2016/data_d/20160315.csv",
                      "/kabu/kabu2/kabuka_db//2016/data_d/20160315.csv",
                      "/kabu/kabu2/kabuka_db/2016/data_d/..%2f..%2fsettei.txt",
                      "/kabu/kabu2/kabuka_db/%32016/data_d/20160315.csv",
                      "kabu/kabu2/kabuka_db/2016/data_d/20160315.csv", "", "*"));

}  // namespace
}  // namespace kabuka::tools
