#include "driver_runs.h"

#include "cli/console_window.h"
#include "collect/driver.h"
#include "settings/folder_layout.h"

#include <QEventLoop>
#include <QTimer>

namespace kabuka::cli {

namespace {

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

RunEnvironment runEnvironmentFor(CliContext& context, bool lockHeld = false) {
  RunEnvironment env;
  env.programFolder = context.programFolder;
  env.builtInBaseUrl = context.builtInBaseUrl;
  env.today = context.today;
  // The messages are Japanese whatever LANG says; the window's weekday names
  // follow the user's locale.
  env.locale = QLocale(QLocale::Japanese, QLocale::Japan);
  env.fetch = context.fetch;
  env.fetch.onProgress = [&console = context.console](qint64 received, qint64 total) {
    console.fileProgress(received, total);
  };
  env.retry = retryPolicyFor(context);
  env.databaseLockHeld = lockHeld;
  // Unattended runs leave no empty folders behind for the check to report, and
  // a re-collected month leaves the day files that did not change as they are.
  env.removeEmptyFoldersItMade = true;
  env.keepUnchangedDayFiles = true;
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
  policy.onRequest = [&console](const QString& url, const FetchOutcome& outcome, qint64 elapsedMs) {
    console.requestDone(url, outcome, elapsedMs);
  };
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
  selection.mm1 = layout::twoDigits(date.month());
  selection.dd1 = layout::twoDigits(date.day());
  return selection;
}

DateSelection monthSelection(YearMonth month) {
  DateSelection selection;
  selection.byDate = false;
  selection.byYearMonth = true;
  selection.yyyy2 = QString::number(month.year);
  selection.mm2 = layout::twoDigits(month.month);
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

MonthRuns collectMonths(CliContext& context, const QList<YearMonth>& months, bool lockHeld) {
  CollectionDriver driver(context.console, context.settei_tbl,
                          runEnvironmentFor(context, lockHeld));
  context.console.planFiles(int(months.size()));
  MonthRuns runs;
  for (const YearMonth& month : months) {
    if (context.console.stopRequested()) {
      runs.status = ExitStatus::Stopped;
      break;
    }
    runs.status = runOnce(context, driver, monthSelection(month));
    // A month run that ends as stopped has finished its month first.
    const RunEnding ending = driver.lastEnding();
    if (ending == RunEnding::Completed || ending == RunEnding::Stopped) {
      runs.collected.append(month);
    }
    runs.dayFilesWritten += driver.lastDayFiles().written;
    runs.dayFilesUnchanged += driver.lastDayFiles().unchanged;
    if (runs.status != ExitStatus::Done) {
      break;
    }
  }
  return runs;
}

}  // namespace kabuka::cli
