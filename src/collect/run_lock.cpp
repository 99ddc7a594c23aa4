#include "run_lock.h"

#include <QDir>

namespace kabuka {

RunLock::RunLock(const QString& dbPath) : m_lock(std::make_unique<QLockFile>(lockPathFor(dbPath))) {
  // A year run takes minutes; only a dead owner makes the lock stale, never its age.
  m_lock->setStaleLockTime(0);
  if (m_lock->tryLock(0)) {
    m_state = State::Acquired;
  } else if (m_lock->error() == QLockFile::LockFailedError) {
    m_state = State::HeldByOther;
  } else {
    m_state = State::Unavailable;
  }
}

QString RunLock::lockPathFor(const QString& dbPath) {
  return QDir(dbPath).filePath(QStringLiteral(".collect.lock"));
}

}  // namespace kabuka
