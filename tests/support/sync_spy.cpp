#include "sync_spy.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>

#include <dlfcn.h>
#include <unistd.h>

namespace kabuka::test::sync_spy {

namespace {

QMutex& hookMutex() {
  static QMutex mutex;
  return mutex;
}

Hook& currentHook() {
  static Hook hook;
  return hook;
}

QString pathOf(int fd) {
  char link[PATH_MAX];
  const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
  const ssize_t size = ::readlink(proc.constData(), link, sizeof link - 1);
  return size > 0 ? QFile::decodeName(QByteArray(link, qsizetype(size))) : QString();
}

// The errno to fail a sync of `fd` with; 0 lets it through.
int verdictFor(int fd) {
  Hook hook;
  {
    QMutexLocker lock(&hookMutex());
    hook = currentHook();
  }
  return hook ? hook(pathOf(fd)) : 0;
}

template <typename Function>
Function systemFunction(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

void setHook(Hook hook) {
  QMutexLocker lock(&hookMutex());
  currentHook() = std::move(hook);
}

}  // namespace kabuka::test::sync_spy

// Defined in the test program, these take the place of the C library's for the
// program and the libraries it loads.
extern "C" int fsync(int fd) {
  using kabuka::test::sync_spy::verdictFor;
  if (const int error = verdictFor(fd); error != 0) {
    errno = error;
    return -1;
  }
  static const auto system = kabuka::test::sync_spy::systemFunction<int (*)(int)>("fsync");
  return system(fd);
}

extern "C" int syncfs(int fd) {
  using kabuka::test::sync_spy::verdictFor;
  if (const int error = verdictFor(fd); error != 0) {
    errno = error;
    return -1;
  }
  static const auto system = kabuka::test::sync_spy::systemFunction<int (*)(int)>("syncfs");
  return system(fd);
}
