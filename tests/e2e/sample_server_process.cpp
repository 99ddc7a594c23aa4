#include "sample_server_process.h"

#include <QDeadlineTimer>
#include <QFile>

namespace kabuka::e2e {

SampleServerProcess::SampleServerProcess(const QString& program, const QStringList& arguments,
                                         const QString& logPath)
    : m_logPath(logPath) {
  m_server.process.setStandardErrorFile(logPath);
  m_server.process.start(program, arguments);
  // "port <n>" then "base <url>" once it listens.
  if (readLine("port ").isEmpty()) {
    return;
  }
  m_base = readLine("base ");
}

QString SampleServerProcess::readLine(const char* prefix) {
  const QDeadlineTimer deadline(kProcessWaitMs);
  QProcess& server = m_server.process;
  while (!server.canReadLine()) {
    if (deadline.hasExpired() || !server.waitForReadyRead(int(deadline.remainingTime()))) {
      m_error = QStringLiteral("the sample server wrote no \"%1\" line: %2\n%3")
                    .arg(QLatin1String(prefix), server.errorString(), log());
      return {};
    }
  }
  const QString line = QString::fromUtf8(server.readLine()).trimmed();
  if (!line.startsWith(QLatin1String(prefix))) {
    m_error = QStringLiteral("unexpected line from the sample server: ") + line;
    return {};
  }
  return line.sliced(qsizetype(qstrlen(prefix)));
}

QString SampleServerProcess::log() const {
  QFile file(m_logPath);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Each answered request is one line: "GET <path> -> <status>, <n> bytes".
QStringList SampleServerProcess::requests() const {
  QStringList paths;
  const QStringList lines = log().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (const QString& line : lines) {
    if (line.startsWith(QLatin1String("GET ")) && line.contains(QLatin1String(" -> "))) {
      paths.append(line.section(QLatin1Char(' '), 1, 1));
    }
  }
  return paths;
}

}  // namespace kabuka::e2e
