#pragma once

#include "check/database_check.h"

#include <functional>

namespace kabuka::check {

// Collects one month into the database the way a month collection does, with its
// retries. Returns whether the month was collected and, when not, why.
using MonthCollector = std::function<MonthRepair(int year, int month)>;

// The months a collection would mend: those with a day that is missing, damaged or
// short. Files that belong to no day (a wrong name, a wrong year folder) are left
// to the user: a collection neither writes nor removes them.
QList<CheckTarget> monthsToRepair(const CheckReport& report);

// Collects each month to repair, removes the month's left-over month file once the
// month was collected, checks those months again and returns `before` with their
// days and findings replaced by what the second check found.
CheckReport repairDatabase(const CheckOptions& options, const CheckReport& before,
                           const MonthCollector& collect);

}  // namespace kabuka::check
