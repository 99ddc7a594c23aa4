// `kabuka-collect date <yyyy-mm-dd>`: what "日付指定" does in the window.

#include "cli/command.h"
#include "cli/console_window.h"
#include "cli/date_arguments.h"
#include "cli/driver_runs.h"

namespace kabuka::cli {

namespace {

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done, u"その日の日毎株価を保存しました"},
    {ExitStatus::NotCollected,
     u"集められませんでした（サーバーにない日、休場日、届いた内容の誤り、通信の失敗。\n"
     u"理由は最後の行に出ます。それまでのファイルはそのまま残ります）"},
    kBadCommandLineHelp,
    kLockedHelp,
    kStoppedHelp,
};

QString dateText(const QDate& date) {
  return date.toString(QStringLiteral("yyyy/MM/dd"));
}

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  const QStringList& words = options.positional();
  if (words.size() != 1) {
    return badCommandLine(context, QStringLiteral("date には日付を 1 つ指定してください。"));
  }
  const QDate date = parseDayArgument(words[0]);
  if (!date.isValid()) {
    return badCommandLine(context, QStringLiteral("日付「%1」が正しくありません。"
                                                  "yyyy-mm-dd か yyyymmdd で指定してください。")
                                       .arg(words[0]));
  }
  if (date > context.today()) {
    return badCommandLine(context,
                          QStringLiteral("%1 はまだ来ていない日です。").arg(dateText(date)));
  }
  // The server has no file for a day the market was closed; say so if it failed.
  const QString closedReason = context.calendar.closedReason(date);
  const QString closedNote =
      closedReason.isEmpty()
          ? QString()
          : QStringLiteral("%1 は休場日（%2）です。").arg(dateText(date), closedReason);
  return runCollection(context, dateSelection(date), 1, closedNote);
}

}  // namespace

extern const Command kDateCommand{
    "date",
    u"<yyyy-mm-dd>",
    u"その日の日毎株価を集めます（「日付指定」と同じ）",
    u"その日の日毎株価ファイルを集めます。ウィンドウの「日付指定」と同じです。\n"
    u"日付は yyyy-mm-dd、yyyy/mm/dd、yyyymmdd のどれでも書けます。今日（東京の日付）\n"
    u"より後の日は指定できません。届いた内容の見出しがその日の日付でないとき、件数が\n"
    u"合わないとき、最後の行が途中で切れているときは保存しません。",
    {},
    kExitStatuses,
    run,
};

}  // namespace kabuka::cli
