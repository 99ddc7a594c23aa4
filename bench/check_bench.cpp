// How fast the database check reads a ten-year database (about 2,450 day files of
// 4,000 records, some 500 MB) from the page cache, and how much memory it holds.
// The database is made once by the sample price generator into a folder under the
// system's temporary folder and kept there for later runs.

#include "calendar/market_calendar.h"
#include "check/database_check.h"
#include "sample_data/sample_prices.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int kFirstYear = 2006;
constexpr int kLastYear = 2015;
constexpr int kRecordsPerDay = 4000;

QString databaseFolder() {
  return QDir::tempPath() + QStringLiteral("/kabuka-check-bench-%1-%2-%3/kabuka/")
                                .arg(kFirstYear)
                                .arg(kLastYear)
                                .arg(kRecordsPerDay);
}

const kabuka::MarketCalendar& market() {
  static const kabuka::MarketCalendar calendar;
  return calendar;
}

// Makes the database unless an earlier run finished making it.
bool ensureDatabase(const QString& db) {
  const QString done = db + QStringLiteral(".complete");
  if (QFile::exists(done)) {
    return true;
  }
  kabuka::tools::SamplePrices prices;
  prices.recordsPerDay = kRecordsPerDay;
  for (const QDate& day : market().tradingDays(QDate(kFirstYear, 1, 1), QDate(kLastYear, 12, 31))) {
    const QString folder = db + day.toString(QStringLiteral("yyyy/'data_d'/"));
    QDir().mkpath(folder);
    QFile file(folder + day.toString(QStringLiteral("yyyyMMdd'.csv'")));
    if (!file.open(QIODevice::WriteOnly) || file.write(prices.dayFile(day)) < 0) {
      return false;
    }
  }
  QFile marker(done);
  return marker.open(QIODevice::WriteOnly);
}

// CPU time of all threads of the process so far, user and system.
double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_CheckTenYears(benchmark::State& state) {
  const QString db = databaseFolder();
  if (!ensureDatabase(db)) {
    state.SkipWithError("could not make the sample database");
    return;
  }
  kabuka::check::CheckOptions options;
  options.dbPath = db;
  options.calendar = kabuka::check::fromMarketCalendar(market());
  options.today = QDate(kLastYear + 1, 6, 1);
  options.workers = int(state.range(0));
  const long peakBefore = peakResidentKiB();
  kabuka::check::checkDatabase(options);  // brings the files into the page cache

  qint64 files = 0;
  qint64 bytes = 0;
  const double cpuBefore = processCpuSeconds();
  for (auto _ : state) {
    const kabuka::check::CheckReport report = kabuka::check::checkDatabase(options);
    if (!report.findings.isEmpty()) {
      state.SkipWithError("the sample database should be sound");
      return;
    }
    for (const auto& [date, entry] : report.days) {
      files += entry.hasFile ? 1 : 0;
    }
  }
  // The machine is shared: the CPU time of a check tells its cost when the wall
  // time is stretched by other work.
  const double cpuPerCheck = (processCpuSeconds() - cpuBefore) / double(state.iterations());
  for (const auto& [date, entry] : kabuka::check::checkDatabase(options).days) {
    if (entry.hasFile) {
      bytes += QFileInfo(db + date.toString(QStringLiteral("yyyy/'data_d'/yyyyMMdd'.csv'"))).size();
    }
  }
  const qint64 iterations = state.iterations();
  state.counters["files/s"] = benchmark::Counter(double(files), benchmark::Counter::kIsRate);
  state.counters["MB/s"] =
      benchmark::Counter(double(bytes) * double(iterations) / 1e6, benchmark::Counter::kIsRate);
  state.counters["MB"] = double(bytes) / 1e6;
  state.counters["cpu_ms_per_check"] = cpuPerCheck * 1000;
  state.counters["peak_RSS_MiB"] = double(peakResidentKiB()) / 1024.0;
  state.counters["RSS_growth_MiB"] = double(peakResidentKiB() - peakBefore) / 1024.0;
}
BENCHMARK(BM_CheckTenYears)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
