#include "quit_on_signals.h"

#include <QCoreApplication>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace kabuka::tools {

namespace {
// [0] is written by the signal handler, [1] is watched by the event loop.
int g_wakeFds[2] = {-1, -1};
}  // namespace

QuitOnSignals::QuitOnSignals(std::initializer_list<int> signalNumbers) : m_signals(signalNumbers) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_wakeFds) != 0) {
    return;
  }
  m_notifier = std::make_unique<QSocketNotifier>(g_wakeFds[1], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &QuitOnSignals::onWoken);

  struct sigaction action = {};
  action.sa_handler = &QuitOnSignals::onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  m_installed = true;
  for (int signalNumber : m_signals) {
    m_installed = ::sigaction(signalNumber, &action, nullptr) == 0 && m_installed;
  }
}

QuitOnSignals::~QuitOnSignals() {
  // A signal during shutdown ends the process at once, as the sender expects.
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

void QuitOnSignals::onSignal(int) {
  // Only async-signal-safe calls here.
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_wakeFds[0], &byte, 1);
}

void QuitOnSignals::onWoken() {
  char byte = 0;
  [[maybe_unused]] const ssize_t got = ::read(g_wakeFds[1], &byte, 1);
  QCoreApplication::quit();
}

}  // namespace kabuka::tools
