#pragma once

#include "cli/console_window.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace kabuka::cli {

// What kabuka-collect takes from its surroundings; main() fills it from the real
// process, tests put in their own.
struct ProgramEnvironment {
  ConsoleSink console;                            // stderr: status lines
  std::function<void(QByteArrayView)> writeHelp;  // stdout: help and --version
  // stdout: what a command outputs (a report, a series); false when not all of it
  // could be written.
  std::function<bool(QByteArrayView)> writeOutput;
  QString executableFolder;  // the program folder by default
  QString builtInBaseUrl = QStringLiteral(KABUKA_DEFAULT_BASE_URL);
  std::function<bool(int delayMs)> retryWait;  // empty: a real wait
  int transferTimeoutMs = 60'000;
  bool catchStopSignals = true;  // SIGINT and SIGTERM act as "収集停止"
  std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
};

// The whole program: parses `arguments` (the program's name first), runs the
// command and returns the exit status.
int runProgram(const QStringList& arguments, const ProgramEnvironment& environment);

}  // namespace kabuka::cli
