#pragma once

#include "collect/fetcher.h"
#include "collect/retry.h"
#include "collect/run_window.h"
#include "collect/splitter.h"
#include "common/clock.h"
#include "settings/settei_tbl.h"

#include <QLocale>
#include <QString>

namespace kabuka {

// What a run needs beyond the window and the settings table.
struct RunEnvironment {
  QString programFolder;  // holds settei.txt, data.html and the run lock
  // Used when settei.txt does not name the data server.
  QString builtInBaseUrl = QStringLiteral(KABUKA_DEFAULT_BASE_URL);
  Clock today = systemToday;
  QLocale locale;  // weekday names come from here
  FetchConfig fetch;
  RetryPolicy retry;  // the window never retries
  // The caller holds the database's lock for the whole of its work (a repair
  // collects month after month under one lock): the run neither takes nor
  // releases it. A process cannot take its own QLockFile twice.
  bool databaseLockHeld = false;
  // Folders the run made and left empty (nothing was stored: a dead server, a
  // year the server never had) are removed at its end. The window keeps the
  // folders it makes; the command line, run unattended, leaves no empty ones.
  bool removeEmptyFoldersItMade = false;
  // A day file whose new bytes equal the old is left as it is (its time and
  // inode too), so a backup keyed on times copies nothing for it. The window
  // writes every day file; the command line re-collects whole months and keeps
  // what did not change.
  bool keepUnchangedDayFiles = false;
};

// The day files a run's splits gave: replaced or new, and left as they were.
struct RunDayFiles {
  int written = 0;
  int unchanged = 0;
};

// What a failed run could not do, beyond the failure message of Label1: the file
// in hand and why it failed.
struct RunFailure {
  QString url;         // the file whose fetch or split failed; empty when none was in hand
  FetchOutcome fetch;  // how its last fetch went
  SplitResult split;   // when the fetch stored it: how its split went
  bool splitFailed() const { return fetch.stored() && !split.complete; }
  // "<url>: <why>" for a person; empty when no file was in hand.
  QString text() const;
};

// How the last run ended.
enum class RunEnding {
  None,       // no run yet
  Completed,  // every file stored
  Stopped,    // a stop was asked for; what was in hand is finished
  Failed,     // a file could not be collected, or a month not split whole
  Aborted,    // stopped before any file was fetched
  Locked,     // another run holds the database's lock; nothing was touched
};

// The texts a run shows in Label1.
namespace run_text {
inline const QString kCompleted = QStringLiteral("収集処理を完了しました。");
inline const QString kStopped = QStringLiteral("収集処理を停止しました。");
inline const QString kAborted = QStringLiteral("処理を中断しました。");
}  // namespace run_text

// The collection run behind "収集開始": collects a date, a month or a whole year
// into the price database and reports through the window.
class CollectionDriver {
public:
  CollectionDriver(RunWindow& window, SetteiTbl& settei_tbl, RunEnvironment environment);

  // One whole run; returns when it has ended. A press while a run is already under
  // way is ignored, so runs never nest.
  void m_dl_start_cmd_Click();
  bool isRunning() const { return m_running; }
  RunEnding lastEnding() const { return m_lastEnding; }
  // What the last run's ending showed in Label1.
  const QString& lastMessage() const { return m_lastMessage; }
  // Why the last run failed; empty unless it ended as Failed with a file in hand.
  const RunFailure& lastFailure() const { return m_lastFailure; }
  // The day files the last run's splits wrote or left as they were.
  const RunDayFiles& lastDayFiles() const { return m_lastDayFiles; }

private:
  RunWindow& m_window;
  SetteiTbl& m_settei_tbl;
  RunEnvironment m_env;
  FileFetcher m_fetcher;
  bool m_running = false;
  RunEnding m_lastEnding = RunEnding::None;
  QString m_lastMessage;
  RunFailure m_lastFailure;
  RunDayFiles m_lastDayFiles;
};

}  // namespace kabuka
