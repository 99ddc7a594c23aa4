// `kabuka-collect check`: reads the price database and reports what is missing,
// damaged or left over; compares it with the server and repairs it on request.

#include "cli/check_command.h"

#include "check/repair.h"
#include "check/report_render.h"
#include "check/server_source.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/console_window.h"
#include "cli/date_arguments.h"
#include "cli/driver_runs.h"
#include "collect/run_lock.h"
#include "settings/settei_tbl.h"

#include <QDir>

#include <memory>
#include <optional>

namespace kabuka::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"server", 0, nullptr,
     u"サーバーの月ファイルを取り直して比べます（データベースには書き込みません）"},
    {"html", 0, "FILE", u"カレンダーと件数のグラフと指摘の一覧のページを FILE に書きます"},
    {"json", 0, nullptr, u"結果を JSON で出します"},
    {"fix", 0, nullptr,
     u"欠落・破損・件数不足・残骸のある月を集め直し、集め終えた月の残骸を\n"
     u"削除します（検査から修復の終わりまでロックを持ちます）"},
    {"dry-run", 'n', nullptr, u"--fix で集め直す月を表示するだけで、何も変更しません"},
};

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done, u"エラーは見つかりませんでした（注意だけのことはあります）"},
    {ExitStatus::NotCollected, u"欠落か破損が見つかりました（--fix では、修復の後も残っています）"},
    kBadCommandLineHelp,
    {ExitStatus::Locked, u"--fix で、ほかの収集処理がデータベースのロックを持っています"},
    {ExitStatus::Incomplete,
     u"検査を最後まで行えませんでした（一時フォルダを作れない、サーバーに接続できない、\n"
     u"結果やページを書き出せない。理由を表示します）"},
    {ExitStatus::Stopped, u"SIGINT か SIGTERM で止まりました（それまでに調べた分を示します）"},
};

struct CheckCommandLine {
  QList<check::CheckTarget> targets;  // empty: every year folder
  bool server = false;
  bool json = false;
  bool fix = false;
  bool dryRun = false;
  QString htmlFile;
};

// The check's words: years and months, and its options. Nullopt (after saying
// why) for a bad one.
std::optional<CheckCommandLine> readCommandLine(CliContext& context, const ParsedOptions& options) {
  CheckCommandLine line;
  for (const QString& word : options.positional()) {
    const std::optional<YearMonth> period = parseYearOrMonthArgument(word);
    if (!period) {
      badCommandLine(
          context,
          QStringLiteral("「%1」は年（yyyy）でも年月（yyyy-mm）でもありません。").arg(word));
      return std::nullopt;
    }
    line.targets.append(*period);
  }
  line.server = options.isSet("server");
  line.json = options.isSet("json");
  line.fix = options.isSet("fix");
  line.dryRun = options.isSet("dry-run");
  line.htmlFile = options.value("html");
  if (options.isSet("html") && line.htmlFile.isEmpty()) {
    badCommandLine(context, QStringLiteral("--html には書き出すファイルを指定してください。"));
    return std::nullopt;
  }
  return line;
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
  options.stopRequested = stopRequestOf(context.console);
  return options;
}

// Collects a month under the lock the repair holds. A month finished after a
// stop was collected; one the stop came before is not.
check::MonthCollector monthCollectorFor(CliContext& context) {
  return [&context](int year, int month) {
    const MonthRuns runs = collectMonths(context, {YearMonth{year, month}}, true);
    check::MonthRepair repair{year, month, !runs.collected.isEmpty(), {}};
    if (!repair.collected) {
      repair.message = runs.status == ExitStatus::Stopped ? QStringLiteral("停止しました")
                                                          : QStringLiteral("収集に失敗しました");
    }
    return repair;
  };
}

// The lock of a repair, held from its first reading to its last collection so
// that no other run comes in between. Null, after saying why, when the repair
// cannot be made: another run holds it, or the database folder cannot be written.
std::unique_ptr<RunLock> lockForRepair(CliContext& context, const QString& dbPath,
                                       ExitStatus& refused) {
  if (!QDir(dbPath).exists()) {
    return nullptr;  // the check reports the missing database; nothing to repair
  }
  auto lock = std::make_unique<RunLock>(dbPath);
  if (lock->acquired()) {
    return lock;
  }
  context.console.failure(lock->failureText());
  const RunLock::State state = lock->state();
  refused = state == RunLock::State::HeldByOther || state == RunLock::State::HeldOnOtherHost
                ? ExitStatus::Locked
                : ExitStatus::Incomplete;
  return nullptr;
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

// The months a repair would collect, without collecting them.
void reportDryRun(CliContext& context, const check::CheckReport& report) {
  QStringList months;
  for (const check::CheckTarget& month : check::monthsToRepair(report)) {
    months.append(
        QStringLiteral("%1-%2").arg(month.year).arg(month.month, 2, 10, QLatin1Char('0')));
  }
  context.console.info(months.isEmpty() ? QStringLiteral("--fix で集め直す月はありません。")
                                        : QStringLiteral("--fix で集め直す月（%1 か月）：%2")
                                              .arg(months.size())
                                              .arg(months.join(QStringLiteral("、"))));
  context.console.info(QStringLiteral("-n（--dry-run）なので、何も変更せずに終わります。"));
}

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  const std::optional<CheckCommandLine> line = readCommandLine(context, options);
  if (!line) {
    return ExitStatus::BadCommandLine;
  }
  check::CheckOptions checkOptions = checkOptionsFor(context, *line);
  std::unique_ptr<check::ServerMonthSource> server;
  if (line->server) {
    server = std::make_unique<check::ServerMonthSource>(baseUrlOf(context), context.console,
                                                        retryPolicyFor(context), context.fetch,
                                                        checkOptions.stopRequested);
    checkOptions.server = server.get();
  }
  const bool repair = line->fix && !line->dryRun;
  // Only a repair writes, so only a repair keeps other runs out while it looks.
  std::unique_ptr<RunLock> lock;
  ExitStatus refused = ExitStatus::Done;
  if (repair) {
    lock = lockForRepair(context, checkOptions.dbPath, refused);
    if (refused != ExitStatus::Done) {
      return refused;
    }
  }
  check::CheckReport report = check::checkDatabase(checkOptions);
  if (repair && lock) {
    report = check::repairDatabase(checkOptions, report, monthCollectorFor(context));
  } else if (line->dryRun) {
    reportDryRun(context, report);
  }
  const QByteArray output =
      line->json ? check::renderJson(report) : check::renderText(report).toUtf8();
  const bool reportWritten = context.writeOutput && context.writeOutput(output);
  bool pageWritten = true;
  if (!line->htmlFile.isEmpty() && !writePage(line->htmlFile, check::renderHtml(report))) {
    context.console.failure(QStringLiteral("「%1」に書き込めませんでした。").arg(line->htmlFile));
    pageWritten = false;
  }
  return finalStatus(context, report, reportWritten, pageWritten);
}

}  // namespace

extern const Command kCheckCommand{
    "check",
    u"[yyyy | yyyy-mm ...] [--server] [--html FILE] [--json] [--fix [-n]]",
    u"データベースを検査し、求めればサーバーと比べ、修復します",
    u"データベースを検査します（年か年月を指定すればその範囲、なければ全部の年）。\n"
    u"欠落・破損・件数不足・休場日やまだ来ていない日のファイル・中断された収集の残骸を\n"
    u"1 件 1 行で、何をすればよいかと一緒に示します。データベースには書き込みません。\n"
    u"検査だけなら収集中でも実行でき、収集中に変わったファイルはそうと示します。",
    kOptions,
    kExitStatuses,
    run,
};

ExitStatus runCheck(CliContext& context, const QStringList& words) {
  const OptionParse parse = parseOptions(words, {kOptions});
  if (!parse.ok()) {
    return badCommandLine(context, parse.error);
  }
  return run(context, parse.options);
}

}  // namespace kabuka::cli
