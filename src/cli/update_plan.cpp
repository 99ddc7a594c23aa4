#include "update_plan.h"

#include "settings/folder_layout.h"

#include <QDir>

#include <algorithm>

namespace kabuka::cli {

namespace {

QDate newestInFolder(const QString& dailyFolder, const QString& year, const QDate& today) {
  QDate newest;
  const QStringList names = QDir(dailyFolder).entryList(QDir::Files);
  for (const QString& name : names) {
    const auto match = layout::dayFilePattern().match(name);
    if (!match.hasMatch() || !name.startsWith(year)) {
      continue;
    }
    const QDate date = layout::dayOfDigits(match.capturedView(1));
    if (date.isValid() && date <= today && (!newest.isValid() || date > newest)) {
      newest = date;
    }
  }
  return newest;
}

bool hasTradingDayUpTo(YearMonth month, const QDate& today, const MarketCalendar& calendar) {
  const QDate first(month.year, month.month, 1);
  const QDate last = std::min(first.addMonths(1).addDays(-1), today);
  const QDate trading = calendar.firstTradingDayOnOrAfter(first);
  return trading.isValid() && trading <= last;
}

}  // namespace

QDate newestDayFile(const QString& dbPath, const QString& dayFolder, const QDate& today) {
  QStringList years = QDir(dbPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  years.removeIf(
      [](const QString& name) { return !layout::yearFolderPattern().match(name).hasMatch(); });
  // The newest year with any day file in it holds the newest day.
  for (auto year = years.crbegin(); year != years.crend(); ++year) {
    const QDate newest =
        newestInFolder(layout::dailyFolder(dbPath, *year, dayFolder), *year, today);
    if (newest.isValid()) {
      return newest;
    }
  }
  return {};
}

UpdatePlan planUpdate(const QDate& newestStored, const QDate& since, const QDate& today,
                      const MarketCalendar& calendar) {
  UpdatePlan plan;
  plan.lastTradingDay = calendar.lastTradingDayOnOrBefore(today);
  if (!since.isValid() && newestStored.isValid() && plan.lastTradingDay.isValid() &&
      newestStored >= plan.lastTradingDay) {
    plan.upToDate = true;
    return plan;
  }
  const QDate start = since.isValid()          ? since
                      : newestStored.isValid() ? newestStored
                                               : QDate(today.year(), today.month(), 1);
  for (QDate first(start.year(), start.month(), 1); first <= today; first = first.addMonths(1)) {
    const YearMonth month{first.year(), first.month()};
    (hasTradingDayUpTo(month, today, calendar) ? plan.months : plan.skipped).append(month);
  }
  return plan;
}

}  // namespace kabuka::cli
