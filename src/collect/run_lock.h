#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace kabuka {

inline const QString kOtherRunMessage = QStringLiteral("他の収集処理が実行中です。");

// Only one collection run at a time per program folder: two would overwrite each
// other's scratch file and month files. Held for the whole run; the lock of a
// process that died is broken.
class RunLock {
public:
  explicit RunLock(const QString& programFolder);
  bool acquired() const { return m_acquired; }

  static QString lockPathFor(const QString& programFolder);
  // Where the lock goes when the program folder cannot be written.
  static QString fallbackLockPathFor(const QString& programFolder);

private:
  bool tryLockAt(const QString& path);

  std::unique_ptr<QLockFile> m_lock;
  bool m_acquired = false;
};

}  // namespace kabuka
