#pragma once

#include <QDate>
#include <QRandomGenerator>
#include <QRegularExpression>
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

// The names of the tree. Years are four digits, months and days two, with a
// leading "0" below 10.
QString twoDigits(int number);
QString yearDigits(int year);                         // "2016"
QString monthDigits(int year, int month);             // "201603"
QString dayDigits(const QDate& day);                  // "20160315"
QDate dayOfDigits(QStringView yyyymmdd);              // invalid unless a real date
QString scratchFolderName(const QString& dayFolder);  // the daily folder's name + "g"
QString dayFileName(const QString& yyyymmdd);         // "20160315.csv"
QString monthFileName(const QString& yyyymm);         // "201603.csv"

// Paths as a person reads them in a report: relative to the database folder,
// "/" between the parts.
QString relativeDailyFolder(const QString& dayFolder, int year);    // "2016/data_d"
QString relativeScratchFolder(const QString& dayFolder, int year);  // "2016/data_dg"
QString relativeDayFile(const QString& dayFolder, const QDate& day);
QString relativeMonthFile(const QString& dayFolder, int year, int month);

// The data server's files under its base URL (ending in "/"): the day files of a
// year in its "data_d" folder, its month files in "data_dg", whatever the local
// daily folder is called.
QString dayFileUrl(const QString& baseUrl, const QString& yyyy, const QString& yyyymmdd);
QString monthFileUrl(const QString& baseUrl, const QString& yyyy, const QString& yyyymm);

// What the tree's names look like. Captured(1) is the date's digits. An atomic
// write leaves its temporary file beside the final one as "<name>.XXXXXX", six
// letters or digits; an interrupted one leaves it there.
inline constexpr int kTemporarySuffixLetters = 6;
const QRegularExpression& yearFolderPattern();    // "2016"
const QRegularExpression& dayFilePattern();       // "20160315.csv"
const QRegularExpression& dayTemporaryPattern();  // "20160315.csv.aB3dE9"
const QRegularExpression& monthFilePattern();     // "201603.csv"
const QRegularExpression& monthTemporaryPattern();
// The name of a new temporary file beside `finalPath`, with random letters.
QString temporaryNameFor(const QString& finalPath,
                         QRandomGenerator& random = *QRandomGenerator::global());

// Folder paths always end in a separator; adds one where it is missing.
QString withTrailingSeparator(const QString& folder);

// Whether a configured path is absolute, and so is used as it stands.
bool isAbsoluteUnixPath(const QString& path);     // "/..."
bool isAbsoluteWindowsPath(const QString& path);  // "C:\", "d:/", "\\server"
bool isAbsoluteNativePath(const QString& path);   // one of the two, for this platform

}  // namespace layout
}  // namespace kabuka
