#include "history/export.h"
#include "history/sqlite_db.h"

#include "history_samples.h"
#include "support/temp_folder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace kabuka::history {
namespace {

QList<test::SampleRecord> manyRecords(const QDate& day) {
  return test::plainRecords(day, 400);
}

// What a killed export must leave: a sound file in which every day_files row has
// exactly its records. It is opened as a user's tool opens it, for writing, so
// that SQLite may take up what the killed process left; a kill before the file
// was made leaves nothing to look at.
void expectWholeDays(const QString& sqlitePath, const std::string& when) {
  if (!QFile::exists(sqlitePath)) {
    return;
  }
  Database db;
  ASSERT_TRUE(db.open(sqlitePath, Database::Mode::ReadWrite, 5000)) << when;
  Statement integrity = db.prepare("PRAGMA integrity_check");
  ASSERT_TRUE(integrity.step()) << when << ": " << db.error().toStdString();
  EXPECT_EQ(integrity.columnText(0), QStringLiteral("ok")) << when;
  EXPECT_EQ(db.queryInt("SELECT count(*) FROM day_files AS f WHERE f.records <> "
                        "(SELECT count(*) FROM prices AS p WHERE p.date = f.date)",
                        0),
            0)
      << when;
}

class KillTest : public ::testing::Test {
protected:
  test::TempFolder folder;
  QString db = folder.path() + QStringLiteral("/kabuka/");
  QString sqlite = db + QStringLiteral("kabuka.sqlite");

  // kabuka-collect export of the database in the program folder's "kabuka".
  QStringList exportArguments() const {
    return {QStringLiteral("--program-folder"), folder.path(), QStringLiteral("--quiet"),
            QStringLiteral("export")};
  }

  // Runs the export in a child; kills it after `delayMs` unless it ended before.
  // Returns true when it was killed.
  bool exportKilledAfter(int delayMs) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(KABUKA_COLLECT), exportArguments());
    EXPECT_TRUE(child.waitForStarted());
    const bool ended = child.waitForFinished(delayMs);
    if (!ended) {
      child.kill();  // SIGKILL
      child.waitForFinished();
    }
    return !ended;
  }

  int childExportMs() {
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.start(QStringLiteral(KABUKA_COLLECT), exportArguments());
    child.waitForFinished(60000);
    EXPECT_EQ(child.exitCode(), 0);
    return int(timer.elapsed());
  }

  void killAtManyMoments(int fullMs, const std::function<void()>& reset) {
    int killed = 0;
    for (int eighth = 1; eighth <= 7; ++eighth) {
      reset();
      const int delay = fullMs * eighth / 8;
      killed += exportKilledAfter(delay) ? 1 : 0;
      expectWholeDays(sqlite, "killed after " + std::to_string(delay) + " ms");
      ExportOptions options;
      options.dbPath = db;
      const ExportResult completed = exportDatabase(options);
      EXPECT_EQ(completed.status, ExportResult::Status::Done) << completed.error.toStdString();
      EXPECT_FALSE(QFile::exists(sqlite + QStringLiteral("-new")))
          << "what a killed first export left is gone";
      expectWholeDays(sqlite, "completed");
      Database check;
      ASSERT_TRUE(check.open(sqlite, Database::Mode::ReadOnly, 5000));
      EXPECT_EQ(check.queryInt("SELECT count(*) FROM prices"), 60 * 400);
    }
    EXPECT_GE(killed, 4) << "the export ended before most kills; the test proves little";
  }
};

TEST_F(KillTest, AKilledExportLeavesWholeDaysAndTheNextRunCompletes) {
  test::storeDays(db, QDate(2024, 1, 1), QDate(2024, 3, 22), manyRecords);
  const auto removeDatabase = [&] {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      QFile::remove(sqlite + QLatin1String(suffix));
    }
  };
  removeDatabase();
  const int bulkMs = childExportMs();
  // A first export, built in bulk.
  killAtManyMoments(bulkMs, removeDatabase);

  // Day by day: every day changed.
  int version = 0;
  const auto changeEveryDay = [&] {
    ++version;
    test::storeDays(db, QDate(2024, 1, 1), QDate(2024, 3, 22), [&](const QDate& day) {
      QList<test::SampleRecord> records = manyRecords(day);
      records[0].prices[3] = QString::number(version);
      return records;
    });
  };
  changeEveryDay();
  const int incrementalMs = childExportMs();
  killAtManyMoments(incrementalMs, changeEveryDay);
}

}  // namespace
}  // namespace kabuka::history
