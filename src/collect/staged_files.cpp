#include "staged_files.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace kabuka {

namespace {

// Beside the final file, under the name an interrupted atomic write leaves
// ("<name>.XXXXXX"), so the database check knows it for a left-over.
QString temporaryNameFor(const QString& finalPath) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  QString name = finalPath + QLatin1Char('.');
  for (int i = 0; i < 6; ++i) {
    name += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)]);
  }
  return name;
}

bool writeWhole(QFile& file, std::string_view content) {
  // A write cut short by a full disk is not always an error to QFile, and the
  // last buffered bytes reach the disk only in flush(): both are checked.
  return file.write(content.data(), qint64(content.size())) == qint64(content.size()) &&
         file.flush();
}

bool syncPath(const QString& path, int flags) {
  const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

StagedFiles::~StagedFiles() {
  discard();
}

bool StagedFiles::add(const QString& finalPath, std::string_view content) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    QFile file(temporaryNameFor(finalPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (file.exists()) {
        continue;  // the unlikely clash of two random names
      }
      return false;
    }
    if (!writeWhole(file, content)) {
      file.remove();
      return false;
    }
    file.close();
    m_staged.push_back({file.fileName(), finalPath});
    return true;
  }
  return false;
}

StagedFiles::Committed StagedFiles::commit() {
  Committed committed;
  if (m_staged.empty()) {
    return committed;
  }
  if (!syncAll()) {
    committed.all = false;
    discard();
    return committed;
  }
  for (const Staged& staged : m_staged) {
    // rename() replaces the old file in one step; QFile::rename would not.
    if (std::rename(QFile::encodeName(staged.temporaryPath).constData(),
                    QFile::encodeName(staged.finalPath).constData()) == 0) {
      ++committed.files;
    } else {
      QFile::remove(staged.temporaryPath);
      committed.all = false;
    }
  }
  // The renames themselves are made durable by a sync of their folder.
  const QString folder = QFileInfo(m_staged.front().finalPath).absolutePath();
  committed.all = syncPath(folder, O_RDONLY | O_DIRECTORY) && committed.all;
  m_staged.clear();
  return committed;
}

bool StagedFiles::syncAll() {
#ifdef __linux__
  // One sync of the file system holding the files writes them all out at once.
  const int fd =
      ::open(QFile::encodeName(m_staged.front().temporaryPath).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool synced = ::syncfs(fd) == 0;
  ::close(fd);
  return synced;
#else
  for (const Staged& staged : m_staged) {
    if (!syncPath(staged.temporaryPath, O_RDONLY)) {
      return false;
    }
  }
  return true;
#endif
}

void StagedFiles::discard() {
  for (const Staged& staged : m_staged) {
    QFile::remove(staged.temporaryPath);
  }
  m_staged.clear();
}

}  // namespace kabuka
