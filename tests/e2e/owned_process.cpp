#include "owned_process.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

namespace kabuka::e2e {

namespace {

constexpr int kGraceMs = 5'000;

QString describe(const QString& program, const QStringList& arguments) {
  return (QStringList{program} + arguments).join(QLatin1Char(' '));
}

}  // namespace

void endProcess(QProcess& process) {
  if (process.state() == QProcess::NotRunning) {
    return;
  }
  process.terminate();
  if (!process.waitForFinished(kGraceMs)) {
    process.kill();
    process.waitForFinished(kGraceMs);
  }
}

void endWithTheTest(QProcess& process) {
  const pid_t test = ::getpid();
  process.setChildProcessModifier([test] {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The test may have died before the request above was made.
    if (::getppid() != test) {
      ::_exit(1);
    }
  });
}

ToolResult runTool(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment, int timeoutMs) {
  QProcess process;
  endWithTheTest(process);
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  ToolResult result;
  if (!process.waitForFinished(timeoutMs)) {
    result.complaint = QStringLiteral("%1 did not finish: %2")
                           .arg(describe(program, arguments), process.errorString());
    endProcess(process);
    return result;
  }
  result.output = QString::fromUtf8(process.readAllStandardOutput());
  result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  if (!result.ok) {
    result.complaint = QStringLiteral("%1 failed with exit code %2: %3")
                           .arg(describe(program, arguments))
                           .arg(process.exitCode())
                           .arg(QString::fromUtf8(process.readAllStandardError()));
  }
  return result;
}

}  // namespace kabuka::e2e
