#include "collect/staged_files.h"

#include "settings/folder_layout.h"
#include "support/sync_spy.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

namespace kabuka {
namespace {

using test::readBytes;

class StagedFilesTest : public ::testing::Test {
protected:
  QString folder() const { return tree.path() + QLatin1Char('/'); }
  QString day(const char* name) const { return folder() + QLatin1String(name); }
  // The folder's files, by name, as one text that a failure shows readably.
  std::string names() const {
    return QDir(tree.path())
        .entryList(QDir::Files | QDir::Hidden, QDir::Name)
        .join(QLatin1Char(' '))
        .toStdString();
  }

  test::TempFolder tree;
};

// The database check and the next run know an interrupted write by its name:
// "<name>.XXXXXX", six letters or digits, beside the final file.
TEST_F(StagedFilesTest, StagesUnderTheNameOfAnInterruptedWrite) {
  StagedFiles stage;
  ASSERT_EQ(stage.add(day("20160301.csv"), "new\r\n"), StagedFiles::Added::Staged);
  const QString staged = QString::fromStdString(names());
  EXPECT_TRUE(layout::dayTemporaryPattern().match(staged).hasMatch()) << staged.toStdString();
  const StagedFiles::Committed committed = stage.commit();
  EXPECT_TRUE(committed.all);
  EXPECT_EQ(committed.files, 1);
  EXPECT_EQ(names(), "20160301.csv");
  EXPECT_EQ(readBytes(day("20160301.csv")), "new\r\n");
}

// A file that holds its new bytes already keeps its time and inode, so a backup
// keyed on times copies nothing for it; a changed one is replaced.
TEST_F(StagedFilesTest, LeavesAFileWithTheSameBytesUntouched) {
  ASSERT_TRUE(test::writeBytes(day("20160301.csv"), "same\r\n"));
  ASSERT_TRUE(test::writeBytes(day("20160302.csv"), "old\r\n"));
  const QFileInfo before(day("20160301.csv"));
  const auto inodeOf = [](const QString& path) {
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_ino;
  };
  const ino_t inode = inodeOf(day("20160301.csv"));
  StagedFiles stage;
  stage.keepUnchangedFiles(true);
  EXPECT_EQ(stage.add(day("20160301.csv"), "same\r\n"), StagedFiles::Added::Unchanged);
  EXPECT_EQ(stage.add(day("20160302.csv"), "new\r\n"), StagedFiles::Added::Staged);
  EXPECT_EQ(stage.add(day("20160303.csv"), "new\r\n"), StagedFiles::Added::Staged);
  EXPECT_EQ(stage.commit().files, 2);
  EXPECT_EQ(inodeOf(day("20160301.csv")), inode);
  EXPECT_EQ(QFileInfo(day("20160301.csv")).lastModified(), before.lastModified());
  EXPECT_EQ(readBytes(day("20160302.csv")), "new\r\n");
}

TEST_F(StagedFilesTest, WhatIsNotCommittedIsRemovedWithTheStage) {
  ASSERT_TRUE(test::writeBytes(day("20160301.csv"), "old\r\n"));
  {
    StagedFiles stage;
    ASSERT_EQ(stage.add(day("20160301.csv"), "new\r\n"), StagedFiles::Added::Staged);
    ASSERT_EQ(stage.add(day("20160302.csv"), "new\r\n"), StagedFiles::Added::Staged);
  }
  EXPECT_EQ(names(), "20160301.csv");
  EXPECT_EQ(readBytes(day("20160301.csv")), "old\r\n");
}

TEST_F(StagedFilesTest, AFileThatCannotBeRenamedIsReportedAndRemoved) {
  // A folder where a day file belongs: nothing can be renamed over it.
  ASSERT_TRUE(test::writeBytes(day("20160301.csv/inside"), "x"));
  StagedFiles stage;
  ASSERT_EQ(stage.add(day("20160301.csv"), "new\r\n"), StagedFiles::Added::Staged);
  ASSERT_EQ(stage.add(day("20160302.csv"), "new\r\n"), StagedFiles::Added::Staged);
  const StagedFiles::Committed committed = stage.commit();
  EXPECT_FALSE(committed.all);
  EXPECT_EQ(committed.files, 1);
  EXPECT_EQ(names(), "20160302.csv");
}

// Two stages that draw the same random names, as two runs of a small generator
// may: the second takes another name, and neither touches the other's file.
TEST_F(StagedFilesTest, ANameClashTakesAnotherName) {
  QRandomGenerator first(7);
  QRandomGenerator second(7);
  StagedFiles earlier(first);
  StagedFiles later(second);
  ASSERT_EQ(earlier.add(day("20160301.csv"), "earlier\r\n"), StagedFiles::Added::Staged);
  ASSERT_EQ(later.add(day("20160301.csv"), "later\r\n"), StagedFiles::Added::Staged);
  EXPECT_EQ(QString::fromStdString(names()).count(QStringLiteral("20160301.csv.")), 2);
  EXPECT_TRUE(later.commit().all);
  EXPECT_EQ(readBytes(day("20160301.csv")), "later\r\n");
  EXPECT_TRUE(earlier.commit().all);
  EXPECT_EQ(readBytes(day("20160301.csv")), "earlier\r\n");
  EXPECT_EQ(names(), "20160301.csv");
}

struct SyncFault {
  const char* name;
  bool failFileSystemSync;  // the data of the staged files
  bool failFolderSync;      // the renames
  int filesRenamed;
  QByteArray dayAfter;
};

class StagedFilesSyncTest : public StagedFilesTest,
                            public ::testing::WithParamInterface<SyncFault> {};

// A disk that cannot make the files durable: the old files are kept, nothing
// staged is left, and the stage says it could not commit.
TEST_P(StagedFilesSyncTest, AFailedSyncIsNoCommit) {
  ASSERT_TRUE(test::writeBytes(day("20160301.csv"), "old\r\n"));
  const QString base = QDir(tree.path()).canonicalPath();
  const test::sync_spy::Scope failing([&](const QString& path) {
    const bool ofTheFolder = path == base;
    return (ofTheFolder ? GetParam().failFolderSync : GetParam().failFileSystemSync) ? EIO : 0;
  });
  StagedFiles stage;
  ASSERT_EQ(stage.add(day("20160301.csv"), "new\r\n"), StagedFiles::Added::Staged);
  const StagedFiles::Committed committed = stage.commit();
  EXPECT_FALSE(committed.all);
  EXPECT_EQ(committed.files, GetParam().filesRenamed);
  EXPECT_EQ(names(), "20160301.csv");
  EXPECT_EQ(readBytes(day("20160301.csv")), GetParam().dayAfter);
}

INSTANTIATE_TEST_SUITE_P(Faults, StagedFilesSyncTest,
                         ::testing::Values(SyncFault{"data", true, false, 0, "old\r\n"},
                                           SyncFault{"renames", false, true, 1, "new\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StagedFilesTest, RemovesOnlyTheLeftOversOfTheNamedFiles) {
  for (const char* name :
       {"20160301.csv", "20160301.csv.Ab12Cd", "20160331.csv.zzzzzz", "20160401.csv.Ab12Cd",
        "20160301.csv.Ab12C", "20160301.csv.Ab-2Cd", "201603.csv.Ab12Cd"}) {
    ASSERT_TRUE(test::writeBytes(day(name), "x"));
  }
  removeLeftoverTemporaries(folder(), QStringLiteral("201603??.csv"));
  EXPECT_EQ(names(),
            "201603.csv.Ab12Cd 20160301.csv 20160301.csv.Ab-2Cd 20160301.csv.Ab12C "
            "20160401.csv.Ab12Cd");
}

}  // namespace
}  // namespace kabuka
