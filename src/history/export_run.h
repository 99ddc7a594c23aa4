#pragma once

#include "history/day_reader.h"
#include "history/export.h"
#include "history/price_store.h"
#include "history/sqlite_db.h"

#include <QDate>
#include <QList>

#include <vector>

namespace kabuka::history {

// One export in progress: what is to be read and removed, and what came of it.
struct ExportRun {
  const ExportOptions& options;
  Database& db;
  PriceStore& store;
  ExportResult& result;
  std::vector<DayJob> jobs;     // in date order
  QList<QDate> removals;        // stored days whose file is gone
  QStringList staleRejections;  // rejected_files rows that no longer apply
  ExportProgress progress;

  bool stopRequested() const { return options.stopRequested && options.stopRequested(); }
  void reportProgress(const QString& current);
  void noteDamaged(const QString& relative, const QStringList& problems);
  // Sets the result to Failed with the database's error, in front of `what`.
  bool fail(const QString& what);
  DayReader startReading() const;
};

// Reads the jobs' files and writes them day by day, one transaction per month.
// False when it failed or was stopped (the status says which).
bool importIncrementally(ExportRun& run);

// Builds the database afresh in one transaction: everything the program made is
// dropped first, in the same transaction, so readers see the old database until
// the new one is there. Rows are gathered in a scratch folder beside the database
// file and inserted in the order of the key, which is several times faster than
// inserting day by day into a key that starts with the code.
bool importInBulk(ExportRun& run, const QString& sqlitePath);

}  // namespace kabuka::history
