#pragma once

#include <QString>

namespace kabuka {

// The local folder tree. Folder paths end with the path separator, so a name or a
// year is appended to them directly.
namespace layout {

inline constexpr QChar kSeparator = QLatin1Char('/');

QString settingsFile(const QString& programFolder);  // settei.txt
QString scratchFile(const QString& programFolder);   // data.html, the last fetched content
QString defaultDbPath(const QString& programFolder);

QString yearFolder(const QString& dbPath, const QString& year);
QString dailyFolder(const QString& dbPath, const QString& year, const QString& dayFolder);
// Month files wait here until split: the daily folder's name with "g" appended.
QString scratchFolder(const QString& dbPath, const QString& year, const QString& dayFolder);
QString dailyFile(const QString& dailyFolder, const QString& yyyymmdd);
QString monthFile(const QString& scratchFolder, const QString& yyyymm);

// Folder paths always end in a separator; adds one where it is missing.
QString withTrailingSeparator(const QString& folder);

// Whether a configured path is absolute, and so is used as it stands.
bool isAbsoluteUnixPath(const QString& path);     // "/..."
bool isAbsoluteWindowsPath(const QString& path);  // "C:\", "d:/", "\\server"
bool isAbsoluteNativePath(const QString& path);   // one of the two, for this platform

}  // namespace layout
}  // namespace kabuka
