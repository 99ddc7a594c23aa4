// Splitting a year of month files against writing the same day files directly.
// Both sides replace each day file the same way (a complete new file, synced and
// renamed over the old), so the difference is what the splitting itself costs.

#include "collect/null_window.h"
#include "collect/splitter.h"
#include "sample_data/sample_prices.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using kabuka::tools::SamplePrices;

constexpr int kYear = 2015;

struct SampleYear {
  QTemporaryDir folder;
  QStringList monthFiles;
  QList<QPair<QString, QByteArray>> dayFiles;  // name and bytes, as the split writes them
  qint64 dayBytes = 0;

  SampleYear() {
    if (!folder.isValid()) {
      return;  // an invalid folder has no path: nothing may be written
    }
    const SamplePrices prices;
    QDir(folder.path()).mkpath(QStringLiteral("months"));
    for (int month = 1; month <= 12; ++month) {
      const QString path =
          folder.filePath(QStringLiteral("months/%1.csv").arg(kYear * 100 + month));
      QFile file(path);
      file.open(QIODevice::WriteOnly);
      file.write(prices.monthFile(kYear, month));
      monthFiles.append(path);
      for (const QDate& day : SamplePrices::tradingDays(kYear, month)) {
        QByteArray bytes = prices.dayFile(day);
        dayBytes += bytes.size();
        dayFiles.append(
            {day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv"), std::move(bytes)});
      }
    }
  }

  QString outputFolder(const char* name) const {
    QDir(folder.path()).mkpath(QLatin1String(name));
    return folder.filePath(QLatin1String(name)) + QLatin1Char('/');
  }
};

const SampleYear& sampleYear() {
  static const SampleYear year;
  return year;
}

bool splitYear(const SampleYear& year, const QString& out, kabuka::NullWindow& window) {
  for (int month = 1; month <= year.monthFiles.size(); ++month) {
    if (!kabuka::data_d_csv_sub(year.monthFiles[month - 1], {kYear, month}, out, window).complete) {
      return false;
    }
  }
  return true;
}

bool writeYearDirectly(const SampleYear& year, const QString& out) {
  for (const auto& [name, bytes] : year.dayFiles) {
    QSaveFile file(out + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
      return false;
    }
  }
  return true;
}

// The two are timed in turns within each iteration: syncing to disk varies a lot
// from second to second on a shared machine, and turns let both see the same disk.
// The benchmark's time is the split's; "baseline_ms" is the direct write's and
// "ratio" is split time over baseline time, summed over all iterations.
void BM_SplitYearAgainstDirectWrite(benchmark::State& state) {
  const SampleYear& year = sampleYear();
  if (!year.folder.isValid()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const QString splitOut = year.outputFolder("split");
  const QString baselineOut = year.outputFolder("baseline");
  kabuka::NullWindow window;
  double splitSeconds = 0;
  double baselineSeconds = 0;
  QElapsedTimer timer;
  for (auto _ : state) {
    timer.start();
    const bool split = splitYear(year, splitOut, window);
    const double splitTime = timer.nsecsElapsed() / 1e9;
    timer.start();
    const bool written = writeYearDirectly(year, baselineOut);
    const double baselineTime = timer.nsecsElapsed() / 1e9;
    if (!split || !written) {
      state.SkipWithError("a year could not be written");
      return;
    }
    state.SetIterationTime(splitTime);
    splitSeconds += splitTime;
    baselineSeconds += baselineTime;
  }
  state.SetBytesProcessed(state.iterations() * year.dayBytes);
  state.counters["day_files"] = double(year.dayFiles.size());
  state.counters["baseline_ms"] = 1000 * baselineSeconds / double(state.iterations());
  state.counters["ratio"] = splitSeconds / baselineSeconds;
}
BENCHMARK(BM_SplitYearAgainstDirectWrite)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(15);

}  // namespace
