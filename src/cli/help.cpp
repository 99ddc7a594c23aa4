// The help texts, made from the command table and each command's own option and
// exit-status tables.

#include "cli/command.h"

namespace kabuka::cli {

namespace {

constexpr int kSummaryColumn = 24;

QString indented(const QString& text, int column) {
  return text.split(QLatin1Char('\n')).join(QLatin1Char('\n') + QString(column, QLatin1Char(' ')));
}

QString usageOf(const Command& command) {
  QString usage = QStringLiteral("kabuka-collect [オプション] ") + QLatin1String(command.name);
  const QString arguments = QString::fromUtf16(command.arguments);
  return arguments.isEmpty() ? usage : usage + QLatin1Char(' ') + arguments;
}

QString commandList() {
  QString text;
  const QString indent(kSummaryColumn, QLatin1Char(' '));
  for (const Command* command : commands()) {
    QString head = QStringLiteral("  ") + QLatin1String(command->name);
    const QString arguments = QString::fromUtf16(command->arguments);
    if (!arguments.isEmpty()) {
      head += QLatin1Char(' ') + arguments;
    }
    // A long usage gets a line of its own; the summary then starts below it.
    text += head.size() < kSummaryColumn ? head.leftJustified(kSummaryColumn)
                                         : head + QLatin1Char('\n') + indent;
    text += indented(QString::fromUtf16(command->summary), kSummaryColumn) + QLatin1Char('\n');
  }
  return text;
}

QString exitStatusList(std::span<const ExitStatusHelp> statuses) {
  QString text;
  for (const ExitStatusHelp& status : statuses) {
    text += QStringLiteral("  ") + QString::number(toInt(status.status)).leftJustified(5) +
            indented(QString::fromUtf16(status.meaning), 7) + QLatin1Char('\n');
  }
  return text;
}

// What every command shares: how it reports and how it stops.
const char16_t kConsoleText[] =
    u"状況は標準エラー出力に 1 行ずつ出ます（端末でなければ時刻付き）。端末では\n"
    u"進み具合（何か月目か、受け取ったバイト数と全体に対する割合、速さ）を 1 行で\n"
    u"書き換えて表示します（TERM=dumb では書き換えません）。\n"
    u"日付の判断（今日、まだ来ていない日）は東京の日付で行います。\n"
    u"SIGINT（Ctrl+C）か SIGTERM で「収集停止」と同じように止まります。取得中の\n"
    u"ファイルは最後まで処理してから終わります。2 回目の SIGINT/SIGTERM では\n"
    u"取得中の転送を打ち切ります（書きかけのファイルは残りません）。\n";

constexpr ExitStatusHelp kMainStatuses[] = {
    {ExitStatus::Done, u"完了しました"},
    {ExitStatus::NotCollected, u"集められなかったものがあるか、検査で欠落・破損が見つかりました"},
    kBadCommandLineHelp,
    kLockedHelp,
    {ExitStatus::Incomplete, u"検査を最後まで行えませんでした（check）"},
    kStoppedHelp,
};

}  // namespace

QString commandHelp(const Command& command) {
  QString text = QStringLiteral("使い方: ") + usageOf(command) + QStringLiteral("\n\n") +
                 QString::fromUtf16(command.description) + QStringLiteral("\n");
  if (!command.options.empty()) {
    text += QStringLiteral("\n%1 のオプション:\n").arg(QLatin1String(command.name)) +
            optionHelp(command.options);
  }
  text += QStringLiteral("\nどのコマンドにも使えるオプション:\n") + globalOptionHelp();
  text += QStringLiteral("\n終了ステータス:\n") + exitStatusList(command.exitStatuses);
  return text;
}

QString programHelp() {
  return QStringLiteral(
             "使い方: kabuka-collect [オプション] <コマンド> [引数]\n"
             "\n"
             "日毎株価をデータサーバから集め、株価データベースに取引日ごとの CSV ファイルとして"
             "保存します。\nウィンドウのプログラムと同じ settei.txt、同じデータベース、"
             "同じロックを使い、同じファイルを作ります。\n"
             "\n"
             "コマンド:\n") +
         commandList() +
         QStringLiteral(
             "\nコマンドごとの引数・オプション・終了ステータスは\n"
             "  kabuka-collect help <コマンド>（または kabuka-collect <コマンド> --help）\n"
             "で表示できます。\n\nオプション:\n") +
         globalOptionHelp() + QLatin1Char('\n') + QString::fromUtf16(kConsoleText) +
         QStringLiteral("\n終了ステータス（主なもの）:\n") + exitStatusList(kMainStatuses);
}

}  // namespace kabuka::cli
