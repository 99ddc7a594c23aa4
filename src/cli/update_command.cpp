// "update": brings the price database up to today, month by month.

#include "cli/collection.h"
#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/update_plan.h"
#include "settings/settei_tbl.h"

namespace kabuka::cli {

namespace {

QString dateText(const QDate& date) {
  return date.toString(QStringLiteral("yyyy/MM/dd"));
}

QString monthText(YearMonth month) {
  return QStringLiteral("%1年%2月").arg(month.year).arg(month.month, 2, 10, QLatin1Char('0'));
}

// Reads --since; invalid when absent. False (after saying why) when it is bad.
bool readSince(CliContext& context, const CommandOptions& options, QDate& since) {
  if (options.since.isEmpty()) {
    return true;
  }
  since = parseDateArgument(options.since);
  if (!since.isValid()) {
    badCommandLine(context, QStringLiteral("--since の日付「%1」が正しくありません。"
                                           "yyyy-mm-dd か yyyymmdd で指定してください。")
                                .arg(options.since));
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

}  // namespace

ExitStatus runUpdateCommand(CliContext& context, const QStringList& arguments,
                            const CommandOptions& options) {
  if (!arguments.isEmpty()) {
    return badCommandLine(context, QStringLiteral("update は引数をとりません（「%1」）。")
                                       .arg(arguments.join(QLatin1Char(' '))));
  }
  QDate since;
  if (!readSince(context, options, since)) {
    return ExitStatus::BadCommandLine;
  }
  const QDate newest = newestDayFile(context.settei_tbl[settei::db_path],
                                     context.settei_tbl[settei::day_folder], context.today());
  const UpdatePlan plan = planUpdate(newest, since, context.today(), context.calendar);
  if (plan.upToDate) {
    context.console.info(
        QStringLiteral(
            "データベースは最新です（最後の取引日 %1 まであります）。集めるものはありません。")
            .arg(dateText(plan.lastTradingDay)));
    return ExitStatus::Done;
  }
  reportPlan(context.console, newest, plan);
  if (plan.months.isEmpty()) {
    context.console.info(QStringLiteral("集める月はありません。"));
    return ExitStatus::Done;
  }
  return collectMonths(context, plan.months);
}

}  // namespace kabuka::cli
