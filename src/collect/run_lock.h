#pragma once

#include <QDateTime>
#include <QLockFile>
#include <QString>

#include <memory>

namespace kabuka {

inline const QString kOtherRunMessage = QStringLiteral("他の収集処理が実行中です。");

// Only one collection run at a time per price database, whichever program folder
// or program it comes from: two runs would overwrite each other's month files and
// day files. A hidden file in the database folder, held for the whole run and
// removed at its end. The lock of a process that died on this machine is broken,
// and so is a lock file that names no holder (empty or garbled: its writer died
// before it finished the file). A lock taken on another machine (a database on a
// shared or moved folder) can never be judged from here: it stays until a person
// removes it, and the run says whose it is and how.
class RunLock {
public:
  enum class State { Acquired, HeldByOther, HeldOnOtherHost, Unavailable };

  // Whose a lock is that this run could not take.
  struct Holder {
    qint64 pid = 0;
    QString host;
    QDateTime since;  // when the lock file was written
  };

  // `dbPath` is the database folder, which must exist.
  explicit RunLock(const QString& dbPath);
  State state() const { return m_state; }
  bool acquired() const { return m_state == State::Acquired; }
  const Holder& holder() const { return m_holder; }
  // What a run that could not take the lock says: that another run holds it, whose
  // it is when that is another machine's, or that the folder cannot be written.
  QString failureText() const;

  static QString lockPathFor(const QString& dbPath);

private:
  bool take();
  void judgeRefusal();
  bool breakNamelessLock();

  QString m_dbPath;
  std::unique_ptr<QLockFile> m_lock;
  State m_state = State::Unavailable;
  Holder m_holder;
};

}  // namespace kabuka
