#pragma once

#include "collect/run_window.h"

#include <QString>

#include <string_view>

namespace kabuka {

inline const QString kSplitDoneText = QStringLiteral("日毎株価の処理完了");

struct SplitResult {
  int dayFilesWritten = 0;
  // Every announced block was read in full and written, and nothing was left over.
  // When false, the month file must be kept: some of its days are not stored.
  bool complete = false;
};

// Splits a month file into one day file per trading day, written into
// `dailyFolder` (ending in a separator) as "<yyyymmdd>.csv". The month file is a
// file header record (field 2: the number of day blocks), then per day a day
// header record (field 1: the date as eight digits, field 2: the number of data
// records) and its data records, eight fields each. Each day file holds the day
// header and its records, one per line, fields joined by "," and lines ended by
// CR LF; fields are carried byte for byte, without their quotes unless they hold
// a comma or a line end. Day files are written as their blocks are read; at the
// end all of them are synced to the disk at once and each replaces its old copy
// whole, so a split cut short still stores the days before the break.
// Shows the completion text in Label1 when the whole file was split.
// The month file is read through a window of `readWindowBytes` (grown when one
// day needs more), never held whole.
inline constexpr size_t kSplitReadWindowBytes = 1024 * 1024;
SplitResult data_d_csv_sub(const QString& monthFilePath, const QString& dailyFolder,
                           RunWindow& window, size_t readWindowBytes = kSplitReadWindowBytes);

// A count field: blanks skipped, the leading decimal number rounded to the nearest
// whole number (halves to even); anything else is 0.
long long countOf(std::string_view field);

// True for a day name that can safely become a file name: exactly eight ASCII digits.
bool isDayName(std::string_view field);

}  // namespace kabuka
