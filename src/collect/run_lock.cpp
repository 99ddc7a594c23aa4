#include "run_lock.h"

#include <QCryptographicHash>
#include <QDir>

namespace kabuka {

RunLock::RunLock(const QString& programFolder) {
  if (tryLockAt(lockPathFor(programFolder))) {
    return;
  }
  if (m_lock->error() != QLockFile::LockFailedError) {
    // The program folder is read-only (an installed copy): lock in the temporary
    // folder instead, under a name that stands for this program folder.
    tryLockAt(fallbackLockPathFor(programFolder));
  }
}

bool RunLock::tryLockAt(const QString& path) {
  m_lock = std::make_unique<QLockFile>(path);
  // A year run takes minutes; only a dead owner makes the lock stale, never its age.
  m_lock->setStaleLockTime(0);
  m_acquired = m_lock->tryLock(0);
  return m_acquired;
}

QString RunLock::lockPathFor(const QString& programFolder) {
  return programFolder + QStringLiteral("/collect.lock");
}

QString RunLock::fallbackLockPathFor(const QString& programFolder) {
  const QByteArray key = QCryptographicHash::hash(QDir(programFolder).absolutePath().toUtf8(),
                                                  QCryptographicHash::Sha1)
                             .toHex()
                             .left(16);
  return QDir::tempPath() + QStringLiteral("/kabuka-collector-") + QString::fromLatin1(key) +
         QStringLiteral(".lock");
}

}  // namespace kabuka
