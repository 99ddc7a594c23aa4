#include "commands.h"

#include "cli/check_command.h"
#include "cli/console_window.h"

#include <array>

namespace kabuka::cli {

namespace {

const std::array kCommands = {
    Command{"date", "<yyyy-mm-dd>",
            "その日の日毎株価を集めます（「日付指定」と同じ）。yyyymmdd とも書けます。",
            runDateCommand},
    Command{"month", "<yyyy-mm>",
            "その月の日毎株価を集め、取引日ごとのファイルに分けます\n"
            "（「年月指定」で月を選んだのと同じ）。yyyymm とも書けます。",
            runMonthCommand},
    Command{"year", "<yyyy>",
            "その年の日毎株価を 1 月から月ごとに集めます\n"
            "（「年月指定」で all を選んだのと同じ）。今年なら今月までです。",
            runYearCommand},
    Command{"update", "",
            "データベースを今日まで最新にします。定期実行用です。\n"
            "最新の日毎株価ファイルの月（--since があればその日の月、空のデータベース\n"
            "なら今月）から今月まで、月ごとに集めます。今日までに取引日のない月は飛ばし、\n"
            "最後の取引日まであれば何も取りに行きません。",
            runUpdateCommand},
    Command{"check", "[yyyy | yyyy-mm ...] [--server] [--html FILE] [--json] [--fix]",
            "データベースを検査します（欠落・破損・件数不足・休場日のファイル・残骸）。\n"
            "--server でサーバーの月ファイルと比べ、--html で一覧のページを書き、\n"
            "--fix で欠落・破損のある月を集め直します。",
            runCheckCommand},
};

}  // namespace

const QString kHelpHint = QStringLiteral("使い方は kabuka-collect --help で表示できます。");

std::span<const Command> commands() {
  return kCommands;
}

const Command* findCommand(const QString& name) {
  for (const Command& command : kCommands) {
    if (name == QLatin1String(command.name)) {
      return &command;
    }
  }
  return nullptr;
}

ExitStatus badCommandLine(CliContext& context, const QString& why) {
  context.console.failure(QStringLiteral("kabuka-collect: ") + why);
  context.console.failure(kHelpHint);
  return ExitStatus::BadCommandLine;
}

}  // namespace kabuka::cli
