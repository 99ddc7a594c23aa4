#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace kabuka {

inline const QString kOtherRunMessage = QStringLiteral("他の収集処理が実行中です。");
inline const QString kLockUnavailableMessage =
    QStringLiteral("収集処理のロックを取得できませんでした。");

// Only one collection run at a time per price database, whichever program folder
// or program it comes from: two runs would overwrite each other's month files and
// day files. A hidden file in the database folder, held for the whole run and
// removed at its end; the lock of a process that died is broken.
class RunLock {
public:
  enum class State { Acquired, HeldByOther, Unavailable };

  // `dbPath` is the database folder, which must exist.
  explicit RunLock(const QString& dbPath);
  State state() const { return m_state; }
  bool acquired() const { return m_state == State::Acquired; }

  static QString lockPathFor(const QString& dbPath);

private:
  std::unique_ptr<QLockFile> m_lock;
  State m_state = State::Unavailable;
};

}  // namespace kabuka
