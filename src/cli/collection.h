#pragma once

#include "cli/cli_context.h"
#include "cli/exit_status.h"
#include "collect/retry.h"
#include "collect/run_window.h"

#include <QList>

namespace kabuka::cli {

struct YearMonth {
  int year = 0;
  int month = 0;
  friend auto operator<=>(const YearMonth&, const YearMonth&) = default;
};

// The command line's retries: its count, a back-off that a stop cuts short, and a
// line on the console for each retry.
RetryPolicy retryPolicyFor(CliContext& context);

// One collection run, driven exactly as the window drives it from "収集開始" with
// this date selection, with retries of transient fetch failures. `plannedFiles` is
// how many files the run fetches, for the progress display. A failed run ends with
// `failureNote` (when given) and a line naming the file and why it failed.
ExitStatus runCollection(CliContext& context, const DateSelection& selection, int plannedFiles,
                         const QString& failureNote = {});

// Collects each month (as "年月指定" with that month) in order, with retries. Ends
// at the first month that fails, or at a stop; months before it stay stored.
ExitStatus collectMonths(CliContext& context, const QList<YearMonth>& months);

// The selections the window would have for each command.
DateSelection dateSelection(const QDate& date);
DateSelection monthSelection(YearMonth month);
DateSelection yearSelection(int year);

}  // namespace kabuka::cli
