#pragma once

#include "calendar/market_calendar.h"
#include "collect/fetcher.h"
#include "common/clock.h"
#include "settings/settei_tbl.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

namespace kabuka::cli {

class ConsoleWindow;
struct Command;

// How transient fetch failures are retried.
struct RetrySettings {
  int retries = 3;
  // Sleeps the back-off; returns false when a stop came during the wait. Empty: a
  // real wait that a stop cuts short. Tests put in one that does not sleep.
  std::function<bool(int delayMs)> wait;
};

// Everything a command needs, set up once by main() (or by a test) before the
// command runs.
struct CliContext {
  QString programFolder;  // absolute; holds settei.txt
  SetteiTbl settei_tbl;   // read from settei.txt before the command runs
  MarketCalendar calendar;
  RetrySettings retry;
  Clock today = marketToday;  // the exchange's today: the date in Tokyo
  // Used when settei.txt does not name the data server.
  QString builtInBaseUrl = QStringLiteral(KABUKA_DEFAULT_BASE_URL);
  FetchConfig fetch;  // transfer limits; progress reporting is added per run
  bool quiet = false;
  // The console that stands in for the window: status lines, progress, stop flag.
  ConsoleWindow& console;
  // A command's output proper (stdout); false when not all of it was written.
  std::function<bool(QByteArrayView)> writeOutput;
  const Command* command = nullptr;  // the command running, for its help hint
};

}  // namespace kabuka::cli
