#include "check/database_check.h"

#include "sample_database.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

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
      {"one stock code twice", QDate(2016, 3, 11),
       [](QByteArray& b) { test::replaceField(b, 4, 1, test::fieldOf(b, 3, 1)); },
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
  EXPECT_EQ(report.exitStatus(), 1);
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
      {"a missing day is an error", [this] { QFile::remove(db.dayFile(QDate(2016, 5, 16))); }, 1},
  };
  db.storeDays(QDate(2016, 5, 1), QDate(2016, 5, 31));
  for (const Case& c : cases) {
    c.change();
    EXPECT_EQ(checkDatabase(db.options(QDate(2016, 7, 1), {{2016, 5}})).exitStatus(), c.exitStatus)
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
  EXPECT_EQ(report.exitStatus(), 0);
}

TEST_F(DatabaseCheckTest, NoDatabaseFolderIsAnError) {
  const CheckReport report = checkDatabase(db.options(QDate(2016, 7, 1)));
  ASSERT_EQ(report.findings.size(), 1);
  EXPECT_EQ(report.findings[0].kind, FindingKind::NoDatabase);
  EXPECT_EQ(report.exitStatus(), 1);
}

}  // namespace
}  // namespace kabuka::check
