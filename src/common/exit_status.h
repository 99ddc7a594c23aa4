#pragma once

namespace kabuka {

// What kabuka-collect tells its caller (a shell, cron, systemd) through its exit
// status. The numbers are documented for users: never renumber them.
enum class ExitStatus : int {
  Done = 0,            // collected, or nothing to do; a check found no error
  NotCollected = 1,    // a file could not be collected or a month not split whole;
                       // a check found something missing or damaged
  BadCommandLine = 2,  // nothing was touched
  Locked = 3,          // another run holds the database's lock; nothing was touched
  Incomplete = 4,      // a check could not do all it was asked (its report says why)
  Stopped = 130,       // SIGINT or SIGTERM; what was in hand was finished or abandoned
};

inline int toInt(ExitStatus status) {
  return static_cast<int>(status);
}

}  // namespace kabuka
