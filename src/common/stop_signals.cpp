#include "stop_signals.h"

#include <atomic>
#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace kabuka {

namespace {
// [0] is written by the signal handler, [1] is watched by the event loop.
int g_wakeFds[2] = {-1, -1};
std::atomic<int> g_caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written in a signal handler");
}  // namespace

StopSignals::StopSignals(std::initializer_list<int> signalNumbers, std::function<void()> onSignal)
    : m_signals(signalNumbers), m_onSignal(std::move(onSignal)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_wakeFds) != 0) {
    return;
  }
  g_caught = 0;
  m_notifier = std::make_unique<QSocketNotifier>(g_wakeFds[1], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::onWoken);
  m_installed = true;
  for (int signalNumber : m_signals) {
    m_installed = install(signalNumber) && m_installed;
  }
}

bool StopSignals::install(int signalNumber) {
  struct sigaction previous = {};
  if (::sigaction(signalNumber, nullptr, &previous) != 0) {
    return false;
  }
  if (signalNumber == SIGINT && previous.sa_handler == SIG_IGN) {
    return true;  // not ours to catch: see the class comment
  }
  struct sigaction action = {};
  action.sa_handler = &StopSignals::handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (::sigaction(signalNumber, &action, nullptr) != 0) {
    return false;
  }
  m_previous.push_back({signalNumber, previous});
  return true;
}

StopSignals::~StopSignals() {
  for (const Previous& previous : m_previous) {
    ::sigaction(previous.signalNumber, &previous.action, nullptr);
  }
  m_notifier.reset();
  for (int& fd : g_wakeFds) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
}

int StopSignals::caught() {
  return g_caught.load(std::memory_order_relaxed);
}

void StopSignals::handle(int) {
  // Only async-signal-safe calls here, and errno as the interrupted code left it.
  const int savedErrno = errno;
  g_caught.fetch_add(1, std::memory_order_relaxed);
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_wakeFds[0], &byte, 1);
  errno = savedErrno;
}

void StopSignals::onWoken() {
  // One call per signal, so a second signal is seen as such.
  char byte = 0;
  while (::read(g_wakeFds[1], &byte, 1) == 1) {
    m_onSignal();
  }
}

}  // namespace kabuka
