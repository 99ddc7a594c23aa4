#include "check/database_check.h"
#include "check/server_source.h"

#include "http_server/loopback_http_server.h"
#include "sample_database.h"
#include "sample_server/sample_tree.h"
#include "support/fake_pump.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <mutex>

namespace kabuka::check {
namespace {

QStringList keysOf(const CheckReport& report) {
  QStringList keys;
  for (const Finding& finding : report.findings) {
    keys.append(kindCode(finding.kind) + QLatin1Char(' ') + finding.date.toString(Qt::ISODate));
  }
  keys.sort();
  return keys;
}

QStringList filesUnder(const QString& folder) {
  QStringList files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    files.append(it.next());
  }
  files.sort();
  return files;
}

class ServerCheckTest : public ::testing::Test {
protected:
  static constexpr int kRecords = 50;
  const QDate today{2016, 7, 15};
  // The user closed the 20th by hand, the server has prices for it.
  const QDate closedByUser{2016, 6, 20};
  tools::SampleTree tree{{2016, 2016, kRecords}, [this] { return today; }};
  tools::LoopbackHttpServer server{[this](const tools::HttpRequest& r) { return tree.respond(r); }};
  test::TempFolder folder;
  test::SampleDatabase db{folder.path() + QStringLiteral("/kabuka/"), kRecords, {closedByUser}};
  test::FakePump pump;

  void SetUp() override { ASSERT_TRUE(server.listening()); }

  CheckReport check(const QList<CheckTarget>& targets,
                    const std::function<void(CheckOptions&)>& adjust = {},
                    const QString& origin = {}) {
    FetchConfig config;
    config.transferTimeoutMs = 5000;
    RetryPolicy retry;
    retry.retries = 2;
    retry.wait = [](int) { return true; };
    CheckOptions options = db.options(today, targets);
    if (adjust) {
      adjust(options);
    }
    ServerMonthSource source(
        (origin.isEmpty() ? server.origin() : origin) + QLatin1String(tools::SampleTree::kRoot),
        pump, retry, config, options.stopRequested);
    options.server = &source;
    return checkDatabase(options);
  }

  QStringList monthsRequested() const {
    QStringList months;
    for (const QByteArray& path : server.requestedPaths()) {
      months.append(QString::fromLatin1(path.right(10).left(6)));
    }
    return months;
  }
};

// An address where nothing listens: a port that was just free.
QString deadOrigin() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost);
  const quint16 port = probe.serverPort();
  probe.close();
  return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

TEST_F(ServerCheckTest, FindsEditedDeletedAndUnannouncedDaysAndGoesOnPastAMissingMonth) {
  db.storeDays(QDate(2015, 12, 1), QDate(2016, 6, 30));
  ASSERT_EQ(test::readBytes(db.dayFile(QDate(2016, 6, 1))), tree.dayFile(QDate(2016, 6, 1)))
      << "the database starts as the server has it";
  const QDate edited(2016, 6, 8), deleted(2016, 6, 15), saturday(2016, 6, 18);
  QByteArray bytes = test::readBytes(db.dayFile(edited));
  test::replaceField(bytes, 3, 4, test::fieldOf(bytes, 3, 4) + "0");
  db.storeDay(edited, bytes);
  QFile::remove(db.dayFile(deleted));
  db.storeDay(saturday, db.dayBytes(saturday));
  const QStringList before = filesUnder(folder.path());

  const CheckReport report = check({{2015, 12}, {2016, 6}});

  const QStringList expected = {QStringLiteral("differs-from-server 2016-06-08"),
                                QStringLiteral("missing-day 2016-06-15"),
                                QStringLiteral("not-on-server 2016-06-18"),
                                QStringLiteral("server-has-day 2016-06-20"),
                                QStringLiteral("server-month-missing 2015-12-01"),
                                QStringLiteral("unexpected-day 2016-06-18")};
  EXPECT_EQ(keysOf(report), expected);
  EXPECT_EQ(report.exitStatus(), ExitStatus::NotCollected);
  EXPECT_EQ(filesUnder(folder.path()), before) << "the check wrote into the database";
}

}  // namespace
}  // namespace kabuka::check

namespace kabuka::check {
namespace {

TEST_F(ServerCheckTest, ComparesEveryDueDayOfTheMonthsBegunAndNothingChanged) {
  db.storeDays(QDate(2016, 6, 1), today.addDays(-1));
  const QDate lastDue(2016, 7, 14), withEndMark(2016, 7, 1), changing(2016, 6, 7);
  QByteArray bytes = test::readBytes(db.dayFile(lastDue));
  test::replaceField(bytes, 2, 4, test::fieldOf(bytes, 2, 4) + "0");
  db.storeDay(lastDue, bytes);
  db.storeDay(withEndMark, test::readBytes(db.dayFile(withEndMark)) + "\x1a");
  std::once_flag once;

  const CheckReport report = check({{2016, 0}}, [&](CheckOptions& options) {
    options.beforeRead = [&](const QString& path) {
      if (path == db.dayFile(changing)) {
        std::call_once(once, [&] { test::writeBytes(path, test::readBytes(path) + "x"); });
      }
    };
  });

  // January to May are not in the database and are reported missing by the plain
  // check; the server is asked for each month begun, and for no later one.
  QStringList keys = keysOf(report);
  keys.removeIf([](const QString& key) { return key.startsWith(QLatin1String("missing-day")); });
  EXPECT_EQ(report.exitStatus(), ExitStatus::NotCollected);
  EXPECT_EQ(keys, (QStringList{QStringLiteral("changed-during-check 2016-06-07"),
                               QStringLiteral("differs-from-server 2016-07-14"),
                               QStringLiteral("server-has-day 2016-06-20")}))
      << keys.join(u',').toStdString();
  EXPECT_EQ(monthsRequested(), (QStringList{QStringLiteral("201601"), QStringLiteral("201602"),
                                            QStringLiteral("201603"), QStringLiteral("201604"),
                                            QStringLiteral("201605"), QStringLiteral("201606"),
                                            QStringLiteral("201607")}));
}

TEST_F(ServerCheckTest, GivesUpOnAServerThatCannotBeReached) {
  db.storeDays(QDate(2016, 1, 1), today.addDays(-1));

  const CheckReport report = check({{2016, 0}}, {}, deadOrigin());

  EXPECT_EQ(keysOf(report), (QStringList{QStringLiteral("server-month-missing 2016-01-01"),
                                         QStringLiteral("server-month-missing 2016-02-01")}));
  EXPECT_FALSE(report.incomplete.isEmpty());
  EXPECT_EQ(report.exitStatus(), ExitStatus::Incomplete);
}

// The first signal abandons the month file in hand: the check stores nothing, so
// nothing is lost by not waiting for it.
TEST_F(ServerCheckTest, AStopEndsTheComparisonWithoutBlamingTheServer) {
  db.storeDays(QDate(2016, 1, 1), today.addDays(-1));
  tools::LoopbackHttpServer slow([this](const tools::HttpRequest& request) {
    tools::HttpResponse response = tree.respond(request);
    response.delayMs = 3000;
    return response;
  });
  bool stop = false;
  pump.onWait = [&](int) { stop = true; };

  const CheckReport report = check(
      {{2016, 0}}, [&](CheckOptions& options) { options.stopRequested = [&] { return stop; }; },
      slow.origin());

  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(report.exitStatus(), ExitStatus::Stopped);
  EXPECT_EQ(keysOf(report), QStringList{}) << "a month cut by the stop is not the server's fault";
  EXPECT_LE(slow.requestedPaths().size(), 1) << "no month after the stop";
  EXPECT_EQ(slow.sentBodyBytes(), 0) << "the month in hand was not waited for";
}

// Without a usable temporary folder there is nowhere to put the server's files;
// the check must neither write them into the current folder nor remove it.
TEST_F(ServerCheckTest, WithoutATemporaryFolderTheComparisonIsNotMade) {
  db.storeDays(QDate(2016, 6, 1), QDate(2016, 6, 30));
  const test::TempFolder working;
  test::writeBytes(working.file(QStringLiteral("keep.txt")), "mine");
  test::writeBytes(working.file(QStringLiteral("a-file")), "not a folder");
  const QString oldWorking = QDir::currentPath();
  const QByteArray oldTmp = qgetenv("TMPDIR");
  QDir::setCurrent(working.path());
  for (const QString& tmp :
       {working.file(QStringLiteral("gone")), working.file(QStringLiteral("a-file"))}) {
    qputenv("TMPDIR", tmp.toLocal8Bit());

    const CheckReport report = check({{2016, 6}});

    EXPECT_FALSE(report.incomplete.isEmpty()) << tmp.toStdString();
    EXPECT_EQ(report.exitStatus(), ExitStatus::Incomplete);
  }
  qputenv("TMPDIR", oldTmp);
  QDir::setCurrent(oldWorking);
  EXPECT_EQ(test::readBytes(working.file(QStringLiteral("keep.txt"))), "mine");
  EXPECT_EQ(QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 2);
  EXPECT_TRUE(server.requestedPaths().isEmpty());
}

}  // namespace
}  // namespace kabuka::check
