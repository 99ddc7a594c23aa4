#include "cli/check_command.h"

#include "cli/console_window.h"
#include "collect/run_lock.h"
#include "http_server/loopback_http_server.h"
#include "sample_database.h"
#include "sample_server/sample_tree.h"
#include "settings/settei_reader.h"
#include "support/temp_folder.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace kabuka::cli {
namespace {

struct FileState {
  QByteArray bytes;
  QDateTime modified;
  friend bool operator==(const FileState&, const FileState&) = default;
};

FileState stateOf(const QString& path) {
  return {test::readBytes(path), QFileInfo(path).fileTime(QFileDevice::FileModificationTime)};
}

class CheckCommandTest : public ::testing::Test {
protected:
  static constexpr int kRecords = 30;
  const QDate today{2016, 7, 15};
  tools::SampleTree tree{{2016, 2016, kRecords}, [this] { return today; }};
  tools::LoopbackHttpServer server{[this](const tools::HttpRequest& r) { return tree.respond(r); }};
  test::TempFolder program;
  test::SampleDatabase db{program.path() + QStringLiteral("/kabuka/"), kRecords};
  QByteArray console;
  QByteArray report;
  ConsoleWindow window{ConsoleSink{[this](QByteArrayView b) { console += b.toByteArray(); }}, true};
  CliContext context{
      .programFolder = program.path(),
      .settei_tbl = {},
      .calendar = MarketCalendar(),
      .retry = {1, [](int) { return true; }},
      .today = [this] { return today; },
      .builtInBaseUrl = server.origin() + QLatin1String(tools::SampleTree::kRoot),
      .fetch = {},
      .quiet = true,
      .console = window,
  };

  void SetUp() override {
    ASSERT_TRUE(server.listening());
    resetSetteiTbl(context.settei_tbl, program.path());
    context.fetch.transferTimeoutMs = 5000;
  }

  ExitStatus check(const QStringList& arguments) {
    report.clear();
    return runCheck(context, arguments, [this](QByteArrayView b) { report += b.toByteArray(); });
  }

  QStringList kindsIn(const QByteArray& json) const {
    QStringList kinds;
    for (const QJsonValue& finding :
         QJsonDocument::fromJson(json)[QLatin1String("findings")].toArray()) {
      kinds.append(finding[QLatin1String("kind")].toString() + QLatin1Char(' ') +
                   finding[QLatin1String("date")].toString());
    }
    kinds.sort();
    return kinds;
  }
};

TEST_F(CheckCommandTest, FixRepairsMissingAndDamagedDaysAndLeavesTheRestAlone) {
  db.storeDays(QDate(2015, 12, 1), QDate(2016, 6, 30));
  const QDate missing(2016, 6, 8), emptied(2016, 6, 9), lfOnly(2016, 6, 10), saturday(2016, 6, 18),
      missingOffServer(2015, 12, 14);
  QFile::remove(db.dayFile(missing));
  test::writeBytes(db.dayFile(emptied), {});
  QByteArray bytes = db.dayBytes(lfOnly);
  test::dropCarriageReturn(bytes, 2);
  db.storeDay(lfOnly, bytes);
  db.storeDay(saturday, db.dayBytes(saturday));
  QFile::remove(db.dayFile(missingOffServer));  // the server has no 2015
  test::writeBytes(db.monthFile(2016, 6), "201606,1");
  test::writeBytes(db.monthFile(2015, 12), "201512,1");
  QMap<QString, FileState> untouched;
  for (const QDate& day : db.market().tradingDays(QDate(2016, 5, 1), QDate(2016, 5, 31))) {
    untouched.insert(db.dayFile(day), stateOf(db.dayFile(day)));
  }
  untouched.insert(db.dayFile(saturday), stateOf(db.dayFile(saturday)));

  const ExitStatus status =
      check({QStringLiteral("2015-12"), QStringLiteral("2016-05"), QStringLiteral("2016-06"),
             QStringLiteral("--fix"), QStringLiteral("--json")});

  for (const QDate& day : {missing, emptied, lfOnly}) {
    EXPECT_EQ(test::readBytes(db.dayFile(day)), tree.dayFile(day)) << day.toString().toStdString();
  }
  for (auto it = untouched.begin(); it != untouched.end(); ++it) {
    EXPECT_EQ(stateOf(it.key()), it.value()) << it.key().toStdString();
  }
  EXPECT_FALSE(QFile::exists(db.monthFile(2016, 6))) << "its month was collected";
  EXPECT_TRUE(QFile::exists(db.monthFile(2015, 12))) << "its month could not be collected";
  EXPECT_EQ(kindsIn(report), (QStringList{QStringLiteral("leftover-month-file 2015-12"),
                                          QStringLiteral("missing-day 2015-12-14"),
                                          QStringLiteral("unexpected-day 2016-06-18")}));
  const QJsonArray repairs = QJsonDocument::fromJson(report)[QLatin1String("repairs")].toArray();
  ASSERT_EQ(repairs.size(), 2);
  EXPECT_FALSE(repairs[0][QLatin1String("collected")].toBool());
  EXPECT_TRUE(repairs[1][QLatin1String("collected")].toBool());
  EXPECT_EQ(status, ExitStatus::NotCollected) << "2015-12-14 is still missing";
}

TEST_F(CheckCommandTest, ExitStatusForTheCommandLineAndTheLock) {
  db.storeDays(QDate(2016, 6, 1), QDate(2016, 6, 30));
  const RunLock otherRun(db.dbPath());
  ASSERT_TRUE(otherRun.acquired());
  struct Case {
    QStringList arguments;
    ExitStatus expected;
  };
  const QList<Case> cases = {
      {{QStringLiteral("2016-06")}, ExitStatus::Done},
      {{QStringLiteral("2016-06"), QStringLiteral("--fix")}, ExitStatus::Locked},
      {{QStringLiteral("2016-13")}, ExitStatus::BadCommandLine},
      {{QStringLiteral("--serve")}, ExitStatus::BadCommandLine},
      {{QStringLiteral("--html")}, ExitStatus::BadCommandLine},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(check(c.arguments), c.expected) << c.arguments.join(QLatin1Char(' ')).toStdString();
  }
}

TEST(CheckCommandLine, ReadsYearsMonthsAndOptions) {
  QString error;
  const auto line = parseCheckCommandLine(
      {QStringLiteral("2016"), QStringLiteral("2015-03"), QStringLiteral("201412"),
       QStringLiteral("--html=page.html"), QStringLiteral("--server"), QStringLiteral("--json")},
      error);
  ASSERT_TRUE(line.has_value()) << error.toStdString();
  EXPECT_EQ(line->targets, (QList<check::CheckTarget>{{2016, 0}, {2015, 3}, {2014, 12}}));
  EXPECT_EQ(line->htmlFile, QStringLiteral("page.html"));
  EXPECT_TRUE(line->server && line->json && !line->fix);
}

TEST_F(CheckCommandTest, WritesTheTextReportAndThePage) {
  db.storeDays(QDate(2016, 6, 1), QDate(2016, 6, 30));
  QFile::remove(db.dayFile(QDate(2016, 6, 8)));
  const QString page = program.file(QStringLiteral("check.html"));

  EXPECT_EQ(check({QStringLiteral("2016-06"), QStringLiteral("--html"), page}),
            ExitStatus::NotCollected);

  const QString text = QString::fromUtf8(report);
  EXPECT_TRUE(text.contains(QStringLiteral("2016-06-08 [エラー] ") +
                            check::kindText(check::FindingKind::MissingDay)))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("kabuka-collect month 2016-06")));
  EXPECT_TRUE(test::readBytes(page).contains("data-date=\"2016-06-08\""));
}

}  // namespace
}  // namespace kabuka::cli
