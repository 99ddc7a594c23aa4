// kabuka-collect: the collector without a window, for scripts and scheduled jobs.

#include "cli/program.h"

#include <QCoreApplication>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

namespace {

// systemd names the journal stream it hands a service as "device:inode".
bool stderrIsJournal() {
  const QList<QByteArray> stream = qgetenv("JOURNAL_STREAM").split(':');
  struct stat status = {};
  return stream.size() == 2 && ::fstat(STDERR_FILENO, &status) == 0 &&
         stream[0] == QByteArray::number(quint64(status.st_dev)) &&
         stream[1] == QByteArray::number(quint64(status.st_ino));
}

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
  environment.console.dumbTerminal = qgetenv("TERM") == "dumb";
  environment.console.isJournal = stderrIsJournal();
  environment.writeHelp = [](QByteArrayView bytes) { writeTo(stdout, bytes); };
  environment.writeOutput = [](QByteArrayView bytes) {
    const size_t written = std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
    return written == size_t(bytes.size()) && std::fflush(stdout) == 0 && !std::ferror(stdout);
  };
  environment.executableFolder = QCoreApplication::applicationDirPath();
  return kabuka::cli::runProgram(QCoreApplication::arguments(), environment);
}
