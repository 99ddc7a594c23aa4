// `kabuka-collect series CODE`: one stock's history, oldest first.

#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/console_window.h"
#include "cli/date_arguments.h"
#include "history/export.h"
#include "history/series.h"
#include "settings/settei_tbl.h"

#include <optional>

namespace kabuka::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"from", 0, "DATE", u"この日から（既定: 最初の日から）"},
    {"to", 0, "DATE", u"この日まで（既定: 最後の日まで）"},
    {"market", 0, "NAME", u"この市場の行だけ（既定: すべての市場）"},
    {"json", 0, nullptr, u"CSV ではなく JSON の配列で出します（数は数、空の値は null）"},
    {"bom", 0, nullptr, u"CSV の先頭に UTF-8 の BOM を付けます（Excel でそのまま開けます）"},
    {"html", 0, "FILE",
     u"ローソク足と出来高のグラフのページを FILE に書きます\n"
     u"（このときは --json がなければ標準出力に何も出しません）"},
    {"db", 0, "FILE", u"読む SQLite のファイル（既定: データベースフォルダの kabuka.sqlite）"},
};

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done, u"その銘柄の行を出しました"},
    {ExitStatus::NotCollected, u"その銘柄コードはどの日にもありません"},
    kBadCommandLineHelp,
    {ExitStatus::Incomplete, u"データベースも日毎株価ファイルも読めないか、出力を書き出せません"},
};

struct SeriesLine {
  history::SeriesOptions options;
  bool json = false;
  bool bom = false;
  QString htmlFile;
};

// Reads a date option; false (after saying why) when it is given and bad.
bool readDate(CliContext& context, const ParsedOptions& options, const char* name, QDate& date) {
  if (!options.isSet(name)) {
    return true;
  }
  date = parseDayArgument(options.value(name));
  if (!date.isValid()) {
    badCommandLine(context, QStringLiteral("--%1 の日付「%2」が正しくありません。"
                                           "yyyy-mm-dd か yyyymmdd で指定してください。")
                                .arg(QLatin1String(name), options.value(name)));
  }
  return date.isValid();
}

std::optional<SeriesLine> readLine(CliContext& context, const ParsedOptions& options) {
  if (options.positional().size() != 1 || options.positional()[0].isEmpty()) {
    badCommandLine(context, QStringLiteral("series には銘柄コードを 1 つ指定してください。"));
    return std::nullopt;
  }
  SeriesLine line;
  line.options.dbPath = context.settei_tbl[settei::db_path];
  line.options.dayFolder = context.settei_tbl[settei::day_folder];
  line.options.sqlitePath = options.value("db");
  line.options.code = options.positional()[0];
  line.options.market = options.value("market");
  if (!readDate(context, options, "from", line.options.from) ||
      !readDate(context, options, "to", line.options.to)) {
    return std::nullopt;
  }
  if (line.options.from.isValid() && line.options.to.isValid() &&
      line.options.from > line.options.to) {
    badCommandLine(context, QStringLiteral("--from の日が --to の日より後です。"));
    return std::nullopt;
  }
  line.json = options.isSet("json");
  line.bom = options.isSet("bom");
  line.htmlFile = options.value("html");
  if (options.isSet("html") && line.htmlFile.isEmpty()) {
    badCommandLine(context, QStringLiteral("--html には書き出すファイルを指定してください。"));
    return std::nullopt;
  }
  return line;
}

void sayWhereFrom(ConsoleWindow& console, const history::SeriesOptions& options,
                  const history::SeriesResult& result) {
  if (result.source == history::SeriesResult::Source::Database) {
    const QString file = options.sqlitePath.isEmpty() ? history::defaultSqlitePath(options.dbPath)
                                                      : options.sqlitePath;
    console.info(QStringLiteral("SQLite のデータベース「%1」から読みました。").arg(file));
  } else {
    console.info(QStringLiteral("日毎株価ファイルから読みました（%1）。").arg(result.whyDayFiles));
  }
}

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  const std::optional<SeriesLine> line = readLine(context, options);
  if (!line) {
    return ExitStatus::BadCommandLine;
  }
  const history::SeriesResult result = history::readSeries(line->options);
  if (!result.error.isEmpty()) {
    context.console.failure(QStringLiteral("読めませんでした: ") + result.error);
    return ExitStatus::Incomplete;
  }
  sayWhereFrom(context.console, line->options, result);
  if (result.rows.isEmpty()) {
    context.console.failure(
        QStringLiteral("銘柄コード「%1」はどの日にもありません。").arg(line->options.code));
    return ExitStatus::NotCollected;
  }
  if (!line->htmlFile.isEmpty() &&
      !writePage(line->htmlFile, history::seriesChartHtml(result.rows, context.calendar))) {
    context.console.failure(QStringLiteral("「%1」に書き込めませんでした。").arg(line->htmlFile));
    return ExitStatus::Incomplete;
  }
  if (!line->htmlFile.isEmpty() && !line->json) {
    return ExitStatus::Done;
  }
  const QByteArray output =
      line->json ? history::seriesJson(result.rows) : history::seriesCsv(result.rows, line->bom);
  if (!context.writeOutput || !context.writeOutput(output)) {
    context.console.failure(QStringLiteral("出力を書き出せませんでした。"));
    return ExitStatus::Incomplete;
  }
  return ExitStatus::Done;
}

}  // namespace

extern const Command kSeriesCommand{
    "series",
    u"<銘柄コード> [--from DATE] [--to DATE] [--market NAME] [--json] [--bom] [--html FILE]",
    u"1 銘柄の日々の株価を古い順に出します（CSV、JSON、グラフのページ）",
    u"1 銘柄の日々の株価を古い順に、日と市場ごとに 1 行ずつ出します。既定は UTF-8 の\n"
    u"CSV（date,code,market,name,open,high,low,close,volume）を標準出力に出します。\n"
    u"SQLite のデータベースが日毎株価ファイルと同じ内容ならそこから、そうでなければ\n"
    u"日毎株価ファイルから直接読みます。どちらでも出る内容は同じで、どちらを読んだかを\n"
    u"標準エラー出力に表示します。",
    kOptions,
    kExitStatuses,
    run,
};

}  // namespace kabuka::cli
