#pragma once

#include "history/export_run.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kabuka::history {

// Ranges of codes in key order (the byte order of their UTF-8) into which the
// rows are written while the day files are read, so that they need no second
// pass to be split. Planned from the first day that has rows, for ranges of
// about half a bucket each over all the days to read; a code that day lacks
// goes to the range its text falls in.
class CodeRanges {
public:
  // `codes` are the first day's code texts, in any order.
  void plan(std::vector<std::string_view> codes, qint64 expectedRows, qint64 rowsPerBucket);
  bool planned() const { return !m_starts.empty(); }
  std::uint32_t count() const { return std::uint32_t(m_starts.size()); }
  std::uint32_t rangeOf(std::uint32_t code, std::string_view text);

private:
  std::vector<std::string> m_starts;   // the first code of each range; the first is ""
  std::vector<std::int64_t> m_ofCode;  // by code number; -1 until looked up
};

// The buckets the rows are inserted in, in key order: each range of codes cut by
// the exact counts into runs of codes of at most `rowsPerBucket` rows (a code
// with more is a bucket of its own).
struct BucketOrder {
  std::vector<std::uint32_t> rank;         // by code number: its place in key order
  std::vector<std::uint32_t> bucket;       // by code number
  std::vector<std::uint32_t> firstBucket;  // by range, and one past the last range
};
BucketOrder orderBuckets(CodeRanges& ranges, const std::vector<qint64>& rowsPerCode,
                         const PriceStore& store, qint64 rowsPerBucket);

QString rangePath(const QTemporaryDir& scratch, std::uint32_t range);

// Inserts the rows of the range files in key order: a range of more than one
// bucket is split first, each bucket is sorted, and its rows decoded into
// batches, on threads of their own, so that SQLite does not wait between them.
bool insertBuckets(ExportRun& run, const QTemporaryDir& scratch, const BucketOrder& order,
                   const QString& sqlitePath);

}  // namespace kabuka::history
