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

TEST(FolderLayout, NamesFilesFoldersAndServerPaths) {
  EXPECT_EQ(dayDigits(QDate(2016, 3, 5)), QStringLiteral("20160305"));
  EXPECT_EQ(monthDigits(987, 1), QStringLiteral("098701"));
  EXPECT_EQ(dayOfDigits(u"20160230"), QDate());
  EXPECT_EQ(relativeDayFile(QStringLiteral("data_d"), QDate(2016, 3, 5)),
            QStringLiteral("2016/data_d/20160305.csv"));
  EXPECT_EQ(relativeMonthFile(QStringLiteral("daily"), 2016, 3),
            QStringLiteral("2016/dailyg/201603.csv"));
  // The server's folders are its own, whatever the local daily folder is called.
  const QString base = QStringLiteral("http://h/kabu/kabu2/kabuka_db/");
  EXPECT_EQ(dayFileUrl(base, QStringLiteral("2016"), QStringLiteral("20160305")),
            base + QStringLiteral("2016/data_d/20160305.csv"));
  EXPECT_EQ(monthFileUrl(base, QStringLiteral("2016"), QStringLiteral("201603")),
            base + QStringLiteral("2016/data_dg/201603.csv"));
}

// A temporary file made here is one the check knows for a left-over.
TEST(FolderLayout, KnowsTheNamesItMakes) {
  const QString temporary = temporaryNameFor(QStringLiteral("/d/2016/data_d/20160305.csv"));
  EXPECT_TRUE(dayTemporaryPattern().match(temporary.section(u'/', -1)).hasMatch())
      << temporary.toStdString();
  const struct {
    const QRegularExpression& pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {dayFilePattern(), "20160305.csv", true},
      {dayFilePattern(), "20160305.csv.aB3dE9", false},
      {dayTemporaryPattern(), "20160305.csv.aB3dE", false},
      {dayTemporaryPattern(), "20160305.csv.aB3dE9", true},
      {monthFilePattern(), "201603.csv", true},
      {monthTemporaryPattern(), "201603.csv.Zz9Yy8", true},
      {yearFolderPattern(), "2016", true},
      {yearFolderPattern(), "2016x", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.pattern.match(QLatin1String(c.name)).hasMatch(), c.matches) << c.name;
  }
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
