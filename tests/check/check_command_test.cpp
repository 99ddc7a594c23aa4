#include "cli/check_command.h"

#include "cli/console_window.h"
#include "collect/run_lock.h"
#include "http_server/loopback_http_server.h"
#include "sample_database.h"
#include "sample_server/sample_tree.h"
#include "settings/settei_reader.h"
#include "support/temp_folder.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <mutex>

#include <sys/stat.h>

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
  // Runs on the server's thread before each answer.
  std::function<void(const tools::HttpRequest&)> onRequest;
  tools::LoopbackHttpServer server{[this](const tools::HttpRequest& r) {
    if (onRequest) {
      onRequest(r);
    }
    return tree.respond(r);
  }};
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
      .writeOutput =
          [this](QByteArrayView b) {
            report += b.toByteArray();
            return true;
          },
      .command = nullptr,
  };

  void SetUp() override {
    ASSERT_TRUE(server.listening());
    resetSetteiTbl(context.settei_tbl, program.path());
    context.fetch.transferTimeoutMs = 5000;
  }

  ExitStatus check(const QStringList& arguments) {
    report.clear();
    return runCheck(context, arguments);
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
      {{QStringLiteral("2016-00")}, ExitStatus::BadCommandLine},
      {{QStringLiteral("201600")}, ExitStatus::BadCommandLine},
      {{QStringLiteral("0000")}, ExitStatus::BadCommandLine},
      {{QStringLiteral("2016-06"), QStringLiteral("--html"),
        QStringLiteral("/no/such/folder/x.html")},
       ExitStatus::Incomplete},
      {{QStringLiteral("--serve")}, ExitStatus::BadCommandLine},
      {{QStringLiteral("--html")}, ExitStatus::BadCommandLine},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(check(c.arguments), c.expected) << c.arguments.join(QLatin1Char(' ')).toStdString();
  }
}

// Only the months a collection mends are collected, each once, and each
// left-over goes once its month is collected again.
TEST_F(CheckCommandTest, FixCollectsTheMonthsOfLeftoversAndShortDaysOnly) {
  db.storeDays(QDate(2016, 3, 1), QDate(2016, 6, 30));
  const QString dayTemp = db.inDatabase(QStringLiteral("2016/data_d/20160316.csv.aB3dE9"));
  const QString monthTemp = db.inDatabase(QStringLiteral("2016/data_dg/201604.csv.Zz9Yy8"));
  test::writeBytes(dayTemp, "2016");
  test::writeBytes(db.monthFile(2016, 4), "201604,1");
  test::writeBytes(monthTemp, "2016");
  const QDate shortDay(2016, 5, 17), saturday(2016, 6, 18);
  db.storeDay(shortDay, test::SampleDatabase(db.dbPath(), kRecords / 2).dayBytes(shortDay));
  QByteArray bytes = db.dayBytes(saturday);
  test::replaceField(bytes, 1, 1, "20160617");
  db.storeDay(saturday, bytes);
  server.clearRequestedPaths();

  const ExitStatus status =
      check({QStringLiteral("2016-03"), QStringLiteral("2016-04"), QStringLiteral("2016-05"),
             QStringLiteral("2016-06"), QStringLiteral("--fix"), QStringLiteral("--json")});

  QStringList months;
  for (const QByteArray& path : server.requestedPaths()) {
    months.append(QString::fromLatin1(path.right(10).left(6)));
  }
  EXPECT_EQ(months, (QStringList{QStringLiteral("201603"), QStringLiteral("201604"),
                                 QStringLiteral("201605")}));
  for (const QString& gone : {dayTemp, db.monthFile(2016, 4), monthTemp}) {
    EXPECT_FALSE(QFile::exists(gone)) << gone.toStdString();
  }
  EXPECT_EQ(test::readBytes(db.dayFile(shortDay)), tree.dayFile(shortDay));
  EXPECT_EQ(kindsIn(report), (QStringList{QStringLiteral("header-date-mismatch 2016-06-18"),
                                          QStringLiteral("unexpected-day 2016-06-18")}))
      << "a file on a closed day is the user's to remove, and reported once";
  EXPECT_EQ(status, ExitStatus::NotCollected) << "the damaged file on a closed day is left";
}

// No other run may come in between the repair's reading and its collections, nor
// between two of its months: one lock file stands from the first to the last.
TEST_F(CheckCommandTest, FixHoldsOneLockThroughTheWholeRepair) {
  db.storeDays(QDate(2016, 4, 1), QDate(2016, 6, 30));
  QFile::remove(db.dayFile(QDate(2016, 4, 12)));
  QFile::remove(db.dayFile(QDate(2016, 6, 8)));
  const QByteArray lockFile = QFile::encodeName(RunLock::lockPathFor(db.dbPath()));
  std::mutex mutex;
  QList<qint64> lockChanges;  // the lock file's change time at each month's request
  onRequest = [&](const tools::HttpRequest&) {
    struct stat info = {};
    const bool there = ::stat(lockFile.constData(), &info) == 0;
    const std::lock_guard lock(mutex);
    lockChanges.append(there ? qint64(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec
                             : -1);
  };

  EXPECT_EQ(check({QStringLiteral("2016"), QStringLiteral("--fix")}), ExitStatus::Done);

  ASSERT_GE(lockChanges.size(), 2);
  for (const qint64 change : lockChanges) {
    EXPECT_EQ(change, lockChanges.first()) << "the lock was given up and taken again";
    EXPECT_NE(change, -1);
  }
  EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(lockFile))) << "released at the end";
}

// A stop during a month's collection lets that month finish: it is reported as
// collected, the months after it as not collected, and the check exits 130.
TEST_F(CheckCommandTest, AStopDuringARepairTellsWhatWasCollected) {
  db.storeDays(QDate(2016, 4, 1), QDate(2016, 6, 30));
  QFile::remove(db.dayFile(QDate(2016, 4, 12)));
  QFile::remove(db.dayFile(QDate(2016, 6, 8)));
  std::once_flag once;
  onRequest = [&](const tools::HttpRequest&) {
    std::call_once(once, [&] {
      QMetaObject::invokeMethod(
          qApp, [&] { window.requestStop(); }, Qt::QueuedConnection);
    });
  };

  EXPECT_EQ(check({QStringLiteral("2016-04"), QStringLiteral("2016-06"), QStringLiteral("--fix"),
                   QStringLiteral("--json")}),
            ExitStatus::Stopped);

  EXPECT_EQ(test::readBytes(db.dayFile(QDate(2016, 4, 12))), tree.dayFile(QDate(2016, 4, 12)));
  const QJsonArray repairs = QJsonDocument::fromJson(report)[QLatin1String("repairs")].toArray();
  ASSERT_EQ(repairs.size(), 2) << report.toStdString();
  EXPECT_TRUE(repairs[0][QLatin1String("collected")].toBool());
  EXPECT_FALSE(repairs[1][QLatin1String("collected")].toBool());
  EXPECT_EQ(kindsIn(report), QStringList{QStringLiteral("missing-day 2016-06-08")})
      << "April was checked again; June's finding stays as it was";
}

TEST_F(CheckCommandTest, WhatCannotBeWrittenIsNotACompletedCheck) {
  db.storeDays(QDate(2016, 6, 1), QDate(2016, 6, 30));
  context.writeOutput = [](QByteArrayView) { return false; };
  EXPECT_EQ(runCheck(context, {QStringLiteral("2016-06")}), ExitStatus::Incomplete);
  EXPECT_TRUE(QString::fromUtf8(console).contains(QStringLiteral("書き出せません")));
}

// Names and header bytes come from the data; on a terminal their control
// characters would act instead of being shown.
TEST_F(CheckCommandTest, TheTextReportShowsControlCharactersVisibly) {
  db.storeDays(QDate(2016, 6, 1), QDate(2016, 6, 30));
  test::writeBytes(db.inDatabase(QStringLiteral("2016/data_d/x\x1b[2Jy.csv")), "x");
  QByteArray bytes = db.dayBytes(QDate(2016, 6, 8));
  test::replaceField(bytes, 1, 1,
                     "2016\a\x9b"
                     "0608");
  db.storeDay(QDate(2016, 6, 8), bytes);

  check({QStringLiteral("2016-06")});

  EXPECT_FALSE(report.contains('\x1b'));
  EXPECT_FALSE(report.contains('\a'));
  EXPECT_FALSE(QString::fromUtf8(report).contains(QChar(0x9b)));
  EXPECT_TRUE(report.contains("x\\x1b[2Jy.csv")) << report.toStdString();
  EXPECT_TRUE(report.contains("2016\\x07\\x9b0608")) << report.toStdString();
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
