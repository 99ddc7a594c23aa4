// What kabuka-collect says when a run fails, and the locks it meets.

#include "cli_fixture.h"

#include "collect/run_lock.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::CliFixture;

tools::HttpResponse status(int code, QByteArray reason) {
  tools::HttpResponse response = tools::HttpResponse::ok("<html>no</html>", "text/html");
  response.status = code;
  response.reason = std::move(reason);
  return response;
}

// The last line of a failed run, shown even when quiet.
QString lastLine(const QByteArray& output) {
  const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.constLast();
}

struct FailureCase {
  const char* name;
  QStringList arguments;
  const char* file;  // below the tree's root
  // Spoils the sample tree's answer for that file.
  std::function<tools::HttpResponse(tools::HttpResponse)> spoil;
  const char* why;  // in the last line
};

class FailureLineTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureLineTest, NamesTheFileAndWhy) {
  const FailureCase& c = GetParam();
  CliFixture fixture;
  fixture.setOverride([&](const tools::HttpRequest& request) -> std::optional<tools::HttpResponse> {
    if (!request.path.endsWith(c.file)) {
      return std::nullopt;
    }
    return c.spoil(fixture.tree().respond(request));
  });
  EXPECT_EQ(fixture.run(QStringList{"-q", "--retries", "0"} + c.arguments), 1);
  const QString line = lastLine(fixture.output);
  EXPECT_TRUE(line.contains(fixture.baseUrl() + QLatin1String(c.file))) << line.toStdString();
  EXPECT_TRUE(line.contains(QString::fromUtf8(c.why))) << line.toStdString();
}

tools::HttpResponse withBody(tools::HttpResponse response, QByteArray body) {
  response.body = std::move(body);
  return response;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailureLineTest,
    ::testing::Values(
        FailureCase{"http_status",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse) { return status(403, "Forbidden"); },
                    "HTTP 403"},
        FailureCase{"error_page",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse r) { return withBody(r, "<html>busy</html>\r\n"); },
                    "エラーページ"},
        FailureCase{"empty_answer",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse r) { return withBody(r, {}); },
                    "空でした"},
        FailureCase{"cut_transfer",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse r) {
                      r.behaviour = tools::HttpResponse::Behaviour::TruncateBody;
                      return r;
                    },
                    "途中で切れました"},
        FailureCase{"close_ended_cut_inside_the_last_field",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse r) {
                      r.body.chop(3);  // the line end and a digit of the last field
                      r.behaviour = tools::HttpResponse::Behaviour::NoLength;
                      return r;
                    },
                    "途中で切れています（最後の行）"},
        FailureCase{"chunked_without_its_last_chunk",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse r) {
                      r.behaviour = tools::HttpResponse::Behaviour::ChunkedWithoutLastChunk;
                      r.missingBytes = 3;
                      return r;
                    },
                    "途中で切れ"},
        FailureCase{"a_day_of_another_month",
                    {"month", "2016-03"},
                    "2016/data_dg/201603.csv",
                    [](tools::HttpResponse r) {
                      return withBody(r, "201603,1,,,,,,\r\n20160115,0,,,,,,\r\n");
                    },
                    "20160115"},
        FailureCase{"another_days_data",
                    {"date", "2016-03-15"},
                    "2016/data_d/20160315.csv",
                    [](tools::HttpResponse r) { return withBody(r, "20160314" + r.body.mid(8)); },
                    "20160315 の日毎株価ではありません"},
        FailureCase{"a_closed_day",
                    {"date", "2016-03-21"},
                    "2016/data_d/20160321.csv",
                    [](tools::HttpResponse r) { return r; },
                    "HTTP 404"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailureLine, AClosedDayIsExplainedBeforeIt) {
  CliFixture fixture;
  EXPECT_EQ(
      fixture.run({QStringLiteral("-q"), QStringLiteral("date"), QStringLiteral("2016-03-21")}), 1);
  const QStringList lines =
      QString::fromUtf8(fixture.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 2) << fixture.output.toStdString();
  EXPECT_TRUE(
      lines[lines.size() - 2].contains(QStringLiteral("2016/03/21 は休場日（振替休日）です。")))
      << fixture.output.toStdString();
  EXPECT_TRUE(lines.constLast().contains(QStringLiteral("20160321.csv")));
  // The tests run under LANG=C.UTF-8; the weekday is named in Japanese anyway.
  EXPECT_TRUE(fixture.output.contains("日付指定：20160321(月曜日)の情報は収集できませんでした。"))
      << fixture.output.toStdString();
}

TEST(FailureLine, NoConnectionIsSaid) {
  CliFixture fixture;
  quint16 closedPort = 0;
  {
    tools::LoopbackHttpServer gone([](const tools::HttpRequest&) { return tools::HttpResponse(); });
    closedPort = gone.port();
  }
  const QString deadServer = QStringLiteral("http://127.0.0.1:%1/kabu/").arg(closedPort);
  ASSERT_TRUE(test::writeBytes(fixture.program.file(QStringLiteral("settei.txt")),
                               "日毎株価取得サイト," + deadServer.toUtf8() + "\r\nEOF,EOF\r\n"));
  EXPECT_EQ(fixture.run({QStringLiteral("-q"), QStringLiteral("year"), QStringLiteral("1800")}), 1);
  const QString line = lastLine(fixture.output);
  EXPECT_TRUE(line.contains(deadServer + QStringLiteral("1800/data_dg/180001.csv")))
      << line.toStdString();
  EXPECT_TRUE(line.contains(QStringLiteral("接続できませんでした"))) << line.toStdString();
  // A run that stored nothing leaves no folder behind for the check to report.
  EXPECT_FALSE(QDir(fixture.db()).exists());
}

// --- locks ------------------------------------------------------------------------

TEST(CommandLineLock, ALockFromAnotherMachineSaysWhoseItIsAndExits3) {
  CliFixture fixture;
  const QString lockFile = RunLock::lockPathFor(fixture.db());
  ASSERT_TRUE(
      test::writeBytes(lockFile, "777\nkabuka-collect\nfar.example\n0123456789abcdef\nboot\n"));
  EXPECT_EQ(fixture.run({QStringLiteral("-q"), QStringLiteral("month"), QStringLiteral("2016-03")}),
            3);
  const QString line = lastLine(fixture.output);
  for (const QString& part : {QStringLiteral("far.example"), QStringLiteral("777"), lockFile}) {
    EXPECT_TRUE(line.contains(part)) << line.toStdString();
  }
  EXPECT_TRUE(fixture.requested().isEmpty());

  ASSERT_TRUE(test::writeBytes(lockFile, {}));  // one that names nobody is broken
  EXPECT_EQ(fixture.run({QStringLiteral("month"), QStringLiteral("2016-03")}), 0)
      << fixture.output.toStdString();
}

}  // namespace
}  // namespace kabuka
