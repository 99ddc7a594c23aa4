#include "staged_files.h"

#include "settings/folder_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace kabuka {

namespace {

bool writeWhole(QFile& file, std::string_view content) {
  // A write cut short by a full disk is not always an error to QFile, and the
  // last buffered bytes reach the disk only in flush(): both are checked.
  return file.write(content.data(), qint64(content.size())) == qint64(content.size()) &&
         file.flush();
}

// QFile::remove() removes nothing once a close has failed (as it does after a
// write to a full disk), so files are unlinked by name.
void unlinkFile(const QString& path) {
  ::unlink(QFile::encodeName(path).constData());
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

// True when the regular file at `path` holds exactly `content`. A file that is
// not regular (a pipe) is never opened: it would block.
bool holdsAlready(const QString& path, std::string_view content) {
  const QFileInfo info(path);
  if (!info.isFile() || info.size() != qint64(content.size())) {
    return false;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  const QByteArray bytes = file.readAll();
  return bytes.size() == qsizetype(content.size()) &&
         std::string_view(bytes.constData(), size_t(bytes.size())) == content;
}

}  // namespace

StagedFiles::~StagedFiles() {
  discard();
}

StagedFiles::Added StagedFiles::add(const QString& finalPath, std::string_view content) {
  if (m_keepUnchanged && holdsAlready(finalPath, content)) {
    return Added::Unchanged;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Named as an interrupted atomic write leaves its file, so that the database
    // check and the next run know a staged file for a left-over.
    QFile file(layout::temporaryNameFor(finalPath, m_random));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (file.exists()) {
        continue;  // the unlikely clash of two random names
      }
      return Added::Failed;
    }
    if (!writeWhole(file, content)) {
      const QString name = file.fileName();
      file.close();
      unlinkFile(name);
      return Added::Failed;
    }
    file.close();
    m_staged.push_back({file.fileName(), finalPath});
    return Added::Staged;
  }
  return Added::Failed;
}

void StagedFiles::discardLast() {
  if (!m_staged.empty()) {
    unlinkFile(m_staged.back().temporaryPath);
    m_staged.pop_back();
  }
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
      unlinkFile(staged.temporaryPath);
      committed.all = false;
    }
  }
  committed.all = syncFolder(QFileInfo(m_staged.front().finalPath).absolutePath()) && committed.all;
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
    unlinkFile(staged.temporaryPath);
  }
  m_staged.clear();
}

bool syncFolder(const QString& folder) {
  return syncPath(folder, O_RDONLY | O_DIRECTORY);
}

void removeLeftoverTemporaries(const QString& folder, const QString& finalNames) {
  static const QRegularExpression kSuffix(
      QStringLiteral("\\.[A-Za-z0-9]{%1}$").arg(layout::kTemporarySuffixLetters));
  QDir dir(folder);
  const QString pattern =
      finalNames + QLatin1Char('.') + QString(layout::kTemporarySuffixLetters, QLatin1Char('?'));
  for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
    if (kSuffix.match(name).hasMatch()) {
      unlinkFile(dir.filePath(name));
    }
  }
}

}  // namespace kabuka
