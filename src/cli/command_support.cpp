#include "command_support.h"

#include "cli/console_window.h"
#include "common/stop_signals.h"

#include <QSaveFile>

namespace kabuka::cli {

std::function<bool()> stopRequestOf(ConsoleWindow& console) {
  return [&console] { return console.stopRequested() || StopSignals::caught() > 0; };
}

bool writePage(const QString& path, const QString& page) {
  QSaveFile file(path);
  const QByteArray bytes = page.toUtf8();
  // commit() alone would not see a final flush that failed on a full disk.
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
         file.commit();
}

}  // namespace kabuka::cli
