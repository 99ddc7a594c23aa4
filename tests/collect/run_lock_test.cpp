#include "driver_fixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::DriverTest;

TEST_F(DriverTest, AnotherRunOnTheSameDatabaseTouchesNothing) {
  // The lock lives in the database, so a run from another program folder whose
  // settings name this database is kept out too.
  ASSERT_TRUE(QDir().mkpath(db()));
  const RunLock other(db());
  ASSERT_TRUE(other.acquired());
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  CollectionDriver driver(window, settei_tbl, environment());
  driver.m_dl_start_cmd_Click();
  expectEnding(kRed, kOtherRunMessage);
  EXPECT_EQ(driver.lastEnding(), RunEnding::Locked);
  EXPECT_TRUE(requested().isEmpty());
  EXPECT_FALSE(QDir(db() + QStringLiteral("2016")).exists());
}

TEST_F(DriverTest, AFolderThatCannotBeWrittenIsNotCalledAnotherRun) {
  ASSERT_TRUE(test::writeBytes(program.file(QStringLiteral("settei.txt")),
                               toSjis(QStringLiteral("株価データベースフォルダパス,no/such/db\\\r\n"
                                                     "EOF,EOF\r\n"))));
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  CollectionDriver driver(window, settei_tbl, environment());
  driver.m_dl_start_cmd_Click();
  EXPECT_TRUE(window.label1.caption.startsWith(QStringLiteral("データベースフォルダ")))
      << window.label1.caption.toStdString();
  EXPECT_TRUE(window.label1.caption.contains(QStringLiteral("に書き込めません")));
  EXPECT_EQ(window.label1.colour, kRed);
  EXPECT_EQ(driver.lastEnding(), RunEnding::Failed);
  EXPECT_TRUE(requested().isEmpty());
}

// A lock file as QLockFile writes it: process id, program, host, machine id, boot id.
QByteArray lockFileText(qint64 pid, const QByteArray& host, const QByteArray& machineId) {
  return QByteArray::number(pid) + "\nkabuka-collect\n" + host + '\n' + machineId + "\nboot\n";
}

struct LeftLockCase {
  const char* name;
  QByteArray content;
  bool runs;  // the lock is broken and the run goes ahead
};

class DriverLockTest : public DriverTest, public ::testing::WithParamInterface<LeftLockCase> {};

// A lock file that names no holder is what a writer that died at once leaves: it
// must not keep every run out. A lock from another machine cannot be judged from
// here: the run says whose it is and how to clear it.
TEST_P(DriverLockTest, ALeftLockFile) {
  const QString lockFile = RunLock::lockPathFor(db());
  ASSERT_TRUE(test::writeBytes(lockFile, GetParam().content));
  QFile file(lockFile);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
              file.setFileTime(QDateTime(QDate(2016, 3, 1), QTime(9, 30)),
                               QFileDevice::FileModificationTime));
  file.close();
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  CollectionDriver driver(window, settei_tbl, environment());
  driver.m_dl_start_cmd_Click();
  if (GetParam().runs) {
    expectEnding(kBlue, run_text::kCompleted);
    EXPECT_FALSE(QFile::exists(lockFile));
    return;
  }
  EXPECT_EQ(driver.lastEnding(), RunEnding::Locked);
  EXPECT_EQ(window.label1.colour, kRed);
  for (const QString& part : {QStringLiteral("elsewhere.example"), QStringLiteral("4242"),
                              QStringLiteral("2016/03/01 09:30"), lockFile}) {
    EXPECT_TRUE(window.label1.caption.contains(part))
        << part.toStdString() << " in " << window.label1.caption.toStdString();
  }
  EXPECT_TRUE(requested().isEmpty());
  EXPECT_EQ(test::readBytes(lockFile), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DriverLockTest,
    ::testing::Values(
        LeftLockCase{"empty", "", true}, LeftLockCase{"garbled", "\x01\x02garbage", true},
        LeftLockCase{"no_process_id", "\nkabuka-collect\nhost\n", true},
        LeftLockCase{"other_host",
                     lockFileText(4242, "elsewhere.example", "00000000000000000000000000000000"),
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

// QLockFile creates its file and fills it a moment later: a run that comes in
// between must not take the empty file for a dead one.
TEST_F(DriverTest, ALockFileBeingWrittenIsNotBroken) {
  const QString lockFile = RunLock::lockPathFor(db());
  ASSERT_TRUE(test::writeBytes(lockFile, {}));
  const QByteArray live = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                          QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() +
                          '\n' + QSysInfo::machineHostName().toUtf8() + '\n' +
                          QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n';
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    test::writeBytes(lockFile, live);
  });
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  CollectionDriver driver(window, settei_tbl, environment());
  driver.m_dl_start_cmd_Click();
  writer.join();
  EXPECT_EQ(driver.lastEnding(), RunEnding::Locked);
  expectEnding(kRed, kOtherRunMessage);
  EXPECT_EQ(test::readBytes(lockFile), live);
  EXPECT_TRUE(requested().isEmpty());
}

TEST_F(DriverTest, TheLockIsHeldInTheDatabaseOnlyDuringTheRun) {
  const QString lockFile = RunLock::lockPathFor(db());
  bool heldWhileFetching = false;
  window.onWait = [&](int) { heldWhileFetching = heldWhileFetching || QFile::exists(lockFile); };
  window.chooseDate(QStringLiteral("2016"), QStringLiteral("03"), QStringLiteral("15"));
  run();
  expectEnding(kBlue, run_text::kCompleted);
  EXPECT_TRUE(heldWhileFetching);
  EXPECT_FALSE(QFile::exists(lockFile));
  EXPECT_FALSE(QFile::exists(program.file(QStringLiteral("collect.lock"))));
}

}  // namespace
}  // namespace kabuka
