#pragma once

#include "common/pump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <functional>

namespace kabuka::test {

// Yields that count themselves and can run a scripted action at a given yield or
// wait, which is how a test presses "stop" or closes the window in the middle of
// work. `Base` is the interface being faked: Pump, or one that extends it.
template <typename Base>
class ScriptedPump : public Base {
public:
  void yield() override {
    ++yields;
    if (onYield) {
      onYield(yields);
    }
    QCoreApplication::processEvents();
  }
  void yieldWaiting() override {
    ++waits;
    if (onWait) {
      // Delivered as an event, the way a click reaches a waiting window: it wakes
      // the wait, and anything it handles is seen when the wait returns.
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [this, count = waits] { onWait(count); },
          Qt::QueuedConnection);
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  Truth stop_flg() const override { return stopFlag; }
  bool closing() const override { return closed; }

  Truth stopFlag = kFalse;
  bool closed = false;
  int yields = 0;
  int waits = 0;
  std::function<void(int)> onYield;
  std::function<void(int)> onWait;
};

using FakePump = ScriptedPump<Pump>;

}  // namespace kabuka::test
