// Starts the real kabuka_sample_server program, as ./run.sh --demo and the
// end-to-end test do, and talks to it over HTTP on 127.0.0.1.

#include "sample_data/sample_prices.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace kabuka::tools {
namespace {

const QString kServer = QStringLiteral(KABUKA_SAMPLE_SERVER);
constexpr int kRecords = 25;
constexpr int kWaitMs = 30'000;  // generous: sanitizer builds start slowly

struct Fetched {
  int status = 0;
  QByteArray body;
};

Fetched fetch(const QString& url) {
  QNetworkAccessManager network;
  QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
  loop.exec();
  Fetched fetched;
  if (reply->isFinished()) {
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    fetched.body = reply->readAll();
  }
  delete reply;
  return fetched;
}

// A running kabuka_sample_server, terminated at the end of the test if still running.
class ServerProcess {
public:
  explicit ServerProcess(const QStringList& arguments) { m_process.start(kServer, arguments); }
  ~ServerProcess() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(kWaitMs);
    }
  }

  // The next line on stdout, without its line end; nullopt when none comes.
  std::optional<QByteArray> readLine() {
    const QDeadlineTimer deadline(kWaitMs);
    while (!m_process.canReadLine()) {
      if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
        return std::nullopt;
      }
    }
    return m_process.readLine().chopped(1);
  }

  QProcess& process() { return m_process; }

private:
  QProcess m_process;
};

QStringList demoArguments(const QString& port = QStringLiteral("0")) {
  return {QStringLiteral("--port"),
          port,
          QStringLiteral("--from-year"),
          QStringLiteral("2016"),
          QStringLiteral("--to-year"),
          QStringLiteral("2016"),
          QStringLiteral("--records-per-day"),
          QString::number(kRecords),
          QStringLiteral("--today"),
          QStringLiteral("2016-03-15"),
          QStringLiteral("--quiet")};
}

// The port from the first line, "port <n>"; 0 when the line is not that.
quint16 portOf(const std::optional<QByteArray>& line) {
  if (!line || !line->startsWith("port ")) {
    return 0;
  }
  return quint16(line->sliced(5).toUInt());
}

TEST(SampleServerProcess, ServesTheDailyFileThatSamplePricesMakes) {
  ServerProcess server(demoArguments());
  const quint16 port = portOf(server.readLine());
  ASSERT_NE(port, 0) << "the first line names the port";
  const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(port);
  EXPECT_EQ(server.readLine(),
            (origin + QStringLiteral("/kabu/kabu2/kabuka_db/")).toUtf8().prepend("base "));

  const Fetched day =
      fetch(origin + QStringLiteral("/kabu/kabu2/kabuka_db/2016/data_d/20160315.csv"));
  SamplePrices prices;
  prices.recordsPerDay = kRecords;
  EXPECT_EQ(day.status, 200);
  EXPECT_EQ(day.body, prices.dayFile(QDate(2016, 3, 15)));

  const Fetched weekend =
      fetch(origin + QStringLiteral("/kabu/kabu2/kabuka_db/2016/data_d/20160312.csv"));
  EXPECT_EQ(weekend.status, 404);
  EXPECT_TRUE(weekend.body.contains("<html>"));
}

TEST(SampleServerProcess, EndsCleanlyOnSigterm) {
  ServerProcess server(demoArguments());
  ASSERT_NE(portOf(server.readLine()), 0);
  server.process().terminate();
  ASSERT_TRUE(server.process().waitForFinished(kWaitMs));
  EXPECT_EQ(server.process().exitStatus(), QProcess::NormalExit) << "the signal was caught";
  EXPECT_EQ(server.process().exitCode(), 0);
}

TEST(SampleServerProcess, RefusesAYearRangeThatEndsBeforeItStarts) {
  ServerProcess server({QStringLiteral("--from-year"), QStringLiteral("2020"),
                        QStringLiteral("--to-year"), QStringLiteral("2010")});
  ASSERT_TRUE(server.process().waitForFinished(kWaitMs));
  EXPECT_EQ(server.process().exitCode(), 2);
  EXPECT_TRUE(server.process().readAllStandardOutput().isEmpty()) << "no port line";
  EXPECT_TRUE(server.process().readAllStandardError().contains("--from-year"));
}

TEST(SampleServerProcess, FailsWhenThePortIsTaken) {
  QTcpServer occupant;
  ASSERT_TRUE(occupant.listen(QHostAddress::LocalHost));
  ServerProcess server(demoArguments(QString::number(occupant.serverPort())));
  ASSERT_TRUE(server.process().waitForFinished(kWaitMs));
  EXPECT_EQ(server.process().exitCode(), 1);
  EXPECT_TRUE(server.process().readAllStandardOutput().isEmpty()) << "no port line";
}

}  // namespace
}  // namespace kabuka::tools
