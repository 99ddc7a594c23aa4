// A small program over the history library, linked as kabuka-collect links it:
// the tests run exports in a process of their own (to kill it), the benchmarks
// time a series including the start of a process, and tools/chart-shot.sh makes
// a page to picture.
//
//   kabuka_history_tool export DB [--db=FILE] [--rebuild] [YEAR | YEAR-MM ...]
//   kabuka_history_tool series DB CODE [--db=FILE] [--json] [--bom] [--html FILE] [--market NAME]
//   kabuka_history_tool sample DB FIRST_YEAR LAST_YEAR RECORDS
//
// DB is the database folder. The exit statuses are those of the commands.

#include "calendar/market_calendar.h"
#include "common/sjis.h"
#include "history/export.h"
#include "history/series.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <random>

#include <sys/resource.h>

namespace {

using namespace kabuka::history;

QString folder(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

int exportCommand(const QStringList& args) {
  ExportOptions options;
  options.dbPath = folder(args.value(0));
  static const QRegularExpression target(QStringLiteral("^(\\d{4})(?:-(\\d{2}))?$"));
  for (const QString& arg : args.mid(1)) {
    const auto match = target.match(arg);
    if (arg == u"--rebuild") {
      options.rebuild = true;
    } else if (arg.startsWith(QLatin1String("--db="))) {
      options.sqlitePath = arg.mid(5);
    } else if (match.hasMatch()) {
      options.targets.append({match.captured(1).toInt(), match.captured(2).toInt()});
    } else {
      return 2;
    }
  }
  // With KABUKA_PHASES set, tells when the files are read and rows are written.
  QElapsedTimer clock;
  clock.start();
  bool reading = true;
  if (qEnvironmentVariableIsSet("KABUKA_PHASES")) {
    options.onProgress = [&](const ExportProgress& progress) {
      if (reading && progress.filesDone == progress.filesTotal) {
        reading = false;
        std::fprintf(stderr, "files read after %.3f s\n", double(clock.elapsed()) / 1000);
      }
    };
  }
  const ExportResult result = exportDatabase(options);
  for (const auto& [path, problem] : result.damaged) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(problem));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr,
               "added %d, changed %d, removed %d, unchanged %d, %lld rows, %lld text values, "
               "%.3f s, peak %ld MiB%s%s\n",
               result.added, result.changed, result.removed, result.unchanged,
               static_cast<long long>(result.rows), static_cast<long long>(result.textValues),
               result.seconds, usage.ru_maxrss / 1024, result.error.isEmpty() ? "" : ": ",
               qPrintable(result.error));
  switch (result.status) {
    case ExportResult::Status::Done:
      return 0;
    case ExportResult::Status::SomeNotImported:
      return 1;
    case ExportResult::Status::Busy:
      return 3;
    case ExportResult::Status::Failed:
      return 4;
    case ExportResult::Status::Stopped:
      return 130;
  }
  return 4;
}

int seriesCommand(const QStringList& args) {
  SeriesOptions options;
  options.dbPath = folder(args.value(0));
  options.code = args.value(1);
  bool json = false, bom = false;
  QString html;
  for (qsizetype i = 2; i < args.size(); ++i) {
    if (args[i] == u"--json") {
      json = true;
    } else if (args[i] == u"--bom") {
      bom = true;
    } else if (args[i] == u"--html" && i + 1 < args.size()) {
      html = args[++i];
    } else if (args[i].startsWith(QLatin1String("--db="))) {
      options.sqlitePath = args[i].mid(5);
    } else if (args[i] == u"--market" && i + 1 < args.size()) {
      options.market = args[++i];
    } else {
      return 2;
    }
  }
  const SeriesResult result = readSeries(options);
  std::fprintf(stderr, "%s\n",
               result.source == SeriesResult::Source::Database ? "database"
                                                               : qPrintable(result.whyDayFiles));
  if (!result.error.isEmpty() || result.rows.isEmpty()) {
    return 1;
  }
  if (!html.isEmpty()) {
    QFile page(html);
    const kabuka::MarketCalendar calendar;
    return page.open(QIODevice::WriteOnly) &&
                   page.write(seriesChartHtml(result.rows, calendar).toUtf8()) > 0
               ? 0
               : 4;
  }
  const QByteArray out = json ? seriesJson(result.rows) : seriesCsv(result.rows, bom);
  std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
  return 0;
}

// Day files of a made-up market: prices walk at random, a stock is now and then
// not traded, and a few days are missing, so that a chart shows its gaps.
int sampleCommand(const QStringList& args) {
  const QString db = folder(args.value(0));
  const int first = args.value(1).toInt(), last = args.value(2).toInt();
  const int records = args.value(3).toInt();
  std::mt19937_64 random(20160315);
  std::vector<double> prices(static_cast<size_t>(records));
  for (double& price : prices) {
    price = 300 + double(random() % 5000);
  }
  const kabuka::MarketCalendar calendar;
  for (const QDate& day : calendar.tradingDays(QDate(first, 1, 1), QDate(last, 12, 31))) {
    if (day.dayOfYear() % 97 == 13) {
      continue;  // a day the collection missed
    }
    QString text = day.toString(QStringLiteral("yyyyMMdd")) +
                   QStringLiteral(",%1,日毎株価,TSE,,,,\r\n").arg(records);
    for (int i = 0; i < records; ++i) {
      double& close = prices[size_t(i)];
      const double open = close;
      close = std::max(
          10.0, std::round(close * std::exp(std::normal_distribution(0.0002, 0.018)(random))));
      const double high = std::max(open, close) * (1 + double(random() % 20) / 1000);
      const double low = std::min(open, close) * (1 - double(random() % 20) / 1000);
      text +=
          QStringLiteral("%1,%2,%3,")
              .arg(1301 + i)
              .arg(i % 5 == 0 ? QStringLiteral("東証2部") : QStringLiteral("東証1部"))
              .arg(i == 0 ? QStringLiteral("日本水産") : QStringLiteral("銘柄%1").arg(1301 + i));
      if (random() % 400 == 0) {
        text += QStringLiteral(",,,,0\r\n");  // not traded
        continue;
      }
      text += QStringLiteral("%1,%2,%3,%4,%5\r\n")
                  .arg(open)
                  .arg(std::round(high))
                  .arg(std::round(low))
                  .arg(close)
                  .arg(100 * (1000 + random() % 200000));
    }
    const QString path = db + day.toString(QStringLiteral("yyyy/'data_d'/yyyyMMdd'.csv'"));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kabuka::toSjis(text)) < 0) {
      return 4;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const QString command = args.value(0);
  if (command == u"export") {
    return exportCommand(args.mid(1));
  }
  if (command == u"series") {
    return seriesCommand(args.mid(1));
  }
  if (command == u"sample") {
    return sampleCommand(args.mid(1));
  }
  return 2;
}
