#include "export_run.h"

#include "history/schema.h"
#include "history/spill.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <future>
#include <numeric>
#include <string>
#include <unordered_map>

namespace kabuka::history {

namespace {

// Rows sorted in memory at a time: bounds the memory of the bulk load (some
// 40 MB) whatever the size of the database.
constexpr qint64 kRowsPerBucket = 1 << 20;
// Rows decoded and inserted at a time.
constexpr size_t kRowsPerInsert = 16384;

struct StoredFile {
  DayFileStamp stamp;
  QString checksum;
  qint64 records;
  QString header;
};

struct CodeHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Everything of the day files but the rows, which go to the scratch file.
struct Gathered {
  std::unordered_map<std::string, std::uint32_t, CodeHash, std::equal_to<>> codeNumbers;
  std::vector<std::string> codes;   // by number
  std::vector<qint64> rowsPerCode;  // by number
  std::vector<StoredFile> days;
  std::vector<std::pair<DayFileStamp, QStringList>> rejected;
};

std::uint32_t numberOf(Gathered& gathered, const std::string& code) {
  auto at = gathered.codeNumbers.find(code);
  if (at == gathered.codeNumbers.end()) {
    at = gathered.codeNumbers.emplace(code, std::uint32_t(gathered.codes.size())).first;
    gathered.codes.push_back(code);
    gathered.rowsPerCode.push_back(0);
  }
  ++gathered.rowsPerCode[at->second];
  return at->second;
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
      case DayRead::Outcome::Converted:
        for (const PriceRow& row : read->content.rows) {
          spill.append(numberOf(gathered, row.code), row);
        }
        gathered.days.push_back(
            {read->stamp, read->checksum, qint64(read->content.rows.size()), read->content.header});
        ++run.result.added;
        run.result.rows += qint64(read->content.rows.size());
        run.result.textValues += read->content.textValues;
        break;
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
  std::vector<std::uint32_t> byRank;  // code numbers in key order
  std::uint32_t buckets = 0;
};

Order orderCodes(const Gathered& gathered) {
  Order order;
  const size_t count = gathered.codes.size();
  order.byRank.resize(count);
  std::iota(order.byRank.begin(), order.byRank.end(), 0u);
  std::sort(order.byRank.begin(), order.byRank.end(), [&](std::uint32_t a, std::uint32_t b) {
    return gathered.codes[a] < gathered.codes[b];
  });
  order.rank.resize(count);
  order.bucket.resize(count);
  qint64 inBucket = 0;
  for (std::uint32_t r = 0; r < count; ++r) {
    const std::uint32_t code = order.byRank[r];
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
    buckets[order.bucket[codeOfRecord(record)]].appendRecord(record);
  }
  bool ok = !all.failed();
  for (SpillWriter& bucket : buckets) {
    ok = bucket.close() && ok;
  }
  QFile::remove(scratch.filePath(QStringLiteral("rows")));
  return ok;
}

struct RecordKey {
  std::uint32_t rank, day, market, offset;
};

// The bucket's records in key order. The records of one code come in date order
// (the day files are read so), so placing them by code keeps that order; only a
// code on two markets on one day needs its few rows sorted.
std::vector<RecordKey> sortedKeys(const QByteArray& bytes, const Order& order) {
  std::vector<RecordKey> keys;
  std::uint32_t lowest = UINT32_MAX, highest = 0;
  const char* const begin = bytes.constData();
  for (const char* p = begin; p < begin + bytes.size();) {
    std::uint64_t size = 0;
    for (int shift = 0;; shift += 7) {
      const auto byte = static_cast<unsigned char>(*p++);
      size |= std::uint64_t(byte & 0x7f) << shift;
      if (byte < 0x80) {
        break;
      }
    }
    RecordKey key{0, 0, 0, std::uint32_t(p - begin)};
    keyOfRecord(std::string_view(p, size), key.rank, key.day, key.market);
    key.rank = order.rank[key.rank];
    lowest = std::min(lowest, key.rank);
    highest = std::max(highest, key.rank);
    keys.push_back(key);
    p += size;
  }
  if (keys.empty()) {
    return keys;
  }
  std::vector<size_t> start(highest - lowest + 2, 0);
  for (const RecordKey& key : keys) {
    ++start[key.rank - lowest + 1];
  }
  std::partial_sum(start.begin(), start.end(), start.begin());
  std::vector<RecordKey> sorted(keys.size());
  for (const RecordKey& key : keys) {
    sorted[start[key.rank - lowest]++] = key;
  }
  const auto sameDay = [](const RecordKey& a, const RecordKey& b) {
    return a.rank == b.rank && a.day == b.day;
  };
  for (auto run = sorted.begin(); run != sorted.end();) {
    auto end =
        std::find_if_not(run, sorted.end(), [&](const RecordKey& k) { return sameDay(k, *run); });
    if (end - run > 1) {
      std::sort(run, end,
                [](const RecordKey& a, const RecordKey& b) { return a.market < b.market; });
    }
    run = end;
  }
  return sorted;
}

// Inserts one bucket's rows in key order. The next rows are decoded on another
// thread while SQLite inserts the ones before them.
bool insertBucket(ExportRun& run, const QString& path, const Order& order,
                  const Gathered& gathered) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  const QByteArray bytes = file.readAll();
  file.close();
  QFile::remove(path);
  const std::vector<RecordKey> keys = sortedKeys(bytes, order);
  std::array<std::vector<PriceRow>, 2> chunks;
  const auto decode = [&](size_t at, std::vector<PriceRow>& rows) {
    rows.resize(std::min(kRowsPerInsert, keys.size() - at));
    for (size_t i = 0; i < rows.size(); ++i) {
      const char* record = bytes.constData() + keys[at + i].offset;
      const std::uint32_t code = decodeRecord(std::string_view(record, 1 << 16), rows[i]);
      rows[i].code = gathered.codes[code];
    }
  };
  std::future<void> next;
  if (!keys.empty()) {
    next = std::async(std::launch::async, decode, 0, std::ref(chunks[0]));
  }
  for (size_t at = 0, k = 0; at < keys.size(); at += kRowsPerInsert, k ^= 1) {
    next.get();
    if (at + kRowsPerInsert < keys.size()) {
      next = std::async(std::launch::async, decode, at + kRowsPerInsert, std::ref(chunks[k ^ 1]));
    }
    if (!run.store.insertRows(chunks[k].data(), chunks[k].size())) {
      if (next.valid()) {
        next.get();
      }
      return false;
    }
    run.progress.rows += qint64(chunks[k].size());
    run.reportProgress({});
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

}  // namespace

bool importInBulk(ExportRun& run, const QString& sqlitePath, bool rebuild) {
  removeLeftovers(sqlitePath);
  QTemporaryDir scratch(sqlitePath + QStringLiteral("-bulk-XXXXXX"));
  if (!scratch.isValid()) {
    run.result.status = ExportResult::Status::Failed;
    run.result.error = QStringLiteral("作業フォルダを作れません: ") + scratch.errorString();
    return false;
  }
  Transaction transaction(run.db);
  if (!transaction.isActive()) {
    return run.fail(QStringLiteral("書き込みを始められません"));
  }
  if (rebuild && !(dropSchema(run.db) && createSchema(run.db))) {
    return run.fail(QStringLiteral("作り直せません"));
  }
  if (!run.store.open()) {
    return run.fail(QStringLiteral("表を読めません"));
  }
  Gathered gathered;
  SpillWriter spill;
  if (!spill.open(scratch.filePath(QStringLiteral("rows")))) {
    run.result.error = QStringLiteral("作業ファイルを作れません");
    return false;
  }
  if (!gather(run, spill, gathered)) {
    return false;
  }
  const Order order = orderCodes(gathered);
  std::vector<std::string> codesInOrder;
  for (const std::uint32_t code : order.byRank) {
    codesInOrder.push_back(gathered.codes[code]);
  }
  if (!spill.close() || !distribute(scratch, order)) {
    run.result.status = ExportResult::Status::Failed;
    run.result.error = QStringLiteral("作業ファイルを書けません（空き容量を確かめてください）");
    return false;
  }
  if (!run.store.storeTexts(codesInOrder)) {
    return run.fail(QStringLiteral("名前の表を書けません"));
  }
  run.progress.rows = 0;
  for (std::uint32_t b = 0; b < order.buckets; ++b) {
    if (!insertBucket(run, bucketPath(scratch, b), order, gathered)) {
      return run.fail(QStringLiteral("行を書けません"));
    }
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
