#include "run_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kabuka {

namespace {

// QLockFile creates the file and writes who holds it in one go, so a file that
// names nobody for longer than this was left by a writer that died in between.
constexpr qint64 kWriterSettleMs = 1000;

// The fourth line QLockFile writes: the machine's unique id, when it has one.
QByteArray machineIdLine(const QString& lockPath) {
  QFile file(lockPath);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    return {};
  }
  QByteArray line;
  for (int i = 0; i < 4 && !file.atEnd(); ++i) {
    line = file.readLine();
  }
  return line.trimmed();
}

// The same rule QLockFile uses to decide that a lock is not from this machine:
// by the machine id when both sides know one, otherwise by the host name.
bool writtenOnThisMachine(const QString& lockPath, const QString& host) {
  const QByteArray theirId = machineIdLine(lockPath);
  const QByteArray ourId = QSysInfo::machineUniqueId();
  if (!theirId.isEmpty() && !ourId.isEmpty()) {
    return theirId == ourId;
  }
  return host.isEmpty() || host == QSysInfo::machineHostName();
}

// A live QLockFile holder keeps a lock on its file; a file that can be locked has
// no holder left.
bool removeUnlessHeld(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  const bool removed = ::unlink(name.constData()) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return removed;
}

// A name read from a file as a message may show it: a control character of a
// garbled lock file must not reach a terminal.
QString printable(QString text) {
  for (QChar& c : text) {
    if (c.category() == QChar::Other_Control) {
      c = QLatin1Char('?');
    }
  }
  return text;
}

}  // namespace

RunLock::RunLock(const QString& dbPath)
    : m_dbPath(dbPath), m_lock(std::make_unique<QLockFile>(lockPathFor(dbPath))) {
  // A year run takes minutes; only a dead owner makes the lock stale, never its age.
  m_lock->setStaleLockTime(0);
  if (take()) {
    return;
  }
  if (m_state == State::HeldByOther && breakNamelessLock() && take()) {
    return;
  }
  judgeRefusal();
}

bool RunLock::take() {
  if (m_lock->tryLock(0)) {
    m_state = State::Acquired;
    return true;
  }
  m_state = m_lock->error() == QLockFile::LockFailedError ? State::HeldByOther : State::Unavailable;
  return false;
}

// QLockFile has already broken the lock of a dead process of this machine; what
// is left is a live run here or a run on another machine.
void RunLock::judgeRefusal() {
  if (m_state != State::HeldByOther) {
    return;
  }
  QString application;
  if (!m_lock->getLockInfo(&m_holder.pid, &m_holder.host, &application)) {
    return;
  }
  m_holder.since = QFileInfo(m_lock->fileName()).lastModified();
  if (!writtenOnThisMachine(m_lock->fileName(), m_holder.host)) {
    m_state = State::HeldOnOtherHost;
  }
}

// QLockFile never breaks a lock file it cannot read, so an empty or garbled one
// would keep every run out for ever. It is removed once its writer has had time to
// fill it, by one process at a time (QLockFile's own ".rmlock" guard).
bool RunLock::breakNamelessLock() {
  const QString path = m_lock->fileName();
  if (m_lock->getLockInfo(nullptr, nullptr, nullptr)) {
    return false;
  }
  QLockFile removal(path + QStringLiteral(".rmlock"));
  if (!removal.tryLock(0)) {
    return false;
  }
  const qint64 age = QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime());
  if (age >= 0 && age < kWriterSettleMs) {
    QThread::msleep(static_cast<unsigned long>(kWriterSettleMs - age));
  }
  if (!QFileInfo::exists(path)) {
    return true;  // its holder finished meanwhile
  }
  return !m_lock->getLockInfo(nullptr, nullptr, nullptr) && removeUnlessHeld(path);
}

QString RunLock::failureText() const {
  switch (m_state) {
    case State::Acquired:
      return {};
    case State::HeldByOther:
      return kOtherRunMessage;
    case State::HeldOnOtherHost:
      return QStringLiteral(
                 "データベースは別のコンピュータ「%1」の収集処理（プロセス %2、%3 から）が"
                 "ロックしています。そのコンピュータで収集処理が動いていなければ、"
                 "ロックファイル「%4」を削除してください。")
          .arg(printable(m_holder.host))
          .arg(m_holder.pid)
          .arg(m_holder.since.toString(QStringLiteral("yyyy/MM/dd HH:mm")),
               QDir::toNativeSeparators(m_lock->fileName()));
    case State::Unavailable:
      break;
  }
  return QStringLiteral("データベースフォルダ「%1」に書き込めません。")
      .arg(QDir::toNativeSeparators(m_dbPath));
}

QString RunLock::lockPathFor(const QString& dbPath) {
  return QDir(dbPath).filePath(QStringLiteral(".collect.lock"));
}

}  // namespace kabuka
