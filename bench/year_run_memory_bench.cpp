// How much memory a year run takes through the driver, against a data server in
// another process so that its own buffers are not counted. The goal is to hold no
// more than one month file and one day block at a time.

#include "collect/driver.h"
#include "collect/null_window.h"
#include "sample_data/sample_prices.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kYear = 2015;

// A /proc/self/status value in bytes ("VmRSS", "VmHWM").
qint64 statusBytes(const char* key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) {
    return -1;
  }
  const QByteArray prefix = QByteArray(key) + ':';
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(prefix)) {
      return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
  }
  return -1;
}

// Starts the peak ("VmHWM") afresh from the current size.
bool resetPeak() {
  QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
  return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

class SampleServerProcess {
public:
  SampleServerProcess() {
    m_process.start(
        QStringLiteral(KABUKA_SAMPLE_SERVER),
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--from-year"),
         QString::number(kYear), QStringLiteral("--to-year"), QString::number(kYear),
         QStringLiteral("--today"), QStringLiteral("2016-03-15"), QStringLiteral("--quiet")});
    if (m_process.waitForReadyRead(10'000)) {
      const QByteArray line = m_process.readLine().trimmed();
      if (line.startsWith("port ")) {
        m_port = line.mid(5).toInt();
      }
    }
  }
  ~SampleServerProcess() {
    m_process.terminate();
    m_process.waitForFinished(5000);
  }
  int port() const { return m_port; }

private:
  QProcess m_process;
  int m_port = 0;
};

bool collect(kabuka::NullWindow& window, kabuka::CollectionDriver& driver,
             const QString& month) {
  window.choose({false, true, {}, {}, {}, QString::number(kYear), month});
  driver.m_dl_start_cmd_Click();
  return window.label1() == kabuka::run_text::kCompleted;
}

// The largest month file and the largest day file the split writes from it.
qint64 monthPlusBlockBytes() {
  const kabuka::tools::SamplePrices prices;
  qint64 month = 0;
  qint64 block = 0;
  for (int m = 1; m <= 12; ++m) {
    month = std::max(month, qint64(prices.monthFile(kYear, m).size()));
    for (const QDate& day : kabuka::tools::SamplePrices::tradingDays(kYear, m)) {
      block = std::max(block, qint64(prices.dayFile(day).size()));
    }
  }
  return month + block;
}

void BM_YearRunPeakMemory(benchmark::State& state) {
  SampleServerProcess server;
  QTemporaryDir program;
  if (server.port() == 0 || !program.isValid()) {
    state.SkipWithError("the sample data server did not start");
    return;
  }
  kabuka::NullWindow window;
  kabuka::SetteiTbl settei_tbl;
  kabuka::RunEnvironment env;
  env.programFolder = program.path();
  env.builtInBaseUrl =
      QStringLiteral("http://127.0.0.1:%1/kabu/kabu2/kabuka_db/").arg(server.port());
  kabuka::CollectionDriver driver(window, settei_tbl, env);

  double growth = 0;
  for (auto _ : state) {
    // One month first, so that libraries and the network stack are in place.
    if (!collect(window, driver, QStringLiteral("01")) || !resetPeak()) {
      state.SkipWithError("the warm-up run failed");
      return;
    }
    const qint64 before = statusBytes("VmRSS");
    if (!collect(window, driver, QStringLiteral("all"))) {
      state.SkipWithError("the year run failed");
      return;
    }
    growth = double(statusBytes("VmHWM") - before);
  }
  const double budget = double(monthPlusBlockBytes());
  constexpr double kMiB = 1024.0 * 1024.0;
  state.counters["peak_growth_MiB"] = growth / kMiB;
  state.counters["month_plus_block_MiB"] = budget / kMiB;
  state.counters["within_budget"] = growth <= budget ? 1 : 0;
}
BENCHMARK(BM_YearRunPeakMemory)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
