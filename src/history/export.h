#pragma once

#include "history/day_listing.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace kabuka::history {

struct ExportProgress {
  int filesDone = 0;
  int filesTotal = 0;
  qint64 rows = 0;  // price rows written so far
  QString current;  // the day file in hand, relative to the database folder
};

struct ExportOptions {
  QString dbPath;  // the database folder, ending in '/'
  QString dayFolder = QStringLiteral("data_d");
  QString sqlitePath;           // empty: defaultSqlitePath(dbPath)
  QList<ExportTarget> targets;  // empty: every year folder
  bool rebuild = false;         // drop everything and import every day file again
  // Polled between files; true ends the run, keeping what was committed.
  std::function<bool()> stopRequested;
  std::function<void(const ExportProgress&)> onProgress;
  // How long to wait for another export (or any writer) of the same file.
  int busyTimeoutMs = 10000;
  int workers = 2;  // threads that read and convert day files
  // Rows a first export or a rebuild sorts in memory at a time (some 30 bytes
  // each, and up to three such buckets at once): bounds its memory whatever the
  // size of the database.
  qint64 rowsPerBucket = 1 << 19;
  // Called between taking a file's size and reading it (tests change files there).
  std::function<void(const QString& path)> beforeRead;
};

struct ExportResult {
  enum class Status {
    Done,             // the database is in step with the day files
    SomeNotImported,  // damaged day files were left out (see damaged)
    Busy,             // another export holds the file
    Failed,           // could not be completed (see error)
    Stopped,          // stopRequested; what was committed stays
  };
  Status status = Status::Failed;
  int added = 0;          // days imported for the first time
  int changed = 0;        // days imported again
  int removed = 0;        // days whose file is gone
  int unchanged = 0;      // days left as they were
  qint64 rows = 0;        // price rows written
  qint64 textValues = 0;  // price fields stored as text, not as numbers
  // Day files left out: the path relative to the database folder and what is
  // wrong, in the check's words; one entry per fault.
  QList<std::pair<QString, QString>> damaged;
  QStringList changedDuringExport;  // relative paths; the next run takes them
  QString error;                    // why it failed
  double seconds = 0;
};

// The database file when none is named: kabuka.sqlite in the database folder.
QString defaultSqlitePath(const QString& dbPath);

// Brings the SQLite database in step with the day files. Reads each day file
// stably and never writes into the day folders; takes no collection lock.
// Exit statuses for a command: Done 0, SomeNotImported 1, Busy 3, Failed 4,
// Stopped 130.
ExportResult exportDatabase(const ExportOptions& options);

}  // namespace kabuka::history
