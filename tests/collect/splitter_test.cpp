#include "collect/splitter.h"

#include "common/sjis.h"
#include "sample_data/sample_prices.h"
#include "support/fake_run_window.h"
#include "support/temp_folder.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <clocale>
#include <csignal>
#include <cstdlib>

namespace kabuka {
namespace {

using test::readBytes;

constexpr SplitMonth kMarch{2016, 3};

class SplitterTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(daily())); }

  QString daily() const { return tree.path() + QStringLiteral("/2016/data_d/"); }
  QString monthFile() const { return tree.path() + QStringLiteral("/2016/data_dg/201603.csv"); }
  QByteArray day(const char* name) const {
    return readBytes(daily() + QLatin1String(name) + QStringLiteral(".csv"));
  }
  QStringList dayFiles() const {
    return QDir(daily()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }

  SplitResult split(const QByteArray& content) {
    EXPECT_TRUE(test::writeBytes(monthFile(), content));
    return data_d_csv_sub(monthFile(), kMarch, daily(), window);
  }

  test::TempFolder tree;
  test::FakeRunWindow window;
};

TEST_F(SplitterTest, WritesOneFilePerDayWithItsHeaderAndRecords) {
  const SplitResult result = split(
      "201603,2,x,,,,,\r\n"
      "20160301,3,h3,h4,h5,h6,h7,h8\r\n"
      "1,a,b,c,d,e,f,g\r\n2,a,b,c,d,e,f,g\r\n3,a,b,c,d,e,f,g\r\n"
      "20160302,3,h3,h4,h5,h6,h7,h8\r\n"
      "4,a,b,c,d,e,f,g\r\n5,a,b,c,d,e,f,g\r\n6,a,b,c,d,e,f,g\r\n");
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.dayFilesWritten, 2);
  EXPECT_EQ(dayFiles(), QStringList({"20160301.csv", "20160302.csv"}));
  EXPECT_EQ(day("20160302"),
            "20160302,3,h3,h4,h5,h6,h7,h8\r\n4,a,b,c,d,e,f,g\r\n5,a,b,c,d,e,f,g\r\n"
            "6,a,b,c,d,e,f,g\r\n");
  EXPECT_EQ(window.label1.caption, kSplitDoneText);
  EXPECT_EQ(window.label1.colour, kBlue);
  EXPECT_EQ(window.yields, 3) << "once before reading and once after each day file";
}

TEST_F(SplitterTest, ADayWithoutRecordsHoldsOnlyItsHeader) {
  EXPECT_TRUE(split("201603,1,,,,,,\r\n20160301,0,,,,,,\r\n").complete);
  EXPECT_EQ(day("20160301"), "20160301,0,,,,,,\r\n");
}

TEST_F(SplitterTest, CarriesFieldsAsReadWithoutTheirQuotes) {
  EXPECT_TRUE(split("201603,1,,,,,,\r\n"
                    "\"20160301\",\"1\",\" sp \",x ,,,,\r\n"
                    "\"1301\",\"極洋\",\"\",3,4,5,6,\r\n")
                  .complete);
  EXPECT_EQ(day("20160301"), "20160301,1, sp ,x ,,,,\r\n1301,極洋,,3,4,5,6,\r\n");
}

TEST_F(SplitterTest, KeepsQuotesAroundAFieldThatHoldsACommaOrLineEnd) {
  EXPECT_TRUE(split("201603,1,,,,,,\r\n20160301,2,,,,,,\r\n"
                    "1,\"Alpha, Inc.\",b,c,d,e,f,g\r\n"
                    "2,\"two\r\nlines\",b,c,d,e,f,g\r\n")
                  .complete);
  EXPECT_EQ(day("20160301"),
            "20160301,2,,,,,,\r\n1,\"Alpha, Inc.\",b,c,d,e,f,g\r\n"
            "2,\"two\r\nlines\",b,c,d,e,f,g\r\n");
}

TEST_F(SplitterTest, CountsFieldsNotLines) {
  // One record broken over three lines, and the next two on one line.
  EXPECT_TRUE(split("201603,1,,,,,,\r\n20160301,3,,,,,,\r\n"
                    "1,a,b\r\nc,d,e\r\nf,g\r\n"
                    "2,a,b,c,d,e,f,g,3,a,b,c,d,e,f,g\r\n")
                  .complete);
  EXPECT_EQ(day("20160301"),
            "20160301,3,,,,,,\r\n1,a,b,c,d,e,f,g\r\n2,a,b,c,d,e,f,g\r\n3,a,b,c,d,e,f,g\r\n");
}

TEST_F(SplitterTest, ReadsCountsWithBlanksAndFractions) {
  EXPECT_TRUE(split("201603,\" 2\",,,,,,\r\n"
                    "20160301, 3,,,,,,\r\n1,,,,,,,\r\n2,,,,,,,\r\n3,,,,,,,\r\n"
                    "20160302,2.6,,,,,,\r\n1,,,,,,,\r\n2,,,,,,,\r\n3,,,,,,,\r\n")
                  .complete);
  EXPECT_EQ(day("20160301").count("\r\n"), 4);
  EXPECT_EQ(day("20160302").count("\r\n"), 4);
}

TEST_F(SplitterTest, TheLaterOfTwoBlocksForOneDayWins) {
  ASSERT_TRUE(test::writeBytes(daily() + QStringLiteral("20160301.csv"), "from a date run\r\n"));
  EXPECT_TRUE(
      split("201603,2,,,,,,\r\n20160301,0,first,,,,,\r\n20160301,0,second,,,,,\r\n").complete);
  EXPECT_EQ(day("20160301"), "20160301,0,second,,,,,\r\n");
  EXPECT_EQ(dayFiles().size(), 1) << "no temporary files are left";
}

TEST_F(SplitterTest, TakesBlocksOfAnySize) {
  const int records = 150'000;  // several times the read window
  QByteArray month = "201603,1,,,,,,\r\n20160301," + QByteArray::number(records) + ",,,,,,\r\n";
  for (int i = 0; i < records; ++i) {
    month += QByteArray::number(i) + ",a,b,c,d,e,f,g\r\n";
  }
  EXPECT_TRUE(split(month).complete);
  const QByteArray written = day("20160301");
  EXPECT_EQ(written.count("\r\n"), records + 1);
  EXPECT_TRUE(written.endsWith("\r\n149999,a,b,c,d,e,f,g\r\n"));
}

TEST_F(SplitterTest, AShortFileKeepsTheFinishedDaysAndWritesNoPartialOne) {
  const SplitResult result = split(
      "201603,3,,,,,,\r\n20160301,1,,,,,,\r\n1,a,b,c,d,e,f,g\r\n"
      "20160302,5,,,,,,\r\n2,a,b,c,d,e,f,g\r\n");
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(result.dayFilesWritten, 1);
  EXPECT_EQ(dayFiles(), QStringList({"20160301.csv"}));
  EXPECT_NE(window.label1.caption, kSplitDoneText);
}

TEST_F(SplitterTest, NeverWritesOutsideTheDailyFolder) {
  const SplitResult result = split(
      "201603,3,,,,,,\r\n"
      "../../evil,1,,,,,,\r\nx,a,b,c,d,e,f,g\r\n"
      "2016030,0,,,,,,\r\n"
      "20160303,1,,,,,,\r\n3,a,b,c,d,e,f,g\r\n");
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(result.dayFilesWritten, 1) << "the good day after the bad ones is still written";
  EXPECT_EQ(dayFiles(), QStringList({"20160303.csv"}));
  EXPECT_FALSE(QFile::exists(tree.path() + QStringLiteral("/evil.csv")));
  EXPECT_EQ(window.yields, 4) << "once before reading and once after every day, written or not";
}

TEST_F(SplitterTest, ADayFileThatCannotBeWrittenMakesTheSplitIncomplete) {
  const QString missing = tree.path() + QStringLiteral("/2016/no_such_folder/");
  ASSERT_TRUE(test::writeBytes(monthFile(), "201603,1,,,,,,\r\n20160301,0,,,,,,\r\n"));
  const SplitResult result = data_d_csv_sub(monthFile(), kMarch, missing, window);
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(result.dayFilesWritten, 0);
}

TEST_F(SplitterTest, DataTheCountsDoNotCoverIsAFailure) {
  // A header whose count is not a number announces no days, yet days follow.
  EXPECT_FALSE(split("201603,n/a,,,,,,\r\n20160301,0,,,,,,\r\n").complete);
  EXPECT_TRUE(dayFiles().isEmpty());
  // Blank lines and a DOS end-of-file mark after the last day are harmless.
  EXPECT_TRUE(split("201603,1,,,,,,\r\n20160301,0,,,,,,\r\n\r\n\x1a").complete);
}

struct EndCase {
  const char* name;
  QByteArray lastRecord;  // the last record of the month and what follows it
  bool complete;
};

class SplitterEndTest : public SplitterTest, public ::testing::WithParamInterface<EndCase> {};

// A month file is whole only when its last record ends with a line end: a transfer
// cut inside the last field (17700 as 1770) leaves counts that all match. However
// the read windows fall, the judgement is the same.
TEST_P(SplitterEndTest, TheLastRecordMustEndWithALineEnd) {
  const QByteArray month = "201603,1,,,,,,\r\n20160301,1,,,,,,\r\n" + GetParam().lastRecord;
  ASSERT_TRUE(test::writeBytes(daily() + QStringLiteral("20160301.csv"), "old\r\n"));
  ASSERT_TRUE(test::writeBytes(monthFile(), month));
  for (size_t size = 2; size <= size_t(month.size()) + 1; ++size) {
    const SplitResult result = data_d_csv_sub(monthFile(), kMarch, daily(), window, {size});
    ASSERT_EQ(result.complete, GetParam().complete) << "window " << size;
    if (result.complete) {
      ASSERT_EQ(day("20160301"), "20160301,1,,,,,,\r\n1,a,b,c,d,e,f,17700\r\n")
          << "window " << size;
    } else {
      ASSERT_EQ(result.problem, SplitProblem::CutShort);
      ASSERT_EQ(day("20160301"), "old\r\n") << "window " << size;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, SplitterEndTest,
    ::testing::Values(EndCase{"line_end", "1,a,b,c,d,e,f,17700\r\n", true},
                      EndCase{"lf_alone", "1,a,b,c,d,e,f,17700\n", true},
                      EndCase{"blank_lines_and_end_mark", "1,a,b,c,d,e,f,17700\r\n\r\n\x1a", true},
                      EndCase{"end_mark_after_the_last_field", "1,a,b,c,d,e,f,17700\x1a", true},
                      EndCase{"cut_inside_the_last_field", "1,a,b,c,d,e,f,1770", false},
                      EndCase{"cut_inside_a_quoted_last_field", "1,a,b,c,d,e,f,\"1770", false},
                      EndCase{"cut_after_the_closing_quote", "1,a,b,c,d,e,f,\"17700\"", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SplitterTest, WritesOnlyTheDaysOfItsMonth) {
  const QByteArray goodJanuaryDay = "20160115,0,good,,,,,\r\n";
  ASSERT_TRUE(test::writeBytes(daily() + QStringLiteral("20160115.csv"), goodJanuaryDay));
  const SplitResult result = split(
      "201603,5,,,,,,\r\n"
      "20160115,0,wrong month,,,,,\r\n"
      "20990301,0,wrong year,,,,,\r\n"
      "20160230,0,no such day,,,,,\r\n"
      "20160332,0,no such day,,,,,\r\n"
      "20160302,0,right,,,,,\r\n");
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(result.problem, SplitProblem::NotOfTheMonth);
  EXPECT_EQ(result.detail, QStringLiteral("20160115"));
  EXPECT_EQ(dayFiles(), QStringList({"20160115.csv", "20160302.csv"}));
  EXPECT_EQ(day("20160115"), goodJanuaryDay);
  EXPECT_TRUE(splitProblemText(result).contains(QStringLiteral("20160115")));
}

// What a full disk does to the day files.
class SplitterOnAFullDisk : public SplitterTest {
protected:
  static constexpr rlim_t kFileSizeLimit = 2 * 1024;
  enum Fault { kOldFileLost = 1, kReportedComplete = 2, kLeftOver = 4 };

  // Runs in a child process, whose file size limit it lowers below the day's size
  // but well within what the file layer buffers before its final flush.
  [[noreturn]] void splitAndExitWithFaults() {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const QByteArray oldDay = "20160301,0,old,,,,,\r\n";
    test::writeBytes(daily() + QStringLiteral("20160301.csv"), oldDay);
    QByteArray month = "201603,1,,,,,,\r\n20160301,200,,,,,,\r\n";
    for (int i = 0; i < 200; ++i) {
      month += QByteArray::number(1000 + i) + ",name,market,1,2,3,4,5\r\n";
    }
    test::writeBytes(monthFile(), month);
    const rlimit limit{kFileSizeLimit, kFileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    const SplitResult result = data_d_csv_sub(monthFile(), kMarch, daily(), window);
    int faults = 0;
    faults |= day("20160301") == oldDay ? 0 : kOldFileLost;
    faults |= result.complete ? kReportedComplete : 0;
    faults |= dayFiles() == QStringList{QStringLiteral("20160301.csv")} ? 0 : kLeftOver;
    std::_Exit(faults);
  }
};

TEST_F(SplitterOnAFullDisk, KeepsTheOldDayAndReportsTheSplitIncomplete) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(splitAndExitWithFaults(), ::testing::ExitedWithCode(0), "")
      << "exit code bits " << kOldFileLost << " old day file lost, " << kReportedComplete
      << " reported complete, " << kLeftOver << " something left in the daily folder";
}

TEST_F(SplitterTest, AMissingMonthFileIsNotASuccess) {
  EXPECT_FALSE(
      data_d_csv_sub(monthFile() + QStringLiteral(".gone"), kMarch, daily(), window).complete);
}

TEST_F(SplitterTest, GivesTheSameBytesAsTheServersDayFiles) {
  const tools::SamplePrices prices;  // a full-size month, read through many windows
  const SplitResult result = split(prices.monthFile(2016, 3));
  const QList<QDate> days = tools::SamplePrices::tradingDays(2016, 3);
  EXPECT_TRUE(result.complete);
  ASSERT_EQ(result.dayFilesWritten, days.size());
  for (const QDate& date : days) {
    const QString name = date.toString(QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(readBytes(daily() + name + QStringLiteral(".csv")), prices.dayFile(date))
        << name.toStdString();
  }
}

// However the file falls into read windows (a CR at the end of one and its LF at
// the start of the next, a quoted field across two), the days come out the same.
TEST_F(SplitterTest, ReadWindowEdgesChangeNothing) {
  const QByteArray month =
      "201603,3,,,,,,\r\n"
      "20160301,2,\"q,1\",,,,,\r\n1,\"Alpha, Inc.\",b,c,d,e,f,g\r\n"
      "2,\"two\r\nlines\",b,c, d,e,f,\r\n"
      "20160302,1,,,,,,\n3,a,b,c,d,e,f,g\r"
      "20160303,0,,,,,,\r\n\r\n";
  ASSERT_TRUE(test::writeBytes(monthFile(), month));
  ASSERT_TRUE(data_d_csv_sub(monthFile(), kMarch, daily(), window).complete);
  const QByteArray first = day("20160301");
  const QByteArray second = day("20160302");
  const QByteArray third = day("20160303");
  for (size_t size = 2; size <= size_t(month.size()) + 1; ++size) {
    QDir(daily()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(daily()));
    const SplitResult result = data_d_csv_sub(monthFile(), kMarch, daily(), window, {size});
    ASSERT_TRUE(result.complete) << "window " << size;
    ASSERT_EQ(result.dayFilesWritten, 3) << "window " << size;
    ASSERT_EQ(day("20160301"), first) << "window " << size;
    ASSERT_EQ(day("20160302"), second) << "window " << size;
    ASSERT_EQ(day("20160303"), third) << "window " << size;
  }
}

TEST(CountRule, TakesTheLeadingNumberRounded) {
  EXPECT_EQ(countOf("3"), 3);
  EXPECT_EQ(countOf("  3"), 3);
  EXPECT_EQ(countOf("2.6"), 3);
  EXPECT_EQ(countOf("2.5"), 2);
  EXPECT_EQ(countOf("3.5"), 4);
  EXPECT_EQ(countOf("12abc"), 12);
  EXPECT_EQ(countOf("abc"), 0);
  EXPECT_EQ(countOf(""), 0);
  EXPECT_EQ(countOf("-4"), -4);
  EXPECT_GT(countOf("99999999999999999999999"), 0);
}

// Qt applications take the user's locale for the C library; a count must not
// read "2.7" as 2 where the decimal separator is a comma.
TEST(CountRule, IgnoresTheUsersDecimalSeparator) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr)
      << "the de_DE.UTF-8 locale is missing; tools/install-deps.sh generates it";
  EXPECT_EQ(countOf("2.7"), 3);
  EXPECT_EQ(countOf("2,7"), 2);
  std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(DayName, IsExactlyEightDigits) {
  EXPECT_TRUE(isDayName("20160315"));
  EXPECT_FALSE(isDayName("2016031"));
  EXPECT_FALSE(isDayName("201603150"));
  EXPECT_FALSE(isDayName("2016/3/1"));
  EXPECT_FALSE(isDayName("../20160"));
  EXPECT_FALSE(isDayName("２０１６０３１５"));
}

}  // namespace
}  // namespace kabuka
