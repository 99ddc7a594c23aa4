#include "cli/commands.h"
#include "cli/program.h"

namespace kabuka::cli {

namespace {

constexpr int kSummaryColumn = 22;

QString commandLines() {
  const QString indent(kSummaryColumn, QLatin1Char(' '));
  QString text;
  for (const Command& command : commands()) {
    const QString head =
        QStringLiteral("  %1 %2").arg(QLatin1String(command.name), QLatin1String(command.usage));
    const QString summary = QString::fromUtf8(command.summary);
    // A long usage gets a line of its own; the summary then starts below it.
    text += head.size() < kSummaryColumn ? head.leftJustified(kSummaryColumn)
                                         : head + QLatin1Char('\n') + indent;
    text += summary.split(QLatin1Char('\n')).join(QLatin1Char('\n') + indent) + QLatin1Char('\n');
  }
  return text;
}

}  // namespace

QString helpText() {
  return QStringLiteral(
             "使い方: kabuka-collect [オプション] <コマンド> [引数]\n"
             "\n"
             "日毎株価をデータサーバから集め、株価データベースに取引日ごとの CSV ファイルとして"
             "保存します。\nウィンドウのプログラムと同じ settei.txt、同じデータベース、"
             "同じロックを使い、同じファイルを作ります。\n"
             "\n"
             "コマンド:\n") +
         commandLines() +
         QStringLiteral(
             "\n"
             "オプション:\n"
             "  --program-folder <DIR>  settei.txt を読むプログラムフォルダ"
             "（既定: kabuka-collect のあるフォルダ）\n"
             "  --since <yyyy-mm-dd>    update で、この日の月から集めます"
             "（既定: データベースの最新の日の月）\n"
             "  --retries <N>           一時的な失敗（接続の拒否・切断、時間切れ、HTTP 5xx、"
             "HTTP 429）を\n"
             "                          N 回まで取り直します（既定 3、0 から 10）。"
             "間隔は 1 秒、2 秒、4 秒 …、\n"
             "                          サーバが Retry-After で求めればその秒数"
             "（最大 60 秒）です。\n"
             "                          404 などのほかの応答やエラーページは取り直しません。\n"
             "  -q, --quiet             失敗だけを表示します\n"
             "  -h, --help              この説明を表示します\n"
             "\n"
             "状況は標準エラー出力に 1 行ずつ出ます（端末でなければ時刻付き）。\n"
             "端末では進み具合（何か月目か、受け取ったバイト数、速さ）を 1 行で書き換えて"
             "表示します。\n"
             "SIGINT（Ctrl+C）か SIGTERM で「収集停止」と同じように止まります。取得中の"
             "ファイルは\n最後まで処理してから終わります。2 回目の SIGINT/SIGTERM では"
             "取得中の転送を打ち切ります\n（書きかけのファイルは残りません）。\n"
             "\n"
             "終了ステータス:\n"
             "  0    完了しました（update では、すでに最新だったときも）\n"
             "  1    ファイルを集められなかったか、月のファイルを日ごとに分けきれませんでした\n"
             "       （どれかはメッセージに出ます。それまでに保存したファイルは残ります）\n"
             "  2    コマンドラインの誤り（何も変更していません）\n"
             "  3    ほかの収集処理がデータベースのロックを持っています（何も変更していません）\n"
             "  130  SIGINT か SIGTERM で止まりました\n");
}

}  // namespace kabuka::cli
