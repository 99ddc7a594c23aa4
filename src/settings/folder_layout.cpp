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
  return yearFolder(dbPath, year) + dayFolder + QLatin1Char('g') + kSeparator;
}

QString dailyFile(const QString& dailyFolder, const QString& yyyymmdd) {
  return dailyFolder + yyyymmdd + QStringLiteral(".csv");
}

QString monthFile(const QString& scratchFolder, const QString& yyyymm) {
  return scratchFolder + yyyymm + QStringLiteral(".csv");
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
