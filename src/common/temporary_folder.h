#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace kabuka {

// A new folder of its own under the system's temporary folder, or null when none
// could be made. With TMPDIR naming a folder that does not exist,
// QDir::tempPath() is empty and QTemporaryDir would make its folder at the root of
// the file system; an invalid QTemporaryDir has an empty path, which QDir reads as
// the current folder. Neither is ever handed out.
inline std::unique_ptr<QTemporaryDir> newTemporaryFolder(const QString& prefix) {
  const QString base = QDir::tempPath();
  if (base.isEmpty()) {
    return nullptr;
  }
  auto folder =
      std::make_unique<QTemporaryDir>(base + QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX"));
  return folder->isValid() ? std::move(folder) : nullptr;
}

}  // namespace kabuka
