#include "history/export.h"
#include "check/database_check.h"
#include "history/export_lock.h"
#include "history/sqlite_db.h"

#include "history_samples.h"
#include "support/temp_folder.h"

#include <QFile>

#include <cstdio>

#include <gtest/gtest.h>

#include <utime.h>

namespace kabuka::history {
namespace {

using test::SampleRecord;

// One row of `prices` with the SQL type of each price value.
struct PriceLine {
  QString date, code, market, name;
  QStringList values;  // "integer:300", "real:1234.5", "text:-", "null:"
  friend bool operator==(const PriceLine&, const PriceLine&) = default;
};

std::ostream& operator<<(std::ostream& out, const PriceLine& line) {
  return out << QStringList{line.date, line.code, line.market, line.name}
                    .join(QLatin1Char('|'))
                    .toStdString()
             << " " << line.values.join(QLatin1Char(' ')).toStdString();
}

QList<PriceLine> pricesOf(const QString& sqlitePath, const QString& where = {}) {
  Database db;
  EXPECT_TRUE(db.open(sqlitePath, Database::Mode::ReadOnly, 1000)) << db.error().toStdString();
  QString sql = QStringLiteral(
      "SELECT date, code, market, name, typeof(open), open, typeof(high), high, typeof(low), "
      "low, typeof(close), close, typeof(volume), volume FROM prices ");
  sql += where + QStringLiteral(" ORDER BY code, date, market");
  Statement select = db.prepare(sql.toStdString());
  EXPECT_TRUE(select.isValid()) << db.error().toStdString();
  QList<PriceLine> lines;
  while (select.step()) {
    PriceLine line{
        select.columnText(0), select.columnText(1), select.columnText(2), select.columnText(3), {}};
    for (int column = 4; column < 14; column += 2) {
      line.values.append(select.columnText(column) + QLatin1Char(':') +
                         select.columnText(column + 1));
    }
    lines.append(line);
  }
  return lines;
}

// What `prices` should hold for a record: numbers where the field is one that
// reads back the same, NULL where it is empty, text otherwise.
PriceLine expectedLine(const QDate& day, const SampleRecord& record) {
  PriceLine line{day.toString(Qt::ISODate), record.code, record.market, record.name, {}};
  // The samples' fields that must stay text: each would come back otherwise.
  static const QStringList kText{"0123", "-", "1.50", "-0"};
  for (const QString& field : record.prices) {
    const QString type = field.isEmpty()                    ? QStringLiteral("null")
                         : kText.contains(field)            ? QStringLiteral("text")
                         : field.contains(QLatin1Char('.')) ? QStringLiteral("real")
                                                            : QStringLiteral("integer");
    line.values.append(type + QLatin1Char(':') + field);
  }
  return line;
}

QList<PriceLine> expectedLines(const QDate& first, const QDate& last,
                               const std::function<QList<SampleRecord>(const QDate&)>& records) {
  QList<PriceLine> lines;
  for (QDate day = first; day <= last; day = day.addDays(1)) {
    if (day.dayOfWeek() <= 5) {
      for (const SampleRecord& record : records(day)) {
        lines.append(expectedLine(day, record));
      }
    }
  }
  std::sort(lines.begin(), lines.end(), [](const PriceLine& a, const PriceLine& b) {
    return std::tie(a.code, a.date, a.market) < std::tie(b.code, b.date, b.market);
  });
  return lines;
}

class ExportTest : public ::testing::Test {
protected:
  test::TempFolder folder;
  QString db = folder.path() + QStringLiteral("/kabuka/");
  QString sqlite = db + QStringLiteral("kabuka.sqlite");
  int filesRead = 0;

  ExportResult exportNow(QList<ExportTarget> targets = {}, bool rebuild = false) {
    ExportOptions options;
    options.dbPath = db;
    options.targets = std::move(targets);
    options.rebuild = rebuild;
    options.beforeRead = [this](const QString&) { ++filesRead; };
    filesRead = 0;
    return exportDatabase(options);
  }
};

TEST_F(ExportTest, PricesHoldEveryFieldOfTheDayFilesWithItsType) {
  test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 8), test::awkwardRecords);
  const ExportResult result = exportNow();
  ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error.toStdString();
  EXPECT_EQ(result.added, 5);
  EXPECT_EQ(result.rows, 25);
  EXPECT_EQ(result.textValues, 5 * 4);  // "0123", "-", "1.50", "-0"
  const QList<PriceLine> expected =
      expectedLines(QDate(2024, 3, 4), QDate(2024, 3, 8), test::awkwardRecords);
  EXPECT_EQ(pricesOf(sqlite), expected);
  // Picked out by the example's own words, so the test does not only restate itself.
  EXPECT_EQ(pricesOf(sqlite, QStringLiteral("WHERE code = '130A' AND date = '2024-03-04'"))
                .value(0)
                .values,
            (QStringList{"real:1234.5", "real:1250.0", "real:1200.25", "real:1240.5",
                         "integer:5000000000"}));

  // The check reads the same folder and has nothing to say about the database file.
  check::CheckOptions check;
  check.dbPath = db;
  const MarketCalendar market;
  check.calendar = check::fromMarketCalendar(market);
  check.today = QDate(2024, 3, 9);
  check.targets = {{2024, 3}};
  for (const check::Finding& finding : check::checkDatabase(check).findings) {
    EXPECT_FALSE(finding.path.contains(QLatin1String("sqlite"))) << finding.path.toStdString();
  }
}

// A first export sorts its rows a bucket at a time, with buckets planned from the
// first day read. Here that day has one code and the buckets are tiny, so later
// codes crowd one range, which must be split by the exact counts.
TEST_F(ExportTest, ABulkLoadInManySmallBucketsGivesEveryRow) {
  const QDate first(2024, 3, 4), last(2024, 3, 15);
  const auto records = [&](const QDate& day) {
    QList<SampleRecord> all = test::awkwardRecords(day);
    if (day == first) {
      return all.mid(0, 1);
    }
    return all + test::plainRecords(day, 12);
  };
  test::storeDays(db, first, last, records);
  ExportOptions options;
  options.dbPath = db;
  options.rowsPerBucket = 7;
  const ExportResult result = exportDatabase(options);
  ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error.toStdString();
  EXPECT_EQ(pricesOf(sqlite), expectedLines(first, last, records));
  options.rebuild = true;
  options.rowsPerBucket = 1;
  ASSERT_EQ(exportDatabase(options).status, ExportResult::Status::Done);
  EXPECT_EQ(pricesOf(sqlite), expectedLines(first, last, records));
}

TEST_F(ExportTest, FollowsNewChangedAndDeletedDaysAndReadsNothingWhenNothingChanged) {
  test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 7), test::awkwardRecords);
  ASSERT_EQ(exportNow().status, ExportResult::Status::Done);

  const ExportResult idle = exportNow();
  EXPECT_EQ(idle.status, ExportResult::Status::Done);
  EXPECT_EQ(idle.unchanged, 4);
  EXPECT_EQ(filesRead, 0);

  const auto changedDay = [](const QDate& day) {
    QList<SampleRecord> records = test::awkwardRecords(day);
    if (day == QDate(2024, 3, 5)) {
      records[0].prices[3] = QStringLiteral("999");
      records.removeLast();
    }
    return records;
  };
  test::storeDays(db, QDate(2024, 3, 5), QDate(2024, 3, 5), changedDay);
  test::storeDays(db, QDate(2024, 3, 8), QDate(2024, 3, 8), test::awkwardRecords);
  QFile::remove(test::dayFilePath(db, QDate(2024, 3, 6)));
  // Only the time of this one changes: read, found the same, not imported again.
  const QByteArray touched = QFile::encodeName(test::dayFilePath(db, QDate(2024, 3, 7)));
  ASSERT_EQ(::utime(touched.constData(), nullptr), 0);

  const ExportResult update = exportNow();
  ASSERT_EQ(update.status, ExportResult::Status::Done) << update.error.toStdString();
  EXPECT_EQ(update.added, 1);
  EXPECT_EQ(update.changed, 1);
  EXPECT_EQ(update.removed, 1);
  EXPECT_EQ(update.unchanged, 2);
  EXPECT_EQ(filesRead, 3);
  QList<PriceLine> expected = expectedLines(QDate(2024, 3, 4), QDate(2024, 3, 8), changedDay);
  expected.removeIf([](const PriceLine& line) { return line.date == u"2024-03-06"; });
  EXPECT_EQ(pricesOf(sqlite), expected);
  EXPECT_EQ(exportNow().unchanged, 4);
  EXPECT_EQ(filesRead, 0);
}

TEST_F(ExportTest, LeavesDamagedDaysOutAndNamesThemInTheChecksWords) {
  test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 6), test::awkwardRecords);
  ASSERT_EQ(exportNow().status, ExportResult::Status::Done);
  // A day that was fine loses a line; its earlier rows stay.
  QByteArray cut = test::readBytes(test::dayFilePath(db, QDate(2024, 3, 5)));
  cut.truncate(cut.lastIndexOf("\r\n", cut.size() - 3) + 2);
  test::writeBytes(test::dayFilePath(db, QDate(2024, 3, 5)), cut);
  // A code twice on one market; the same code on two markets is fine elsewhere.
  QList<SampleRecord> twice = test::awkwardRecords(QDate(2024, 3, 7));
  twice.append(twice[0]);
  test::writeBytes(test::dayFilePath(db, QDate(2024, 3, 7)),
                   test::dayFileBytes(QDate(2024, 3, 7), twice));
  test::storeDays(db, QDate(2024, 3, 8), QDate(2024, 3, 8), test::awkwardRecords);

  for (int run = 0; run < 2; ++run) {  // the second run knows them without reading
    const ExportResult result = exportNow();
    EXPECT_EQ(result.status, ExportResult::Status::SomeNotImported);
    EXPECT_EQ(result.added, run == 0 ? 1 : 0);
    EXPECT_EQ(filesRead, run == 0 ? 3 : 0);
    QStringList named;
    for (const auto& [path, problem] : result.damaged) {
      named.append(path + QLatin1Char(' ') + problem);
    }
    ASSERT_EQ(named.size(), 2) << named.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(named[0], QStringLiteral("2024/data_d/20240305.csv ") +
                            check::kindText(check::FindingKind::BadRecordCount) +
                            QStringLiteral("（見出し 5 件、実際 4 件）"));
    EXPECT_TRUE(named[1].startsWith(QStringLiteral("2024/data_d/20240307.csv ") +
                                    check::kindText(check::FindingKind::DuplicateCode)));
  }
  QList<PriceLine> expected =
      expectedLines(QDate(2024, 3, 4), QDate(2024, 3, 8), test::awkwardRecords);
  expected.removeIf([](const PriceLine& line) { return line.date == u"2024-03-07"; });
  EXPECT_EQ(pricesOf(sqlite), expected);
}

TEST_F(ExportTest, ASecondExportOfTheSameFileWaitsThenGivesUp) {
  test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 4), test::awkwardRecords);
  ExportLock first;
  ASSERT_EQ(first.take(sqlite, 0), ExportLock::Outcome::Taken);
  ExportOptions options;
  options.dbPath = db;
  options.busyTimeoutMs = 100;
  EXPECT_EQ(exportDatabase(options).status, ExportResult::Status::Busy);
}

TEST_F(ExportTest, SkipsAFileReplacedWhileItIsReadAndTakesItNextTime) {
  test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 5), test::awkwardRecords);
  const QString replaced = test::dayFilePath(db, QDate(2024, 3, 5));
  ExportOptions options;
  options.dbPath = db;
  options.beforeRead = [&](const QString& path) {
    if (path == replaced) {
      test::writeBytes(path + QStringLiteral(".new"), test::readBytes(path));
      std::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                  QFile::encodeName(path).constData());
    }
  };
  const ExportResult first = exportDatabase(options);
  EXPECT_EQ(first.changedDuringExport, QStringList{"2024/data_d/20240305.csv"});
  EXPECT_EQ(first.added, 1);
  options.beforeRead = {};
  EXPECT_EQ(exportDatabase(options).added, 1);
}

TEST_F(ExportTest, RebuildGivesTheSameRows) {
  test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 8), test::awkwardRecords);
  ASSERT_EQ(exportNow({{2024, 3}}).status, ExportResult::Status::Done);
  const QList<PriceLine> before = pricesOf(sqlite);
  const ExportResult rebuilt = exportNow({}, true);
  EXPECT_EQ(rebuilt.status, ExportResult::Status::Done);
  EXPECT_EQ(rebuilt.added, 5);
  EXPECT_EQ(pricesOf(sqlite), before);
}

}  // namespace
}  // namespace kabuka::history
