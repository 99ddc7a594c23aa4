#include "day_listing.h"

#include "settings/folder_layout.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <sys/stat.h>

namespace kabuka::history {

namespace {

QList<int> yearsOf(const QString& dbPath, const QList<ExportTarget>& targets) {
  QList<int> years;
  if (targets.isEmpty()) {
    for (const QString& folder : QDir(dbPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      if (layout::yearFolderPattern().match(folder).hasMatch()) {
        years.append(folder.toInt());
      }
    }
  } else {
    for (const ExportTarget& target : targets) {
      years.append(target.year);
    }
  }
  std::sort(years.begin(), years.end());
  years.erase(std::unique(years.begin(), years.end()), years.end());
  return years;
}

bool stampOf(const QString& path, DayFileStamp& stamp) {
  struct stat info;
  if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  stamp.bytes = qint64(info.st_size);
  stamp.mtimeNs = qint64(info.st_mtim.tv_sec) * 1000000000 + qint64(info.st_mtim.tv_nsec);
  return true;
}

}  // namespace

bool inTargets(const QList<ExportTarget>& targets, const QDate& date) {
  return targets.isEmpty() ||
         std::any_of(targets.begin(), targets.end(), [&date](const ExportTarget& target) {
           return target.year == date.year() && (target.month == 0 || target.month == date.month());
         });
}

DayListing listDayFiles(const QString& dbPath, const QString& dayFolder,
                        const QList<ExportTarget>& targets) {
  DayListing listing;
  for (const int year : yearsOf(dbPath, targets)) {
    const QString folder = layout::relativeDailyFolder(dayFolder, year) + QLatin1Char('/');
    const QStringList names = QDir(dbPath + folder).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
      const auto match = layout::dayFilePattern().match(name);
      if (!match.hasMatch()) {
        continue;  // not a day file; the check tells about such files
      }
      const QDate date = layout::dayOfDigits(match.capturedView(1));
      if (!date.isValid() || date.year() != year) {
        listing.misplaced.append({folder + name, date.isValid()});
        continue;
      }
      DayFileStamp stamp{date, folder + name, 0, 0};
      if (inTargets(targets, date) && stampOf(dbPath + stamp.relative, stamp)) {
        listing.days.append(stamp);
      }
    }
  }
  return listing;
}

}  // namespace kabuka::history
