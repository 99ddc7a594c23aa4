#include "console_window.h"

#include "common/clock.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace kabuka::cli {

namespace {

// A terminal is redrawn at most this often; a fast transfer would flood it.
constexpr qint64 kRedrawIntervalMs = 100;

QString byteText(qint64 bytes) {
  if (bytes < 1024 * 1024) {
    return QStringLiteral("%1 KiB").arg(double(bytes) / 1024, 0, 'f', 0);
  }
  return QStringLiteral("%1 MiB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

// What a progress caption names, "2016年03月" or "20160315": the whole caption
// would not fit one terminal line next to the figures.
QString shortFileName(const QString& caption) {
  QString name = caption.section(QStringLiteral("："), 1);
  name.chop(QStringLiteral("日毎株価収集処理中").size());
  if (name.endsWith(QStringLiteral("の")) || name.endsWith(QStringLiteral("："))) {
    name.chop(1);
  }
  return name;
}

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleSink sink, bool quiet, bool verbose)
    : m_sink(std::move(sink)), m_quiet(quiet), m_verbose(verbose && !quiet) {}

void ConsoleWindow::planFiles(int totalFiles) {
  m_totalFiles = totalFiles;
  m_fileNumber = 0;
}

void ConsoleWindow::fileProgress(qint64 received, qint64) {
  m_received = received;
  const bool due = !m_redrawClock.isValid() || m_redrawClock.elapsed() >= kRedrawIntervalMs;
  if (m_sink.isTerminal && !m_quiet && due) {
    drawProgress();
  }
}

void ConsoleWindow::progressLine(const QString& text) {
  const bool due = !m_redrawClock.isValid() || m_redrawClock.elapsed() >= kRedrawIntervalMs;
  if (!m_sink.isTerminal || m_quiet || !due) {
    return;
  }
  m_redrawClock.restart();
  m_sink.write(QByteArray("\r\x1b[K") + text.toUtf8());
  m_progressShown = true;
}

void ConsoleWindow::info(const QString& text) {
  if (!m_quiet) {
    writeLine(text, false);
  }
}

void ConsoleWindow::detail(const QString& text) {
  if (m_verbose) {
    writeLine(text, false);
  }
}

void ConsoleWindow::failure(const QString& text) {
  writeLine(text, true);
}

void ConsoleWindow::requestStop() {
  const int requests = ++m_stopRequests;
  m_stopFlag = kTrue;
  if (requests == 1) {
    setLabel3Caption(QStringLiteral("まもなく停止します。"));
  }
  if (m_stopListener) {
    m_stopListener();
  }
}

void ConsoleWindow::yield() {
  QCoreApplication::processEvents();
}

void ConsoleWindow::yieldWaiting() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void ConsoleWindow::set_stop_flg(Truth value) {
  // A signal that came before or between runs still stops the next one.
  m_stopFlag = stopRequested() ? kTrue : value;
}

// Each file a run fetches is announced by a blue caption ending in "処理中".
bool ConsoleWindow::isProgressCaption(const QString& text) const {
  return m_label1Colour == kBlue && text.endsWith(QStringLiteral("処理中"));
}

void ConsoleWindow::setLabel1Caption(const QString& text) {
  if (text.isEmpty()) {
    return;
  }
  const bool failed = m_label1Colour == kRed;
  if (isProgressCaption(text)) {
    ++m_fileNumber;
    m_fileCaption = text;
    m_received = 0;
    m_fileClock.start();
    m_redrawClock.invalidate();
  }
  if (m_quiet && !failed) {
    return;
  }
  QString line = text;
  if (isProgressCaption(text) && m_totalFiles > 1) {
    line += QStringLiteral(" (%1/%2)").arg(m_fileNumber).arg(m_totalFiles);
  }
  writeLine(line, failed);
}

void ConsoleWindow::setLabel3Caption(const QString& text) {
  if (!text.isEmpty()) {
    info(text);
  }
}

void ConsoleWindow::writeLine(const QString& text, bool isFailure) {
  clearProgress();
  QString line = text;
  if (m_sink.isJournal) {
    line.prepend(isFailure ? QStringLiteral("<3>") : QStringLiteral("<6>"));
  } else if (!m_sink.isTerminal) {
    line.prepend(logTimeStamp(m_sink.now()) + QLatin1Char(' '));
  }
  line += QLatin1Char('\n');
  m_sink.write(line.toUtf8());
}

QString ConsoleWindow::progressText() const {
  const qint64 elapsedMs = m_fileClock.isValid() ? m_fileClock.elapsed() : 0;
  const qint64 rate = elapsedMs > 0 ? m_received * 1000 / elapsedMs : 0;
  QString text = shortFileName(m_fileCaption);
  if (m_totalFiles > 1) {
    text += QStringLiteral(" %1/%2").arg(m_fileNumber).arg(m_totalFiles);
  }
  return text + QStringLiteral("  %1  %2/s").arg(byteText(m_received), byteText(rate));
}

void ConsoleWindow::drawProgress() {
  m_redrawClock.restart();
  // Back to the line's start, then clear to its end: the line is redrawn in place.
  m_sink.write(QByteArray("\r\x1b[K") + progressText().toUtf8());
  m_progressShown = true;
}

void ConsoleWindow::clearProgress() {
  if (m_progressShown) {
    m_sink.write("\r\x1b[K");
    m_progressShown = false;
  }
}

}  // namespace kabuka::cli
