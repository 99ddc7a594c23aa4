#include "bulk_insert.h"

#include "history/bounded_queue.h"
#include "history/row_codec.h"
#include "history/spill.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <memory>
#include <numeric>

namespace kabuka::history {

namespace {

// Rows decoded and inserted at a time, and batches decoded ahead of SQLite.
constexpr size_t kRowsPerInsert = 16384;
constexpr size_t kBatchesAhead = 2;
constexpr size_t kPrefetchAhead = 16;

QString bucketPath(const QTemporaryDir& scratch, std::uint32_t bucket) {
  return scratch.filePath(QStringLiteral("bucket-%1").arg(bucket));
}

// Splits a range file into the files of its buckets, keeping the day order.
bool splitRange(const QTemporaryDir& scratch, const BucketOrder& order, std::uint32_t range) {
  const std::uint32_t first = order.firstBucket[range];
  SpillReader all;
  if (!all.open(rangePath(scratch, range))) {
    return false;
  }
  std::vector<SpillWriter> buckets(order.firstBucket[range + 1] - first);
  for (std::uint32_t b = 0; b < buckets.size(); ++b) {
    if (!buckets[b].open(bucketPath(scratch, first + b))) {
      return false;
    }
  }
  std::string_view record;
  while (all.next(record)) {
    buckets[order.bucket[keyOfRecord(record).code] - first].appendRecord(record);
  }
  bool ok = !all.failed();
  for (SpillWriter& bucket : buckets) {
    ok = bucket.close() && ok;
  }
  QFile::remove(rangePath(scratch, range));
  return ok;
}

struct SortKey {
  std::uint32_t rank, day, market, offset;
};

// Where the bucket's records start, in key order. The records of one code come
// in date order (the day files are read so), so placing them by code keeps that
// order; only a code on two markets on one day needs its few rows sorted.
std::vector<std::uint32_t> sortedOffsets(std::string_view bytes, const BucketOrder& order) {
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

bool readAndRemove(const QString& path, std::string& bytes) {
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

// A bucket in the order of the key: its records, and where each one starts.
struct SortedBucket {
  std::shared_ptr<const std::string> bytes;
  std::vector<std::uint32_t> offsets;
};

// Reads the buckets of each range one after the other and puts each in key order.
bool sortBuckets(const QTemporaryDir& scratch, const BucketOrder& order,
                 BoundedQueue<SortedBucket>& sorted) {
  for (std::uint32_t range = 0; range + 1 < order.firstBucket.size(); ++range) {
    const std::uint32_t first = order.firstBucket[range], end = order.firstBucket[range + 1];
    const bool whole = end - first == 1;  // the range is one bucket, as planned
    if (end - first > 1 && !splitRange(scratch, order, range)) {
      return false;
    }
    for (std::uint32_t b = first; b < end; ++b) {
      auto bytes = std::make_shared<std::string>();
      if (!readAndRemove(whole ? rangePath(scratch, range) : bucketPath(scratch, b), *bytes)) {
        return false;
      }
      std::vector<std::uint32_t> offsets = sortedOffsets(*bytes, order);
      if (!sorted.push({std::move(bytes), std::move(offsets)})) {
        return true;  // the inserts stopped; they tell why
      }
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

// Asks the system to start writing the database file to disk while it is still
// being filled, so that the commit's sync finds little left to write: that sync
// was a twentieth of a first export. Linux only; elsewhere, or when the file
// cannot be opened, nothing happens and the commit writes it all.
class WriteBehind {
public:
  explicit WriteBehind(const QString& path) {
#if defined(__linux__)
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
#else
    Q_UNUSED(path);
#endif
  }
  ~WriteBehind() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Starts writing what is written so far; returns at once.
  void start() {
#if defined(__linux__)
    if (m_fd >= 0) {
      ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
#endif
  }

private:
  int m_fd = -1;
};

}  // namespace

void CodeRanges::plan(std::vector<std::string_view> codes, qint64 expectedRows,
                      qint64 rowsPerBucket) {
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  const qint64 rowsPerRange = std::max<qint64>(1, rowsPerBucket / 2);
  const auto count = size_t(std::clamp<qint64>((expectedRows + rowsPerRange - 1) / rowsPerRange, 1,
                                               std::max<qint64>(1, qint64(codes.size()))));
  m_starts.assign(1, std::string());
  for (size_t r = 1; r < count; ++r) {
    m_starts.emplace_back(codes[r * codes.size() / count]);
  }
}

std::uint32_t CodeRanges::rangeOf(std::uint32_t code, std::string_view text) {
  if (code >= m_ofCode.size()) {
    m_ofCode.resize(code + 1, -1);
  }
  if (m_ofCode[code] < 0) {
    const auto after = std::upper_bound(
        m_starts.begin(), m_starts.end(), text,
        [](std::string_view a, const std::string& b) { return a < std::string_view(b); });
    m_ofCode[code] = (after - m_starts.begin()) - 1;
  }
  return std::uint32_t(m_ofCode[code]);
}

BucketOrder orderBuckets(CodeRanges& ranges, const std::vector<qint64>& rowsPerCode,
                         const PriceStore& store, qint64 rowsPerBucket) {
  BucketOrder order;
  const size_t count = rowsPerCode.size();
  std::vector<std::uint32_t> byRank(count);
  std::iota(byRank.begin(), byRank.end(), 0u);
  std::sort(byRank.begin(), byRank.end(), [&](std::uint32_t a, std::uint32_t b) {
    return store.codeText(a) < store.codeText(b);
  });
  order.rank.resize(count);
  order.bucket.resize(count);
  std::vector<std::vector<std::uint32_t>> codesOfRange(ranges.count());
  for (std::uint32_t r = 0; r < count; ++r) {
    const std::uint32_t code = byRank[r];
    order.rank[code] = r;
    codesOfRange[ranges.rangeOf(code, store.codeText(code))].push_back(code);
  }
  std::uint32_t bucket = 0;
  for (const std::vector<std::uint32_t>& codes : codesOfRange) {
    order.firstBucket.push_back(bucket);
    qint64 inBucket = 0;
    for (const std::uint32_t code : codes) {
      if (inBucket > 0 && inBucket + rowsPerCode[code] > rowsPerBucket) {
        ++bucket;
        inBucket = 0;
      }
      inBucket += rowsPerCode[code];
      order.bucket[code] = bucket;
    }
    bucket += inBucket > 0 ? 1 : 0;
  }
  order.firstBucket.push_back(bucket);
  return order;
}

QString rangePath(const QTemporaryDir& scratch, std::uint32_t range) {
  return scratch.filePath(QStringLiteral("range-%1").arg(range));
}

bool insertBuckets(ExportRun& run, const QTemporaryDir& scratch, const BucketOrder& order,
                   const QString& sqlitePath) {
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
  WriteBehind writeBehind(sqlitePath);
  qint64 rowsSinceWriteBehind = 0;
  while (std::optional<RowBatch> batch = batches.pop()) {
    if (!run.store.insertRows(batch->rows.data(), batch->rows.size())) {
      inserted = false;
      batches.close();
      break;
    }
    run.progress.rows += qint64(batch->rows.size());
    run.reportProgress({});
    rowsSinceWriteBehind += qint64(batch->rows.size());
    if (rowsSinceWriteBehind >= run.options.rowsPerBucket) {
      writeBehind.start();
      rowsSinceWriteBehind = 0;
    }
  }
  decoded.get();
  if (!read.get()) {
    run.result.status = ExportResult::Status::Failed;
    run.result.error = QStringLiteral("作業ファイルを読めません");
    return false;
  }
  return inserted || run.fail(QStringLiteral("行を書けません"));
}

}  // namespace kabuka::history
