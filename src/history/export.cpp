#include "export.h"

#include "check/findings.h"
#include "common/vector_state.h"
#include "history/export_lock.h"
#include "history/export_run.h"
#include "history/schema.h"

#include "collect/staged_files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace kabuka::history {

namespace {

using Status = ExportResult::Status;

bool failed(ExportResult& result, const QString& error, Status status = Status::Failed) {
  result.status = status;
  result.error = error;
  return false;
}

bool configure(Database& db) {
  // WAL: readers go on reading while a month is written, and a killed export
  // leaves the last committed state. NORMAL syncs at checkpoints only, which
  // keeps every commit whole, though the last ones may be lost to a power cut.
  Statement mode = db.prepare("PRAGMA journal_mode = WAL");
  return mode.isValid() && mode.step() && mode.columnBytes(0) == "wal" &&
         db.exec("PRAGMA synchronous = NORMAL; PRAGMA cache_size = -32768");
}

// Brings the layout to the current one; true when the rows are to be built
// afresh (a new or outdated file, or --rebuild).
bool prepareSchema(Database& db, const ExportOptions& options, ExportResult& result, bool& fresh) {
  const SchemaState state = schemaState(db);
  if (state == SchemaState::Newer && !options.rebuild) {
    return failed(result, QStringLiteral("このデータベースは新しい版のプログラムが作ったものです"
                                         "（--rebuild で作り直せます）"));
  }
  fresh = options.rebuild || state != SchemaState::Current;
  if (state == SchemaState::Current || options.rebuild) {
    return true;
  }
  Transaction transaction(db);
  if (!transaction.isActive() ||
      !(state == SchemaState::Empty ? createSchema(db) : migrateSchema(db)) ||
      !transaction.commit()) {
    return failed(result, QStringLiteral("表を作れません: ") + db.error(),
                  db.lastFailureWasBusy() ? Status::Busy : Status::Failed);
  }
  return true;
}

bool sameStamp(const DayFileStamp& a, const DayFileStamp& b) {
  return a.relative == b.relative && a.bytes == b.bytes && a.mtimeNs == b.mtimeNs;
}

// Decides per day file whether it must be read; only looks at the folder.
void plan(ExportRun& run, const DayListing& listing, bool fresh) {
  const QHash<QDate, StoredDay> stored = fresh ? QHash<QDate, StoredDay>() : run.store.storedDays();
  QHash<QString, RejectedFile> rejected =
      fresh ? QHash<QString, RejectedFile>() : run.store.rejectedFiles();
  QSet<QDate> listed;
  for (const DayFileStamp& stamp : listing.days) {
    listed.insert(stamp.date);
    const auto day = stored.constFind(stamp.date);
    const auto refused = rejected.constFind(stamp.relative);
    if (day != stored.constEnd() && sameStamp(day->stamp, stamp)) {
      ++run.result.unchanged;
      if (refused != rejected.constEnd()) {
        run.staleRejections.append(stamp.relative);  // put back as it was imported
      }
    } else if (refused != rejected.constEnd() && sameStamp(refused->stamp, stamp)) {
      run.noteDamaged(stamp.relative, refused->problems);
    } else {
      run.jobs.push_back({stamp, day != stored.constEnd() ? day->checksum : QString()});
    }
    rejected.remove(stamp.relative);
  }
  for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
    if (!listed.contains(it.key()) && inTargets(run.options.targets, it.key())) {
      run.removals.append(it.key());
    }
  }
  for (auto it = rejected.constBegin(); it != rejected.constEnd(); ++it) {
    run.staleRejections.append(it.key());  // the file is gone or out of the targets
  }
  std::sort(run.removals.begin(), run.removals.end());
}

void noteMisplaced(ExportRun& run, const DayListing& listing) {
  for (const MisplacedFile& file : listing.misplaced) {
    const auto kind =
        file.wrongYear ? check::FindingKind::WrongYearFolder : check::FindingKind::BadFileName;
    run.noteDamaged(file.relative, {check::kindText(kind)});
  }
}

// Folds the log into the database file, so that it does not keep the size of a
// bulk load. Waits only briefly for readers; the next export tries again.
void checkpoint(Database& db, int busyTimeoutMs) {
  db.exec("PRAGMA busy_timeout = 200");
  db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  db.exec("PRAGMA busy_timeout = " + std::to_string(busyTimeoutMs));
}

bool importAfresh(ExportRun& run, const QString& sqlitePath) {
  const bool imported = importInBulk(run, sqlitePath);
  configure(run.db);  // under the log from now on, with the cache of the incremental runs
  return imported;
}

// A file of a database that does not exist yet is filled with no journal at all,
// beside its final name: nothing is written twice, and no reader can open it
// half made. A killed first export leaves only this file, which the next one
// removes.
QString newFileFor(const QString& sqlitePath) {
  return sqlitePath + QStringLiteral("-new");
}

void removeNewFile(const QString& sqlitePath) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    QFile::remove(newFileFor(sqlitePath) + QLatin1String(suffix));
  }
}

// The new file, whole and synced, takes the final name in one step.
bool moveIntoPlace(const QString& sqlitePath, ExportResult& result) {
  const QByteArray from = QFile::encodeName(newFileFor(sqlitePath));
  const int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  if (!synced || std::rename(from.constData(), QFile::encodeName(sqlitePath).constData()) != 0) {
    removeNewFile(sqlitePath);
    return failed(result,
                  sqlitePath + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
  }
  syncFolder(QFileInfo(sqlitePath).absolutePath());
  return true;
}

bool openDatabase(Database& db, const QString& path, bool newFile, int busyTimeoutMs,
                  ExportResult& result) {
  const bool opened =
      db.open(path, Database::Mode::ReadWrite, busyTimeoutMs) &&
      (newFile ? db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF") : configure(db));
  return opened || failed(result, path + QStringLiteral(": ") + db.error(),
                          db.lastFailureWasBusy() ? Status::Busy : Status::Failed);
}

bool exportInto(const ExportOptions& options, const QString& sqlitePath, bool newFile,
                ExportResult& result) {
  Database db;
  if (!openDatabase(db, newFile ? newFileFor(sqlitePath) : sqlitePath, newFile,
                    options.busyTimeoutMs, result)) {
    return false;
  }
  bool fresh = false;
  if (!prepareSchema(db, options, result, fresh)) {
    return false;
  }
  PriceStore store(db);
  if (!store.open()) {
    return failed(result, QStringLiteral("表を読めません: ") + db.error());
  }
  fresh = fresh || !store.hasRows();
  ExportRun exportRun{options, db, store, result, {}, {}, {}, {}};
  const DayListing listing = listDayFiles(options.dbPath, options.dayFolder, options.targets);
  plan(exportRun, listing, fresh);
  noteMisplaced(exportRun, listing);
  exportRun.progress.filesTotal = int(exportRun.jobs.size());
  const bool wrote = !exportRun.jobs.empty() || !exportRun.removals.isEmpty() ||
                     !exportRun.staleRejections.isEmpty();
  if (!(fresh ? importAfresh(exportRun, sqlitePath) : importIncrementally(exportRun))) {
    return false;
  }
  if (wrote) {
    checkpoint(db, options.busyTimeoutMs);
  }
  result.status = result.damaged.isEmpty() ? Status::Done : Status::SomeNotImported;
  return true;
}

bool run(const ExportOptions& options, const QString& sqlitePath, ExportResult& result) {
  if (!QFileInfo(options.dbPath).isDir()) {
    return failed(result, QStringLiteral("データベースのフォルダがありません: ") + options.dbPath);
  }
  ExportLock lock;
  switch (lock.take(sqlitePath, options.busyTimeoutMs)) {
    case ExportLock::Outcome::Busy:
      return failed(result, QStringLiteral("他のエクスポートが実行中です: ") + sqlitePath,
                    Status::Busy);
    case ExportLock::Outcome::Failed:
      return failed(result, sqlitePath + QStringLiteral(": ") + lock.problem());
    case ExportLock::Outcome::Taken:
      break;
  }
  removeNewFile(sqlitePath);  // what a killed first export left
  const bool newFile = !QFileInfo::exists(sqlitePath);
  if (!exportInto(options, sqlitePath, newFile, result)) {
    if (newFile) {
      removeNewFile(sqlitePath);
    }
    return false;
  }
  return !newFile || moveIntoPlace(sqlitePath, result);
}

}  // namespace

QString defaultSqlitePath(const QString& dbPath) {
  return dbPath + QStringLiteral("kabuka.sqlite");
}

ExportResult exportDatabase(const ExportOptions& options) {
  releaseUpperVectorState();
  QElapsedTimer timer;
  timer.start();
  ExportResult result;
  const QString sqlitePath =
      options.sqlitePath.isEmpty() ? defaultSqlitePath(options.dbPath) : options.sqlitePath;
  run(options, sqlitePath, result);
  result.seconds = double(timer.nsecsElapsed()) / 1e9;
  return result;
}

}  // namespace kabuka::history
