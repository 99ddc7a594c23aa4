// `kabuka-collect year <yyyy>`: what "年月指定" with "all" does in the window.

#include "cli/command.h"
#include "cli/date_arguments.h"
#include "cli/driver_runs.h"

namespace kabuka::cli {

namespace {

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done, u"その年の月をすべて集めました"},
    {ExitStatus::NotCollected,
     u"ある月を集められなかったか、日ごとに分けきれませんでした（そこで止まります。\n"
     u"それより前の月は保存されています。理由は最後の行に出ます）"},
    kBadCommandLineHelp,
    kLockedHelp,
    kStoppedHelp,
};

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  const QStringList& words = options.positional();
  if (words.size() != 1) {
    return badCommandLine(context, QStringLiteral("year には年を 1 つ指定してください。"));
  }
  const std::optional<int> year = parseYearArgument(words[0]);
  if (!year) {
    return badCommandLine(
        context,
        QStringLiteral("年「%1」が正しくありません。yyyy で指定してください。").arg(words[0]));
  }
  const QDate today = context.today();
  if (*year > today.year()) {
    return badCommandLine(context, QStringLiteral("%1年はまだ来ていない年です。").arg(*year));
  }
  // The window's year run goes up to the current month in the current year.
  const int months = *year == today.year() ? today.month() : 12;
  return runCollection(context, yearSelection(*year), months);
}

}  // namespace

extern const Command kYearCommand{
    "year",
    u"<yyyy>",
    u"その年の日毎株価を 1 月から月ごとに集めます",
    u"その年の日毎株価を 1 月から月ごとに集めます。ウィンドウの「年月指定」で all を\n"
    u"選んだのと同じです。今年なら今月（東京の日付）までです。",
    {},
    kExitStatuses,
    run,
};

}  // namespace kabuka::cli
