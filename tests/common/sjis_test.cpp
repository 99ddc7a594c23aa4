#include "common/sjis.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

TEST(ShiftJis, DecodesAndEncodesJapaneseText) {
  const QByteArray bytes("\x93\xfa\x96\x88\x8a\x94\x89\xbf");  // 日毎株価
  EXPECT_EQ(fromSjis(bytes), QStringLiteral("日毎株価"));
  EXPECT_EQ(toSjis(QStringLiteral("日毎株価")), bytes);
}

TEST(ShiftJis, KnowsTheWindowsExtensions) {
  // ① (NEC row 13) and ⅰ (IBM extension) exist only in code page 932.
  EXPECT_EQ(fromSjis(QByteArray("\x87\x40\xfa\x40")), QStringLiteral("①ⅰ"));
  EXPECT_EQ(toSjis(QStringLiteral("①ⅰ")), QByteArray("\x87\x40\xfa\x40"));
}

TEST(Utf8Detection, TellsUtf8FromShiftJis) {
  EXPECT_TRUE(isValidUtf8(QStringLiteral("日毎株価").toUtf8()));
  EXPECT_TRUE(
      isValidUtf8(QByteArray("\xEF\xBB\xBF"
                             "abc")));
  EXPECT_FALSE(isValidUtf8(toSjis(QStringLiteral("日毎株価フォルダ名"))));
  EXPECT_FALSE(isValidUtf8(QByteArray("\xE6\x97")));  // cut inside a character
  EXPECT_TRUE(hasNonAscii(QByteArray("a\x80")));
  EXPECT_FALSE(hasNonAscii(QByteArray("plain,ascii\r\n")));
}

}  // namespace
}  // namespace kabuka
