#include "repair.h"

#include "check/check_paths.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace kabuka::check {

namespace {

bool needsCollection(const Finding& finding) {
  const Tally tally = tallyOf(finding.kind);
  return finding.scope == Finding::Scope::Day &&
         (tally == Tally::Missing || tally == Tally::Damaged || tally == Tally::Short);
}

bool inMonths(const QDate& date, const QList<CheckTarget>& months) {
  return date.isValid() && months.contains(CheckTarget{date.year(), date.month()});
}

// A month file of a split that did not finish, and the temporary files of
// interrupted writes of it: all stale once the month is collected again.
void removeMonthLeftovers(const CheckOptions& options, const CheckTarget& month) {
  const QString monthFile =
      options.dbPath + relativeMonthFile(options.dayFolder, QDate(month.year, month.month, 1));
  QFile::remove(monthFile);
  const QFileInfo info(monthFile);
  QDir scratch = info.dir();
  for (const QString& temp : scratch.entryList({info.fileName() + QStringLiteral(".??????")},
                                               QDir::Files | QDir::Hidden)) {
    scratch.remove(temp);
  }
}

}  // namespace

QList<CheckTarget> monthsToRepair(const CheckReport& report) {
  QList<CheckTarget> months;
  for (const Finding& finding : report.findings) {
    const CheckTarget month{finding.date.year(), finding.date.month()};
    if (needsCollection(finding) && !months.contains(month)) {
      months.append(month);
    }
  }
  std::sort(months.begin(), months.end(), [](const CheckTarget& a, const CheckTarget& b) {
    return a.year != b.year ? a.year < b.year : a.month < b.month;
  });
  return months;
}

CheckReport repairDatabase(const CheckOptions& options, const CheckReport& before,
                           const MonthCollector& collect) {
  const QList<CheckTarget> months = monthsToRepair(before);
  CheckReport after = before;
  if (months.isEmpty()) {
    return after;
  }
  for (const CheckTarget& month : months) {
    const MonthRepair repair = collect(month.year, month.month);
    if (repair.collected) {
      removeMonthLeftovers(options, month);
    }
    after.repairs.append(repair);
  }
  CheckOptions again = options;
  again.targets = months;
  const CheckReport recheck = checkDatabase(again);

  after.findings.removeIf([&](const Finding& finding) {
    return finding.scope != Finding::Scope::Year && inMonths(finding.date, months);
  });
  for (const Finding& finding : recheck.findings) {
    if (finding.scope != Finding::Scope::Year) {
      after.findings.append(finding);
    }
  }
  for (const auto& [date, entry] : recheck.days) {
    if (inMonths(date, months)) {
      after.days[date] = entry;
    }
  }
  finishReport(after);
  return after;
}

}  // namespace kabuka::check
