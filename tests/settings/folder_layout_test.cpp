#include "settings/folder_layout.h"

#include <gtest/gtest.h>

namespace kabuka::layout {
namespace {

TEST(FolderLayout, BuildsTheTreeUnderTheDatabaseFolder) {
  const QString db = QStringLiteral("/d/kabuka/");
  EXPECT_EQ(yearFolder(db, QStringLiteral("2016")), QStringLiteral("/d/kabuka/2016/"));
  const QString daily = dailyFolder(db, QStringLiteral("2016"), QStringLiteral("data_d"));
  EXPECT_EQ(daily, QStringLiteral("/d/kabuka/2016/data_d/"));
  const QString scratch = scratchFolder(db, QStringLiteral("2016"), QStringLiteral("daily"));
  EXPECT_EQ(scratch, QStringLiteral("/d/kabuka/2016/dailyg/"));
  EXPECT_EQ(dailyFile(daily, QStringLiteral("20160315")),
            QStringLiteral("/d/kabuka/2016/data_d/20160315.csv"));
  EXPECT_EQ(monthFile(scratch, QStringLiteral("201603")),
            QStringLiteral("/d/kabuka/2016/dailyg/201603.csv"));
}

TEST(FolderLayout, KnowsAbsolutePathsOfBothKinds) {
  EXPECT_TRUE(isAbsoluteWindowsPath(QStringLiteral("C:\\kabuka")));
  EXPECT_TRUE(isAbsoluteWindowsPath(QStringLiteral("d:/kabuka")));
  EXPECT_TRUE(isAbsoluteWindowsPath(QStringLiteral("\\\\server\\share")));
  EXPECT_FALSE(isAbsoluteWindowsPath(QStringLiteral("C:kabuka")));
  EXPECT_FALSE(isAbsoluteWindowsPath(QStringLiteral("1:\\kabuka")));
  EXPECT_FALSE(isAbsoluteWindowsPath(QStringLiteral("kabuka\\")));
  EXPECT_TRUE(isAbsoluteUnixPath(QStringLiteral("/srv")));
  EXPECT_FALSE(isAbsoluteUnixPath(QStringLiteral("srv/")));
}

}  // namespace
}  // namespace kabuka::layout
