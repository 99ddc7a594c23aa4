#include "stop_signals.h"

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace kabuka {

namespace {
// [0] is written by the signal handler, [1] is watched by the event loop.
int g_wakeFds[2] = {-1, -1};
}  // namespace

StopSignals::StopSignals(std::initializer_list<int> signalNumbers, std::function<void()> onSignal)
    : m_signals(signalNumbers), m_onSignal(std::move(onSignal)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_wakeFds) != 0) {
    return;
  }
  m_notifier = std::make_unique<QSocketNotifier>(g_wakeFds[1], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::onWoken);

  struct sigaction action = {};
  action.sa_handler = &StopSignals::handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  m_installed = true;
  for (int signalNumber : m_signals) {
    m_installed = ::sigaction(signalNumber, &action, nullptr) == 0 && m_installed;
  }
}

StopSignals::~StopSignals() {
  for (int signalNumber : m_signals) {
    std::signal(signalNumber, SIG_DFL);
  }
  m_notifier.reset();
  for (int& fd : g_wakeFds) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
}

void StopSignals::handle(int) {
  // Only async-signal-safe calls here.
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_wakeFds[0], &byte, 1);
}

void StopSignals::onWoken() {
  // One call per signal, so a second signal is seen as such.
  char byte = 0;
  while (::read(g_wakeFds[1], &byte, 1) == 1) {
    m_onSignal();
  }
}

}  // namespace kabuka
