#include "cli/console_window.h"
#include "collect/fetcher.h"
#include "program_runner.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <ctime>

namespace kabuka {
namespace {

struct Console {
  explicit Console(bool terminal, bool quiet = false, bool journal = false, bool dumb = false,
                   bool verbose = false)
      : window(cli::ConsoleSink{
                   .write = [this](QByteArrayView bytes) { written += bytes.toByteArray(); },
                   .isTerminal = terminal,
                   .dumbTerminal = dumb,
                   .isJournal = journal,
                   .now =
                       [] {
                         return QDateTime({2016, 12, 7}, {9, 30, 5}, Qt::UTC);
                       }},
               quiet, verbose) {}
  QByteArray written;
  cli::ConsoleWindow window;
};

const QString kMonthUrl = QStringLiteral("http://h/kabu/kabu2/kabuka_db/2016/data_dg/201611.csv");

// A log (not a terminal) gets one line per event with its time and the time's
// offset, so logs of machines in other zones compare, and each month of a long
// run says how far the run is.
TEST(ConsoleWindow, LogLinesCarryTimeAndCount) {
  const cli::MachineZone tokyo("Asia/Tokyo");
  Console console(false);
  console.window.planFiles(12);
  console.window.fileStarted(QStringLiteral("2015年01月"), kMonthUrl);
  console.window.setLabel1Colour(kBlue);
  console.window.setLabel1Caption(QStringLiteral("年指定：2015年01月の日毎株価収集処理中"));
  console.window.fileProgress(1000, -1);
  EXPECT_EQ(
      QString::fromUtf8(console.written),
      QStringLiteral("2016-12-07T18:30:05+09:00 年指定：2015年01月の日毎株価収集処理中 (1/12)\n"));
}

// In the journal a failure is marked as an error, so `journalctl -p err` finds it.
TEST(ConsoleWindow, JournalLinesCarryTheirPriority) {
  Console console(false, false, true);
  console.window.info(QStringLiteral("データベースに日毎株価はまだありません。"));
  console.window.setLabel1Colour(kRed);
  console.window.setLabel1Caption(QStringLiteral("年月指定：201603の情報は収集できませんでした。"));
  EXPECT_EQ(QString::fromUtf8(console.written),
            QStringLiteral("<6>データベースに日毎株価はまだありません。\n"
                           "<3>年月指定：201603の情報は収集できませんでした。\n"));
}

// On a terminal the progress line is redrawn in place: first that the server is
// being waited for, then the bytes of the announced total; it is wiped before a
// status line, so the two never run together. It comes from the run's file
// events, not from the wording of the captions.
TEST(ConsoleWindow, TerminalProgressIsRedrawnInPlace) {
  Console console(true);
  console.window.planFiles(2);
  console.window.fileStarted(QStringLiteral("2016年11月"), kMonthUrl);
  console.window.setLabel1Colour(kBlue);
  console.window.setLabel1Caption(QStringLiteral("月の取得を始めます"));
  EXPECT_TRUE(console.written.startsWith("月の取得を始めます (1/2)\n"))
      << console.written.toStdString();
  EXPECT_TRUE(console.written.contains("\r\x1b[K2016年11月 1/2  サーバーの応答待ち"))
      << console.written.toStdString();
  console.written.clear();
  console.window.fileProgress(3 * 1024 * 1024, 4 * 1024 * 1024);
  EXPECT_TRUE(console.written.startsWith("\r\x1b[K2016年11月 1/2  3.0 MiB / 4.0 MiB (75%)"))
      << console.written.toStdString();
  console.window.setLabel1Caption(QStringLiteral("日毎株価の処理完了"));
  EXPECT_TRUE(console.written.endsWith("\r\x1b[K日毎株価の処理完了\n"))
      << console.written.toStdString();
}

// A terminal that cannot move its cursor gets plain lines, and no caption
// starts a file by its wording.
TEST(ConsoleWindow, ADumbTerminalGetsNoEscapeSequences) {
  Console console(true, false, false, true);
  console.window.planFiles(2);
  console.window.setLabel1Colour(kBlue);
  console.window.setLabel1Caption(QStringLiteral("月指定：2016年11月の日毎株価収集処理中"));
  console.window.fileStarted(QStringLiteral("2016年11月"), kMonthUrl);
  console.window.fileProgress(3 * 1024 * 1024, -1);
  console.window.progressLine(QStringLiteral("1/2 日"));
  EXPECT_EQ(QString::fromUtf8(console.written),
            QStringLiteral("月指定：2016年11月の日毎株価収集処理中\n"));
}

TEST(ConsoleWindow, VerboseNamesEveryRequest) {
  FetchOutcome outcome;
  outcome.failure = FetchFailure::HttpStatus;
  outcome.httpStatus = 503;
  outcome.bytesReceived = 2048;
  Console quietly(true);
  quietly.window.requestDone(kMonthUrl, outcome, 1500);
  EXPECT_TRUE(quietly.written.isEmpty());
  Console verbose(true, false, false, false, true);
  verbose.window.requestDone(kMonthUrl, outcome, 1500);
  const QString line = QString::fromUtf8(verbose.written);
  EXPECT_TRUE(line.startsWith(QStringLiteral("GET ") + kMonthUrl +
                              QStringLiteral(" → HTTP 503、2 KiB、1.50 秒")))
      << line.toStdString();
}

// A signal before a run still stops it: the run's own reset of the flag must not
// swallow it.
TEST(ConsoleWindow, AStopOutlivesTheRunsReset) {
  Console console(false, true);
  console.window.requestStop();
  console.window.set_stop_flg(kFalse);
  EXPECT_EQ(console.window.stop_flg(), kTrue);
  EXPECT_FALSE(console.window.closing());
  console.window.requestStop();
  EXPECT_TRUE(console.window.closing());
}

}  // namespace
}  // namespace kabuka
