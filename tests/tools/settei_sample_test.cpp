// The sample settings file of the program folder, and the writer that makes it and
// the demo's settei.txt: both must be read by the program as they are meant.

#include "common/sjis.h"
#include "settings/settei_reader.h"
#include "support/fake_pump.h"
#include "support/temp_folder.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace kabuka {
namespace {

const QString kSample = QStringLiteral(KABUKA_SETTEI_SAMPLE);
const QString kTemplate = QStringLiteral(KABUKA_SETTEI_TEMPLATE);
const QString kWriter = QStringLiteral(KABUKA_WRITE_SETTEI);
const QString kBuiltInSite = QStringLiteral(KABUKA_DEFAULT_BASE_URL);

class SetteiSampleTest : public ::testing::Test {
protected:
  QString settingsFile() const { return program.file(QStringLiteral("settei.txt")); }

  SetteiTbl readAsSettings(const QByteArray& bytes) {
    EXPECT_TRUE(test::writeBytes(settingsFile(), bytes));
    SetteiTbl tbl;
    test::FakePump pump;
    settei_read_sub(tbl, program.path(), pump);
    return tbl;
  }

  // What the sample sets: the data server, and the defaults written out.
  SetteiTbl expected(const QString& site) const {
    SetteiTbl tbl;
    tbl[settei::db_path] = program.path() + QStringLiteral("/kabuka/");
    tbl[settei::day_site] = site;
    tbl[settei::day_folder] = QStringLiteral("data_d");
    tbl[settei::m_folder] = QStringLiteral("data_m");
    return tbl;
  }

  int runWriter(const QStringList& arguments) {
    QProcess writer;
    writer.start(kWriter, arguments);
    EXPECT_TRUE(writer.waitForFinished(30'000));
    return writer.exitStatus() == QProcess::NormalExit ? writer.exitCode() : -1;
  }

  test::TempFolder program;
};

TEST_F(SetteiSampleTest, IsShiftJisWithCrLfLineEnds) {
  const QByteArray bytes = test::readBytes(kSample);
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_EQ(detectSettingsEncoding(bytes), SettingsEncoding::ShiftJis);
  EXPECT_TRUE(fromSjis(bytes).startsWith(QStringLiteral("日毎株価取得サイト,")));
  EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << "every line ends in CR LF";
  EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n")) << "no CR stands alone";
}

TEST_F(SetteiSampleTest, IsReadAsTheBuiltInSiteAndTheDefaultFolders) {
  EXPECT_EQ(readAsSettings(test::readBytes(kSample)), expected(kBuiltInSite))
      << "nothing before EOF,EOF may shift the pairs, nothing after it may count";
}

TEST_F(SetteiSampleTest, ExplainsItselfAfterTheEofLine) {
  const QString text = fromSjis(test::readBytes(kSample));
  const qsizetype eof = text.indexOf(QStringLiteral("\r\nEOF,EOF\r\n"));
  ASSERT_GE(eof, 0);
  const QString notes = text.sliced(eof);
  for (const char16_t* key : {u"日毎株価取得サイト", u"株価データベースフォルダパス",
                              u"日毎株価フォルダ名", u"settei.txt"}) {
    EXPECT_TRUE(notes.contains(QString::fromUtf16(key))) << QString::fromUtf16(key).toStdString();
  }
}

TEST_F(SetteiSampleTest, TheWriterPointsADemoFolderAtAnotherServer) {
  const QString site = QStringLiteral("http://127.0.0.1:54321/kabu/kabu2/kabuka_db/");
  ASSERT_EQ(runWriter({kTemplate, settingsFile(), site}), 0);
  SetteiTbl tbl;
  test::FakePump pump;
  settei_read_sub(tbl, program.path(), pump);
  EXPECT_EQ(tbl, expected(site));
}

TEST_F(SetteiSampleTest, TheWriterRefusesATemplateWithoutTheSitePlaceholder) {
  const QString brokenTemplate = program.file(QStringLiteral("broken.in"));
  ASSERT_TRUE(test::writeBytes(brokenTemplate, "日毎株価取得サイト,http://x/\nEOF,EOF\n"));
  EXPECT_NE(runWriter({brokenTemplate, settingsFile(), QStringLiteral("http://y/")}), 0);
  EXPECT_FALSE(QFile::exists(settingsFile()));
}

TEST_F(SetteiSampleTest, TheWriterRefusesTextThatShiftJisCannotHold) {
  const QString emojiTemplate = program.file(QStringLiteral("emoji.in"));
  ASSERT_TRUE(
      test::writeBytes(emojiTemplate, "日毎株価取得サイト,@SITE@\nEOF,EOF\n\xF0\x9F\x98\x80\n"));
  EXPECT_NE(runWriter({emojiTemplate, settingsFile(), QStringLiteral("http://y/")}), 0);
  EXPECT_FALSE(QFile::exists(settingsFile()));
}

}  // namespace
}  // namespace kabuka
