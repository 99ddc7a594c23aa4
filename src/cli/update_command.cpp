// `kabuka-collect update`: brings the price database up to today, month by month.

#include "cli/command.h"
#include "cli/console_window.h"
#include "cli/date_arguments.h"
#include "cli/driver_runs.h"
#include "cli/export_command.h"
#include "cli/update_plan.h"
#include "settings/folder_layout.h"
#include "settings/settei_tbl.h"

#include <QFileInfo>

namespace kabuka::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"since", 0, "DATE",
     u"この日の月から集めます（既定: データベースの最新の日の月）。\n"
     u"すでに最新でも集め直すので、欠けた日を埋めるのに使えます"},
    {"dry-run", 'n', nullptr, u"集める月を表示するだけで、何も集めず、何も変更しません"},
    {"export", 0, nullptr,
     u"集め終えたら export と同じように SQLite のデータベースも最新にします\n"
     u"（すでに最新で集めるものがないときも）"},
};

constexpr ExitStatusHelp kExitStatuses[] = {
    {ExitStatus::Done,
     u"データベースは最新です（集めるものがなかったときも。今日の分がまだ\n"
     u"公開されていないだけなら、そう表示して 0 です）"},
    {ExitStatus::NotCollected,
     u"ある月を集められなかったか、集めた後も今日より前の取引日のファイルが\n"
     u"ありません（その日を表示します）"},
    kBadCommandLineHelp,
    {ExitStatus::Locked,
     u"ほかの収集処理がデータベースのロックを持っています（何も変更していません）。\n"
     u"--export では、ほかのエクスポートが SQLite のファイルに書き込んでいるときも"},
    {ExitStatus::Incomplete, u"--export で、エクスポートを行えませんでした"},
    kStoppedHelp,
};

constexpr int kDaysNamed = 10;

QString dateText(const QDate& date) {
  return date.toString(QStringLiteral("yyyy/MM/dd"));
}

QString monthText(YearMonth month) {
  return QStringLiteral("%1年%2月").arg(month.year).arg(month.month, 2, 10, QLatin1Char('0'));
}

QString dbPath(const CliContext& context) {
  return context.settei_tbl[settei::db_path];
}

QString dayFolder(const CliContext& context) {
  return context.settei_tbl[settei::day_folder];
}

// Reads --since; invalid when absent. False (after saying why) when it is bad.
bool readSince(CliContext& context, const ParsedOptions& options, QDate& since) {
  if (!options.isSet("since")) {
    return true;
  }
  const QString text = options.value("since");
  since = parseDayArgument(text);
  if (!since.isValid()) {
    badCommandLine(context, QStringLiteral("--since の日付「%1」が正しくありません。"
                                           "yyyy-mm-dd か yyyymmdd で指定してください。")
                                .arg(text));
    return false;
  }
  if (since > context.today()) {
    badCommandLine(context,
                   QStringLiteral("--since の %1 はまだ来ていない日です。").arg(dateText(since)));
    return false;
  }
  return true;
}

void reportPlan(ConsoleWindow& console, const QDate& newest, const UpdatePlan& plan) {
  console.info(newest.isValid()
                   ? QStringLiteral("データベースの最新の日毎株価：%1").arg(dateText(newest))
                   : QStringLiteral("データベースに日毎株価はまだありません。"));
  for (const YearMonth& month : plan.skipped) {
    console.info(
        QStringLiteral("%1は今日までに取引日がないので飛ばします。").arg(monthText(month)));
  }
  if (!plan.months.isEmpty()) {
    console.info(QStringLiteral("%1から%2まで、%3か月分を集めます。")
                     .arg(monthText(plan.months.constFirst()), monthText(plan.months.constLast()))
                     .arg(plan.months.size()));
  }
}

bool hasDayFile(const CliContext& context, const QDate& day) {
  const QString daily =
      layout::dailyFolder(dbPath(context), layout::yearDigits(day.year()), dayFolder(context));
  return QFileInfo(layout::dailyFile(daily, layout::dayDigits(day))).isFile();
}

// The trading days of the collected months, up to today, that still have no file.
QList<QDate> daysStillMissing(const CliContext& context, const QList<YearMonth>& months) {
  QList<QDate> missing;
  const QDate today = context.today();
  for (const YearMonth& month : months) {
    for (QDate day(month.year, month.month, 1); day.month() == month.month && day <= today;
         day = day.addDays(1)) {
      if (context.calendar.isTradingDay(day) && !hasDayFile(context, day)) {
        missing.append(day);
      }
    }
  }
  return missing;
}

QString dayList(const QList<QDate>& days) {
  QStringList shown;
  for (qsizetype i = 0; i < days.size() && i < kDaysNamed; ++i) {
    shown.append(dateText(days[i]));
  }
  QString text = shown.join(QStringLiteral("、"));
  if (days.size() > kDaysNamed) {
    text += QStringLiteral(" ほか %1 日").arg(days.size() - kDaysNamed);
  }
  return text;
}

// How many day files the months' splits replaced, and how many they left as
// they were because their bytes did not change.
void reportDayFiles(ConsoleWindow& console, const MonthRuns& runs) {
  if (runs.dayFilesWritten + runs.dayFilesUnchanged > 0) {
    console.info(QStringLiteral("日毎株価ファイル：書き換え %1 件、変わらず %2 件。")
                     .arg(runs.dayFilesWritten)
                     .arg(runs.dayFilesUnchanged));
  }
}

// The last lines: what the database now holds, and what it still lacks.
ExitStatus reportHeld(CliContext& context, const QList<YearMonth>& collected) {
  const QDate today = context.today();
  QList<QDate> missing = daysStillMissing(context, collected);
  const bool todayPending = !missing.isEmpty() && missing.constLast() == today;
  if (todayPending) {
    missing.removeLast();
  }
  if (todayPending) {
    context.console.info(
        QStringLiteral("今日（%1）の日毎株価はまだ公開されていません。").arg(dateText(today)));
  }
  if (!missing.isEmpty()) {
    context.console.failure(QStringLiteral("集めた後も次の取引日のファイルがありません：") +
                            dayList(missing));
  }
  const QDate newest = newestDayFile(dbPath(context), dayFolder(context), today);
  const QString held =
      newest.isValid()
          ? QStringLiteral("データベースの最新の日毎株価は %1 です。").arg(dateText(newest))
          : QStringLiteral("データベースに日毎株価はまだありません。");
  if (missing.isEmpty()) {
    context.console.info(held);
    return ExitStatus::Done;
  }
  context.console.failure(held);
  return ExitStatus::NotCollected;
}

// The collection's own status, unless it was done and the export went worse.
ExitStatus exportAfter(CliContext& context, const ParsedOptions& options, ExitStatus collected) {
  if (!options.isSet("export") || collected == ExitStatus::Stopped ||
      collected == ExitStatus::Locked || context.console.stopRequested()) {
    return collected;
  }
  const ExitStatus exported = runExport(context, ExportRequest{});
  return collected == ExitStatus::Done ? exported : collected;
}

ExitStatus collect(CliContext& context, const ParsedOptions& options) {
  if (!options.positional().isEmpty()) {
    return badCommandLine(context, QStringLiteral("update は引数をとりません（「%1」）。")
                                       .arg(options.positional().join(QLatin1Char(' '))));
  }
  QDate since;
  if (!readSince(context, options, since)) {
    return ExitStatus::BadCommandLine;
  }
  const QDate newest = newestDayFile(dbPath(context), dayFolder(context), context.today());
  const UpdatePlan plan = planUpdate(newest, since, context.today(), context.calendar);
  if (plan.upToDate) {
    context.console.info(
        QStringLiteral(
            "データベースは最新です（最後の取引日 %1 まであります）。集めるものはありません。")
            .arg(dateText(plan.lastTradingDay)));
    return ExitStatus::Done;
  }
  reportPlan(context.console, newest, plan);
  if (options.isSet("dry-run")) {
    context.console.info(QStringLiteral("-n（--dry-run）なので、何も集めずに終わります。"));
    return ExitStatus::Done;
  }
  if (plan.months.isEmpty()) {
    context.console.info(QStringLiteral("集める月はありません。"));
    return ExitStatus::Done;
  }
  const MonthRuns runs = collectMonths(context, plan.months);
  reportDayFiles(context.console, runs);
  return runs.status == ExitStatus::Done ? reportHeld(context, plan.months) : runs.status;
}

ExitStatus run(CliContext& context, const ParsedOptions& options) {
  const ExitStatus collected = collect(context, options);
  if (collected == ExitStatus::BadCommandLine || options.isSet("dry-run")) {
    return collected;
  }
  return exportAfter(context, options, collected);
}

}  // namespace

extern const Command kUpdateCommand{
    "update",
    u"[--since DATE] [-n] [--export]",
    u"データベースを今日まで最新にします（定期実行用）",
    u"データベースを今日（東京の日付）まで最新にします。定期実行用です。\n"
    u"最新の日毎株価ファイルの月（--since があればその日の月、空のデータベースなら\n"
    u"今月）から今月まで、月ごとに集めます。今日までに取引日のない月は飛ばし、最後の\n"
    u"取引日まであれば何も取りに行きません。最後の行に、データベースが持つ最新の日を\n"
    u"表示します。中身の変わらない日毎株価ファイルは書き換えません。",
    kOptions,
    kExitStatuses,
    run,
};

}  // namespace kabuka::cli
