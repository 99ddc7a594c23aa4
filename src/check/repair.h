#pragma once

#include "check/database_check.h"

#include <functional>

namespace kabuka::check {

// Collects one month into the database the way a month collection does, with its
// retries. Returns whether the month was collected and, when not, why.
using MonthCollector = std::function<MonthRepair(int year, int month)>;

// The months a collection would mend: those with a trading day that is missing,
// damaged or short, and those with a left-over of an interrupted collection (a
// month file, a temporary file), whose days may be part old, part new. Files that
// belong to no day (a wrong name, a wrong year folder) or lie on a closed day are
// left to the user: a collection neither writes nor removes them.
QList<CheckTarget> monthsToRepair(const CheckReport& report);

// Collects each month to repair, removes the month's left-overs (its month file and
// the temporary files of its days) once the month was collected, checks the months
// it tried again and returns `before` with their days and findings replaced by what
// the second check found. After a stop (options.stopRequested) no further month is
// collected; those months are listed as not collected.
CheckReport repairDatabase(const CheckOptions& options, const CheckReport& before,
                           const MonthCollector& collect);

}  // namespace kabuka::check
