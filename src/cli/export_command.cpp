// `kabuka-collect export`: brings the SQLite price database in step with the day
// files.

#include "cli/export_command.h"

#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/console_window.h"
#include "cli/date_arguments.h"
#include "settings/settei_tbl.h"

namespace kabuka::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"db", 0, "FILE", u"書き込む SQLite のファイル（既定: データベースフォルダの kabuka.sqlite）"},
    {"rebuild", 0, nullptr, u"いったん全部を消して、すべての日毎株価ファイルから作り直します"},
};

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done, u"SQLite のデータベースは日毎株価ファイルと同じになりました"},
    {ExitStatus::NotCollected,
     u"壊れた日毎株価ファイルを取り込みませんでした（ファイル名と理由を表示します。\n"
     u"ほかの日はすべて取り込んであり、その日の前の行はそのままです）"},
    kBadCommandLineHelp,
    {ExitStatus::Locked, u"ほかのエクスポートが同じ SQLite のファイルに書き込んでいます"},
    {ExitStatus::Incomplete, u"エクスポートを行えませんでした（理由を表示します）"},
    {ExitStatus::Stopped, u"SIGINT か SIGTERM で止まりました（書き込み済みの月は残ります）"},
};

ExitStatus statusOf(history::ExportResult::Status status) {
  switch (status) {
    case history::ExportResult::Status::Done:
      return ExitStatus::Done;
    case history::ExportResult::Status::SomeNotImported:
      return ExitStatus::NotCollected;
    case history::ExportResult::Status::Busy:
      return ExitStatus::Locked;
    case history::ExportResult::Status::Stopped:
      return ExitStatus::Stopped;
    case history::ExportResult::Status::Failed:
      break;
  }
  return ExitStatus::Incomplete;
}

QString summaryLine(const history::ExportResult& result) {
  const double rate = result.seconds > 0 ? double(result.rows) / result.seconds : 0;
  QString line = QStringLiteral(
                     "追加 %1 日、変更 %2 日、削除 %3 日（変わらず %4 日）、%5 行、"
                     "%6 行/秒、%7 秒")
                     .arg(result.added)
                     .arg(result.changed)
                     .arg(result.removed)
                     .arg(result.unchanged)
                     .arg(result.rows)
                     .arg(qint64(rate))
                     .arg(result.seconds, 0, 'f', 2);
  if (result.textValues > 0) {
    line += QStringLiteral("。数でない値 %1 個は文字のまま入れました").arg(result.textValues);
  }
  return line + QStringLiteral("。");
}

void reportResult(ConsoleWindow& console, const history::ExportResult& result,
                  const QString& sqlitePath) {
  for (const auto& [path, problem] : result.damaged) {
    console.failure(QStringLiteral("%1: %2（取り込みませんでした）").arg(path, problem));
  }
  for (const QString& path : result.changedDuringExport) {
    console.info(
        QStringLiteral("%1: エクスポート中にファイルが変わりました（次の実行で取り込みます）")
            .arg(path));
  }
  if (!result.error.isEmpty()) {
    console.failure(QStringLiteral("エクスポートできませんでした: ") + result.error);
  }
  if (result.status == history::ExportResult::Status::Busy) {
    console.failure(
        QStringLiteral("ほかのエクスポートが「%1」に書き込んでいます。").arg(sqlitePath));
  }
  const QString summary = summaryLine(result);
  if (result.status == history::ExportResult::Status::Done ||
      result.status == history::ExportResult::Status::Stopped) {
    console.info(summary);
  } else {
    console.failure(summary);  // shown even when quiet, with the reason above it
  }
}

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  ExportRequest request;
  for (const QString& word : options.positional()) {
    const std::optional<YearMonth> period = parseYearOrMonthArgument(word);
    if (!period) {
      return badCommandLine(
          context,
          QStringLiteral("「%1」は年（yyyy）でも年月（yyyy-mm）でもありません。").arg(word));
    }
    request.targets.append(*period);
  }
  if (options.isSet("db") && options.value("db").isEmpty()) {
    return badCommandLine(context,
                          QStringLiteral("--db には SQLite のファイルを指定してください。"));
  }
  request.sqlitePath = options.value("db");
  request.rebuild = options.isSet("rebuild");
  return runExport(context, request);
}

}  // namespace

ExitStatus runExport(CliContext& context, const ExportRequest& request) {
  history::ExportOptions options;
  options.dbPath = context.settei_tbl[settei::db_path];
  options.dayFolder = context.settei_tbl[settei::day_folder];
  options.sqlitePath = request.sqlitePath.isEmpty() ? history::defaultSqlitePath(options.dbPath)
                                                    : request.sqlitePath;
  options.targets = request.targets;
  options.rebuild = request.rebuild;
  ConsoleWindow& console = context.console;
  options.stopRequested = stopRequestOf(console);
  options.onProgress = [&console](const history::ExportProgress& progress) {
    console.progressLine(QStringLiteral("%1/%2 日  %3 行  %4")
                             .arg(progress.filesDone)
                             .arg(progress.filesTotal)
                             .arg(progress.rows)
                             .arg(progress.current));
  };
  console.info(QStringLiteral("「%1」に書き出します。").arg(options.sqlitePath));
  const history::ExportResult result = history::exportDatabase(options);
  reportResult(console, result, options.sqlitePath);
  return statusOf(result.status);
}

extern const Command kExportCommand{
    "export",
    u"[yyyy | yyyy-mm ...] [--db FILE] [--rebuild]",
    u"日毎株価ファイルを SQLite のデータベースに書き出します（差分だけ）",
    u"日毎株価ファイルを SQLite のデータベース（既定: データベースフォルダの\n"
    u"kabuka.sqlite）に書き出し、ファイルと同じ内容に保ちます。年か年月を指定すれば\n"
    u"その範囲だけです。前回から増えた日は加え、変わった日は入れ替え、なくなった日は\n"
    u"消します。何も変わっていなければファイルを読みません。検査で壊れているとされる\n"
    u"ファイルは取り込まず、名前と理由を表示します。収集のロックはとらず、日毎株価の\n"
    u"フォルダには書き込みません。表 prices（date, code, market, name, open, high, low,\n"
    u"close, volume）と、日本語の列名の prices_ja を使えます。",
    kOptions,
    kExitStatuses,
    run,
};

}  // namespace kabuka::cli
