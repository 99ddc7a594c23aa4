#pragma once

#include "collect/fetcher.h"
#include "collect/run_window.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>

namespace kabuka::cli {

// Where console lines go: stderr in the program, a buffer in tests.
struct ConsoleSink {
  std::function<void(QByteArrayView)> write;
  bool isTerminal = false;  // a person reads: no time stamps
  // A terminal that cannot move its cursor (TERM=dumb, an editor's shell): no
  // escape sequences, so no progress line redrawn in place.
  bool dumbTerminal = false;
  // The systemd journal: lines carry a syslog priority so failures can be picked
  // out (journalctl -p err), and no time stamp, which the journal adds itself.
  bool isJournal = false;
  std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
};

// The window of a collection run, on a console. Label1 captions become lines (red
// ones are failures and are shown even when quiet), the selection is the one the
// command sets, and SIGINT/SIGTERM act as "収集停止". On a terminal, a progress
// line (file k of n, bytes of the total, rate, or how long the server has kept
// it waiting) is redrawn in place, drawn from the run's file events; elsewhere each
// line carries a time stamp, so a log shows when each month was taken.
class ConsoleWindow : public RunWindow {
public:
  ConsoleWindow(ConsoleSink sink, bool quiet, bool verbose = false);

  void setSelection(const DateSelection& selection) { m_selection = selection; }

  // `totalFiles` files are about to be fetched, for the "k/n" of each.
  void planFiles(int totalFiles);
  // Bytes of the file in hand so far, fed by the fetcher; `total` is -1 when the
  // server announced no length.
  void fileProgress(qint64 received, qint64 total);
  // A request has ended (a retry is one of its own): its line when verbose.
  void requestDone(const QString& url, const FetchOutcome& outcome, qint64 elapsedMs);

  // A line of progress of a command's own (an export): redrawn in place on a
  // terminal, at most every tenth of a second; nothing elsewhere.
  void progressLine(const QString& text);

  // Lines of the commands themselves.
  void info(const QString& text);     // hidden when quiet
  void detail(const QString& text);   // shown only when verbose
  void failure(const QString& text);  // always shown

  // A signal arrived. The first asks the run to stop at its next check, as
  // "収集停止" does; a second one also abandons the transfer in hand.
  void requestStop();
  bool stopRequested() const { return m_stopRequests > 0; }
  // Called once for every requestStop(); a back-off wait uses it to end early.
  void setStopListener(std::function<void()> listener) { m_stopListener = std::move(listener); }

  // RunWindow
  void yield() override;
  void yieldWaiting() override;
  Truth stop_flg() const override { return m_stopFlag; }
  bool closing() const override { return m_stopRequests > 1; }
  void setLabel1Colour(Rgb colour) override { m_label1Colour = colour; }
  void setLabel1Caption(const QString& text) override;
  void setLabel3Colour(Rgb) override {}
  void setLabel3Caption(const QString& text) override;
  DateSelection selection() const override { return m_selection; }
  void setStartButtonVisible(bool) override {}
  void setCloseButtonEnabled(bool) override {}
  void setDateFrameEnabled(bool) override {}
  void setStopButtonVisible(bool) override {}
  void set_stop_flg(Truth value) override;
  void fileStarted(const QString& name, const QString& url) override;

private:
  bool redraws() const { return m_sink.isTerminal && !m_sink.dumbTerminal && !m_quiet; }
  void writeLine(const QString& text, bool isFailure);
  void drawProgress();
  void redrawWhenDue();
  void clearProgress();
  QString progressText() const;

  ConsoleSink m_sink;
  bool m_quiet;
  bool m_verbose;
  DateSelection m_selection;
  Rgb m_label1Colour = kBlue;
  Truth m_stopFlag = kFalse;
  // Read by the check's reading threads too.
  std::atomic<int> m_stopRequests{0};
  std::function<void()> m_stopListener;

  int m_totalFiles = 0;
  int m_fileNumber = 0;
  QString m_fileName;
  bool m_countPending = false;  // the file's caption is still to get its "(k/n)"
  qint64 m_received = 0;
  qint64 m_total = -1;
  QElapsedTimer m_fileClock;
  QElapsedTimer m_redrawClock;
  QTimer m_waitingTicks;  // redraws "waiting" while no byte has come
  bool m_progressShown = false;
};

}  // namespace kabuka::cli
