#include "export_run.h"

#include "history/schema.h"

namespace kabuka::history {

void ExportRun::reportProgress(const QString& current) {
  progress.current = current;
  progress.rows = result.rows;
  if (options.onProgress) {
    options.onProgress(progress);
  }
}

void ExportRun::noteDamaged(const QString& relative, const QStringList& problems) {
  for (const QString& problem : problems) {
    result.damaged.append({relative, problem});
  }
}

bool ExportRun::fail(const QString& what) {
  result.status =
      db.lastFailureWasBusy() ? ExportResult::Status::Busy : ExportResult::Status::Failed;
  result.error = what + QStringLiteral(": ") + db.error();
  return false;
}

DayReader ExportRun::startReading() const {
  return DayReader(jobs, options.dbPath, store.codes(), store.markets(), store.names(),
                   options.workers, options.beforeRead);
}

namespace {

// Writes what reading one day file gave; false on a database error.
bool storeDay(ExportRun& run, const DayJob& job, DayRead& read) {
  PriceStore& store = run.store;
  const QString& relative = job.stamp.relative;
  switch (read.outcome) {
    case DayRead::Outcome::Changed:
      run.result.changedDuringExport.append(relative);
      return true;
    case DayRead::Outcome::Damaged:
      run.noteDamaged(relative, read.content.problems);
      return store.putRejected(read.stamp, read.content.problems);
    case DayRead::Outcome::SameContent:
      ++run.result.unchanged;
      return store.refreshStamp(read.stamp) && store.removeRejected(relative);
    case DayRead::Outcome::Converted:
      break;
  }
  const bool known = !job.knownChecksum.isEmpty();
  const DayRows& rows = read.content.rows;
  if ((known && !store.deleteRows(unixDay(job.stamp.date))) || !store.storeNewTexts() ||
      !store.insertRecords(rows.records) ||
      !store.putDay(read.stamp, read.checksum, qint64(rows.size()), read.content.header) ||
      !store.removeRejected(relative)) {
    return false;
  }
  ++(known ? run.result.changed : run.result.added);
  run.result.rows += qint64(rows.size());
  run.result.textValues += read.content.textValues;
  return true;
}

bool removeGoneDays(ExportRun& run) {
  if (run.removals.isEmpty() && run.staleRejections.isEmpty()) {
    return true;
  }
  Transaction transaction(run.db);
  if (!transaction.isActive()) {
    return run.fail(QStringLiteral("書き込みを始められません"));
  }
  for (const QDate& date : run.removals) {
    if (!run.store.removeDay(date)) {
      return run.fail(QStringLiteral("消えた日の行を削除できません"));
    }
  }
  for (const QString& relative : run.staleRejections) {
    if (!run.store.removeRejected(relative)) {
      return run.fail(QStringLiteral("rejected_files を書けません"));
    }
  }
  if (!transaction.commit()) {
    return run.fail(QStringLiteral("確定できません"));
  }
  run.result.removed = int(run.removals.size());
  return true;
}

int monthOf(const DayJob& job) {
  return job.stamp.date.year() * 12 + job.stamp.date.month();
}

}  // namespace

bool importIncrementally(ExportRun& run) {
  if (!removeGoneDays(run)) {
    return false;
  }
  DayReader reader = run.startReading();
  size_t next = 0;
  while (next < run.jobs.size()) {
    Transaction transaction(run.db);
    if (!transaction.isActive()) {
      return run.fail(QStringLiteral("書き込みを始められません"));
    }
    const int month = monthOf(run.jobs[next]);
    bool stopped = false;
    for (; next < run.jobs.size() && monthOf(run.jobs[next]) == month; ++next) {
      if (run.stopRequested()) {
        stopped = true;
        break;
      }
      const DayJob& job = run.jobs[next];
      run.reportProgress(job.stamp.relative);
      const std::unique_ptr<DayRead> read = reader.take(next);
      if (!storeDay(run, job, *read)) {
        return run.fail(job.stamp.relative);
      }
      ++run.progress.filesDone;
    }
    if (!transaction.commit()) {
      return run.fail(QStringLiteral("確定できません"));
    }
    if (stopped) {
      run.result.status = ExportResult::Status::Stopped;
      return false;
    }
  }
  run.reportProgress({});
  return true;
}

}  // namespace kabuka::history
