#include "cli_fixture.h"

#include "collect/run_lock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <csignal>
#include <functional>

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

namespace kabuka {
namespace {

using test::CliFixture;
using test::filesUnder;

// kabuka-collect as a process of its own, reading settei.txt that names the
// fixture's server.
class CollectProcess {
public:
  // `inChild` runs in the child just before the program starts (a resource limit).
  CollectProcess(CliFixture& fixture, const QStringList& arguments,
                 std::function<void()> inChild = {}) {
    if (inChild) {
      m_process.setChildProcessModifier(std::move(inChild));
    }
    EXPECT_TRUE(
        test::writeBytes(fixture.program.file(QStringLiteral("settei.txt")),
                         "日毎株価取得サイト," + fixture.baseUrl().toUtf8() + "\r\nEOF,EOF\r\n"));
    m_process.setReadChannel(QProcess::StandardError);
    m_process.start(QStringLiteral(KABUKA_COLLECT),
                    QStringList{QStringLiteral("--program-folder"), fixture.program.path(),
                                QStringLiteral("--today"), QStringLiteral("2016-12-07")} +
                        arguments);
    EXPECT_TRUE(m_process.waitForStarted());
  }

  // Reads stderr until `text` shows; false when the program ended first.
  bool waitForOutput(const QString& text) {
    while (!m_output.contains(text.toUtf8())) {
      if (!m_process.waitForReadyRead(10'000)) {
        return false;
      }
      m_output += m_process.readAllStandardError();
    }
    return true;
  }

  int finish() {
    EXPECT_TRUE(m_process.waitForFinished(30'000));
    m_output += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
  }

  void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
  const QByteArray& output() const { return m_output; }

private:
  QProcess m_process;
  QByteArray m_output;
};

QString dayPath(const QDate& day) {
  const QString name = day.toString(QStringLiteral("yyyyMMdd"));
  return name.left(4) + QStringLiteral("/data_d/") + name + QStringLiteral(".csv");
}

class StopSignalTest : public ::testing::TestWithParam<int> {};

// SIGTERM (systemd, kill) and SIGINT (Ctrl-C) work like "収集停止": the month in
// hand is fetched and split whole, no later month is fetched, nothing half written
// or scratch is left behind.
TEST_P(StopSignalTest, FinishesTheMonthInHandAndExits130) {
  CliFixture fixture;
  // March is answered only once the signal has been sent, so it surely comes
  // while that month is in hand.
  std::atomic<bool> signalSent = false;
  fixture.setOverride([&](const tools::HttpRequest& request) {
    if (request.path.contains("201503")) {
      for (int waited = 0; !signalSent && waited < 10'000; waited += 10) {
        QThread::msleep(10);
      }
    }
    return std::optional(fixture.tree().respond(request));
  });
  CollectProcess collect(fixture, {QStringLiteral("year"), QStringLiteral("2015")});
  ASSERT_TRUE(collect.waitForOutput(QStringLiteral("2015年03月")))
      << collect.output().toStdString();
  collect.signal(GetParam());
  QThread::msleep(200);  // the signal is seen while the fetch waits
  signalSent = true;
  EXPECT_EQ(collect.finish(), 130) << collect.output().toStdString();

  QMap<QString, QByteArray> expected;
  for (int month = 1; month <= 3; ++month) {
    for (const QDate& day : tools::SamplePrices::tradingDays(2015, month)) {
      expected.insert(dayPath(day), fixture.tree().dayFile(day));
    }
  }
  const QMap<QString, QByteArray> stored = filesUnder(fixture.db());
  EXPECT_EQ(stored.keys().join(QLatin1Char(' ')).toStdString(),
            expected.keys().join(QLatin1Char(' ')).toStdString());
  EXPECT_TRUE(stored == expected);
  EXPECT_EQ(fixture.requested().size(), 3);
  EXPECT_TRUE(collect.output().contains("収集処理を停止しました。"));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                           return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

// A stop during the back-off before a retry ends the run at once, not after the
// minute the server asked to wait.
TEST(CollectProcess, SigtermDuringTheBackOffEndsTheRunAtOnce) {
  CliFixture fixture;
  fixture.setOverride([](const tools::HttpRequest&) {
    tools::HttpResponse busy = tools::HttpResponse::ok("busy", "text/plain");
    busy.status = 503;
    busy.reason = "Service Unavailable";
    busy.extraHeaders = {{"Retry-After", "60"}};
    return std::optional(busy);
  });
  CollectProcess collect(fixture, {QStringLiteral("month"), QStringLiteral("2016-03")});
  ASSERT_TRUE(collect.waitForOutput(QStringLiteral("再試行"))) << collect.output().toStdString();
  QElapsedTimer clock;
  clock.start();
  collect.signal(SIGTERM);
  EXPECT_EQ(collect.finish(), 130) << collect.output().toStdString();
  EXPECT_LT(clock.elapsed(), 10'000);
  EXPECT_EQ(fixture.requested().size(), 1);
  EXPECT_FALSE(QFile::exists(fixture.db() + QStringLiteral("2016/data_dg/201603.csv")));
}

// Another run, in any process, holds the database: exit 3 before anything is fetched
// or written.
TEST(CollectProcess, ALockedDatabaseExits3AndTouchesNothing) {
  CliFixture fixture;
  ASSERT_TRUE(QDir().mkpath(fixture.db()));
  QLockFile otherRun(RunLock::lockPathFor(fixture.db()));
  ASSERT_TRUE(otherRun.tryLock(0));
  CollectProcess collect(fixture, {QStringLiteral("month"), QStringLiteral("2016-03")});
  EXPECT_EQ(collect.finish(), 3) << collect.output().toStdString();
  EXPECT_TRUE(fixture.requested().isEmpty());
  EXPECT_EQ(filesUnder(fixture.db()).keys(), QStringList{QStringLiteral(".collect.lock")});
  EXPECT_TRUE(QDir(fixture.db()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
  EXPECT_TRUE(collect.output().contains("他の収集処理が実行中です。"));
}

// A disk that takes no more: the month is not stored, and the last line says which
// file and why, quiet or not.
TEST(CollectProcess, AFullDiskIsNamedAsTheCause) {
  CliFixture fixture;
  CollectProcess collect(
      fixture, {QStringLiteral("-q"), QStringLiteral("month"), QStringLiteral("2016-03")}, [] {
        std::signal(SIGXFSZ, SIG_IGN);   // a write past it fails with EFBIG
        const rlimit limit{2048, 2048};  // less than the month file
        setrlimit(RLIMIT_FSIZE, &limit);
      });
  EXPECT_EQ(collect.finish(), 1) << collect.output().toStdString();
  const QList<QByteArray> lines = collect.output().trimmed().split('\n');
  const QString last = QString::fromUtf8(lines.constLast());
  EXPECT_TRUE(last.contains(fixture.baseUrl() + QStringLiteral("2016/data_dg/201603.csv")))
      << last.toStdString();
  EXPECT_TRUE(last.contains(QStringLiteral("書き込めません"))) << last.toStdString();
  EXPECT_TRUE(filesUnder(fixture.db() + QStringLiteral("2016/data_d")).isEmpty());
}

// A check stops between two months of its comparison within a second of the
// signal, says it was stopped and what it found up to then, and exits 130; the
// month in hand is abandoned, not waited for.
TEST(CheckProcess, ASignalStopsTheComparisonAtOnce) {
  CliFixture fixture;
  ASSERT_EQ(fixture.run({QStringLiteral("month"), QStringLiteral("2016-11")}), 0);
  fixture.setOverride([](const tools::HttpRequest&) -> std::optional<tools::HttpResponse> {
    tools::HttpResponse slow = tools::HttpResponse::ok("201611,0,x,,,,,\r\n");
    slow.delayMs = 20'000;
    return slow;
  });
  CollectProcess check(fixture, {QStringLiteral("-v"), QStringLiteral("check"),
                                 QStringLiteral("2016-11"), QStringLiteral("--server")});
  QThread::msleep(300);
  QElapsedTimer clock;
  clock.start();
  check.signal(SIGTERM);
  EXPECT_EQ(check.finish(), 130) << check.output().toStdString();
  EXPECT_LT(clock.elapsed(), 2'000);
  EXPECT_FALSE(check.output().contains("server-month-missing"));
}

}  // namespace
}  // namespace kabuka
