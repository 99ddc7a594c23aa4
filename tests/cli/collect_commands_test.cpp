#include "cli_fixture.h"

#include "cli/command.h"
#include "collect/driver.h"
#include "support/fake_run_window.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::CliFixture;
using test::filesUnder;

// The window's own run over the same server, into a program folder of its own.
QMap<QString, QByteArray> filesTheWindowLeaves(CliFixture& fixture, const DateSelection& selection,
                                               QDate today) {
  test::TempFolder program;
  test::FakeRunWindow window;
  window.chosen = selection;
  RunEnvironment env;
  env.programFolder = program.path();
  env.builtInBaseUrl = fixture.baseUrl();
  env.today = [today] { return today; };
  env.fetch.transferTimeoutMs = 5000;
  SetteiTbl tbl;
  CollectionDriver driver(window, tbl, env);
  driver.m_dl_start_cmd_Click();
  return filesUnder(program.path() + QStringLiteral("/kabuka"));
}

struct SameAsWindowCase {
  const char* name;
  QStringList arguments;
  DateSelection selection;
};

class SameAsWindowTest : public ::testing::TestWithParam<SameAsWindowCase> {};

TEST_P(SameAsWindowTest, LeavesTheSameFilesAsTheWindow) {
  CliFixture fixture;
  ASSERT_EQ(fixture.run(GetParam().arguments), 0) << fixture.output.toStdString();
  const QMap<QString, QByteArray> collected = filesUnder(fixture.db());
  EXPECT_FALSE(collected.isEmpty());
  EXPECT_EQ(collected, filesTheWindowLeaves(fixture, GetParam().selection, {2016, 12, 7}));
}

DateSelection byDate(const char* yyyy, const char* mm, const char* dd) {
  return {true, false, QLatin1String(yyyy), QLatin1String(mm), QLatin1String(dd), {}, {}};
}
DateSelection byYearMonth(const char* yyyy, const char* mm) {
  return {false, true, {}, {}, {}, QLatin1String(yyyy), QLatin1String(mm)};
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SameAsWindowTest,
    ::testing::Values(
        SameAsWindowCase{"date", {"date", "2016-03-15"}, byDate("2016", "03", "15")},
        SameAsWindowCase{"date_digits", {"date", "20160315"}, byDate("2016", "03", "15")},
        SameAsWindowCase{"date_today", {"date", "2016-12-07"}, byDate("2016", "12", "07")},
        SameAsWindowCase{"month", {"month", "2016-03"}, byYearMonth("2016", "03")},
        SameAsWindowCase{"past_year", {"year", "2015"}, byYearMonth("2015", "all")},
        SameAsWindowCase{"current_year", {"year", "2016"}, byYearMonth("2016", "all")}),
    [](const auto& info) { return std::string(info.param.name); });

// --- update ---------------------------------------------------------------------

struct UpdateCase {
  const char* name;
  QDate today;
  QDate newestStored;  // invalid: an empty database
  QStringList extraArguments;
  QStringList expectedMonths;  // month files fetched, yyyymm
};

class UpdateTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateTest, CollectsTheMonthsUpToToday) {
  const UpdateCase& c = GetParam();
  CliFixture fixture(c.today);
  if (c.newestStored.isValid()) {
    const QString name = c.newestStored.toString(QStringLiteral("yyyyMMdd"));
    ASSERT_TRUE(test::writeBytes(
        fixture.db() + name.left(4) + QStringLiteral("/data_d/") + name + QStringLiteral(".csv"),
        fixture.tree().dayFile(c.newestStored)));
  }
  ASSERT_EQ(fixture.run(QStringList{QStringLiteral("update")} + c.extraArguments), 0)
      << fixture.output.toStdString();

  QStringList fetched;
  for (const QString& path : fixture.requested()) {
    fetched.append(path.section(QLatin1Char('/'), -1).remove(QStringLiteral(".csv")));
  }
  EXPECT_EQ(fetched, c.expectedMonths);
  // Every day the server has for the fetched months up to today is stored as served.
  for (const QString& yyyymm : c.expectedMonths) {
    for (const QDate& day :
         tools::SamplePrices::tradingDays(yyyymm.left(4).toInt(), yyyymm.mid(4).toInt())) {
      if (day > c.today) {
        continue;
      }
      const QString name = day.toString(QStringLiteral("yyyyMMdd"));
      EXPECT_EQ(test::readBytes(fixture.db() + name.left(4) + QStringLiteral("/data_d/") + name +
                                QStringLiteral(".csv")),
                fixture.tree().dayFile(day))
          << name.toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Databases, UpdateTest,
    ::testing::Values(
        UpdateCase{"empty_database", {2016, 12, 7}, {}, {}, {"201612"}},
        UpdateCase{"ends_a_month_ago", {2016, 12, 7}, {2016, 11, 7}, {}, {"201611", "201612"}},
        UpdateCase{"already_up_to_date", {2016, 12, 7}, {2016, 12, 7}, {}, {}},
        UpdateCase{"up_to_date_over_a_weekend", {2016, 12, 11}, {2016, 12, 9}, {}, {}},
        UpdateCase{
            "across_a_year_boundary", {2017, 1, 5}, {2016, 12, 28}, {}, {"201612", "201701"}},
        // 1 to 3 January are closed: the new month has nothing to fetch yet.
        UpdateCase{"new_year_closure", {2017, 1, 3}, {2016, 12, 28}, {}, {"201612"}},
        // Today is the month's first trading day: there is already one to collect.
        UpdateCase{
            "first_trading_day_is_today", {2016, 11, 1}, {2016, 10, 31}, {}, {"201610", "201611"}},
        // 1 October 2016 is a Saturday.
        UpdateCase{"month_starts_on_a_weekend", {2016, 10, 2}, {2016, 9, 20}, {}, {"201609"}},
        UpdateCase{"since_on_an_empty_database",
                   {2016, 12, 7},
                   {},
                   {"--since", "2016-10-15"},
                   {"201610", "201611", "201612"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCommand, SaysSoWhenAlreadyUpToDate) {
  CliFixture fixture;
  ASSERT_TRUE(test::writeBytes(fixture.db() + QStringLiteral("2016/data_d/20161207.csv"), "x"));
  EXPECT_EQ(fixture.run({QStringLiteral("update")}), 0);
  EXPECT_TRUE(fixture.output.contains("データベースは最新です")) << fixture.output.toStdString();
}

// --- retries --------------------------------------------------------------------

struct RetryCase {
  const char* name;
  QList<tools::HttpResponse> firstAnswers;  // then the sample tree answers
  QStringList options;
  int exitStatus;
  QList<int> waitsMs;
  int requests = -1;  // -1: one more than the waits
  int transferTimeoutMs = 5000;
};

tools::HttpResponse status(int code, QByteArray reason, tools::HttpHeaders headers = {}) {
  tools::HttpResponse response = tools::HttpResponse::ok("<html>busy</html>", "text/html");
  response.status = code;
  response.reason = std::move(reason);
  response.extraHeaders = std::move(headers);
  return response;
}

tools::HttpResponse silence() {
  tools::HttpResponse response;
  response.behaviour = tools::HttpResponse::Behaviour::NoAnswer;
  return response;
}

tools::HttpResponse reset() {
  tools::HttpResponse response;
  response.behaviour = tools::HttpResponse::Behaviour::ResetConnection;
  return response;
}

class RetryTest : public ::testing::TestWithParam<RetryCase> {};

TEST_P(RetryTest, RetriesOnlyTransientFailures) {
  const RetryCase& c = GetParam();
  CliFixture fixture;
  fixture.transferTimeoutMs = c.transferTimeoutMs;
  auto answered = std::make_shared<int>(0);
  fixture.setOverride(
      [c, answered](const tools::HttpRequest&) -> std::optional<tools::HttpResponse> {
        const int index = (*answered)++;
        return index < c.firstAnswers.size() ? std::optional(c.firstAnswers[index]) : std::nullopt;
      });
  const int exit =
      fixture.run(c.options + QStringList{QStringLiteral("month"), QStringLiteral("2016-03")});
  EXPECT_EQ(exit, c.exitStatus) << fixture.output.toStdString();
  EXPECT_EQ(fixture.waits, c.waitsMs);
  EXPECT_EQ(fixture.requested().size(), c.requests >= 0 ? c.requests : c.waitsMs.size() + 1);
  EXPECT_EQ(fixture.output.count("再試行"), c.waitsMs.size()) << fixture.output.toStdString();
  const QByteArray stored =
      test::readBytes(fixture.db() + QStringLiteral("2016/data_d/20160315.csv"));
  EXPECT_EQ(stored, c.exitStatus == 0 ? fixture.tree().dayFile({2016, 3, 15}) : QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RetryTest,
    ::testing::Values(
        RetryCase{
            "unavailable_twice", {status(503, "Busy"), status(503, "Busy")}, {}, 0, {1000, 2000}},
        RetryCase{"not_found_is_final", {tools::HttpResponse::notFound()}, {}, 1, {}},
        RetryCase{"forbidden_is_final", {status(403, "Forbidden")}, {}, 1, {}},
        // The network stack resends once by itself after the first reset; the
        // second one reaches the retry.
        RetryCase{"resets_then_success", {reset(), reset()}, {}, 0, {1000}, 3},
        RetryCase{"too_many_requests_with_retry_after",
                  {status(429, "Too Many", {{"Retry-After", "7"}})},
                  {},
                  0,
                  {7000}},
        RetryCase{"retry_after_is_capped",
                  {status(503, "Busy", {{"Retry-After", "3600"}})},
                  {},
                  0,
                  {60000}},
        RetryCase{"gives_up_after_the_retries",
                  {status(500, "Oops"), status(500, "Oops"), status(500, "Oops")},
                  {"--retries", "2"},
                  1,
                  {1000, 2000}},
        RetryCase{"no_retries_asked", {status(503, "Busy")}, {"--retries", "0"}, 1, {}},
        RetryCase{"timed_out_then_success", {silence()}, {}, 0, {1000}, -1, 300},
        RetryCase{"ten_retries_are_the_most",
                  QList<tools::HttpResponse>(11, status(503, "Busy")),
                  {"--retries", "10"},
                  1,
                  {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000, 60000}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- command line ---------------------------------------------------------------

class BadCommandLineTest : public ::testing::TestWithParam<QStringList> {};

TEST_P(BadCommandLineTest, ExitsWithTwoAndTouchesNothing) {
  CliFixture fixture;
  EXPECT_EQ(fixture.run(GetParam()), 2);
  EXPECT_TRUE(fixture.requested().isEmpty());
  EXPECT_FALSE(QDir(fixture.db()).exists());
  EXPECT_TRUE(fixture.output.contains("使い方は kabuka-collect")) << fixture.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadCommandLineTest,
    ::testing::Values(QStringList{}, QStringList{"fetch"}, QStringList{"date"},
                      QStringList{"date", "2016-02-30"}, QStringList{"date", "2016-13-01"},
                      QStringList{"date", "15/03/2016"}, QStringList{"date", "2016-12-08"},
                      QStringList{"month", "2016-3"}, QStringList{"month", "2017-01"},
                      QStringList{"year", "16"}, QStringList{"year", "2016", "2015"},
                      QStringList{"update", "now"}, QStringList{"update", "--since", "2016-02-30"},
                      QStringList{"month", "--since", "2016-01-04", "2016-03"},
                      QStringList{"month", "--fix", "2016-03"},
                      QStringList{"--retries", "many", "update"},
                      QStringList{"--frobnicate", "update"},
                      QStringList{"--program-folder", "/nonexistent/kabuka", "update"}));

TEST(CommandLine, TheChecksOwnOptionsReachIt) {
  CliFixture fixture;
  const QString page = fixture.program.file(QStringLiteral("report.html"));
  EXPECT_NE(fixture.run({QStringLiteral("check"), QStringLiteral("--html"), page,
                         QStringLiteral("2016"), QStringLiteral("--json")}),
            2)
      << fixture.output.toStdString();
  EXPECT_TRUE(QFile::exists(page));
}

TEST(CommandLine, HelpExplainsEveryCommandAndExitStatus) {
  CliFixture fixture;
  EXPECT_EQ(fixture.run({QStringLiteral("--help")}), 0);
  const QString help = QString::fromUtf8(fixture.output);
  for (const cli::Command* command : cli::commands()) {
    EXPECT_TRUE(help.contains(QLatin1String(command->name))) << command->name;
  }
  for (const char* word : {"--program-folder", "--retries", "--quiet", "130"}) {
    EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
  }
}

TEST(CommandLine, QuietShowsOnlyFailures) {
  CliFixture fixture;
  EXPECT_EQ(fixture.run({QStringLiteral("-q"), QStringLiteral("month"), QStringLiteral("2016-03")}),
            0);
  EXPECT_TRUE(fixture.output.isEmpty()) << fixture.output.toStdString();
  EXPECT_EQ(
      fixture.run({QStringLiteral("-q"), QStringLiteral("date"), QStringLiteral("2016-03-20")}), 1);
  EXPECT_TRUE(fixture.output.contains("の情報は収集できませんでした。"))
      << fixture.output.toStdString();
  EXPECT_FALSE(fixture.output.contains("処理中")) << fixture.output.toStdString();
}

}  // namespace
}  // namespace kabuka
