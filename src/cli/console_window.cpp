#include "console_window.h"

#include "common/clock.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace kabuka::cli {

namespace {

// A terminal is redrawn at most this often; a fast transfer would flood it.
constexpr qint64 kRedrawIntervalMs = 100;
constexpr int kWaitingTickMs = 1000;

QString byteText(qint64 bytes) {
  if (bytes < 1024 * 1024) {
    return QStringLiteral("%1 KiB").arg(double(bytes) / 1024, 0, 'f', 0);
  }
  return QStringLiteral("%1 MiB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

QString secondsText(qint64 ms) {
  return QStringLiteral("%1 秒").arg(double(ms) / 1000, 0, 'f', ms < 10'000 ? 2 : 0);
}

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleSink sink, bool quiet, bool verbose)
    : m_sink(std::move(sink)), m_quiet(quiet), m_verbose(verbose && !quiet) {
  m_waitingTicks.setInterval(kWaitingTickMs);
  QObject::connect(&m_waitingTicks, &QTimer::timeout, [this] {
    if (m_received == 0 && redraws()) {
      drawProgress();
    }
  });
}

void ConsoleWindow::planFiles(int totalFiles) {
  m_totalFiles = totalFiles;
  m_fileNumber = 0;
}

void ConsoleWindow::fileStarted(const QString& name, const QString&) {
  ++m_fileNumber;
  m_fileName = name;
  m_countPending = m_totalFiles > 1;
  m_received = 0;
  m_total = -1;
  m_fileClock.start();
  m_redrawClock.invalidate();
  if (redraws()) {
    m_waitingTicks.start();
  }
}

void ConsoleWindow::fileProgress(qint64 received, qint64 total) {
  const bool firstBytes = m_received == 0 && received > 0;
  m_received = received;
  m_total = total;
  if (firstBytes) {
    m_waitingTicks.stop();
    m_redrawClock.invalidate();  // the wait is over: shown at once
  }
  redrawWhenDue();
}

void ConsoleWindow::requestDone(const QString& url, const FetchOutcome& outcome, qint64 elapsedMs) {
  m_waitingTicks.stop();
  if (!m_verbose) {
    return;
  }
  const QString answer = outcome.httpStatus > 0 ? QStringLiteral("HTTP %1").arg(outcome.httpStatus)
                                                : QStringLiteral("応答なし");
  QString line = QStringLiteral("GET %1 → %2、%3、%4")
                     .arg(url, answer, byteText(outcome.bytesReceived), secondsText(elapsedMs));
  if (!outcome.stored()) {
    line += QStringLiteral("（") + fetchFailureText(outcome) + QStringLiteral("）");
  }
  writeLine(line, false);
}

void ConsoleWindow::progressLine(const QString& text) {
  const bool due = !m_redrawClock.isValid() || m_redrawClock.elapsed() >= kRedrawIntervalMs;
  if (!redraws() || !due) {
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

void ConsoleWindow::setLabel1Caption(const QString& text) {
  if (text.isEmpty()) {
    return;
  }
  const bool failed = m_label1Colour == kRed;
  QString line = text;
  // The caption that follows a file's start is that file's: a log shows how far
  // a long run is.
  if (m_countPending && !failed) {
    line += QStringLiteral(" (%1/%2)").arg(m_fileNumber).arg(m_totalFiles);
    m_countPending = false;
  }
  if (m_quiet && !failed) {
    return;
  }
  writeLine(line, failed);
  if (redraws() && m_fileClock.isValid() && m_received == 0 && m_waitingTicks.isActive()) {
    drawProgress();  // shows at once that the server is being waited for
  }
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
  QString text = m_fileName;
  if (m_totalFiles > 1) {
    text += QStringLiteral(" %1/%2").arg(m_fileNumber).arg(m_totalFiles);
  }
  if (m_received == 0) {
    return text + QStringLiteral("  サーバーの応答待ち %1").arg(secondsText(elapsedMs));
  }
  text += QStringLiteral("  ") + byteText(m_received);
  if (m_total > 0) {
    text += QStringLiteral(" / %1 (%2%)").arg(byteText(m_total)).arg(m_received * 100 / m_total);
  }
  const qint64 rate = elapsedMs > 0 ? m_received * 1000 / elapsedMs : 0;
  return text + QStringLiteral("  %1/s").arg(byteText(rate));
}

void ConsoleWindow::redrawWhenDue() {
  const bool due = !m_redrawClock.isValid() || m_redrawClock.elapsed() >= kRedrawIntervalMs;
  if (redraws() && due) {
    drawProgress();
  }
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
