#include "pump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace kabuka {

void EventLoopPump::yield() {
  QCoreApplication::processEvents();
}

void EventLoopPump::yieldWaiting() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace kabuka
