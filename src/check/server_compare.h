#pragma once

#include "check/database_check.h"

#include "check/stable_read.h"

#include <QTemporaryDir>

#include <memory>

namespace kabuka::check {

// Compares the database with the server's month files: each month file is fetched
// into a temporary folder outside the database and split there the way a
// collection would split it, and the day files it gives are set beside the
// database's.
class ServerComparison {
public:
  ServerComparison(const CheckOptions& options, CheckReport& report);
  // False (and the report says why it is incomplete) when no temporary folder
  // could be made for the server's files.
  bool ready() const;
  // False when the comparison cannot go on: a stop came, or the server could not
  // be reached for two months in a row. The report then says which.
  bool compareMonth(int year, int month);

private:
  bool readOurs(const QString& path);
  void compareDay(const QDate& date, const QString& serverDayFile);
  void reportDaysNotAnnounced(int year, int month, const QSet<QDate>& announced);
  void add(FindingKind kind, const QDate& date, const QString& path, const QString& detail,
           Finding::Scope scope = Finding::Scope::Day);

  const CheckOptions& m_options;
  CheckReport& m_report;
  QDate m_lastDue;
  std::unique_ptr<QTemporaryDir> m_scratch;  // null when none could be made
  int m_unreachableInARow = 0;
  StableFileReader m_reader;  // our day files, one at a time
};

}  // namespace kabuka::check
