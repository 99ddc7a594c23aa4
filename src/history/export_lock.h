#pragma once

#include <QString>

namespace kabuka::history {

// Keeps a second export of the same database file out for as long as the first
// runs: an advisory lock on a file beside it ("kabuka.sqlite-lock"), released by
// the system when the process ends, however it ends.
class ExportLock {
public:
  ExportLock() = default;
  ~ExportLock();
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;

  enum class Outcome { Taken, Busy, Failed };
  // Waits up to `timeoutMs` for another holder to let go.
  Outcome take(const QString& sqlitePath, int timeoutMs);
  const QString& problem() const { return m_problem; }

private:
  int m_fd = -1;
  QString m_problem;
};

}  // namespace kabuka::history
