// `kabuka-collect month <yyyy-mm>`: what "年月指定" with a month does in the window.

#include "cli/command.h"
#include "cli/date_arguments.h"
#include "cli/driver_runs.h"

namespace kabuka::cli {

namespace {

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done, u"その月の取引日のファイルをすべて保存しました"},
    {ExitStatus::NotCollected,
     u"月のファイルを集められなかったか、日ごとに分けきれませんでした\n"
     u"（理由は最後の行に出ます。月のファイルは作業フォルダに残ります）"},
    kBadCommandLineHelp,
    kLockedHelp,
    kStoppedHelp,
};

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  const QStringList& words = options.positional();
  if (words.size() != 1) {
    return badCommandLine(context, QStringLiteral("month には年月を 1 つ指定してください。"));
  }
  const std::optional<YearMonth> month = parseMonthArgument(words[0]);
  if (!month) {
    return badCommandLine(context, QStringLiteral("年月「%1」が正しくありません。"
                                                  "yyyy-mm か yyyymm で指定してください。")
                                       .arg(words[0]));
  }
  const QDate today = context.today();
  if (QDate(month->year, month->month, 1) > today) {
    return badCommandLine(context, QStringLiteral("%1年%2月はまだ来ていない月です。")
                                       .arg(month->year)
                                       .arg(month->month, 2, 10, QLatin1Char('0')));
  }
  return runCollection(context, monthSelection(*month), 1);
}

}  // namespace

extern const Command kMonthCommand{
    "month",
    u"<yyyy-mm>",
    u"その月の日毎株価を集め、取引日ごとのファイルに分けます",
    u"その月の月ファイルを集め、取引日ごとのファイルに分けます。ウィンドウの\n"
    u"「年月指定」で月を選んだのと同じです。年月は yyyy-mm、yyyy/mm、yyyymm のどれでも\n"
    u"書けます。今月（東京の日付）より後の月は指定できません。",
    {},
    kExitStatuses,
    run,
};

}  // namespace kabuka::cli
