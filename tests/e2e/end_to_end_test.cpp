// The program as a user gets it: installed into a fresh program folder, started
// on a screen of its own, pointed at the sample data server by settei.txt, and
// driven with the pointer and the keyboard. What it collected is read from disk
// and compared with what the server served; what it shows is read off the screen.

#include "collector_window.h"
#include "owned_process.h"
#include "sample_data/sample_prices.h"
#include "sample_server/sample_tree.h"
#include "sample_server_process.h"
#include "support/temp_folder.h"
#include "virtual_screen.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace kabuka::e2e {
namespace {

using tools::SamplePrices;
using tools::SampleTree;

constexpr int kFirstYear = 2014;
constexpr int kLastYear = 2015;
// A real day's size, and an answer that takes as long as from a distant server:
// each month of the year run then takes long enough for 収集停止 to be pressed
// while the first one is in hand.
constexpr int kRecordsPerDay = 4000;
constexpr int kServerDelayMs = 300;
// The server's calendar is pinned, and every date used is long past, so the
// program's own today never matters.
const QDate kServerToday(2016, 3, 15);
constexpr int kPollMs = 20;
constexpr int kWindowWidthPixels = 371;  // 5565 twips

// ---- Reading the screen ----

bool isDark(Colour c) {
  return c.red < 100 && c.green < 100 && c.blue < 100;
}
bool isLight(Colour c) {
  return c.red > 200 && c.green > 200 && c.blue > 200;
}
bool isBlue(Colour c) {
  return c.blue >= 180 && c.red < 120 && c.green < 120;
}
bool isRed(Colour c) {
  return c.red >= 180 && c.green < 120 && c.blue < 120;
}

// A caption drawn in black on a painted button; a greyed one has no black pixel.
bool captionLooksEnabled(const Screenshot& shot, const QRect& button) {
  const int area = button.width() * button.height();
  return shot.count(button, isDark) >= 30 && 2 * shot.count(button, isLight) >= area;
}
bool captionLooksDisabled(const Screenshot& shot, const QRect& button) {
  const int area = button.width() * button.height();
  return shot.count(button, isDark) == 0 && 2 * shot.count(button, isLight) >= area;
}

// ---- Files ----

QStringList filesUnder(const QString& folder) {
  QStringList files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    files.append(QDir(folder).relativeFilePath(it.next()));
  }
  return files;
}

// Compares without printing megabytes when they differ.
::testing::AssertionResult holdsBytes(const QString& path, const QByteArray& expected) {
  const QByteArray actual = test::readBytes(path);
  if (actual == expected) {
    return ::testing::AssertionSuccess();
  }
  qsizetype at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
    ++at;
  }
  return ::testing::AssertionFailure()
         << qPrintable(path) << " holds " << actual.size() << " bytes, the server sent "
         << expected.size() << "; they differ from byte " << at;
}

QString dayFileName(QDate day) {
  return day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

QString inDailyFolder(QDate day) {
  return QString::number(day.year()) + QStringLiteral("/data_d/") + dayFileName(day);
}

QList<QDate> tradingDays(int year, int firstMonth, int lastMonth) {
  QList<QDate> days;
  for (int month = firstMonth; month <= lastMonth; ++month) {
    days.append(SamplePrices::tradingDays(year, month));
  }
  return days;
}

// The day files of the days, as paths in the database folder.
QStringList dayFiles(const QList<QDate>& days) {
  QStringList files;
  for (const QDate day : days) {
    files.append(inDailyFolder(day));
  }
  return files;
}

// Lists compare as one line each, so that a difference reads as names.
std::string listed(QStringList names) {
  names.sort();
  return names.join(QStringLiteral("\n")).toStdString();
}

QStringList monthRequests(int year, int firstMonth, int lastMonth) {
  QStringList paths;
  for (int month = firstMonth; month <= lastMonth; ++month) {
    paths.append(QString::fromLatin1(SampleTree::monthFilePath(year, month)));
  }
  return paths;
}

// ---- Processes ----

bool missingTool(const char* name) {
  return QStandardPaths::findExecutable(QLatin1String(name)).isEmpty();
}

class EndToEnd : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  void layOutProgramFolder();
  void startProgram();
  QProcessEnvironment programEnvironment() const;
  QString leakSuppressions(const QProcessEnvironment& environment) const;

  void collectOneDay();
  void collectOneMonth();
  void stopAYearRun();
  void closeWithTheCloseButton();

  // User actions; false, with a failure recorded, when xdotool failed.
  bool click(Control control);
  bool pick(Control list, const QString& entry);

  // Waits, failing the test when the wait runs out or the program has ended.
  bool waitUntil(const QString& what, const std::function<bool()>& done);
  bool waitToSee(const QString& what, const std::function<bool(const Screenshot&)>& seen);
  void rememberStartCaption();
  bool looksIdle(const Screenshot& shot) const;
  void waitForRequests(qsizetype count);
  void waitForRunningState();
  void waitForRunToEnd();
  void expectOutcomeColour(bool (*colour)(Colour), const char* ending);

  QString dbFolder() const { return m_programFolder + QStringLiteral("/kabuka"); }
  QString scratchFile() const { return m_programFolder + QStringLiteral("/data.html"); }
  QStringList newRequests() const { return m_server->requests().mid(m_requestsBefore); }
  void markRequests() { m_requestsBefore = m_server->requests().size(); }

  SampleTree m_tree{{kFirstYear, kLastYear, kRecordsPerDay}, [] { return kServerToday; }};
  test::TempFolder m_work;  // first: everything below lives in it
  std::unique_ptr<VirtualScreen> m_screen;
  std::unique_ptr<SampleServerProcess> m_server;
  QString m_programFolder;
  OwnedProcess m_program;
  std::optional<CollectorWindow> m_window;
  QByteArray m_startCaption;    // the shape of 収集開始 in black, between runs
  QStringList m_expectedFiles;  // in the database folder, after the runs so far
  qsizetype m_requestsBefore = 0;
  QString m_lastScreenError;
};

void EndToEnd::SetUp() {
  if (missingTool("Xvfb") || missingTool("xdotool")) {
    GTEST_SKIP() << "Xvfb or xdotool is not installed (tools/install-deps.sh installs both)";
  }
  m_screen = std::make_unique<VirtualScreen>(m_work.path());
  ASSERT_TRUE(m_screen->running()) << qPrintable(m_screen->error());
  m_server = std::make_unique<SampleServerProcess>(
      QStringLiteral(KABUKA_SAMPLE_SERVER),
      QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--from-year"),
                  QString::number(kFirstYear), QStringLiteral("--to-year"),
                  QString::number(kLastYear), QStringLiteral("--records-per-day"),
                  QString::number(kRecordsPerDay), QStringLiteral("--delay-ms"),
                  QString::number(kServerDelayMs), QStringLiteral("--today"),
                  kServerToday.toString(Qt::ISODate)},
      m_work.file(QStringLiteral("server.log")));
  ASSERT_TRUE(m_server->running()) << qPrintable(m_server->error());
  ASSERT_NO_FATAL_FAILURE(layOutProgramFolder());
  ASSERT_NO_FATAL_FAILURE(startProgram());
}

void EndToEnd::TearDown() {
  if (!HasFailure()) {
    return;
  }
  for (const char* log : {"program.log", "server.log", "xvfb.log"}) {
    const QByteArray text = test::readBytes(m_work.file(QLatin1String(log)));
    std::fprintf(stderr, "---- %s (last 4000 bytes) ----\n%s\n", log, text.right(4000).constData());
  }
}

// The folder a user gets from `cmake --install`, with the settings pointing at the
// sample server, as a user who copied settei.txt.sample would write them.
void EndToEnd::layOutProgramFolder() {
  m_programFolder = m_work.file(QStringLiteral("program"));
  const ToolResult installed =
      runTool(QStringLiteral(KABUKA_CMAKE_COMMAND),
              {QStringLiteral("--install"), QStringLiteral(KABUKA_BUILD_DIR),
               QStringLiteral("--prefix"), m_programFolder});
  ASSERT_TRUE(installed.ok) << qPrintable(installed.complaint);
  const ToolResult written =
      runTool(QStringLiteral(KABUKA_WRITE_SETTEI),
              {QStringLiteral(KABUKA_SETTEI_TEMPLATE),
               m_programFolder + QStringLiteral("/settei.txt"), m_server->base()});
  ASSERT_TRUE(written.ok) << qPrintable(written.complaint);
}

// On an X display, Qt loads libdbus, which keeps a buffer to the end of the
// process; a sanitizer build would report it as the program's leak and turn a clean
// exit into a failed one. Only leaks whose stack passes through libdbus are let go.
QString EndToEnd::leakSuppressions(const QProcessEnvironment& environment) const {
  const QString file = m_work.file(QStringLiteral("lsan.supp"));
  test::writeBytes(file, "leak:libdbus-1.so\n");
  const QString given = environment.value(QStringLiteral("LSAN_OPTIONS"));
  return (given.isEmpty() ? QString() : given + QLatin1Char(':')) +
         QStringLiteral("suppressions=") + file;
}

QProcessEnvironment EndToEnd::programEnvironment() const {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // The test itself runs headless; the program must draw on the virtual screen,
  // at one pixel per 15 twips, in its own style, and reach no desktop bus.
  for (const char* name :
       {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
        "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_ENABLE_HIGHDPI_SCALING", "QT_FONT_DPI",
        "QT_STYLE_OVERRIDE", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"}) {
    environment.remove(QLatin1String(name));
  }
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  environment.insert(QStringLiteral("DISPLAY"), m_screen->display());
  const QString runtime = m_work.file(QStringLiteral("runtime"));
  QDir().mkpath(runtime);
  QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  environment.insert(QStringLiteral("LSAN_OPTIONS"), leakSuppressions(environment));
  return environment;
}

void EndToEnd::startProgram() {
  QProcess& program = m_program.process;
  program.setProcessEnvironment(programEnvironment());
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.setStandardOutputFile(m_work.file(QStringLiteral("program.log")));
  // Started from elsewhere: it must find its folder, settings and database itself.
  program.setWorkingDirectory(m_work.path());
  program.start(m_programFolder + QStringLiteral("/kabuka-collector"), {});
  ASSERT_TRUE(program.waitForStarted(kProcessWaitMs)) << qPrintable(program.errorString());

  QString error;
  const QPoint parking(m_screen->size().width() - 10, m_screen->size().height() - 10);
  m_window = CollectorWindow::find(m_screen->display(), parking, error);
  ASSERT_TRUE(m_window) << qPrintable(error);
  ASSERT_EQ(m_window->geometry().width(), kWindowWidthPixels)
      << "the window is not 5565 twips wide at 15 twips a pixel; clicks would miss";
  ASSERT_FALSE(m_window->geometry().contains(parking)) << "the pointer would rest on the window";
  // 収集開始 is enabled last of all start-up.
  ASSERT_TRUE(waitToSee(QStringLiteral("start-up to end with 収集開始 enabled"),
                        [this](const Screenshot& shot) {
                          return captionLooksEnabled(shot, m_window->area(Control::StartStop)) &&
                                 captionLooksEnabled(shot, m_window->area(Control::Close));
                        }));
}

bool EndToEnd::click(Control control) {
  QString error;
  const bool done = m_window->click(control, error);
  EXPECT_TRUE(done) << qPrintable(error);
  return done;
}

bool EndToEnd::pick(Control list, const QString& entry) {
  QString error;
  const bool done = m_window->pick(list, entry, error);
  EXPECT_TRUE(done) << qPrintable(error);
  return done;
}

bool EndToEnd::waitUntil(const QString& what, const std::function<bool()>& done) {
  const QDeadlineTimer deadline(kProcessWaitMs);
  while (!done()) {
    if (m_program.process.state() == QProcess::NotRunning) {
      ADD_FAILURE() << "the program ended while waiting for " << qPrintable(what);
      return false;
    }
    if (deadline.hasExpired()) {
      ADD_FAILURE() << "timed out waiting for " << qPrintable(what) << " "
                    << qPrintable(m_lastScreenError);
      return false;
    }
    QThread::msleep(kPollMs);
  }
  return true;
}

bool EndToEnd::waitToSee(const QString& what, const std::function<bool(const Screenshot&)>& seen) {
  return waitUntil(what, [&] {
    const std::optional<Screenshot> shot = m_screen->screenshot(m_lastScreenError);
    return shot && seen(*shot);
  });
}

// Steady once two pictures 100 ms apart agree. Only the caption's black pixels
// are kept: the button's frame is shaded differently while the window is not the
// active one, the caption is not.
void EndToEnd::rememberStartCaption() {
  const QRect button = m_window->area(Control::StartStop);
  QByteArray previous;
  ASSERT_TRUE(
      waitToSee(QStringLiteral("収集開始 to be drawn steadily"), [&](const Screenshot& shot) {
        const QByteArray now = shot.shape(button, isDark);
        const bool steady = now == previous && captionLooksEnabled(shot, button);
        previous = now;
        QThread::msleep(100);
        return steady;
      }));
  m_startCaption = previous;
}

bool EndToEnd::looksIdle(const Screenshot& shot) const {
  return shot.shape(m_window->area(Control::StartStop), isDark) == m_startCaption &&
         captionLooksEnabled(shot, m_window->area(Control::Close));
}

void EndToEnd::waitForRequests(qsizetype count) {
  ASSERT_TRUE(waitUntil(QStringLiteral("%1 request(s) at the server").arg(count),
                        [&] { return newRequests().size() >= count; }))
      << "requests: " << qPrintable(newRequests().join(QLatin1Char(' ')));
}

// The running state as a user sees it: 収集停止 where 収集開始 was, 閉じる greyed.
void EndToEnd::waitForRunningState() {
  const QRect button = m_window->area(Control::StartStop);
  const QRect close = m_window->area(Control::Close);
  ASSERT_TRUE(waitToSee(QStringLiteral("収集停止 in place of 収集開始 and 閉じる greyed"),
                        [&](const Screenshot& shot) {
                          return shot.shape(button, isDark) != m_startCaption &&
                                 captionLooksEnabled(shot, button) &&
                                 captionLooksDisabled(shot, close);
                        }));
}

// A run holds its lock file in the database folder from before its first request
// to its very end; the window shows the end as 収集開始 back and 閉じる usable.
void EndToEnd::waitForRunToEnd() {
  const QString lock = m_programFolder + QStringLiteral("/kabuka/.collect.lock");
  ASSERT_TRUE(waitUntil(QStringLiteral("the run to release its lock"),
                        [&] { return !QFileInfo::exists(lock); }));
  ASSERT_TRUE(waitToSee(QStringLiteral("収集開始 back and 閉じる enabled"),
                        [this](const Screenshot& shot) { return looksIdle(shot); }));
}

// Blue is a completed run's status line, red a stopped one's; the notice line is
// emptied by both endings.
void EndToEnd::expectOutcomeColour(bool (*colour)(Colour), const char* ending) {
  const QRect label1 = m_window->area(Control::Label1);
  const QRect label3 = m_window->area(Control::Label3);
  bool (*other)(Colour) = colour == isBlue ? isRed : isBlue;
  EXPECT_TRUE(waitToSee(QStringLiteral("the status line of a %1 run").arg(QLatin1String(ending)),
                        [&](const Screenshot& shot) {
                          return shot.count(label1, colour) >= 10 && shot.count(label1, other) == 0;
                        }));
  const std::optional<Screenshot> shot = m_screen->screenshot(m_lastScreenError);
  if (!shot) {
    ADD_FAILURE() << qPrintable(m_lastScreenError);
    return;
  }
  EXPECT_EQ(shot->count(label3, isRed), 0) << "the stop notice was not emptied";
  EXPECT_EQ(shot->count(label3, isDark), 0) << "the notice line shows something";
}

// One day, chosen in the date row: its day file as the server sent it.
void EndToEnd::collectOneDay() {
  const QDate day(2015, 3, 16);  // a Monday
  ASSERT_TRUE(pick(Control::Yyyy1, QStringLiteral("2015")));
  ASSERT_TRUE(pick(Control::Mm1, QStringLiteral("03")));
  ASSERT_TRUE(pick(Control::Dd1, QStringLiteral("16")));
  ASSERT_NO_FATAL_FAILURE(rememberStartCaption());
  markRequests();
  ASSERT_TRUE(click(Control::StartStop));
  ASSERT_NO_FATAL_FAILURE(waitForRequests(1));
  ASSERT_NO_FATAL_FAILURE(waitForRunToEnd());

  EXPECT_EQ(listed(newRequests()), SampleTree::dayFilePath(day).toStdString());
  m_expectedFiles << inDailyFolder(day);
  EXPECT_EQ(listed(filesUnder(dbFolder())), listed(m_expectedFiles));
  EXPECT_TRUE(holdsBytes(dbFolder() + QLatin1Char('/') + inDailyFolder(day), m_tree.dayFile(day)));
  EXPECT_TRUE(holdsBytes(scratchFile(), m_tree.dayFile(day)))
      << "data.html keeps the last fetched content";
  expectOutcomeColour(isBlue, "completed");
}

// One month, chosen in the year-month row: split into the server's day files.
void EndToEnd::collectOneMonth() {
  ASSERT_TRUE(pick(Control::Yyyy2, QStringLiteral("2015")));
  ASSERT_TRUE(pick(Control::Mm2, QStringLiteral("06")));
  markRequests();
  ASSERT_TRUE(click(Control::StartStop));
  ASSERT_NO_FATAL_FAILURE(waitForRequests(1));
  ASSERT_NO_FATAL_FAILURE(waitForRunToEnd());

  EXPECT_EQ(listed(newRequests()), listed(monthRequests(2015, 6, 6)));
  const QList<QDate> june = tradingDays(2015, 6, 6);
  m_expectedFiles << dayFiles(june);
  EXPECT_EQ(listed(filesUnder(dbFolder())), listed(m_expectedFiles));
  for (const QDate day : june) {
    EXPECT_TRUE(
        holdsBytes(dbFolder() + QLatin1Char('/') + inDailyFolder(day), m_tree.dayFile(day)));
  }
  EXPECT_FALSE(QFileInfo::exists(dbFolder() + QStringLiteral("/2015/data_dg")))
      << "the scratch folder for month files stays behind";
  EXPECT_TRUE(holdsBytes(scratchFile(), m_tree.monthFile(2015, 6)));
  expectOutcomeColour(isBlue, "completed");
}

// A whole year, stopped as soon as 収集停止 shows: the month in hand is finished,
// no later one is asked for, and nothing of the run is left half done.
void EndToEnd::stopAYearRun() {
  ASSERT_TRUE(pick(Control::Yyyy2, QStringLiteral("2014")));
  ASSERT_TRUE(pick(Control::Mm2, QStringLiteral("all")));
  markRequests();
  ASSERT_TRUE(click(Control::StartStop));
  ASSERT_NO_FATAL_FAILURE(waitForRunningState());
  ASSERT_TRUE(click(Control::StartStop));
  ASSERT_NO_FATAL_FAILURE(waitForRunToEnd());

  const QStringList requests = newRequests();
  const int monthsDone = int(requests.size());
  RecordProperty("months_collected_before_the_stop", monthsDone);
  ASSERT_GE(monthsDone, 1);
  ASSERT_LT(monthsDone, 12) << "the stop did not shorten the year";
  EXPECT_EQ(requests.join(QLatin1Char(' ')).toStdString(),
            monthRequests(2014, 1, monthsDone).join(QLatin1Char(' ')).toStdString());
  const QList<QDate> daysDone = tradingDays(2014, 1, monthsDone);
  m_expectedFiles << dayFiles(daysDone);
  EXPECT_EQ(listed(filesUnder(dbFolder())), listed(m_expectedFiles));
  for (const QDate day : daysDone) {
    EXPECT_TRUE(
        holdsBytes(dbFolder() + QLatin1Char('/') + inDailyFolder(day), m_tree.dayFile(day)));
  }
  EXPECT_FALSE(QFileInfo::exists(dbFolder() + QStringLiteral("/2014/data_dg")))
      << "a stopped year run leaves its scratch folder";
  EXPECT_TRUE(holdsBytes(scratchFile(), m_tree.monthFile(2014, monthsDone)));
  expectOutcomeColour(isRed, "stopped");
}

void EndToEnd::closeWithTheCloseButton() {
  ASSERT_TRUE(click(Control::Close));
  ASSERT_TRUE(m_program.process.waitForFinished(kProcessWaitMs))
      << "閉じる did not end the program";
  EXPECT_EQ(m_program.process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(m_program.process.exitCode(), 0);
}

TEST_F(EndToEnd, CollectsADayAMonthAndAStoppedYearThenCloses) {
  ASSERT_NO_FATAL_FAILURE(collectOneDay());
  ASSERT_NO_FATAL_FAILURE(collectOneMonth());
  ASSERT_NO_FATAL_FAILURE(stopAYearRun());
  closeWithTheCloseButton();
}

}  // namespace
}  // namespace kabuka::e2e
