#include "export_run.h"

#include "history/bulk_insert.h"
#include "history/row_codec.h"
#include "history/schema.h"
#include "history/spill.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace kabuka::history {

namespace {

struct StoredFile {
  DayFileStamp stamp;
  QString checksum;
  qint64 records;
  QString header;
};

// Everything of the day files but the rows, which go to the range files.
struct Gathered {
  CodeRanges ranges;
  std::vector<std::unique_ptr<SpillWriter>> rangeFiles;
  std::vector<qint64> rowsPerCode;  // by code number
  std::vector<StoredFile> days;
  std::vector<std::pair<DayFileStamp, QStringList>> rejected;
};

bool failWith(ExportRun& run, const QString& error) {
  run.result.status = ExportResult::Status::Failed;
  run.result.error = error;
  return false;
}

// Plans the ranges from the first day with rows and opens their files.
bool planRanges(ExportRun& run, const QTemporaryDir& scratch, const DayRows& rows,
                Gathered& gathered) {
  std::vector<std::string_view> codes;
  for (const std::uint32_t code : rows.codes) {
    codes.push_back(run.store.codeText(code));
  }
  gathered.ranges.plan(std::move(codes), qint64(rows.size()) * qint64(run.jobs.size()),
                       run.options.rowsPerBucket);
  for (std::uint32_t r = 0; r < gathered.ranges.count(); ++r) {
    auto& file = gathered.rangeFiles.emplace_back(std::make_unique<SpillWriter>());
    if (!file->open(rangePath(scratch, r))) {
      return failWith(run, QStringLiteral("作業ファイルを作れません"));
    }
  }
  return true;
}

// Writes a day's records to the files of their codes' ranges.
bool route(ExportRun& run, const QTemporaryDir& scratch, const DayRows& rows, Gathered& gathered) {
  // The new codes' texts, which place them in a range.
  if (!run.store.storeNewTexts()) {
    return run.fail(QStringLiteral("名前の表を書けません"));
  }
  if (rows.size() == 0) {
    return true;
  }
  if (!gathered.ranges.planned() && !planRanges(run, scratch, rows, gathered)) {
    return false;
  }
  // A day file lists its codes mostly in order, so records go in runs.
  const std::string_view records = rows.records;
  std::string_view record;
  size_t runStart = 0, at = 0;
  std::uint32_t runRange = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::uint32_t code = rows.codes[i];
    const std::uint32_t range = gathered.ranges.rangeOf(code, run.store.codeText(code));
    if (range != runRange && at > runStart) {
      gathered.rangeFiles[runRange]->appendRecords(records.substr(runStart, at - runStart));
      runStart = at;
    }
    runRange = range;
    nextRecord(records, at, record);
    if (code >= gathered.rowsPerCode.size()) {
      gathered.rowsPerCode.resize(code + 1, 0);
    }
    ++gathered.rowsPerCode[code];
  }
  gathered.rangeFiles[runRange]->appendRecords(records.substr(runStart, at - runStart));
  return true;
}

// Reads every day file, writing its rows to the range files. False when it
// failed or was stopped.
bool gather(ExportRun& run, const QTemporaryDir& scratch, Gathered& gathered) {
  DayReader reader = run.startReading();
  for (size_t i = 0; i < run.jobs.size(); ++i) {
    if (run.stopRequested()) {
      run.result.status = ExportResult::Status::Stopped;
      return false;
    }
    run.reportProgress(run.jobs[i].stamp.relative);
    const std::unique_ptr<DayRead> read = reader.take(i);
    const QString& relative = read->stamp.relative;
    switch (read->outcome) {
      case DayRead::Outcome::Changed:
        run.result.changedDuringExport.append(relative);
        break;
      case DayRead::Outcome::Damaged:
        run.noteDamaged(relative, read->content.problems);
        gathered.rejected.emplace_back(read->stamp, read->content.problems);
        break;
      case DayRead::Outcome::SameContent:  // nothing is stored, so nothing is the same
      case DayRead::Outcome::Converted: {
        const DayRows& rows = read->content.rows;
        if (!route(run, scratch, rows, gathered)) {
          return false;
        }
        gathered.days.push_back(
            {read->stamp, read->checksum, qint64(rows.size()), read->content.header});
        ++run.result.added;
        run.result.rows += qint64(rows.size());
        run.result.textValues += read->content.textValues;
        break;
      }
    }
    ++run.progress.filesDone;
  }
  return true;
}

bool storeFiles(ExportRun& run, const Gathered& gathered) {
  for (const StoredFile& day : gathered.days) {
    if (!run.store.putDay(day.stamp, day.checksum, day.records, day.header)) {
      return false;
    }
  }
  for (const auto& [stamp, problems] : gathered.rejected) {
    if (!run.store.putRejected(stamp, problems)) {
      return false;
    }
  }
  return true;
}

// Scratch folders of exports that were killed: the export lock is held, so no
// other export is using one.
void removeLeftovers(const QString& sqlitePath) {
  const QFileInfo info(sqlitePath);
  const QString pattern = info.fileName() + QStringLiteral("-bulk-*");
  QDir folder = info.absoluteDir();
  for (const QString& name : folder.entryList({pattern}, QDir::Dirs | QDir::Hidden)) {
    QDir(folder.filePath(name)).removeRecursively();
  }
}

bool closeRangeFiles(Gathered& gathered) {
  bool ok = true;
  for (const std::unique_ptr<SpillWriter>& file : gathered.rangeFiles) {
    ok = file->close() && ok;
  }
  return ok;
}

}  // namespace

bool importInBulk(ExportRun& run, const QString& sqlitePath) {
  removeLeftovers(sqlitePath);
  QTemporaryDir scratch(sqlitePath + QStringLiteral("-bulk-XXXXXX"));
  if (!scratch.isValid()) {
    return failWith(run, QStringLiteral("作業フォルダを作れません: ") + scratch.errorString());
  }
  // Rows in key order touch only the pages on the way to the last leaf again: a
  // small cache serves them as well as a big one, and keeps the memory down.
  run.db.exec("PRAGMA cache_size = -8192");
  Transaction transaction(run.db);
  if (!transaction.isActive()) {
    return run.fail(QStringLiteral("書き込みを始められません"));
  }
  if (!(dropSchema(run.db) && createSchema(run.db))) {
    return run.fail(QStringLiteral("作り直せません"));
  }
  if (!run.store.open()) {
    return run.fail(QStringLiteral("表を読めません"));
  }
  Gathered gathered;
  if (!gather(run, scratch, gathered)) {
    return false;
  }
  if (!closeRangeFiles(gathered)) {
    return failWith(run, QStringLiteral("作業ファイルを書けません（空き容量を確かめてください）"));
  }
  gathered.rowsPerCode.resize(size_t(run.store.codes().lastId()) + 1, 0);
  const BucketOrder order =
      orderBuckets(gathered.ranges, gathered.rowsPerCode, run.store, run.options.rowsPerBucket);
  if (!insertBuckets(run, scratch, order, sqlitePath)) {
    return false;
  }
  if (!storeFiles(run, gathered)) {
    return run.fail(QStringLiteral("day_files を書けません"));
  }
  if (!transaction.commit()) {
    return run.fail(QStringLiteral("確定できません"));
  }
  return true;
}

}  // namespace kabuka::history
