#pragma once

#include "cli/program.h"
#include "http_server/loopback_http_server.h"
#include "sample_server/sample_tree.h"
#include "support/temp_folder.h"

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>

#include <functional>

namespace kabuka::test {

// A program folder, a sample data server on 127.0.0.1 and kabuka-collect run
// in-process against them. A test can put its own answer in front of the sample
// tree for any request path.
class CliFixture {
public:
  using Override = std::function<std::optional<tools::HttpResponse>(const tools::HttpRequest&)>;

  explicit CliFixture(QDate today = {2016, 12, 7})
      : m_today(today),
        m_tree({2015, 2017, 5}, [this] { return m_today; }),
        m_server([this](const tools::HttpRequest& request) { return answer(request); }) {}

  QString baseUrl() const { return m_server.origin() + QLatin1String(tools::SampleTree::kRoot); }
  QString db() const { return program.path() + QStringLiteral("/kabuka/"); }
  const tools::SampleTree& tree() const { return m_tree; }
  tools::LoopbackHttpServer& server() { return m_server; }

  void setOverride(Override answer) {
    QMutexLocker lock(&m_mutex);
    m_override = std::move(answer);
  }

  // Runs kabuka-collect with `arguments` (after the program name) on "today".
  int run(const QStringList& arguments) {
    cli::ProgramEnvironment environment;
    environment.console.write = [this](QByteArrayView bytes) { output += bytes.toByteArray(); };
    environment.writeHelp = environment.console.write;
    environment.writeOutput = [this](QByteArrayView bytes) {
      report += bytes.toByteArray();
      return true;
    };
    environment.executableFolder = program.path();
    environment.builtInBaseUrl = baseUrl();
    environment.retryWait = [this](int delayMs) {
      waits.append(delayMs);
      return true;
    };
    environment.transferTimeoutMs = transferTimeoutMs;
    environment.catchStopSignals = false;
    const QStringList all = QStringList{QStringLiteral("kabuka-collect"), QStringLiteral("--today"),
                                        m_today.toString(Qt::ISODate)} +
                            arguments;
    return cli::runProgram(all, environment);
  }

  // Request paths below the tree's root, in the order they came.
  QStringList requested() const {
    QStringList paths;
    for (const QByteArray& path : m_server.requestedPaths()) {
      paths.append(QString::fromLatin1(path).remove(QLatin1String(tools::SampleTree::kRoot)));
    }
    return paths;
  }

  TempFolder program;
  int transferTimeoutMs = 5000;
  QByteArray output;  // what went to stderr
  QByteArray report;  // what went to stdout: a check's report, a series
  QList<int> waits;   // the back-off waits asked for

private:
  tools::HttpResponse answer(const tools::HttpRequest& request) {
    QMutexLocker lock(&m_mutex);
    if (m_override) {
      if (std::optional<tools::HttpResponse> response = m_override(request)) {
        return *response;
      }
    }
    return m_tree.respond(request);
  }

  QDate m_today;
  tools::SampleTree m_tree;
  QMutex m_mutex;
  Override m_override;
  tools::LoopbackHttpServer m_server;
};

// Every file under `folder`, by path relative to it, with its bytes.
inline QMap<QString, QByteArray> filesUnder(const QString& folder) {
  QMap<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files.insert(QDir(folder).relativeFilePath(path), readBytes(path));
  }
  return files;
}

}  // namespace kabuka::test
