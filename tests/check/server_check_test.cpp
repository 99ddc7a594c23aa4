#include "check/database_check.h"
#include "check/server_source.h"

#include "http_server/loopback_http_server.h"
#include "sample_database.h"
#include "sample_server/sample_tree.h"
#include "support/fake_pump.h"
#include "support/temp_folder.h"

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

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

  CheckReport check(const QList<CheckTarget>& targets) {
    FetchConfig config;
    config.transferTimeoutMs = 5000;
    RetryPolicy retry;
    retry.retries = 2;
    retry.wait = [](int) { return true; };
    ServerMonthSource source(server.origin() + QLatin1String(tools::SampleTree::kRoot), pump, retry,
                             config);
    CheckOptions options = db.options(today, targets);
    options.server = &source;
    return checkDatabase(options);
  }
};

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
  EXPECT_EQ(report.exitStatus(), 1);
  EXPECT_EQ(filesUnder(folder.path()), before) << "the check wrote into the database";
}

}  // namespace
}  // namespace kabuka::check
