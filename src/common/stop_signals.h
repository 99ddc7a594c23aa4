#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kabuka {

// Turns SIGINT and SIGTERM into an event of the event loop: the handler only
// counts the signal and writes a byte to a socket pair, and `onSignal` runs at the
// event loop's next turn. Work that does not run the event loop (a check reading
// files on worker threads) looks at caught() instead. One instance per process; on
// destruction each signal gets back the action it had before.
//
// A SIGINT that the process inherited as ignored stays ignored: a shell starts the
// background jobs of a script that way, so that a Ctrl-C at the terminal is not
// meant for them.
class StopSignals : public QObject {
public:
  StopSignals(std::initializer_list<int> signalNumbers, std::function<void()> onSignal);
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool installed() const { return m_installed; }

  // How many of the signals arrived since this catcher was installed; safe to read
  // from any thread at any time.
  static int caught();

private:
  static void handle(int signalNumber);
  void onWoken();
  bool install(int signalNumber);

  struct Previous {
    int signalNumber;
    struct sigaction action;
  };
  std::vector<int> m_signals;
  std::vector<Previous> m_previous;
  std::function<void()> m_onSignal;
  std::unique_ptr<QSocketNotifier> m_notifier;
  bool m_installed = false;
};

}  // namespace kabuka
