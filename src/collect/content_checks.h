#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace kabuka {

// Collects the start of fetched content until its first field is complete, so that
// the error page test never needs the whole body in memory.
class FirstFieldProbe {
public:
  void take(QByteArrayView chunk);
  // The field has ended (a delimiter or its closing quote came): later bytes
  // cannot change it.
  bool complete() const { return m_complete; }
  QByteArray field() const;
  qsizetype heldBytes() const { return m_prefix.size(); }

private:
  bool fieldEndsAfter(qsizetype scanFrom);

  QByteArray m_prefix;
  qsizetype m_fieldStart = -1;  // where the field starts, once a non-blank came
  bool m_quoted = false;
  bool m_complete = false;
};

// What a look at the whole content found.
struct ContentVerdict {
  enum class Kind {
    Whole,     // what was asked for, complete
    CutShort,  // the right file, but it ends too early: a transfer cut off
    Wrong,     // not the file that was asked for
  };
  Kind kind = Kind::Whole;
  QString detail;  // why not whole, for a person; empty when whole
};

// A day file is whole when its header record names `dayName`, exactly as many
// records follow as the header's field 2 counts, and the last record ends with a
// line end; blank lines and a DOS end-of-file mark may follow.
ContentVerdict judgeDayFile(QByteArrayView content, QByteArrayView dayName);

// Takes a fetched day file as it streams in and judges it once it is all there. A
// day file is small; the fetch's size cap bounds what is held.
class DayFileCheck {
public:
  explicit DayFileCheck(QByteArray dayName) : m_dayName(std::move(dayName)) {}
  void take(QByteArrayView chunk) { m_content.append(chunk); }
  ContentVerdict verdict() const { return judgeDayFile(m_content, m_dayName); }

private:
  QByteArray m_dayName;
  QByteArray m_content;
};

}  // namespace kabuka
