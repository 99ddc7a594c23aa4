#include "check/database_check.h"

#include "sample_database.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>

namespace kabuka::check {
namespace {

using test::SampleDatabase;

QString keyOf(FindingKind kind, const QDate& date) {
  return kindCode(kind) + QLatin1Char(' ') + date.toString(Qt::ISODate);
}

QStringList keysOf(const CheckReport& report) {
  QStringList keys;
  for (const Finding& finding : report.findings) {
    keys.append(keyOf(finding.kind, finding.date));
  }
  keys.sort();
  return keys;
}

const YearSummary* summaryOf(const CheckReport& report, int year) {
  for (const YearSummary& summary : report.years) {
    if (summary.year == year) {
      return &summary;
    }
  }
  return nullptr;
}

class DatabaseCheckTest : public ::testing::Test {
protected:
  test::TempFolder folder;
  SampleDatabase db{folder.path() + QStringLiteral("/kabuka/"), 100};

  QByteArray bytesOf(const QDate& day) const { return test::readBytes(db.dayFile(day)); }
  void edit(const QDate& day, const std::function<void(QByteArray&)>& change) {
    QByteArray bytes = bytesOf(day);
    change(bytes);
    db.storeDay(day, bytes);
  }
};

struct Damage {
  const char* what;
  QDate day;
  std::function<void(QByteArray&)> edit;
  FindingKind expected;
};

TEST_F(DatabaseCheckTest, FindsExactlyWhatWasBroken) {
  db.storeDays(QDate(2016, 3, 1), QDate(2016, 3, 31));
  const QList<Damage> damages = {
      {"emptied", QDate(2016, 3, 3), [](QByteArray& b) { b.clear(); }, FindingKind::EmptyFile},
      {"header names another day", QDate(2016, 3, 4),
       [](QByteArray& b) { test::replaceField(b, 1, 1, "20160305"); },
       FindingKind::HeaderDateMismatch},
      {"header count one too high", QDate(2016, 3, 7),
       [](QByteArray& b) { test::replaceField(b, 1, 2, "101"); }, FindingKind::BadRecordCount},
      {"two fields run together", QDate(2016, 3, 8),
       [](QByteArray& b) { test::joinFieldWithNext(b, 5, 6); }, FindingKind::BadFieldCount},
      {"a line ended by LF alone", QDate(2016, 3, 9),
       [](QByteArray& b) { test::dropCarriageReturn(b, 10); }, FindingKind::BadLineEnd},
      {"an unassigned double-byte code", QDate(2016, 3, 10),
       [](QByteArray& b) { test::insertInField(b, 3, 3, "\x85\x40"); }, FindingKind::InvalidSjis},
      {"one stock code twice on one market", QDate(2016, 3, 11),
       [](QByteArray& b) {
         test::replaceField(b, 4, 1, test::fieldOf(b, 3, 1));
         test::replaceField(b, 4, 2, test::fieldOf(b, 3, 2));
       },
       FindingKind::DuplicateCode},
  };
  QStringList expected;
  for (const Damage& damage : damages) {
    edit(damage.day, damage.edit);
    expected.append(keyOf(damage.expected, damage.day));
  }
  QFile::remove(db.dayFile(QDate(2016, 3, 2)));
  expected.append(keyOf(FindingKind::MissingDay, QDate(2016, 3, 2)));
  db.storeDay(QDate(2016, 3, 14), SampleDatabase(db.dbPath(), 50).dayBytes(QDate(2016, 3, 14)));
  expected.append(keyOf(FindingKind::ShortDay, QDate(2016, 3, 14)));
  const QDate holiday(2016, 3, 21);
  ASSERT_FALSE(db.market().isTradingDay(holiday));
  db.storeDay(holiday, db.dayBytes(holiday));
  expected.append(keyOf(FindingKind::UnexpectedDay, holiday));
  test::writeBytes(db.monthFile(2016, 3), "201603,1,x,,,,,\r\n");
  expected.append(keyOf(FindingKind::LeftoverMonthFile, QDate(2016, 3, 1)));
  test::writeBytes(db.inDatabase(QStringLiteral("2016/data_d/20160316.csv.aB3dE9")), "2016");
  expected.append(keyOf(FindingKind::LeftoverTempFile, QDate(2016, 3, 16)));
  test::writeBytes(db.inDatabase(QStringLiteral("2016/data_d/20160231.csv")), "x");
  expected.append(keyOf(FindingKind::BadFileName, QDate(2016, 1, 1)));
  expected.sort();

  const CheckReport report = checkDatabase(db.options(QDate(2016, 6, 1), {{2016, 3}}));

  EXPECT_EQ(keysOf(report), expected);
  EXPECT_EQ(report.exitStatus(), ExitStatus::NotCollected);
  const YearSummary* year = summaryOf(report, 2016);
  ASSERT_NE(year, nullptr);
  const int tradingDays =
      int(db.market().tradingDays(QDate(2016, 3, 1), QDate(2016, 3, 31)).size());
  EXPECT_EQ(year->tradingDays, tradingDays);
  EXPECT_EQ(year->filesPresent, tradingDays - 1 + 1);
  EXPECT_EQ(year->missing, 1);
  EXPECT_EQ(year->damaged, int(damages.size()) + 1);
  EXPECT_EQ(year->shortDays, 1);
  EXPECT_EQ(year->unexpected, 1);
}

// What a day folder may hold besides day files, and years without any.
TEST_F(DatabaseCheckTest, OddFilesFutureDaysAndEmptyYears) {
  db.storeDays(QDate(2016, 5, 1), QDate(2016, 5, 31));
  const QDate fifo(2016, 5, 16), dangling(2016, 5, 17), future(2016, 6, 2), holiday(2016, 5, 3);
  QFile::remove(db.dayFile(fifo));
  ASSERT_EQ(::mkfifo(QFile::encodeName(db.dayFile(fifo)).constData(), 0644), 0);
  QFile::remove(db.dayFile(dangling));
  ASSERT_TRUE(QFile::link(db.dayFile(dangling) + QStringLiteral(".gone"), db.dayFile(dangling)));
  db.storeDay(future, db.dayBytes(future));
  QByteArray holidayBytes = db.dayBytes(holiday);
  test::replaceField(holidayBytes, 1, 1, "20160502");
  db.storeDay(holiday, holidayBytes);
  QDir().mkpath(db.inDatabase(QStringLiteral("2015/data_d")));

  const CheckReport report = checkDatabase(db.options(QDate(2016, 6, 1), {{2015, 0}, {2016, 0}}));

  QStringList expected = {keyOf(FindingKind::NotRegularFile, fifo),
                          keyOf(FindingKind::MissingDay, dangling),
                          keyOf(FindingKind::FutureDay, future),
                          keyOf(FindingKind::HeaderDateMismatch, holiday),
                          keyOf(FindingKind::UnexpectedDay, holiday),
                          keyOf(FindingKind::YearWithoutDays, QDate(2015, 1, 1))};
  for (const QDate& day : db.market().tradingDays(QDate(2016, 1, 1), QDate(2016, 4, 30))) {
    expected.append(keyOf(FindingKind::MissingDay, day));
  }
  expected.sort();
  EXPECT_EQ(keysOf(report), expected);
  const YearSummary* year2015 = summaryOf(report, 2015);
  ASSERT_NE(year2015, nullptr);
  EXPECT_EQ(year2015->missing,
            int(db.market().tradingDays(QDate(2015, 1, 1), QDate(2015, 12, 31)).size()))
      << "one finding, but every day counted";
  for (const Finding& finding : report.findings) {
    if (finding.kind == FindingKind::HeaderDateMismatch) {
      EXPECT_TRUE(finding.onClosedDay);
      EXPECT_FALSE(adviceFor(finding).contains(QStringLiteral("--fix")))
          << "collecting the month does not replace a file on a holiday";
    }
  }
}

TEST_F(DatabaseCheckTest, AStopEndsTheReadingBetweenTwoFiles) {
  db.storeDays(QDate(2016, 1, 1), QDate(2016, 6, 30));
  std::atomic<int> reads = 0;
  CheckOptions options = db.options(QDate(2016, 7, 1));
  options.workers = 1;
  options.beforeRead = [&reads](const QString&) { ++reads; };
  options.stopRequested = [&reads] { return reads >= 10; };

  const CheckReport report = checkDatabase(options);

  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(reads, 10);
  EXPECT_EQ(report.exitStatus(), ExitStatus::Stopped);
  EXPECT_TRUE(report.findings.isEmpty()) << "files not read are neither missing nor damaged";
}

TEST_F(DatabaseCheckTest, ExitStatusFollowsTheWorstFinding) {
  struct Case {
    const char* what;
    std::function<void()> change;
    int exitStatus;
  };
  const QList<Case> cases = {
      {"sound", [] {}, 0},
      {"a file on a holiday is a warning",
       [this] { db.storeDay(QDate(2016, 5, 3), db.dayBytes(QDate(2016, 5, 3))); }, 0},
      {"an empty scratch folder is a warning",
       [this] { QDir().mkpath(db.inDatabase(QStringLiteral("2016/data_dg"))); }, 0},
      {"a short day is a warning",
       [this] {
         const QDate day(2016, 5, 17);
         db.storeDay(day, SampleDatabase(db.dbPath(), 70).dayBytes(day));
       },
       0},
      {"a missing day is an error", [this] { QFile::remove(db.dayFile(QDate(2016, 5, 16))); }, 1},
  };
  db.storeDays(QDate(2016, 5, 1), QDate(2016, 5, 31));
  for (const Case& c : cases) {
    c.change();
    EXPECT_EQ(toInt(checkDatabase(db.options(QDate(2016, 7, 1), {{2016, 5}})).exitStatus()),
              c.exitStatus)
        << c.what;
  }
}

TEST_F(DatabaseCheckTest, WithoutTargetsChecksEveryYearFolderUpToTheLastDayDue) {
  const QDate today(2016, 3, 15);
  db.storeDays(QDate(2015, 12, 1), QDate(2015, 12, 31));
  db.storeDays(QDate(2016, 1, 1), today.addDays(-1));

  const CheckReport report = checkDatabase(db.options(today));

  const auto missing2015 = db.market().tradingDays(QDate(2015, 1, 1), QDate(2015, 11, 30));
  ASSERT_EQ(report.years.size(), 2);
  EXPECT_EQ(report.years[0].missing, int(missing2015.size()));
  EXPECT_EQ(report.years[1].missing, 0) << "today's file is not due yet";
  EXPECT_EQ(report.years[1].tradingDays,
            int(db.market().tradingDays(QDate(2016, 1, 1), today.addDays(-1)).size()));
  EXPECT_EQ(report.findings.first().date, missing2015.first());
}

TEST_F(DatabaseCheckTest, AFileThatGrowsWhileReadIsChangedNotDamaged) {
  db.storeDays(QDate(2016, 5, 1), QDate(2016, 5, 31));
  const QDate growing(2016, 5, 18);
  std::once_flag once;
  CheckOptions options = db.options(QDate(2016, 7, 1), {{2016, 5}});
  options.beforeRead = [&](const QString& path) {
    if (path == db.dayFile(growing)) {
      std::call_once(once, [&] {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("1300,half a rec");
      });
    }
  };

  const CheckReport report = checkDatabase(options);

  EXPECT_EQ(keysOf(report), QStringList{keyOf(FindingKind::ChangedDuringCheck, growing)});
  EXPECT_EQ(report.exitStatus(), ExitStatus::Done);
}

// A day is short below four fifths of the median of its neighbours.
TEST_F(DatabaseCheckTest, ShortDaysAreJudgedAgainstTheirNeighbours) {
  db.storeDays(QDate(2016, 5, 1), QDate(2016, 5, 31));
  const QDate shortDay(2016, 5, 17), nearlyFull(2016, 5, 19);
  db.storeDay(shortDay, SampleDatabase(db.dbPath(), 75).dayBytes(shortDay));
  db.storeDay(nearlyFull, SampleDatabase(db.dbPath(), 85).dayBytes(nearlyFull));

  const CheckReport report = checkDatabase(db.options(QDate(2016, 7, 1), {{2016, 5}}));

  EXPECT_EQ(keysOf(report), QStringList{keyOf(FindingKind::ShortDay, shortDay)});
}

// The file changes after it was listed: removed, or rewritten with the same size
// within the same second.
TEST_F(DatabaseCheckTest, AFileChangedAfterTheListingIsChangedNotDamaged) {
  db.storeDays(QDate(2016, 5, 1), QDate(2016, 5, 31));
  const QDate removed(2016, 5, 18), rewritten(2016, 5, 19);
  CheckOptions options = db.options(QDate(2016, 7, 1), {{2016, 5}});
  options.beforeRead = [&](const QString& path) {
    if (path == db.dayFile(removed)) {
      QFile::remove(path);
    } else if (path == db.dayFile(rewritten)) {
      // In place: the same file, the same size, the same second; only the time's
      // fraction tells.
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::ReadWrite));
      const QByteArray bytes = file.readAll();
      file.seek(bytes.size() - 3);
      file.write(bytes[bytes.size() - 3] == '1' ? "2" : "1");
    }
  };

  const CheckReport report = checkDatabase(options);

  EXPECT_EQ(keysOf(report), (QStringList{keyOf(FindingKind::ChangedDuringCheck, removed),
                                         keyOf(FindingKind::ChangedDuringCheck, rewritten)}));
}

TEST_F(DatabaseCheckTest, NoDatabaseFolderIsAnError) {
  const CheckReport report = checkDatabase(db.options(QDate(2016, 7, 1)));
  ASSERT_EQ(report.findings.size(), 1);
  EXPECT_EQ(report.findings[0].kind, FindingKind::NoDatabase);
  EXPECT_EQ(report.exitStatus(), ExitStatus::NotCollected);
}

}  // namespace
}  // namespace kabuka::check
