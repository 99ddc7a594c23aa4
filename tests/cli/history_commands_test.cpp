// export and series as a user runs them: the exit statuses, what they say, and
// that the database and the day files give the same series.

#include "history/export.h"
#include "history_samples.h"
#include "program_runner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace kabuka::cli {
namespace {

class HistoryCommandsTest : public ::testing::Test {
protected:
  Program program;
  const QDate first{2016, 3, 1}, last{2016, 3, 31};

  void SetUp() override { test::storeDays(program.db(), first, last, test::awkwardRecords); }
  int run(const QStringList& words) {
    return program.run(QStringList{QStringLiteral("--today"), QStringLiteral("2016-04-01")} +
                       words);
  }
  QString said() const { return QString::fromUtf8(program.console); }
};

TEST_F(HistoryCommandsTest, SeriesGivesTheSameBytesFromTheDatabaseAndFromTheFiles) {
  ASSERT_EQ(run({QStringLiteral("series"), QStringLiteral("130A")}), 0) << said().toStdString();
  EXPECT_TRUE(said().contains(QStringLiteral("日毎株価ファイルから読みました")));
  const QByteArray fromFiles = program.output;
  ASSERT_TRUE(fromFiles.startsWith("date,code,market,name,open,high,low,close,volume\n"));

  ASSERT_EQ(run({QStringLiteral("export")}), 0) << said().toStdString();
  EXPECT_TRUE(said().contains(QStringLiteral("追加 ")));
  ASSERT_TRUE(QFile::exists(history::defaultSqlitePath(program.db())));
  ASSERT_EQ(run({QStringLiteral("series"), QStringLiteral("130A")}), 0);
  EXPECT_TRUE(said().contains(QStringLiteral("SQLite のデータベース")));
  EXPECT_EQ(program.output, fromFiles);

  ASSERT_EQ(run({QStringLiteral("series"), QStringLiteral("130A"), QStringLiteral("--bom")}), 0);
  EXPECT_EQ(program.output, QByteArray("\xef\xbb\xbf") + fromFiles);
  ASSERT_EQ(run({QStringLiteral("series"), QStringLiteral("130A"), QStringLiteral("--json"),
                 QStringLiteral("--from"), QStringLiteral("2016-03-10")}),
            0);
  const QJsonArray days = QJsonDocument::fromJson(program.output).array();
  ASSERT_FALSE(days.isEmpty()) << program.output.toStdString();
  EXPECT_GE(days.first()[QLatin1String("date")].toString(), QStringLiteral("2016-03-10"));
}

TEST_F(HistoryCommandsTest, ExitStatusesOfExportAndSeries) {
  const QString page = program.folder.file(QStringLiteral("chart.html"));
  struct Case {
    QStringList words;
    int exitStatus;
  };
  const QList<Case> cases = {
      {{"export", "2016-03"}, 0},
      {{"export", "2016-00"}, 2},
      {{"export", "--db"}, 2},
      {{"series"}, 2},
      {{"series", "130A", "--from", "2016-02-30"}, 2},
      {{"series", "130A", "--from", "2016-03-10", "--to", "2016-03-01"}, 2},
      {{"series", "0000"}, 1},
      {{"series", "130A", "--html", page}, 0},
      {{"series", "130A", "--html", "/no/such/folder/chart.html"}, 4},
      {{"update", "--export", "-n"}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.words), c.exitStatus)
        << c.words.join(u' ').toStdString() << ": " << said().toStdString();
  }
  EXPECT_TRUE(QFile(page).size() > 0);
}

// A damaged day is left out and named in the check's words; every other day is in.
TEST_F(HistoryCommandsTest, ExportNamesADamagedDayAndExitsOne) {
  const QString damaged = test::dayFilePath(program.db(), QDate(2016, 3, 15));
  QByteArray bytes = test::readBytes(damaged);
  bytes.replace("\r\n", "\n");
  test::writeBytes(damaged, bytes);

  EXPECT_EQ(run({QStringLiteral("-q"), QStringLiteral("export")}), 1);

  EXPECT_TRUE(
      said().contains(QStringLiteral("2016/data_d/20160315.csv: CR LF で終わらない行があります")))
      << said().toStdString();
  ASSERT_EQ(run({QStringLiteral("series"), QStringLiteral("130A")}), 0);
  EXPECT_FALSE(program.output.contains("2016-03-15"));
  EXPECT_TRUE(program.output.contains("2016-03-14"));
}

}  // namespace
}  // namespace kabuka::cli
