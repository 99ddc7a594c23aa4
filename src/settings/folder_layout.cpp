#include "folder_layout.h"

namespace kabuka::layout {

QString settingsFile(const QString& programFolder) {
  return programFolder + kSeparator + QStringLiteral("settei.txt");
}

QString scratchFile(const QString& programFolder) {
  return programFolder + kSeparator + QStringLiteral("data.html");
}

QString defaultDbPath(const QString& programFolder) {
  return programFolder + kSeparator + QStringLiteral("kabuka") + kSeparator;
}

QString yearFolder(const QString& dbPath, const QString& year) {
  return dbPath + year + kSeparator;
}

QString dailyFolder(const QString& dbPath, const QString& year, const QString& dayFolder) {
  return yearFolder(dbPath, year) + dayFolder + kSeparator;
}

QString scratchFolder(const QString& dbPath, const QString& year, const QString& dayFolder) {
  return yearFolder(dbPath, year) + scratchFolderName(dayFolder) + kSeparator;
}

QString dailyFile(const QString& dailyFolder, const QString& yyyymmdd) {
  return dailyFolder + dayFileName(yyyymmdd);
}

QString monthFile(const QString& scratchFolder, const QString& yyyymm) {
  return scratchFolder + monthFileName(yyyymm);
}

QString twoDigits(int number) {
  return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

QString yearDigits(int year) {
  return QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
}

QString monthDigits(int year, int month) {
  return yearDigits(year) + twoDigits(month);
}

QString dayDigits(const QDate& day) {
  return monthDigits(day.year(), day.month()) + twoDigits(day.day());
}

QDate dayOfDigits(QStringView yyyymmdd) {
  return QDate::fromString(yyyymmdd, QStringLiteral("yyyyMMdd"));
}

QString scratchFolderName(const QString& dayFolder) {
  return dayFolder + QLatin1Char('g');
}

QString dayFileName(const QString& yyyymmdd) {
  return yyyymmdd + QStringLiteral(".csv");
}

QString monthFileName(const QString& yyyymm) {
  return yyyymm + QStringLiteral(".csv");
}

QString relativeDailyFolder(const QString& dayFolder, int year) {
  return yearDigits(year) + QLatin1Char('/') + dayFolder;
}

QString relativeScratchFolder(const QString& dayFolder, int year) {
  return yearDigits(year) + QLatin1Char('/') + scratchFolderName(dayFolder);
}

QString relativeDayFile(const QString& dayFolder, const QDate& day) {
  return relativeDailyFolder(dayFolder, day.year()) + QLatin1Char('/') +
         dayFileName(dayDigits(day));
}

QString relativeMonthFile(const QString& dayFolder, int year, int month) {
  return relativeScratchFolder(dayFolder, year) + QLatin1Char('/') +
         monthFileName(monthDigits(year, month));
}

QString dayFileUrl(const QString& baseUrl, const QString& yyyy, const QString& yyyymmdd) {
  return baseUrl + yyyy + QStringLiteral("/data_d/") + dayFileName(yyyymmdd);
}

QString monthFileUrl(const QString& baseUrl, const QString& yyyy, const QString& yyyymm) {
  return baseUrl + yyyy + QStringLiteral("/data_dg/") + monthFileName(yyyymm);
}

const QRegularExpression& yearFolderPattern() {
  static const QRegularExpression pattern(QStringLiteral("^\\d{4}$"));
  return pattern;
}

const QRegularExpression& dayFilePattern() {
  static const QRegularExpression pattern(QStringLiteral("^(\\d{8})\\.csv$"));
  return pattern;
}

const QRegularExpression& dayTemporaryPattern() {
  static const QRegularExpression pattern(
      QStringLiteral("^(\\d{8})\\.csv\\.[A-Za-z0-9]{%1}$").arg(kTemporarySuffixLetters));
  return pattern;
}

const QRegularExpression& monthFilePattern() {
  static const QRegularExpression pattern(QStringLiteral("^(\\d{6})\\.csv$"));
  return pattern;
}

const QRegularExpression& monthTemporaryPattern() {
  static const QRegularExpression pattern(
      QStringLiteral("^(\\d{6})\\.csv\\.[A-Za-z0-9]{%1}$").arg(kTemporarySuffixLetters));
  return pattern;
}

QString temporaryNameFor(const QString& finalPath, QRandomGenerator& random) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  QString name = finalPath + QLatin1Char('.');
  for (int i = 0; i < kTemporarySuffixLetters; ++i) {
    name += QLatin1Char(kLetters[random.bounded(int(sizeof kLetters) - 1)]);
  }
  return name;
}

QString withTrailingSeparator(const QString& folder) {
  if (folder.isEmpty() || folder.endsWith(kSeparator)) {
    return folder;
  }
  return folder + kSeparator;
}

bool isAbsoluteUnixPath(const QString& path) {
  return path.startsWith(QLatin1Char('/'));
}

bool isAbsoluteWindowsPath(const QString& path) {
  if (path.startsWith(QLatin1String("\\\\"))) {
    return true;
  }
  if (path.size() < 3 || path.at(1) != QLatin1Char(':')) {
    return false;
  }
  const char16_t drive = path.at(0).unicode();
  const bool isDriveLetter = (drive >= u'A' && drive <= u'Z') || (drive >= u'a' && drive <= u'z');
  const QChar slash = path.at(2);
  return isDriveLetter && (slash == QLatin1Char('\\') || slash == QLatin1Char('/'));
}

bool isAbsoluteNativePath(const QString& path) {
#ifdef Q_OS_WIN
  return isAbsoluteWindowsPath(path);
#else
  return isAbsoluteUnixPath(path);
#endif
}

}  // namespace kabuka::layout
