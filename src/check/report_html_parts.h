#pragma once

// Pieces of the check's page that more than one of its files needs.

#include "check/findings.h"

#include <QDate>
#include <QString>

namespace kabuka::check::html {

// The year calendars and the chart below them share one width and one left margin,
// so that the chart's plot starts where the calendars' first month does.
inline constexpr int kCell = 11;
inline constexpr int kPitch = 13;
inline constexpr int kMonthWidth = 6 * kPitch + 10;  // six week columns and a gap
inline constexpr int kLabelWidth = 56;
inline constexpr int kPageWidth = kLabelWidth + 12 * kMonthWidth;

QString esc(const QString& text);
QString num(double value);            // a coordinate, with one decimal
QString dayLabel(const QDate& date);  // "2016-03-02（水）"

// True when `later` is the trading day right after `earlier` in what was checked:
// every day between them was checked and is a day without trading. A weekend or a
// holiday between two days keeps them neighbours; a trading day, a day outside the
// checked range or a day the report does not know separates them.
bool nextTradingDay(const CheckReport& report, const QDate& earlier, const QDate& later);

// The chart of the record count per trading day, as one SVG element.
QString recordChart(const CheckReport& report);

}  // namespace kabuka::check::html
