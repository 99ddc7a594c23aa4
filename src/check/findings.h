#pragma once

#include "common/exit_status.h"

#include <QDate>
#include <QList>
#include <QString>

#include <map>

namespace kabuka::check {

// Everything the check can find. A finding is either an error (the database lacks
// or has broken data: the exit status says so) or a warning (worth a look, but
// the data that should be there is there).
enum class FindingKind {
  NoDatabase,          // the database folder does not exist
  MissingDay,          // a trading day without its day file
  UnexpectedDay,       // a day file for a day the exchange was closed
  BadFileName,         // a file in the daily folder not named <yyyymmdd>.csv of a real date
  WrongYearFolder,     // a day file of another year's folder
  Unreadable,          // the file could not be opened or read
  NotRegularFile,      // a pipe, socket or device named like a day file
  EmptyFile,           // zero bytes
  HeaderDateMismatch,  // field 1 of the first line is not the file's date
  BadRecordCount,      // field 2 of the first line is not the number of records
  BadFieldCount,       // a line without eight fields
  BadLineEnd,          // a line not ended by CR LF
  InvalidSjis,         // bytes that are not code page 932
  DuplicateCode,       // one stock code twice on one market in a day
  ShortDay,            // far fewer records than the days around it
  ChangedDuringCheck,  // the file changed while it was read (a collection is running)
  LeftoverMonthFile,   // a month file in the scratch folder: a split did not finish
  LeftoverTempFile,    // what an interrupted atomic write leaves
  EmptyScratchFolder,  // a scratch folder a run did not remove
  ServerHasDay,        // the server's month file holds a day the database lacks
  DiffersFromServer,   // a day file whose bytes are not what the server's month gives
  NotOnServer,         // a day file the server's month file does not hold
  ServerMonthMissing,  // the server did not give the month file
  FutureDay,           // a day file dated after today
  YearWithoutDays,     // a year of the range without a single day file
};

enum class Severity { Warning, Error };

// What a finding counts as in the per-year summary.
enum class Tally { None, Missing, Damaged, Short, Unexpected };

Severity severityOf(FindingKind kind);
Tally tallyOf(FindingKind kind);
// A short name for scripts ("missing-day", "bad-line-end", ...).
QString kindCode(FindingKind kind);
// What is wrong, in the user interface's language.
QString kindText(FindingKind kind);

struct Finding {
  FindingKind kind = FindingKind::MissingDay;
  // The day the finding concerns; for a month file the month's first day, for a
  // folder the first day of its year. Findings are sorted by it.
  QDate date;
  // The file or folder, relative to the database folder; empty for a missing day.
  QString path;
  // Particulars: the line, the counts, the stock code, the server's answer.
  QString detail;
  // How far the finding reaches: one day, a whole month (a month file) or a
  // whole year folder (a file that belongs to no day).
  enum class Scope { Day, Month, Year };
  Scope scope = Scope::Day;
  // The file lies on a day the exchange was closed: collecting the month again
  // would not replace it, so only its removal mends it.
  bool onClosedDay = false;

  Severity severity() const { return severityOf(kind); }
};

// The day, month or year a finding concerns, as text: "2016-03-02", "2016-03", "2016".
QString whenOf(const Finding& finding);

// What to do about a finding, as one sentence.
QString adviceFor(const Finding& finding);

// How one calendar day stands, as the calendar picture shows it.
enum class DayState : unsigned char {
  NotChecked,  // outside the checked range, or not yet due
  Closed,      // weekend or holiday, and no file
  Stored,      // a trading day with a sound day file
  Missing,
  Damaged,
  Short,
  Unexpected,  // a file on a closed day
  Changed,     // changed while it was read
};

struct DayEntry {
  DayState state = DayState::NotChecked;
  bool dueTradingDay = false;  // a trading day of the range whose file should be there
  bool hasFile = false;
  int records = -1;      // records in the day file; -1 without a readable file
  QString closedReason;  // why the exchange was closed, for the picture's tooltip
};

struct YearSummary {
  int year = 0;
  int tradingDays = 0;  // in the checked range, up to the last day that is due
  int filesPresent = 0;
  int missing = 0;
  int damaged = 0;
  int shortDays = 0;
  int unexpected = 0;
};

// What a month repair did, for --fix.
struct MonthRepair {
  int year = 0;
  int month = 0;
  bool collected = false;
  QString message;  // why the collection failed; empty when it worked
};

struct CheckReport {
  QString dbPath;
  QDate today;
  QList<YearSummary> years;
  QList<Finding> findings;         // sorted by date, then path
  std::map<QDate, DayEntry> days;  // every day of the checked years
  QList<MonthRepair> repairs;      // with --fix only
  // A check that ended early: stopped by a signal, or not able to do all it was
  // asked (a temporary folder it could not make, a server it could not reach).
  // What was checked up to then is reported as found.
  bool stopped = false;
  QString incomplete;  // why the check could not be completed; empty when it was

  bool hasErrors() const;
  // A stop first, then a check that could not be completed; otherwise whether
  // anything is missing or damaged (warnings alone are Done).
  ExitStatus exitStatus() const;
};

// Orders the findings and fills the per-year summary from the days and findings.
void finishReport(CheckReport& report);

}  // namespace kabuka::check
