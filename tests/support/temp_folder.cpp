#include "temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kabuka::test {

TempFolder::TempFolder() : m_dir(QDir::tempPath() + QStringLiteral("/kabuka-test-XXXXXX")) {
  // An invalid folder has an empty path, which QDir reads as the current folder:
  // a test must never write or remove there.
  if (!m_dir.isValid() || QDir::tempPath().isEmpty()) {
    qFatal("no temporary folder for the test: %s", qPrintable(m_dir.errorString()));
  }
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace kabuka::test
