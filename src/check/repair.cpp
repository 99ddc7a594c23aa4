#include "repair.h"

#include "settings/folder_layout.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace kabuka::check {

namespace {

bool isLeftover(const Finding& finding) {
  return finding.kind == FindingKind::LeftoverMonthFile ||
         finding.kind == FindingKind::LeftoverTempFile;
}

bool needsCollection(const Finding& finding) {
  if (finding.scope == Finding::Scope::Year || finding.onClosedDay) {
    return false;
  }
  const Tally tally = tallyOf(finding.kind);
  return isLeftover(finding) ||
         (finding.scope == Finding::Scope::Day &&
          (tally == Tally::Missing || tally == Tally::Damaged || tally == Tally::Short));
}

bool inMonths(const QDate& date, const QList<CheckTarget>& months) {
  return date.isValid() && months.contains(CheckTarget{date.year(), date.month()});
}

bool inYears(const QDate& date, const QList<CheckTarget>& months) {
  return std::any_of(months.begin(), months.end(),
                     [&date](const CheckTarget& month) { return month.year == date.year(); });
}

void removeMatching(const QString& folder, const QString& pattern) {
  QDir dir(folder);
  for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
    dir.remove(name);
  }
}

// A month file of a split that did not finish, and the temporary files of
// interrupted writes of the month and of its days: all stale once the month is
// collected again, and nothing else of the month may be writing them then.
void removeMonthLeftovers(const CheckOptions& options, const CheckTarget& month) {
  const QDate first(month.year, month.month, 1);
  const QFileInfo monthFile(options.dbPath +
                            layout::relativeMonthFile(options.dayFolder, month.year, month.month));
  QFile::remove(monthFile.filePath());
  removeMatching(monthFile.path(), monthFile.fileName() + QStringLiteral(".??????"));
  const QFileInfo dayFile(options.dbPath + layout::relativeDayFile(options.dayFolder, first));
  removeMatching(dayFile.path(),
                 layout::monthDigits(month.year, month.month) + QStringLiteral("??.csv.??????"));
}

bool stopped(const CheckOptions& options) {
  return options.stopRequested && options.stopRequested();
}

MonthRepair notCollected(const CheckTarget& month) {
  return MonthRepair{month.year, month.month, false, QStringLiteral("停止したため集めていません")};
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
  std::sort(months.begin(), months.end());
  return months;
}

CheckReport repairDatabase(const CheckOptions& options, const CheckReport& before,
                           const MonthCollector& collect) {
  const QList<CheckTarget> months = monthsToRepair(before);
  CheckReport after = before;
  if (months.isEmpty()) {
    return after;
  }
  QList<CheckTarget> tried;
  for (const CheckTarget& month : months) {
    if (stopped(options)) {
      after.stopped = true;
      after.repairs.append(notCollected(month));
      continue;
    }
    const MonthRepair repair = collect(month.year, month.month);
    if (repair.collected) {
      removeMonthLeftovers(options, month);
    }
    after.repairs.append(repair);
    tried.append(month);
  }
  if (tried.isEmpty()) {
    return after;
  }
  // The months tried are checked again even after a stop: a few months take well
  // under a second, and the report must tell what the repair left.
  CheckOptions again = options;
  again.targets = tried;
  again.stopRequested = {};
  again.server = nullptr;
  const CheckReport recheck = checkDatabase(again);

  // Findings of a whole year are the first check's, but whether a year holds any
  // day file at all is known again once one of its months was collected.
  const auto replacedByRecheck = [&](const Finding& finding) {
    return finding.scope != Finding::Scope::Year
               ? inMonths(finding.date, tried)
               : finding.kind == FindingKind::YearWithoutDays && inYears(finding.date, tried);
  };
  after.findings.removeIf(replacedByRecheck);
  for (const Finding& finding : recheck.findings) {
    if (replacedByRecheck(finding)) {
      after.findings.append(finding);
    }
  }
  for (const auto& [date, entry] : recheck.days) {
    if (inMonths(date, tried)) {
      after.days[date] = entry;
    }
  }
  finishReport(after);
  return after;
}

}  // namespace kabuka::check
