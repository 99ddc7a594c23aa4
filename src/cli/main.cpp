// kabuka-collect: the collector without a window, for scripts and scheduled jobs.

#include "cli/program.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

void writeTo(FILE* stream, QByteArrayView bytes) {
  std::fwrite(bytes.data(), 1, size_t(bytes.size()), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kabuka-collect"));

  kabuka::cli::ProgramEnvironment environment;
  environment.console.write = [](QByteArrayView bytes) { writeTo(stderr, bytes); };
  environment.console.isTerminal = ::isatty(STDERR_FILENO) == 1;
  environment.writeHelp = [](QByteArrayView bytes) { writeTo(stdout, bytes); };
  environment.executableFolder = QCoreApplication::applicationDirPath();
  return kabuka::cli::runProgram(QCoreApplication::arguments(), environment);
}
