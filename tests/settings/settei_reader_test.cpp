#include "settings/settei_reader.h"

#include "common/sjis.h"
#include "support/fake_pump.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::FakePump;
using test::TempFolder;

class SetteiReaderTest : public ::testing::Test {
protected:
  // Writes settei.txt in Shift-JIS with CR LF line ends, as Windows tools save it.
  void writeSettings(const QStringList& lines) {
    writeRaw(toSjis(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
  }
  void writeRaw(const QByteArray& bytes) {
    ASSERT_TRUE(test::writeBytes(program.file(QStringLiteral("settei.txt")), bytes));
  }
  SetteiTbl read() {
    SetteiTbl tbl;
    tbl.fill(QStringLiteral("stale"));
    settei_read_sub(tbl, prog(), pump);
    return tbl;
  }
  QString prog() const { return program.path(); }

  SetteiTbl defaults() const {
    SetteiTbl tbl;
    tbl[settei::db_path] = prog() + QStringLiteral("/kabuka/");
    tbl[settei::day_folder] = QStringLiteral("data_d");
    tbl[settei::m_folder] = QStringLiteral("data_m");
    return tbl;
  }

  TempFolder program;
  FakePump pump;
};

TEST_F(SetteiReaderTest, MissingFileLeavesTheDefaults) {
  EXPECT_EQ(read(), defaults());
}

TEST_F(SetteiReaderTest, TerminatorAloneLeavesTheDefaults) {
  writeSettings({QStringLiteral("EOF,EOF")});
  EXPECT_EQ(read(), defaults());
}

TEST_F(SetteiReaderTest, ReadsEveryKeyIntoItsEntry) {
  writeSettings({
      QStringLiteral("株価データベースフォルダパス,/srv/kabuka/"),
      QStringLiteral("日毎株価取得サイト,http://example.test/kabu/kabu2/kabuka_db/"),
      QStringLiteral("修正株価データベースフォルダパス,adj\\"),
      QStringLiteral("時系列株価取得サイト,http://m.test/"),
      QStringLiteral("時系列信用売買残取得サイト,http://s.test/"),
      QStringLiteral("日毎株価フォルダ名,daily"),
      QStringLiteral("時系列株価フォルダ名,monthly"),
      QStringLiteral("信用売買残フォルダ名,shinyo"),
      QStringLiteral("財務情報単独決算フォルダ名,tandoku"),
      QStringLiteral("財務情報連結決算フォルダ名,renketsu"),
      QStringLiteral("財務情報中間決算フォルダ名,chukan"),
      QStringLiteral("EOF,EOF"),
  });
  SetteiTbl expected;
  expected[settei::db_path] = QStringLiteral("/srv/kabuka/");
  expected[settei::day_site] = QStringLiteral("http://example.test/kabu/kabu2/kabuka_db/");
  expected[settei::adj_db_path] = prog() + QStringLiteral("/adj/");
  expected[settei::m_site] = QStringLiteral("http://m.test/");
  expected[settei::shinyo_site] = QStringLiteral("http://s.test/");
  expected[settei::day_folder] = QStringLiteral("daily");
  expected[settei::m_folder] = QStringLiteral("monthly");
  expected[settei::shinyo_folder] = QStringLiteral("shinyo");
  expected[settei::fin_tandoku_folder] = QStringLiteral("tandoku");
  expected[settei::fin_renketsu_folder] = QStringLiteral("renketsu");
  expected[settei::fin_chukan_folder] = QStringLiteral("chukan");
  EXPECT_EQ(read(), expected);
}

TEST_F(SetteiReaderTest, NothingAfterTheTerminatorIsRead) {
  writeSettings({QStringLiteral("EOF,EOF"), QStringLiteral("日毎株価フォルダ名,late")});
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("data_d"));
}

TEST_F(SetteiReaderTest, OnlyEofInBothFieldsEndsTheReading) {
  writeSettings({QStringLiteral("EOF,"), QStringLiteral("日毎株価フォルダ名,after_half_eof"),
                 QStringLiteral("xEOFx,EOF!"), QStringLiteral("日毎株価フォルダ名,late")});
  // The first line is a record whose value is empty, the third one contains EOF twice.
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("after_half_eof"));
}

TEST_F(SetteiReaderTest, TheLastOfTwoEqualKeysWins) {
  writeSettings({QStringLiteral("日毎株価フォルダ名,first"),
                 QStringLiteral("日毎株価フォルダ名,second"), QStringLiteral("EOF,EOF")});
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("second"));
}

TEST_F(SetteiReaderTest, EveryReadStartsFromTheDefaults) {
  writeSettings({QStringLiteral("日毎株価フォルダ名,daily"), QStringLiteral("EOF,EOF")});
  ASSERT_EQ(read()[settei::day_folder], QStringLiteral("daily"));
  writeSettings({QStringLiteral("EOF,EOF")});
  EXPECT_EQ(read(), defaults());
}

TEST_F(SetteiReaderTest, ABlankLineShiftsThePairing) {
  writeSettings({QStringLiteral("時系列株価フォルダ名,m"), QString(),
                 QStringLiteral("日毎株価フォルダ名,daily"), QStringLiteral("EOF,EOF")});
  // The blank line pairs with the key, whose value then becomes the next key.
  const SetteiTbl tbl = read();
  EXPECT_EQ(tbl[settei::m_folder], QStringLiteral("m"));
  EXPECT_EQ(tbl[settei::day_folder], QStringLiteral("data_d"));
}

TEST_F(SetteiReaderTest, AFileWithoutTerminatorKeepsWhatWasRead) {
  writeRaw(toSjis(QStringLiteral("日毎株価フォルダ名,daily\r\n時系列株価フォルダ名")));
  const SetteiTbl tbl = read();
  EXPECT_EQ(tbl[settei::day_folder], QStringLiteral("daily"));
  EXPECT_EQ(tbl[settei::m_folder], QStringLiteral("data_m"));  // its value never came
}

TEST_F(SetteiReaderTest, YieldsOncePerRecordAndStopsWhenAsked) {
  writeSettings({QStringLiteral("日毎株価フォルダ名,daily"),
                 QStringLiteral("時系列株価フォルダ名,monthly"), QStringLiteral("EOF,EOF")});
  pump.onYield = [this](int count) {
    if (count == 2) {
      pump.stopFlag = kTrue;  // a stop pressed while the second record is read
    }
  };
  const SetteiTbl tbl = read();
  EXPECT_EQ(pump.yields, 2);
  EXPECT_EQ(tbl[settei::day_folder], QStringLiteral("daily"));
  EXPECT_EQ(tbl[settei::m_folder], QStringLiteral("monthly"));
  EXPECT_TRUE(isTrue(pump.stop_flg()));
}

TEST_F(SetteiReaderTest, AStopBeforeTheFirstRecordLeavesTheDefaults) {
  writeSettings({QStringLiteral("日毎株価フォルダ名,daily"), QStringLiteral("EOF,EOF")});
  pump.stopFlag = kTrue;
  EXPECT_EQ(read(), defaults());
  EXPECT_EQ(pump.yields, 0);
}

TEST_F(SetteiReaderTest, ReadsAUtf8FileWithOrWithoutByteOrderMark) {
  const QByteArray text = QStringLiteral("日毎株価フォルダ名,日足\r\nEOF,EOF\r\n").toUtf8();
  writeRaw(text);
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("日足"));
  writeRaw("\xEF\xBB\xBF" + text);
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("日足"));
  // The mark must go before the field rule sees the file, or a quoted first key
  // would not open with its quote.
  writeRaw("\xEF\xBB\xBF" + QStringLiteral("\"日毎株価フォルダ名\",日足\r\nEOF,EOF\r\n").toUtf8());
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("日足"));
  // What follows the terminator is not read, so a note there in another encoding
  // does not decide how the settings are read.
  writeRaw(text + toSjis(QStringLiteral("メモ：日足のフォルダ\r\n")));
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("日足"));
}

TEST_F(SetteiReaderTest, ReadsShiftJisValuesAndKeepsQuotedBlanks) {
  writeSettings({QStringLiteral("日毎株価フォルダ名,日足  "),
                 QStringLiteral("時系列株価フォルダ名,\" 月足, 2 \""),
                 QStringLiteral("信用売買残フォルダ名,信用\t"), QStringLiteral("EOF,EOF")});
  const SetteiTbl tbl = read();
  EXPECT_EQ(tbl[settei::day_folder], QStringLiteral("日足"));
  EXPECT_EQ(tbl[settei::m_folder], QStringLiteral(" 月足, 2 "));
  EXPECT_EQ(tbl[settei::shinyo_folder], QStringLiteral("信用"));
}

TEST_F(SetteiReaderTest, DaySiteGetsItsFinalSlash) {
  writeSettings({QStringLiteral("日毎株価取得サイト,http://h.test/kabu/kabu2/kabuka_db"),
                 QStringLiteral("EOF,EOF")});
  EXPECT_EQ(read()[settei::day_site], QStringLiteral("http://h.test/kabu/kabu2/kabuka_db/"));
}

TEST_F(SetteiReaderTest, AnEmptySiteLeavesTheBuiltInUrlInCharge) {
  writeSettings({QStringLiteral("日毎株価取得サイト,"), QStringLiteral("EOF,EOF")});
  EXPECT_EQ(read()[settei::day_site], QString());
}

TEST_F(SetteiReaderTest, ReadsEveryClosedDayUpToTheTerminator) {
  writeSettings({QStringLiteral("休場日,2020/10/01"), QStringLiteral("日毎株価フォルダ名,x"),
                 QStringLiteral("休場日,2005/11/1"), QStringLiteral("休場日,someday"),
                 QStringLiteral("EOF,EOF"), QStringLiteral("休場日,2030/01/07")});
  EXPECT_EQ(readClosedDays(prog()), (QList<QDate>{QDate(2020, 10, 1), QDate(2005, 11, 1)}));
  EXPECT_EQ(read()[settei::day_folder], QStringLiteral("x"));
}

TEST_F(SetteiReaderTest, AdjustedPathAlwaysLiesInTheProgramFolder) {
  writeSettings(
      {QStringLiteral("修正株価データベースフォルダパス,.\\adj\\"), QStringLiteral("EOF,EOF")});
  EXPECT_EQ(read()[settei::adj_db_path], prog() + QStringLiteral("/./adj/"));
}

struct DbPathCase {
  const char* name;
  QString value;
  QString expected;  // "<prog>" stands for the program folder
};

class DbPathTest : public ::testing::TestWithParam<DbPathCase> {};

TEST_P(DbPathTest, ResolvesAgainstTheProgramFolder) {
  const QString prog = QStringLiteral("/opt/kabuka-collector");
  QString expected = GetParam().expected;
  expected.replace(QStringLiteral("<prog>"), prog);
  EXPECT_EQ(resolveDbPath(prog, GetParam().value), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DbPathTest,
    ::testing::Values(
        DbPathCase{"DotBackslash", QStringLiteral(".\\kabuka\\"), QStringLiteral("<prog>/kabuka/")},
        DbPathCase{"DotSlash", QStringLiteral("./kabuka/"), QStringLiteral("<prog>/kabuka/")},
        DbPathCase{"Absolute", QStringLiteral("/data/kabuka/"), QStringLiteral("/data/kabuka/")},
        DbPathCase{"Relative", QStringLiteral("db\\"), QStringLiteral("<prog>/db/")},
        DbPathCase{"MissingSeparatorAdded", QStringLiteral("/data/kabuka"),
                   QStringLiteral("/data/kabuka/")},
        DbPathCase{"DriveLetterIsRelativeHere", QStringLiteral("C:\\kabuka\\"),
                   QStringLiteral("<prog>/C:/kabuka/")},
        // Only "/" makes a path absolute here; a Windows root or network path stays
        // inside the program folder instead of landing at the file system's root.
        DbPathCase{"NetworkPathIsRelativeHere", QStringLiteral("\\\\server\\share\\"),
                   QStringLiteral("<prog>///server/share/")},
        DbPathCase{"BackslashRootIsRelativeHere", QStringLiteral("\\kabuka\\"),
                   QStringLiteral("<prog>//kabuka/")},
        // Blanks the field rule keeps are part of the value: still inside.
        DbPathCase{"BlankBeforeDot", QStringLiteral(" .\\kabuka\\"),
                   QStringLiteral("<prog>/ ./kabuka/")},
        DbPathCase{"TabBeforeDot", QStringLiteral("\t.\\kabuka\\"),
                   QStringLiteral("<prog>/\t./kabuka/")},
        DbPathCase{"FullWidthSpaceBeforeDot", QStringLiteral("\u3000.\\kabuka\\"),
                   QStringLiteral("<prog>/\u3000./kabuka/")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kabuka
