#pragma once

#include <QDate>
#include <QString>

namespace kabuka::check {

// Paths as findings show them: relative to the database folder, "/" between parts.
inline QString relativeDayFile(const QString& dayFolder, const QDate& date) {
  return date.toString(QStringLiteral("yyyy/")) + dayFolder + QLatin1Char('/') +
         date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

inline QString relativeMonthFile(const QString& dayFolder, const QDate& month) {
  return month.toString(QStringLiteral("yyyy/")) + dayFolder + QStringLiteral("g/") +
         month.toString(QStringLiteral("yyyyMM")) + QStringLiteral(".csv");
}

}  // namespace kabuka::check
