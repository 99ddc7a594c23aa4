#pragma once

#include <QString>

#include <functional>

namespace kabuka::test {

// Stands between the code under test and the system's fsync() and syncfs() in any
// test program that uses it: sees what is made durable, and can make a sync fail
// as a dying disk does. Calls pass through to the system unless told otherwise.
namespace sync_spy {

// Called with the path of everything fsync() or syncfs() is asked for, before the
// sync; returns the errno to fail it with, or 0 to let it through.
using Hook = std::function<int(const QString& path)>;
void setHook(Hook hook);  // an empty hook: every sync passes through

// Forgets the hook when it goes, so no test leaves its faults to the next.
class Scope {
public:
  explicit Scope(Hook hook) { setHook(std::move(hook)); }
  ~Scope() { setHook({}); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

}  // namespace sync_spy
}  // namespace kabuka::test
