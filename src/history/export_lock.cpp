#include "export_lock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kabuka::history {

ExportLock::~ExportLock() {
  if (m_fd >= 0) {
    ::close(m_fd);  // releases the lock
  }
}

ExportLock::Outcome ExportLock::take(const QString& sqlitePath, int timeoutMs) {
  const QByteArray path = QFile::encodeName(sqlitePath + QStringLiteral("-lock"));
  m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    m_problem = QString::fromLocal8Bit(std::strerror(errno));
    return Outcome::Failed;
  }
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
      return Outcome::Taken;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      m_problem = QString::fromLocal8Bit(std::strerror(errno));
      return Outcome::Failed;
    }
    if (waited.elapsed() >= timeoutMs) {
      return Outcome::Busy;
    }
    QThread::msleep(20);
  }
}

}  // namespace kabuka::history
