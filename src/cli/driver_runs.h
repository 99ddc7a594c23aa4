#pragma once

#include "cli/cli_context.h"
#include "collect/retry.h"
#include "collect/run_window.h"
#include "common/exit_status.h"
#include "common/year_month.h"

#include <QList>

namespace kabuka::cli {

// The collection driver run from the command line, exactly as the window runs it
// from "収集開始" with a date selection, with the command line's retries, its
// console and its own few differences (Japanese weekday names, no empty folders
// left behind, day files whose bytes did not change left as they are).

// The command line's retries: its count, a back-off that a stop cuts short, and a
// line on the console for each retry (and for each request when verbose).
RetryPolicy retryPolicyFor(CliContext& context);

// One collection run with this date selection. `plannedFiles` is how many files
// the run fetches, for the progress display. A failed run ends with
// `failureNote` (when given) and a line naming the file and why it failed.
ExitStatus runCollection(CliContext& context, const DateSelection& selection, int plannedFiles,
                         const QString& failureNote = {});

struct MonthRuns {
  ExitStatus status = ExitStatus::Done;
  QList<YearMonth> collected;  // months stored whole, a month finished after a stop too
  int dayFilesWritten = 0;
  int dayFilesUnchanged = 0;
};

// Collects each month (as "年月指定" with that month) in order. Ends at the first
// month that fails, or at a stop; months before it stay stored. With
// `lockHeld` the caller holds the database's lock for all of them.
MonthRuns collectMonths(CliContext& context, const QList<YearMonth>& months, bool lockHeld = false);

// The selections the window would have for each command.
DateSelection dateSelection(const QDate& date);
DateSelection monthSelection(YearMonth month);
DateSelection yearSelection(int year);

}  // namespace kabuka::cli
