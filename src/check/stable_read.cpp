#include "stable_read.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kabuka::check {

namespace {

// What identifies one version of a file: a replaced file has another inode, a
// written one another size or modification time.
struct Stamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool regular = false;
};

Stamp stampOf(const struct stat& info) {
  return Stamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, S_ISREG(info.st_mode)};
}

bool operator==(const Stamp& a, const Stamp& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
}

bool stampPath(const QByteArray& path, Stamp& stamp) {
  struct stat info;
  if (::stat(path.constData(), &info) != 0) {
    return false;
  }
  stamp = stampOf(info);
  return true;
}

bool stampOpen(int fd, Stamp& stamp) {
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    return false;
  }
  stamp = stampOf(info);
  return true;
}

class Descriptor {
public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return m_fd; }

private:
  int m_fd;
};

QString systemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

bool isSymbolicLink(const QByteArray& path) {
  struct stat info;
  return ::lstat(path.constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace

StableFileReader::Outcome StableFileReader::read(
    const QString& path, const std::function<void(const QString&)>& beforeRead) {
  m_size = 0;
  m_problem.clear();
  const QByteArray nativePath = QFile::encodeName(path);
  Stamp listed;
  if (!stampPath(nativePath, listed)) {
    if (errno != ENOENT) {
      m_problem = systemError();
      return Outcome::Failed;
    }
    return isSymbolicLink(nativePath) ? Outcome::Dangling : Outcome::Changed;
  }
  if (!listed.regular) {
    return Outcome::NotRegular;
  }
  if (beforeRead) {
    beforeRead(path);
  }
  // Without O_NONBLOCK, a pipe put in the file's place after the stat would block
  // the open until a writer came.
  const Descriptor fd(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  Stamp opened;
  if (fd.get() < 0) {
    return errno == ENOENT ? Outcome::Changed : (m_problem = systemError(), Outcome::Failed);
  }
  if (!stampOpen(fd.get(), opened) || !(opened == listed)) {
    return Outcome::Changed;
  }
  // One byte more than announced shows a file that grows while it is read.
  const size_t wanted = size_t(listed.size) + 1;
  if (m_buffer.size() < wanted) {
    m_buffer.resize(wanted);
  }
  while (m_size < wanted) {
    const ssize_t got = ::read(fd.get(), m_buffer.data() + m_size, wanted - m_size);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      m_problem = systemError();
      return Outcome::Failed;
    }
    if (got == 0) {
      break;
    }
    m_size += size_t(got);
  }
  Stamp afterRead;
  Stamp named;
  if (m_size != size_t(listed.size) || !stampOpen(fd.get(), afterRead) || !(afterRead == listed) ||
      !stampPath(nativePath, named) || !(named == listed)) {
    return Outcome::Changed;
  }
  return Outcome::Read;
}

}  // namespace kabuka::check
