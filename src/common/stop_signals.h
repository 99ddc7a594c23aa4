#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kabuka {

// Turns SIGINT and SIGTERM into an event of the event loop: the handler only
// writes a byte to a socket pair, and `onSignal` runs at the event loop's next turn.
// One instance per process; on destruction the signals act as before again.
class StopSignals : public QObject {
public:
  StopSignals(std::initializer_list<int> signalNumbers, std::function<void()> onSignal);
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool installed() const { return m_installed; }

private:
  static void handle(int signalNumber);
  void onWoken();

  std::vector<int> m_signals;
  std::function<void()> m_onSignal;
  std::unique_ptr<QSocketNotifier> m_notifier;
  bool m_installed = false;
};

}  // namespace kabuka
