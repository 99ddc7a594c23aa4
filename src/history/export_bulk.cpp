#include "export_run.h"

#include "history/bounded_queue.h"
#include "history/schema.h"
#include "history/spill.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <future>
#include <memory>
#include <numeric>

namespace kabuka::history {

namespace {

// Rows sorted in memory at a time: bounds the memory of the bulk load whatever
// the size of the database (some 20 MB a bucket, and up to three at once).
constexpr qint64 kRowsPerBucket = 1 << 19;
// Rows decoded and inserted at a time, and batches decoded ahead of SQLite.
constexpr size_t kRowsPerInsert = 16384;
constexpr size_t kBatchesAhead = 2;
constexpr size_t kPrefetchAhead = 16;

struct StoredFile {
  DayFileStamp stamp;
  QString checksum;
  qint64 records;
  QString header;
};

// Everything of the day files but the rows, which go to the scratch file.
struct Gathered {
  std::vector<qint64> rowsPerCode;  // by code number
  std::vector<StoredFile> days;
  std::vector<std::pair<DayFileStamp, QStringList>> rejected;
};

void countCodes(Gathered& gathered, const DayRows& rows) {
  for (const std::uint32_t code : rows.codes) {
    if (code >= gathered.rowsPerCode.size()) {
      gathered.rowsPerCode.resize(code + 1, 0);
    }
    ++gathered.rowsPerCode[code];
  }
}

// Reads every day file, writing its rows to `spill`. False when stopped.
bool gather(ExportRun& run, SpillWriter& spill, Gathered& gathered) {
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
        spill.appendRecords(rows.records);
        countCodes(gathered, rows);
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

// The codes' places in the order of the key (byte order of their UTF-8), and
// the buckets: consecutive runs of codes of at most kRowsPerBucket rows.
struct Order {
  std::vector<std::uint32_t> rank;    // by code number
  std::vector<std::uint32_t> bucket;  // by code number
  std::uint32_t buckets = 0;
};

Order orderCodes(const Gathered& gathered, const PriceStore& store) {
  Order order;
  const size_t count = gathered.rowsPerCode.size();
  std::vector<std::uint32_t> byRank(count);
  std::iota(byRank.begin(), byRank.end(), 0u);
  std::sort(byRank.begin(), byRank.end(), [&](std::uint32_t a, std::uint32_t b) {
    return store.codeText(a) < store.codeText(b);
  });
  order.rank.resize(count);
  order.bucket.resize(count);
  qint64 inBucket = 0;
  for (std::uint32_t r = 0; r < count; ++r) {
    const std::uint32_t code = byRank[r];
    if (inBucket > 0 && inBucket + gathered.rowsPerCode[code] > kRowsPerBucket) {
      ++order.buckets;
      inBucket = 0;
    }
    inBucket += gathered.rowsPerCode[code];
    order.rank[code] = r;
    order.bucket[code] = order.buckets;
  }
  order.buckets += count > 0 ? 1 : 0;
  return order;
}

QString bucketPath(const QTemporaryDir& scratch, std::uint32_t bucket) {
  return scratch.filePath(QStringLiteral("bucket-%1").arg(bucket));
}

// Splits the scratch file into one file per bucket, keeping the day order.
bool distribute(const QTemporaryDir& scratch, const Order& order) {
  SpillReader all;
  if (!all.open(scratch.filePath(QStringLiteral("rows")))) {
    return false;
  }
  std::vector<SpillWriter> buckets(order.buckets);
  for (std::uint32_t b = 0; b < order.buckets; ++b) {
    if (!buckets[b].open(bucketPath(scratch, b))) {
      return false;
    }
  }
  std::string_view record;
  while (all.next(record)) {
    buckets[order.bucket[keyOfRecord(record).code]].appendRecord(record);
  }
  bool ok = !all.failed();
  for (SpillWriter& bucket : buckets) {
    ok = bucket.close() && ok;
  }
  QFile::remove(scratch.filePath(QStringLiteral("rows")));
  return ok;
}

// A bucket in the order of the key: its records, and where each one starts.
struct SortedBucket {
  std::shared_ptr<const std::string> bytes;
  std::vector<std::uint32_t> offsets;
};

struct SortKey {
  std::uint32_t rank, day, market, offset;
};

// Where the bucket's records start, in key order. The records of one code come
// in date order (the day files are read so), so placing them by code keeps that
// order; only a code on two markets on one day needs its few rows sorted.
std::vector<std::uint32_t> sortedOffsets(std::string_view bytes, const Order& order) {
  std::vector<SortKey> keys;
  std::uint32_t lowest = UINT32_MAX, highest = 0;
  std::string_view record;
  for (size_t at = 0, start = 0; nextRecord(bytes, at, record); start = at) {
    const RowKey key = keyOfRecord(record);
    const std::uint32_t rank = order.rank[key.code];
    lowest = std::min(lowest, rank);
    highest = std::max(highest, rank);
    keys.push_back({rank, key.day, key.market, std::uint32_t(start)});
  }
  if (keys.empty()) {
    return {};
  }
  std::vector<size_t> start(highest - lowest + 2, 0);
  for (const SortKey& key : keys) {
    ++start[key.rank - lowest + 1];
  }
  std::partial_sum(start.begin(), start.end(), start.begin());
  std::vector<SortKey> sorted(keys.size());
  for (const SortKey& key : keys) {
    sorted[start[key.rank - lowest]++] = key;
  }
  const auto sameDay = [](const SortKey& a, const SortKey& b) {
    return a.rank == b.rank && a.day == b.day;
  };
  std::vector<std::uint32_t> offsets;
  offsets.reserve(sorted.size());
  for (auto run = sorted.begin(); run != sorted.end();) {
    auto end =
        std::find_if_not(run, sorted.end(), [&](const SortKey& k) { return sameDay(k, *run); });
    if (end - run > 1) {
      std::sort(run, end, [](const SortKey& a, const SortKey& b) { return a.market < b.market; });
    }
    for (; run != end; ++run) {
      offsets.push_back(run->offset);
    }
  }
  return offsets;
}

bool readBucket(const QString& path, std::string& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  bytes.resize(size_t(file.size()));
  const bool read = file.read(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
  file.close();
  QFile::remove(path);
  return read;
}

// Reads the buckets one after the other and puts each in key order.
bool sortBuckets(const QTemporaryDir& scratch, const Order& order,
                 BoundedQueue<SortedBucket>& sorted) {
  for (std::uint32_t b = 0; b < order.buckets; ++b) {
    auto bytes = std::make_shared<std::string>();
    if (!readBucket(bucketPath(scratch, b), *bytes)) {
      return false;
    }
    std::vector<std::uint32_t> offsets = sortedOffsets(*bytes, order);
    if (!sorted.push({std::move(bytes), std::move(offsets)})) {
      break;  // the inserts stopped; they tell why
    }
  }
  return true;
}

// Rows decoded for SQLite, with the bucket's bytes their texts are views of.
struct RowBatch {
  std::shared_ptr<const std::string> bytes;
  std::vector<PriceRow> rows;
};

// Decodes the sorted buckets into batches of rows.
void decodeBuckets(BoundedQueue<SortedBucket>& sorted, const PriceStore& store,
                   BoundedQueue<RowBatch>& batches) {
  while (std::optional<SortedBucket> bucket = sorted.pop()) {
    const std::string& bytes = *bucket->bytes;
    const std::vector<std::uint32_t>& offsets = bucket->offsets;
    for (size_t at = 0; at < offsets.size(); at += kRowsPerInsert) {
      const size_t end = std::min(at + kRowsPerInsert, offsets.size());
      RowBatch batch{bucket->bytes, {}};
      batch.rows.reserve(end - at);
      for (size_t i = at; i < end; ++i) {
        // In key order the records are all over the bucket: ask for the ones a
        // little ahead before they are needed.
        if (i + kPrefetchAhead < offsets.size()) {
          __builtin_prefetch(bytes.data() + offsets[i + kPrefetchAhead]);
        }
        size_t offset = offsets[i];
        std::string_view record;
        nextRecord(bytes, offset, record);
        PriceRow& row = batch.rows.emplace_back();
        row.code = store.codeText(decodeRow(record, row));
      }
      if (!batches.push(std::move(batch))) {
        sorted.close();
        return;
      }
    }
  }
}

// Inserts the buckets' rows in key order. Reading and sorting the next bucket,
// and decoding the rows ahead, each run on a thread of their own, so that SQLite
// does not wait for them between buckets.
bool insertBuckets(ExportRun& run, const QTemporaryDir& scratch, const Order& order) {
  BoundedQueue<SortedBucket> sorted(1);
  BoundedQueue<RowBatch> batches(kBatchesAhead);
  std::future<bool> read = std::async(std::launch::async, [&] {
    const bool ok = sortBuckets(scratch, order, sorted);
    sorted.close();
    return ok;
  });
  std::future<void> decoded = std::async(std::launch::async, [&] {
    decodeBuckets(sorted, run.store, batches);
    batches.close();
  });
  bool inserted = true;
  run.progress.rows = 0;
  while (std::optional<RowBatch> batch = batches.pop()) {
    if (!run.store.insertRows(batch->rows.data(), batch->rows.size())) {
      inserted = false;
      batches.close();
      break;
    }
    run.progress.rows += qint64(batch->rows.size());
    run.reportProgress({});
  }
  decoded.get();
  if (!read.get()) {
    run.result.status = ExportResult::Status::Failed;
    run.result.error = QStringLiteral("作業ファイルを読めません");
    return false;
  }
  return inserted || run.fail(QStringLiteral("行を書けません"));
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

bool failWith(ExportRun& run, const QString& error) {
  run.result.status = ExportResult::Status::Failed;
  run.result.error = error;
  return false;
}

}  // namespace

bool importInBulk(ExportRun& run, const QString& sqlitePath) {
  removeLeftovers(sqlitePath);
  QTemporaryDir scratch(sqlitePath + QStringLiteral("-bulk-XXXXXX"));
  if (!scratch.isValid()) {
    return failWith(run, QStringLiteral("作業フォルダを作れません: ") + scratch.errorString());
  }
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
  SpillWriter spill;
  if (!spill.open(scratch.filePath(QStringLiteral("rows")))) {
    return failWith(run, QStringLiteral("作業ファイルを作れません"));
  }
  if (!gather(run, spill, gathered)) {
    return false;
  }
  if (!run.store.storeNewTexts()) {
    return run.fail(QStringLiteral("名前の表を書けません"));
  }
  gathered.rowsPerCode.resize(size_t(run.store.codes().lastId()) + 1, 0);
  const Order order = orderCodes(gathered, run.store);
  if (!spill.close() || !distribute(scratch, order)) {
    return failWith(run, QStringLiteral("作業ファイルを書けません（空き容量を確かめてください）"));
  }
  if (!insertBuckets(run, scratch, order)) {
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
