#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <initializer_list>
#include <memory>
#include <vector>

namespace kabuka::tools {

// Ends the application's event loop when one of the given signals arrives, so a
// server stopped with SIGTERM or Ctrl+C shuts its listener down and exits with 0.
// The handler only writes a byte to a socket pair; the event loop does the rest.
// One instance per process; on destruction the signals act as before again.
class QuitOnSignals : public QObject {
public:
  explicit QuitOnSignals(std::initializer_list<int> signalNumbers);
  ~QuitOnSignals() override;
  QuitOnSignals(const QuitOnSignals&) = delete;
  QuitOnSignals& operator=(const QuitOnSignals&) = delete;

  bool installed() const { return m_installed; }

private:
  static void onSignal(int signalNumber);
  void onWoken();

  std::vector<int> m_signals;
  std::unique_ptr<QSocketNotifier> m_notifier;
  bool m_installed = false;
};

}  // namespace kabuka::tools
