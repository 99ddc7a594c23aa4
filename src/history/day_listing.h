#pragma once

#include "common/year_month.h"

#include <QDate>
#include <QList>
#include <QString>

namespace kabuka::history {

// A year (month 0: the whole year) or one month of it.
using ExportTarget = YearMonth;

// One day file as the folder shows it, without reading it.
struct DayFileStamp {
  QDate date;
  QString relative;  // from the database folder: "2016/data_d/20160315.csv"
  qint64 bytes = 0;
  qint64 mtimeNs = 0;  // modification time, nanoseconds since 1970
  friend bool operator==(const DayFileStamp&, const DayFileStamp&) = default;
};

// A file of the daily folder named like a day file but not one: a date that does
// not exist, or a day of another year.
struct MisplacedFile {
  QString relative;
  bool wrongYear = false;  // else: not a real date
};

struct DayListing {
  QList<DayFileStamp> days;  // in date order
  QList<MisplacedFile> misplaced;
};

// True when `date` lies in the targets; no targets is everything.
bool inTargets(const QList<ExportTarget>& targets, const QDate& date);

// The day files of the targeted years and months (all year folders when there
// are no targets), with their size and time. Only looks at the folders.
DayListing listDayFiles(const QString& dbPath, const QString& dayFolder,
                        const QList<ExportTarget>& targets = {});

}  // namespace kabuka::history
