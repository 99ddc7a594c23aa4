#pragma once

#include "truth.h"

namespace kabuka {

// How long-running work lets the window breathe. Work calls yield() at fixed points
// so repaints, clicks on the stop button and a close of the window are handled, and
// reads stop_flg() afterwards to see whether a stop was asked for.
class Pump {
public:
  virtual ~Pump() = default;

  // Handle the pending events once, then return.
  virtual void yield() = 0;
  // Sleep until at least one event arrives, handle it, then return. Used while
  // waiting for the network so the wait does not burn a core.
  virtual void yieldWaiting() = 0;

  virtual Truth stop_flg() const = 0;

  // True once the window has been closed: transfers in flight are to be cancelled.
  virtual bool closing() const { return false; }
};

}  // namespace kabuka
