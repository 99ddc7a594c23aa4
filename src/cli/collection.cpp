#include "collection.h"

#include "cli/console_window.h"
#include "collect/driver.h"

#include <QEventLoop>
#include <QTimer>

namespace kabuka::cli {

namespace {

QString twoDigits(int number) {
  return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

// Sleeps the back-off while the event loop runs, so a signal cuts it short.
bool waitUnlessStopped(ConsoleWindow& console, int delayMs) {
  if (console.stopRequested()) {
    return false;
  }
  QEventLoop loop;
  QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
  console.setStopListener([&loop] { loop.quit(); });
  loop.exec();
  console.setStopListener({});
  return !console.stopRequested();
}

RunEnvironment runEnvironmentFor(CliContext& context) {
  RunEnvironment env;
  env.programFolder = context.programFolder;
  env.builtInBaseUrl = context.builtInBaseUrl;
  env.today = context.today;
  env.locale = QLocale();  // weekday names as the window shows them
  env.fetch = context.fetch;
  env.fetch.onProgress = [&console = context.console](qint64 received, qint64 total) {
    console.fileProgress(received, total);
  };
  env.retry = retryPolicyFor(context);
  // Unattended runs leave no empty folders behind for the check to report.
  env.removeEmptyFoldersItMade = true;
  return env;
}

ExitStatus statusOf(RunEnding ending, bool stopRequested) {
  if (ending == RunEnding::Locked) {
    return ExitStatus::Locked;
  }
  if (stopRequested) {
    return ExitStatus::Stopped;
  }
  switch (ending) {
    case RunEnding::Completed:
      return ExitStatus::Done;
    case RunEnding::Stopped:
    case RunEnding::Aborted:
      return ExitStatus::Stopped;
    default:
      return ExitStatus::NotCollected;
  }
}

// The last line of a failed run says which file failed and why, after what the
// caller knows about it (a closed day); shown even when quiet.
void reportFailure(CliContext& context, const CollectionDriver& driver, const QString& note) {
  const QString why = driver.lastFailure().text();
  if (why.isEmpty()) {
    return;  // no file was in hand: the run's own line said it all
  }
  if (!note.isEmpty()) {
    context.console.failure(note);
  }
  context.console.failure(why);
}

ExitStatus runOnce(CliContext& context, CollectionDriver& driver, const DateSelection& selection,
                   const QString& failureNote = {}) {
  context.console.setSelection(selection);
  driver.m_dl_start_cmd_Click();
  reportFailure(context, driver, failureNote);
  return statusOf(driver.lastEnding(), context.console.stopRequested());
}

}  // namespace

RetryPolicy retryPolicyFor(CliContext& context) {
  ConsoleWindow& console = context.console;
  RetryPolicy policy;
  policy.retries = context.retry.retries;
  policy.wait = context.retry.wait;
  if (!policy.wait) {
    policy.wait = [&console](int delayMs) { return waitUnlessStopped(console, delayMs); };
  }
  policy.onRetry = [&console, retries = policy.retries](int retryNumber, int delayMs,
                                                        const FetchOutcome& failed) {
    console.info(QStringLiteral("%1。%2 秒後に取り直します（再試行 %3/%4）。")
                     .arg(fetchFailureText(failed))
                     .arg(double(delayMs) / 1000, 0, 'g', 3)
                     .arg(retryNumber)
                     .arg(retries));
  };
  return policy;
}

DateSelection dateSelection(const QDate& date) {
  DateSelection selection;
  selection.byDate = true;
  selection.byYearMonth = false;
  selection.yyyy1 = QString::number(date.year());
  selection.mm1 = twoDigits(date.month());
  selection.dd1 = twoDigits(date.day());
  return selection;
}

DateSelection monthSelection(YearMonth month) {
  DateSelection selection;
  selection.byDate = false;
  selection.byYearMonth = true;
  selection.yyyy2 = QString::number(month.year);
  selection.mm2 = twoDigits(month.month);
  return selection;
}

DateSelection yearSelection(int year) {
  DateSelection selection = monthSelection({year, 1});
  selection.mm2 = QStringLiteral("all");
  return selection;
}

ExitStatus runCollection(CliContext& context, const DateSelection& selection, int plannedFiles,
                         const QString& failureNote) {
  CollectionDriver driver(context.console, context.settei_tbl, runEnvironmentFor(context));
  context.console.planFiles(plannedFiles);
  return runOnce(context, driver, selection, failureNote);
}

ExitStatus collectMonths(CliContext& context, const QList<YearMonth>& months) {
  CollectionDriver driver(context.console, context.settei_tbl, runEnvironmentFor(context));
  context.console.planFiles(int(months.size()));
  for (const YearMonth& month : months) {
    if (context.console.stopRequested()) {
      return ExitStatus::Stopped;
    }
    const ExitStatus status = runOnce(context, driver, monthSelection(month));
    if (status != ExitStatus::Done) {
      return status;
    }
  }
  return ExitStatus::Done;
}

}  // namespace kabuka::cli
