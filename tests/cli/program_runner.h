#pragma once

#include "cli/program.h"
#include "support/temp_folder.h"

#include <QByteArray>
#include <QStringList>

#include <ctime>

namespace kabuka::cli {

// Sets the machine's time zone for one test.
class MachineZone {
public:
  explicit MachineZone(const char* zone)
      : m_old(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ")) {
    qputenv("TZ", zone);
    tzset();
  }
  ~MachineZone() {
    m_had ? qputenv("TZ", m_old) : qunsetenv("TZ");
    tzset();
  }

private:
  QByteArray m_old;
  bool m_had;
};

// kabuka-collect in-process in a program folder of its own, with no server
// behind it: nothing run with it may fetch.
struct Program {
  test::TempFolder folder;
  QByteArray console;
  QByteArray help;
  QByteArray output;

  QString db() const { return folder.path() + QStringLiteral("/kabuka/"); }

  int run(const QStringList& words) {
    console.clear();
    help.clear();
    output.clear();
    ProgramEnvironment environment;
    environment.console.write = [this](QByteArrayView b) { console += b.toByteArray(); };
    environment.writeHelp = [this](QByteArrayView b) { help += b.toByteArray(); };
    environment.writeOutput = [this](QByteArrayView b) {
      output += b.toByteArray();
      return true;
    };
    environment.executableFolder = folder.path();
    environment.builtInBaseUrl = QStringLiteral("http://127.0.0.1:9/kabu/kabu2/kabuka_db/");
    environment.catchStopSignals = false;
    environment.transferTimeoutMs = 1000;
    environment.retryWait = [](int) { return true; };
    return runProgram(QStringList{QStringLiteral("kabuka-collect")} + words, environment);
  }
};

}  // namespace kabuka::cli
