// update as a scheduled run meets it: what it says it holds, a dry run, and the
// day files a re-collected month leaves alone.

#include "cli_fixture.h"

#include "collect/run_lock.h"
#include "sample_data/sample_prices.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kabuka {
namespace {

using test::CliFixture;

// What identifies one version of a file on the disk.
struct FileIdentity {
  ino_t inode = 0;
  qint64 modifiedNs = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

QMap<QString, FileIdentity> identitiesUnder(const QString& folder) {
  QMap<QString, FileIdentity> identities;
  for (const QString& path : test::filesUnder(folder).keys()) {
    struct stat info = {};
    ::stat(QFile::encodeName(folder + path).constData(), &info);
    identities.insert(
        path, {info.st_ino, qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec});
  }
  return identities;
}

// Serves December only up to `lastDay`, as a server that has not caught up.
void serveDecemberUpTo(CliFixture& fixture, QDate lastDay) {
  fixture.setOverride(
      [lastDay](const tools::HttpRequest& request) -> std::optional<tools::HttpResponse> {
        if (!request.path.endsWith("201612.csv")) {
          return std::nullopt;
        }
        tools::SamplePrices prices;
        prices.recordsPerDay = 5;
        return tools::HttpResponse::ok(prices.monthFile(2016, 12, lastDay));
      });
}

TEST(UpdateSays, WhatTheDatabaseHoldsAndWhatItStillLacks) {
  struct Case {
    const char* what;
    QDate serverUpTo;
    int exitStatus;
    QStringList said;
  };
  const QList<Case> cases = {
      {"all there", {2016, 12, 7}, 0, {"データベースの最新の日毎株価は 2016/12/07 です。"}},
      {"today not out yet",
       {2016, 12, 6},
       0,
       {"今日（2016/12/07）の日毎株価はまだ公開されていません。",
        "データベースの最新の日毎株価は 2016/12/06 です。"}},
      {"days missing",
       {2016, 12, 2},
       1,
       {"2016/12/05、2016/12/06", "データベースの最新の日毎株価は 2016/12/02 です。"}},
  };
  for (const Case& c : cases) {
    CliFixture fixture;
    serveDecemberUpTo(fixture, c.serverUpTo);
    EXPECT_EQ(fixture.run({QStringLiteral("update"), QStringLiteral("--since"),
                           QStringLiteral("2016-12-01")}),
              c.exitStatus)
        << c.what;
    const QString output = QString::fromUtf8(fixture.output);
    for (const QString& line : c.said) {
      EXPECT_TRUE(output.contains(line)) << c.what << ": " << output.toStdString();
    }
    EXPECT_TRUE(output.trimmed().endsWith(c.said.constLast())) << c.what << ": the last line";
  }
}

// A dry run fetches nothing, writes nothing and takes no lock: it works while
// another run holds the database.
TEST(DryRun, TouchesNothingAndTakesNoLock) {
  CliFixture fixture;
  ASSERT_EQ(fixture.run({QStringLiteral("month"), QStringLiteral("2016-11")}), 0);
  QFile::remove(fixture.db() + QStringLiteral("2016/data_d/20161115.csv"));
  const QMap<QString, QByteArray> before = test::filesUnder(fixture.program.path());
  fixture.server().clearRequestedPaths();
  const RunLock otherRun(fixture.db());
  ASSERT_TRUE(otherRun.acquired());

  EXPECT_EQ(fixture.run({QStringLiteral("update"), QStringLiteral("-n")}), 0);
  EXPECT_TRUE(fixture.output.contains("2016年11月から2016年12月まで"))
      << fixture.output.toStdString();
  EXPECT_EQ(fixture.run({QStringLiteral("check"), QStringLiteral("2016-11"),
                         QStringLiteral("--fix"), QStringLiteral("--dry-run")}),
            1)
      << "the day is still missing";
  EXPECT_TRUE(fixture.output.contains("集め直す月（1 か月）：2016-11"))
      << fixture.output.toStdString();

  EXPECT_TRUE(fixture.requested().isEmpty());
  QMap<QString, QByteArray> after = test::filesUnder(fixture.program.path());
  after.remove(QStringLiteral("kabuka/.collect.lock"));  // the other run's
  EXPECT_EQ(after.keys(), before.keys());
  EXPECT_EQ(after, before);
}

// A backup keyed on times must not copy again what a re-collected month did not
// change.
TEST(ReCollectedMonth, LeavesUnchangedDayFilesAsTheyWere) {
  CliFixture fixture;
  ASSERT_EQ(fixture.run({QStringLiteral("month"), QStringLiteral("2016-11")}), 0);
  const QString november = fixture.db() + QStringLiteral("2016/data_d/");
  const QString changed = november + QStringLiteral("20161115.csv");
  test::writeBytes(changed, "20161115,0,x,,,,,\r\n");
  const QMap<QString, FileIdentity> before = identitiesUnder(november);

  ASSERT_EQ(fixture.run({QStringLiteral("update"), QStringLiteral("--since"),
                         QStringLiteral("2016-11-01")}),
            0)
      << fixture.output.toStdString();

  const QMap<QString, FileIdentity> after = identitiesUnder(november);
  int kept = 0;
  for (auto it = before.begin(); it != before.end(); ++it) {
    if (it.key().startsWith(QLatin1String("201611")) && it.key() != QLatin1String("20161115.csv")) {
      EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
      ++kept;
    }
  }
  EXPECT_NE(after.value(QStringLiteral("20161115.csv")),
            before.value(QStringLiteral("20161115.csv")));
  EXPECT_EQ(test::readBytes(changed), fixture.tree().dayFile(QDate(2016, 11, 15)));
  int decemberDaysSoFar = 0;
  for (const QDate& day : tools::SamplePrices::tradingDays(2016, 12)) {
    decemberDaysSoFar += day <= QDate(2016, 12, 7) ? 1 : 0;
  }
  EXPECT_TRUE(fixture.output.contains(QStringLiteral("書き換え %1 件、変わらず %2 件")
                                          .arg(1 + decemberDaysSoFar)
                                          .arg(kept)
                                          .toUtf8()))
      << fixture.output.toStdString();
}

TEST(Verbose, NamesEveryRequest) {
  CliFixture fixture;
  ASSERT_EQ(fixture.run({QStringLiteral("-v"), QStringLiteral("month"), QStringLiteral("2016-03")}),
            0);
  EXPECT_TRUE(fixture.output.contains((QStringLiteral("GET ") + fixture.baseUrl() +
                                       QStringLiteral("2016/data_dg/201603.csv → HTTP 200"))
                                          .toUtf8()))
      << fixture.output.toStdString();
}

}  // namespace
}  // namespace kabuka
