#include "check_command.h"

#include "check/repair.h"
#include "check/report_render.h"
#include "check/server_source.h"
#include "cli/collection.h"
#include "cli/console_window.h"
#include "cli/date_arguments.h"
#include "collect/run_lock.h"
#include "common/stop_signals.h"
#include "settings/settei_tbl.h"

#include <QDir>
#include <QSaveFile>

#include <cstdio>
#include <memory>

namespace kabuka::cli {

namespace {

std::optional<check::CheckTarget> parseTarget(const QString& text) {
  const std::optional<Period> period = parseYearOrMonthArgument(text);
  return period ? std::optional(check::CheckTarget{period->year, period->month}) : std::nullopt;
}

// The check stops between two files or months once a signal came: the reading
// threads do not run the event loop, so they look at the signal count itself.
std::function<bool()> stopRequestFor(ConsoleWindow& console) {
  return [&console] { return console.stopRequested() || StopSignals::caught() > 0; };
}

QString baseUrlOf(const CliContext& context) {
  const QString configured = context.settei_tbl[settei::day_site];
  return configured.isEmpty() ? context.builtInBaseUrl : configured;
}

check::CheckOptions checkOptionsFor(const CliContext& context, const CheckCommandLine& line) {
  check::CheckOptions options;
  options.dbPath = context.settei_tbl[settei::db_path];
  options.dayFolder = context.settei_tbl[settei::day_folder];
  options.targets = line.targets;
  options.calendar = check::fromMarketCalendar(context.calendar);
  options.today = context.today();
  options.stopRequested = stopRequestFor(context.console);
  return options;
}

check::MonthCollector monthCollectorFor(CliContext& context) {
  return [&context](int year, int month) {
    const ExitStatus status = collectMonths(context, {YearMonth{year, month}});
    check::MonthRepair repair{year, month, status == ExitStatus::Done, {}};
    if (!repair.collected) {
      repair.message = status == ExitStatus::Locked ? QStringLiteral("他の収集処理が実行中です")
                       : status == ExitStatus::Stopped ? QStringLiteral("停止しました")
                                                       : QStringLiteral("収集に失敗しました");
    }
    return repair;
  };
}

bool writeHtml(const QString& path, const check::CheckReport& report) {
  QSaveFile file(path);
  const QByteArray bytes = check::renderHtml(report).toUtf8();
  // commit() alone would not see a final flush that failed on a full disk.
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
         file.commit();
}

// The report is what the check was asked for: one that could not be written
// whole (a full disk, a closed pipe) means the check was not completed.
ExitStatus finalStatus(CliContext& context, const check::CheckReport& report, bool reportWritten,
                       bool pageWritten) {
  if (!reportWritten) {
    context.console.failure(QStringLiteral("検査結果を書き出せませんでした。"));
  }
  if (!report.incomplete.isEmpty()) {
    context.console.failure(QStringLiteral("検査を最後まで行えませんでした: ") + report.incomplete);
  }
  const ExitStatus status = report.exitStatus();
  if (status == ExitStatus::Stopped) {
    return status;
  }
  return reportWritten && pageWritten ? status : ExitStatus::Incomplete;
}

}  // namespace

std::optional<CheckCommandLine> parseCheckCommandLine(const QStringList& arguments,
                                                      QString& error) {
  CheckCommandLine line;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--server")) {
      line.server = true;
    } else if (argument == QLatin1String("--json")) {
      line.json = true;
    } else if (argument == QLatin1String("--fix")) {
      line.fix = true;
    } else if (argument == QLatin1String("--html") && i + 1 < arguments.size()) {
      line.htmlFile = arguments[++i];
    } else if (argument.startsWith(QLatin1String("--html="))) {
      line.htmlFile = argument.mid(7);
    } else if (const auto target = parseTarget(argument)) {
      line.targets.append(*target);
    } else {
      error = argument.startsWith(QLatin1Char('-'))
                  ? QStringLiteral("check に「%1」というオプションはありません。").arg(argument)
                  : QStringLiteral("「%1」は年（yyyy）でも年月（yyyy-mm）でもありません。")
                        .arg(argument);
      return std::nullopt;
    }
  }
  if (line.htmlFile.isEmpty() && arguments.contains(QStringLiteral("--html"))) {
    error = QStringLiteral("--html には書き出すファイルを指定してください。");
    return std::nullopt;
  }
  return line;
}

ExitStatus runCheck(CliContext& context, const QStringList& arguments,
                    const std::function<bool(QByteArrayView)>& writeReport) {
  QString error;
  const std::optional<CheckCommandLine> line = parseCheckCommandLine(arguments, error);
  if (!line) {
    return badCommandLine(context, error);
  }
  check::CheckOptions options = checkOptionsFor(context, *line);
  std::unique_ptr<check::ServerMonthSource> server;
  if (line->server) {
    server = std::make_unique<check::ServerMonthSource>(baseUrlOf(context), context.console,
                                                        retryPolicyFor(context), context.fetch,
                                                        options.stopRequested);
    options.server = server.get();
  }
  // Only a repair writes, so only a repair keeps other runs out while it looks.
  std::unique_ptr<RunLock> lock;
  if (line->fix && QDir(options.dbPath).exists()) {
    lock = std::make_unique<RunLock>(options.dbPath);
    if (lock->state() == RunLock::State::HeldByOther) {
      context.console.failure(kOtherRunMessage);
      return ExitStatus::Locked;
    }
  }
  check::CheckReport report = check::checkDatabase(options);
  if (line->fix) {
    lock.reset();  // each month collection takes the lock for itself
    report = check::repairDatabase(options, report, monthCollectorFor(context));
  }
  const bool reportWritten =
      writeReport(line->json ? check::renderJson(report) : check::renderText(report).toUtf8());
  bool pageWritten = true;
  if (!line->htmlFile.isEmpty() && !writeHtml(line->htmlFile, report)) {
    context.console.failure(QStringLiteral("「%1」に書き込めませんでした。").arg(line->htmlFile));
    pageWritten = false;
  }
  return finalStatus(context, report, reportWritten, pageWritten);
}

ExitStatus runCheckCommand(CliContext& context, const QStringList& arguments,
                           const CommandOptions&) {
  return runCheck(context, arguments, [](QByteArrayView bytes) {
    const size_t written = std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
    return written == size_t(bytes.size()) && std::fflush(stdout) == 0 && !std::ferror(stdout);
  });
}

}  // namespace kabuka::cli
