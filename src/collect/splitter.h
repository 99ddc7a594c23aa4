#pragma once

#include "collect/records.h"
#include "collect/run_window.h"

#include <QString>

#include <string_view>

namespace kabuka {

inline const QString kSplitDoneText = QStringLiteral("日毎株価の処理完了");

// Why a split did not store the whole month.
enum class SplitProblem {
  None,
  Unreadable,        // the month file could not be opened
  CutShort,          // it ends inside a day, or its last line has no line end
  NotOfTheMonth,     // a day's name is not a date of the month
  NotWritten,        // a day file could not be written (a full disk, a missing folder)
  NotCommitted,      // the day files could not be synced or renamed into place
  DataBeyondCounts,  // more follows the last day than the counts announce
};

struct SplitResult {
  int dayFilesWritten = 0;
  int dayFilesUnchanged = 0;  // with keepUnchangedFiles: left as they were
  // Every announced block was read in full and written, the last record ended
  // with a line end, and nothing was left over. When false, the month file must
  // be kept: some of its days are not stored.
  bool complete = false;
  SplitProblem problem = SplitProblem::Unreadable;  // the first one met
  QString detail;                                   // e.g. the day name that did not fit
};

// Why the split was incomplete, in a few words for a person; empty when complete.
QString splitProblemText(const SplitResult& result);

// Splits the month file of `month` into one day file per trading day, written into
// `dailyFolder` (ending in a separator) as "<yyyymmdd>.csv". A day whose name is
// not a date of `month` is not written: it would replace a good file of another
// month, or land in the wrong year's folder. The month file is a
// file header record (field 2: the number of day blocks), then per day a day
// header record (field 1: the date as eight digits, field 2: the number of data
// records) and its data records, eight fields each. Each day file holds the day
// header and its records, one per line, fields joined by "," and lines ended by
// CR LF; fields are carried byte for byte, without their quotes unless they hold
// a comma or a line end. Day files are written as their blocks are read; at the
// end all of them are synced to the disk at once and each replaces its old copy
// whole, so a split cut short still stores the days before the break.
// Shows the completion text in Label1 when the whole file was split.
inline constexpr size_t kSplitReadWindowBytes = 1024 * 1024;
struct SplitOptions {
  // The month file is read through a window of this size (grown when one day
  // needs more), never held whole.
  size_t readWindowBytes = kSplitReadWindowBytes;
  // A day file that already holds the bytes of its day is left as it is (time and
  // inode too) instead of being written again.
  bool keepUnchangedFiles = false;
};
SplitResult data_d_csv_sub(const QString& monthFilePath, SplitMonth month,
                           const QString& dailyFolder, RunWindow& window,
                           const SplitOptions& options = {});

}  // namespace kabuka
