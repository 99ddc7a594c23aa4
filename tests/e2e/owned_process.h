#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kabuka::e2e {

// Generous: sanitizer builds start and run slowly, and a wait only ends early when
// something has gone wrong.
inline constexpr int kProcessWaitMs = 30'000;

// Ends a process the test started and reaps it, politely first, so that no child
// outlives the test whatever path it took.
void endProcess(QProcess& process);

// Has the system end the child when the test process dies without cleaning up
// (killed by a ctest timeout or a signal).
void endWithTheTest(QProcess& process);

struct ToolResult {
  bool ok = false;    // started, finished in time and exited with 0
  QString output;     // standard output
  QString complaint;  // why it was not ok, with its standard error
};

// Runs a short-lived tool to its end.
ToolResult runTool(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    int timeoutMs = kProcessWaitMs);

// A child process that is ended, whatever happened, when its owner goes.
struct OwnedProcess {
  QProcess process;
  OwnedProcess() { endWithTheTest(process); }
  OwnedProcess(const OwnedProcess&) = delete;
  OwnedProcess& operator=(const OwnedProcess&) = delete;
  ~OwnedProcess() { endProcess(process); }
};

}  // namespace kabuka::e2e
