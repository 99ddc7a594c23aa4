#pragma once

#include "check/database_check.h"

#include <QTemporaryDir>

namespace kabuka::check {

// Compares the database with the server's month files: each month file is fetched
// into a temporary folder outside the database and split there the way a
// collection would split it, and the day files it gives are set beside the
// database's.
class ServerComparison {
public:
  ServerComparison(const CheckOptions& options, CheckReport& report);
  void compareMonth(int year, int month);

private:
  void compareDay(const QDate& date, const QString& serverDayFile);
  void reportDaysNotAnnounced(int year, int month, const QSet<QDate>& announced);
  void add(FindingKind kind, const QDate& date, const QString& path, const QString& detail,
           Finding::Scope scope = Finding::Scope::Day);

  const CheckOptions& m_options;
  CheckReport& m_report;
  QDate m_lastDue;
  QTemporaryDir m_scratch;
};

}  // namespace kabuka::check
