#include "driver.h"

#include "collect/run_control.h"
#include "collect/run_lock.h"
#include "collect/splitter.h"
#include "collect/staged_files.h"
#include "settings/folder_layout.h"
#include "settings/settei_reader.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <optional>

namespace kabuka {

namespace {

// One collection run. Names follow the window's procedures: Y, M, D are the
// selection's texts, url1 and file_path1 the file in hand.
class Run {
public:
  Run(RunWindow& window, SetteiTbl& tbl, const RunEnvironment& env, FileFetcher& fetcher)
      : m_window(window), m_tbl(tbl), m_env(env), m_fetcher(fetcher) {}

  RunEnding ending() const { return m_ending; }
  const QString& endingText() const { return m_endingText; }
  const RunFailure& failure() const { return m_failure; }
  const RunDayFiles& dayFiles() const { return m_dayFiles; }

  void execute() {
    m_window.set_stop_flg(kFalse);
    m_window.setLabel1Colour(kBlue);
    m_window.setLabel1Caption(QString());
    m_window.yield();
    settei_read_sub(m_tbl, m_env.programFolder, m_window);
    if (stopRequested()) {
      return endAborted();
    }
    m_window.yield();
    ctrl_enable_sub(m_window, kFalse);
    readSelection();
    showDatePreview();
    if (stopRequested()) {
      return endAborted();
    }
    m_window.yield();
    if (!prepareFolders()) {
      return;
    }
    m_window.yield();
    if (m_selection.byDate) {
      return collectDate();
    }
    makeFolder(scratchFolder());
    if (M == QLatin1String("all")) {
      return collectYear();
    }
    collectYearMonth();
  }

private:
  void endFailed(const QString& message, RunEnding ending = RunEnding::Failed) {
    m_window.setLabel1Colour(kRed);
    m_window.setLabel1Caption(message);
    m_window.yield();
    finish(ending, message);
  }

  bool stopRequested() const { return isTrue(m_window.stop_flg()); }

  void readSelection() {
    m_selection = m_window.selection();
    if (m_selection.byDate) {
      Y = m_selection.yyyy1.trimmed();
      M = m_selection.mm1.trimmed();
      D = m_selection.dd1.trimmed();
    }
    if (m_selection.byYearMonth) {
      Y = m_selection.yyyy2.trimmed();
      M = m_selection.mm2.trimmed();
      D.clear();
    }
  }

  // The chosen day as a calendar date; invalid for a day the month does not have.
  QDate selectedDate() const {
    bool yearOk = false, monthOk = false, dayOk = false;
    const QDate date(Y.toInt(&yearOk), M.toInt(&monthOk), D.toInt(&dayOk));
    return yearOk && monthOk && dayOk ? date : QDate();
  }

  QString weekdayName(const QDate& date) const {
    return m_env.locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
  }

  void showDatePreview() {
    const QDate date = selectedDate();
    if (date.isValid()) {
      m_window.setLabel1Caption(Y + M + D + QLatin1Char('(') + weekdayName(date) +
                                QLatin1Char(')'));
    }
  }

  QString dbPath() const { return m_tbl[settei::db_path]; }
  QString dayFolderName() const { return m_tbl[settei::day_folder]; }
  QString dailyFolder() const { return layout::dailyFolder(dbPath(), Y, dayFolderName()); }
  QString scratchFolder() const { return layout::scratchFolder(dbPath(), Y, dayFolderName()); }
  QString baseUrl() const {
    const QString configured = m_tbl[settei::day_site];
    return configured.isEmpty() ? m_env.builtInBaseUrl : configured;
  }

  // Creates the folder when it is missing. Only the last level: a missing parent
  // means the configured tree is wrong, and the fetch that follows will say so.
  void makeFolder(const QString& path) {
    if (!QDir(path).exists() && QDir().mkdir(path)) {
      m_madeFolders.append(path);
    }
  }

  // Makes the folders and takes the database's lock as soon as the database
  // folder exists. False when the lock could not be had: the run has then ended
  // and touched nothing inside the database.
  bool prepareFolders() {
    makeFolder(dbPath());
    if (!m_env.databaseLockHeld) {
      m_lock.emplace(dbPath());
      if (!m_lock->acquired()) {
        const RunLock::State state = m_lock->state();
        const bool held =
            state == RunLock::State::HeldByOther || state == RunLock::State::HeldOnOtherHost;
        endFailed(m_lock->failureText(), held ? RunEnding::Locked : RunEnding::Failed);
        return false;
      }
    }
    makeFolder(layout::yearFolder(dbPath(), Y));
    makeFolder(dailyFolder());
    return true;
  }

  void showProgress(const QString& text) {
    m_window.setLabel1Colour(kBlue);
    m_window.setLabel1Caption(text);
  }

  // Fetches url1 into file_path1; true when it was stored.
  bool fetch(const QString& path, const QString& url, const FetchExpectation& expected = {}) {
    file_path1 = path;
    m_window.yield();
    url1 = url;
    m_window.yield();
    m_failure = RunFailure{url1, {}, {}};
    m_failure.fetch = fetchWithRetries(m_fetcher, url1, file_path1, m_env.retry, expected);
    toFlagAndMessage(m_failure.fetch, m_message, err_flg);
    return !isTrue(err_flg);
  }

  void collectDate() {
    const QString ymd = Y + M + D;
    const QString url = layout::dayFileUrl(baseUrl(), Y, ymd);
    m_window.fileStarted(ymd, url);
    showProgress(QStringLiteral("日付指定：") + ymd + QStringLiteral("：日毎株価収集処理中"));
    // What a run killed while it stored this day left behind; the lock says no
    // other run is writing it now.
    removeLeftoverTemporaries(dailyFolder(), layout::dayFileName(ymd));
    // Only this day's file, whole, may replace the stored one.
    if (!fetch(layout::dailyFile(dailyFolder(), ymd), url, FetchExpectation{ymd.toLatin1()})) {
      // A day the calendar does not have cannot be named; the fetcher's own text stays.
      const QDate date = selectedDate();
      if (date.isValid()) {
        m_message = QStringLiteral("日付指定：") + ymd + QLatin1Char('(') + weekdayName(date) +
                    QStringLiteral(")の情報は収集できませんでした。");
      }
      return endFailed(m_message);
    }
    endCompletedOrStopped();
  }

  QString monthUrl() const { return layout::monthFileUrl(baseUrl(), Y, Y + M); }
  QString monthName() const { return Y + QStringLiteral("年") + M + QStringLiteral("月"); }

  // Fetches one month file into the scratch folder, splits it into day files and
  // deletes it. False when the month was not stored whole; the month file then
  // stays for a look, with every day file already written.
  bool collectMonth() {
    const QString yyyymm = Y + M;
    const QString url = monthUrl();
    removeLeftoverTemporaries(dailyFolder(), layout::dayFileName(yyyymm + QStringLiteral("??")));
    removeLeftoverTemporaries(scratchFolder(), layout::monthFileName(yyyymm));
    if (!fetch(layout::monthFile(scratchFolder(), yyyymm), url)) {
      return false;
    }
    SplitOptions options;
    options.keepUnchangedFiles = m_env.keepUnchangedDayFiles;
    m_failure.split =
        data_d_csv_sub(file_path1, {Y.toInt(), M.toInt()}, dailyFolder(), m_window, options);
    m_dayFiles.written += m_failure.split.dayFilesWritten;
    m_dayFiles.unchanged += m_failure.split.dayFilesUnchanged;
    if (!m_failure.split.complete) {
      return false;
    }
    QFile::remove(file_path1);
    return true;
  }

  void collectYear() {
    const QDate today = m_env.today();
    const int lastMonth = Y == QString::number(today.year()) ? today.month() : 12;
    for (int month = 1; month <= lastMonth; ++month) {
      M = layout::twoDigits(month);
      m_window.fileStarted(monthName(), monthUrl());
      showProgress(QStringLiteral("年指定：") + Y + QStringLiteral("年") + M +
                   QStringLiteral("月の日毎株価収集処理中"));
      if (!collectMonth()) {
        return endFailed(QStringLiteral("年指定：") + Y + QStringLiteral("年") + M +
                         QStringLiteral("月の情報は収集できませんでした。"));
      }
      if (stopRequested()) {
        break;  // the month in hand is done; no later month is fetched
      }
    }
    QDir().rmdir(scratchFolder());
    endCompletedOrStopped();
  }

  void collectYearMonth() {
    m_window.fileStarted(monthName(), monthUrl());
    showProgress(QStringLiteral("月指定：") + Y + QStringLiteral("年") + M +
                 QStringLiteral("月の日毎株価収集処理中"));
    if (!collectMonth()) {
      return endFailed(QStringLiteral("年月指定：") + Y + M +
                       QStringLiteral("の情報は収集できませんでした。"));
    }
    QDir().rmdir(scratchFolder());
    endCompletedOrStopped();
  }

  void endCompletedOrStopped() {
    const bool stopped = stopRequested();
    m_window.setLabel1Colour(stopped ? kRed : kBlue);
    m_window.setLabel1Caption(stopped ? run_text::kStopped : run_text::kCompleted);
    m_window.setLabel3Caption(QString());
    finish(stopped ? RunEnding::Stopped : RunEnding::Completed,
           stopped ? run_text::kStopped : run_text::kCompleted);
  }

  void endAborted() {
    m_window.setLabel1Colour(kRed);
    m_window.setLabel1Caption(run_text::kAborted);
    finish(RunEnding::Aborted, run_text::kAborted);
  }

  void finish(RunEnding ending, const QString& text) {
    ctrl_enable_sub(m_window, kTrue);
    m_window.set_stop_flg(kTrue);
    m_ending = ending;
    m_endingText = text;
    m_lock.reset();
    if (m_env.removeEmptyFoldersItMade) {
      // Innermost first; a folder that holds anything stays.
      for (auto folder = m_madeFolders.crbegin(); folder != m_madeFolders.crend(); ++folder) {
        QDir().rmdir(*folder);
      }
    }
  }

  RunWindow& m_window;
  SetteiTbl& m_tbl;
  const RunEnvironment& m_env;
  FileFetcher& m_fetcher;
  DateSelection m_selection;
  QString Y;
  QString M;
  QString D;
  QString url1;
  QString file_path1;
  QString m_message;
  Truth err_flg = kFalse;
  std::optional<RunLock> m_lock;
  QStringList m_madeFolders;
  RunEnding m_ending = RunEnding::None;
  QString m_endingText;
  RunFailure m_failure;
  RunDayFiles m_dayFiles;
};

}  // namespace

CollectionDriver::CollectionDriver(RunWindow& window, SetteiTbl& settei_tbl,
                                   RunEnvironment environment)
    : m_window(window),
      m_settei_tbl(settei_tbl),
      m_env(std::move(environment)),
      m_fetcher(layout::scratchFile(m_env.programFolder), window, m_env.fetch) {}

void CollectionDriver::m_dl_start_cmd_Click() {
  if (m_running) {
    return;
  }
  m_running = true;
  Run run(m_window, m_settei_tbl, m_env, m_fetcher);
  run.execute();
  m_lastEnding = run.ending();
  m_lastMessage = run.endingText();
  m_lastFailure = m_lastEnding == RunEnding::Failed ? run.failure() : RunFailure{};
  m_lastDayFiles = run.dayFiles();
  m_running = false;
}

QString RunFailure::text() const {
  if (url.isEmpty()) {
    return {};
  }
  return url + QStringLiteral("：") +
         (fetch.stored() ? splitProblemText(split) : fetchFailureText(fetch));
}

}  // namespace kabuka
