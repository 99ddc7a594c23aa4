#pragma once

// A data server of the sample market and a run of the collection driver against
// it, for the driver's tests.

#include "collect/driver.h"
#include "collect/run_control.h"
#include "collect/run_lock.h"
#include "common/sjis.h"
#include "http_server/loopback_http_server.h"
#include "sample_data/sample_prices.h"
#include "support/fake_run_window.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace kabuka::test {

using tools::HttpRequest;
using tools::HttpResponse;

inline const QString kBasePath = QStringLiteral("/kabu/kabu2/kabuka_db/");

// The data server: month files and day files of the sample market, and whatever
// the test breaks on purpose.
class ServerTree {
public:
  ServerTree() { m_prices.recordsPerDay = 20; }

  HttpResponse answer(const HttpRequest& request) {
    static const QRegularExpression pattern(
        QStringLiteral("^/kabu/kabu2/kabuka_db/(\\d{4})/(data_d|data_dg)/(\\d{6}|\\d{8})\\.csv$"));
    const QString path = QString::fromLatin1(request.path);
    const auto match = pattern.match(path);
    QMutexLocker lock(&m_mutex);
    if (!match.hasMatch() || m_missing.contains(match.captured(3))) {
      return HttpResponse::notFound();
    }
    if (m_broken.contains(match.captured(3))) {
      return HttpResponse::ok(m_broken.value(match.captured(3)));
    }
    const QString name = match.captured(3);
    if (match.captured(2) == QLatin1String("data_dg") && name.size() == 6) {
      return HttpResponse::ok(m_prices.monthFile(name.left(4).toInt(), name.mid(4).toInt()));
    }
    const QDate day = QDate::fromString(name, QStringLiteral("yyyyMMdd"));
    if (match.captured(2) == QLatin1String("data_d") && tools::SamplePrices::isTradingDay(day)) {
      return HttpResponse::ok(m_prices.dayFile(day));
    }
    return HttpResponse::notFound();
  }

  void remove(const QString& name) {
    QMutexLocker lock(&m_mutex);
    m_missing.insert(name);
  }
  void restore(const QString& name) {
    QMutexLocker lock(&m_mutex);
    m_missing.remove(name);
  }
  void replace(const QString& name, const QByteArray& content) {
    QMutexLocker lock(&m_mutex);
    m_broken.insert(name, content);
  }
  const tools::SamplePrices& prices() const { return m_prices; }

private:
  QMutex m_mutex;
  tools::SamplePrices m_prices;
  QSet<QString> m_missing;
  QHash<QString, QByteArray> m_broken;
};

class DriverTest : public ::testing::Test {
protected:
  DriverTest() : server([this](const HttpRequest& r) { return tree.answer(r); }) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  }

  void SetUp() override { ASSERT_TRUE(server.listening()); }

  RunEnvironment environment() const {
    RunEnvironment env;
    env.programFolder = program.path();
    env.builtInBaseUrl = server.origin() + kBasePath;
    env.today = [this] { return today; };
    env.locale = QLocale(QLocale::Japanese, QLocale::Japan);
    env.fetch.transferTimeoutMs = 5000;
    return env;
  }

  void run() {
    CollectionDriver driver(window, settei_tbl, environment());
    driver.m_dl_start_cmd_Click();
  }

  QString db() const { return program.path() + QStringLiteral("/kabuka/"); }
  QString dayFile(const QString& yyyymmdd, const QString& folder = QStringLiteral("data_d")) const {
    return db() + yyyymmdd.left(4) + QLatin1Char('/') + folder + QLatin1Char('/') + yyyymmdd +
           QStringLiteral(".csv");
  }
  QString scratch(const QString& year) const { return db() + year + QStringLiteral("/data_dg"); }

  QStringList requested() const {
    QStringList paths;
    for (const QByteArray& path : server.requestedPaths()) {
      paths.append(QString::fromLatin1(path).remove(kBasePath));
    }
    return paths;
  }

  // Every trading day of the month is stored with the bytes the server has for it.
  void expectMonthStored(int year, int month) {
    for (const QDate& date : tools::SamplePrices::tradingDays(year, month)) {
      const QString name = date.toString(QStringLiteral("yyyyMMdd"));
      EXPECT_EQ(test::readBytes(dayFile(name)), tree.prices().dayFile(date)) << name.toStdString();
    }
  }

  void expectEnding(Rgb colour, const QString& text) {
    EXPECT_EQ(window.label1.caption, text);
    EXPECT_EQ(window.label1.colour, colour);
    EXPECT_TRUE(window.isIdle());
    EXPECT_EQ(window.stopFlag, kTrue);
  }

  // Presses the stop button the way the window does, at the yield where Label1
  // first shows `progress`.
  void pressStopWhile(const QString& progress) {
    window.onYield = [this, progress](int) {
      if (window.label1.caption == progress && !isTrue(window.stopFlag)) {
        m_dl_stop_cmd_MouseDown(window);
        m_dl_stop_cmd_Click(window);
      }
    };
  }

  ServerTree tree;
  tools::LoopbackHttpServer server;
  TempFolder program;
  FakeRunWindow window;
  SetteiTbl settei_tbl;
  QDate today{2016, 12, 7};
};

}  // namespace kabuka::test
