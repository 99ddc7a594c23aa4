#pragma once

#include "common/pump.h"
#include "settings/settei_tbl.h"

#include <QDate>
#include <QList>
#include <QString>

namespace kabuka {

// Fills the settings table from settei.txt in the program folder. Every call starts
// from the defaults, so a key removed from the file falls back at the next read.
// Never fails: a missing or unreadable file leaves the defaults. Lets the window
// handle its events once per record and stops early once stop_flg is raised.
void settei_read_sub(SetteiTbl& settei_tbl, const QString& programFolder, Pump& pump);

void resetSetteiTbl(SetteiTbl& settei_tbl, const QString& programFolder);

// The database folder a configured value names: "./x" (or ".\x") lies in the
// program folder, a path that is absolute as written ("/x"; on Windows "C:\x" or
// "\\server") is taken as it is, anything else (".\x" after a blank, "\x")
// is placed under the program folder. The result ends with a separator.
QString resolveDbPath(const QString& programFolder, const QString& value);

// The extra days the exchange is closed, from every "休場日" record (yyyy/mm/dd).
// Values that are not dates are skipped.
QList<QDate> readClosedDays(const QString& programFolder);

// Texts of settei.txt: UTF-8 when the file is well-formed UTF-8 with non-ASCII
// bytes in it (as Linux editors save it), Shift-JIS otherwise. Only the bytes up to the EOF
// record count: notes after it may be in any encoding.
enum class SettingsEncoding { ShiftJis, Utf8 };
SettingsEncoding detectSettingsEncoding(QByteArrayView fileBytes);

}  // namespace kabuka
