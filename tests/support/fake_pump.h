#pragma once

#include "common/pump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <functional>

namespace kabuka::test {

// A pump that counts its yields and can run a scripted action at a given yield,
// which is how a test presses "stop" in the middle of work.
class FakePump : public Pump {
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

}  // namespace kabuka::test
