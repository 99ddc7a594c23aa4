#pragma once

#include "calendar/market_calendar.h"
#include "check/findings.h"
#include "common/year_month.h"

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

namespace kabuka::check {

// The exchange's calendar as the check needs it. Kept as two functions so the check
// does not care where the calendar comes from (the market calendar, a test's).
struct TradingCalendar {
  std::function<bool(const QDate&)> isTradingDay;
  // Why the exchange is closed that day; empty on a trading day.
  std::function<QString(const QDate&)> closedReason;
};

// The market calendar seen through TradingCalendar; `calendar` must outlive it.
TradingCalendar fromMarketCalendar(const MarketCalendar& calendar);

// A year (month 0) or one month of it.
using CheckTarget = YearMonth;

// Where the server's month files come from, for the comparison with the server.
class MonthSource {
public:
  virtual ~MonthSource() = default;
  struct Fetched {
    bool stored = false;
    QString problem;  // the reason, when nothing was stored
    // No answer came at all (no connection, a time-out), as opposed to an answer
    // without the month: a server that cannot be reached ends the comparison.
    bool unreachable = false;
  };
  // Stores the month file of `year`/`month` at `localPath`, never in the database.
  virtual Fetched fetchMonth(int year, int month, const QString& localPath) = 0;
};

struct CheckOptions {
  QString dbPath;  // the database folder, ending in a separator
  QString dayFolder = QStringLiteral("data_d");
  QList<CheckTarget> targets;  // empty: every year folder in the database
  TradingCalendar calendar;
  QDate today;
  int workers = 2;
  MonthSource* server = nullptr;  // compare with the server when set
  // Called between taking a file's size and reading it; lets a test change a file
  // at the worst moment. Called from the worker threads.
  std::function<void(const QString& path)> beforeRead;
  // True once the check is to stop (a signal). Polled between two files, from the
  // worker threads too, and between two months of the comparison with the server.
  std::function<bool()> stopRequested;
};

// Reads the whole checked range of the database and reports what is wrong. Never
// writes into the database.
CheckReport checkDatabase(const CheckOptions& options);

// The newest trading day before `today`: the last day whose file must be there.
QDate lastDueTradingDay(const TradingCalendar& calendar, const QDate& today);

}  // namespace kabuka::check
