// Start-up, closing, and the window as a run sees it: the stop flag, the stop
// button, the run's controls, and a closed window that takes no more updates.

#include "app/fonts.h"
#include "collect/run_control.h"
#include "form_harness.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace kabuka {

using test::control;
using test::FormHarness;

namespace {

QPushButton* button(dl_form& form, const char* name) {
  return control<QPushButton>(form, QLatin1String(name));
}

QLabel* label(dl_form& form, const char* name) {
  return control<QLabel>(form, QLatin1String(name));
}

QColor textColour(const QLabel* shown) {
  return shown->palette().color(QPalette::WindowText);
}

// What a run shows of the window, to compare before and after a change.
struct Look {
  QString label1;
  QColor label1Colour;
  QString label3;
  bool startVisible;
  bool stopVisible;
  bool closeEnabled;
  bool frameEnabled;
  friend bool operator==(const Look&, const Look&) = default;
};

Look lookOf(dl_form& form) {
  return {label(form, "Label1")->text(),
          textColour(label(form, "Label1")),
          label(form, "Label3")->text(),
          !button(form, "m_dl_start_cmd")->isHidden(),
          !button(form, "m_dl_stop_cmd")->isHidden(),
          button(form, "stop_cmd")->isEnabled(),
          control<QGroupBox>(form, QStringLiteral("meigara_code_frame"))->isEnabled()};
}

// Stands in for a run: yields until it sees the stop flag, as a run does
// between its steps. Returns how many yields that took, or -1 when it never did.
int runUntilStopped(dl_form& form) {
  for (int yields = 1; yields <= 2000; ++yields) {
    form.yield();
    if (isTrue(form.stop_flg())) {
      return yields;
    }
  }
  return -1;
}

// Runs the application's event loop, as the program does, with `action` as its
// first event. Returns exec()'s result, or 99 when the loop did not end by itself.
int execWith(const std::function<void()>& action) {
  QTimer::singleShot(0, qApp, action);
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
  giveUp.start(10'000);
  return QApplication::exec();
}

}  // namespace

class LifecycleTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { installGothicSubstitute(); }

  void startUpLeavesTheWindowReady_data();
  void startUpLeavesTheWindowReady();
  void startUpReadsTheWholeSettingsFile();
  void closeButtonRaisesTheStopFlagAndCloses();
  void closeCommandRaisesTheStopFlagAndCloses();
  void closingWhileRunningEndsTheProgramOnceTheRunReturns();
  void closedWindowDropsEveryUpdate();
  void runSwitchesTheWindowsControls();
  void stopButtonPressRaisesTheFlagAtOnce_data();
  void stopButtonPressRaisesTheFlagAtOnce();
  void stopButtonClickShowsTheNotice_data();
  void stopButtonClickShowsTheNotice();
};

void LifecycleTest::startUpLeavesTheWindowReady_data() {
  QTest::addColumn<QByteArray>("settings");
  QTest::addColumn<bool>("writeFile");
  QTest::newRow("no settings file") << QByteArray() << false;
  QTest::newRow("empty settings file") << QByteArray() << true;
  QTest::newRow("no terminator") << QByteArray("日毎株価フォルダ名,daily\r\n") << true;
  QTest::newRow("binary junk") << QByteArray("\x00\xff\x81,\"\"\"\r\n\x82", 10) << true;
}

// Whatever the settings reader meets, the window comes up filled and usable.
void LifecycleTest::startUpLeavesTheWindowReady() {
  QFETCH(QByteArray, settings);
  QFETCH(bool, writeFile);
  FormHarness harness(QDate(2016, 3, 15));
  if (writeFile) {
    QVERIFY(test::writeBytes(harness.programFolder() + QStringLiteral("/settei.txt"), settings));
  }
  dl_form& form = harness.load();

  QVERIFY(form.isVisible());
  QCOMPARE(form.stop_flg(), kFalse);
  QCOMPARE(label(form, "Label2")->text(), QStringLiteral("v20160315"));
  QCOMPARE(textColour(label(form, "Label2")), QColor(0, 128, 0));
  QCOMPARE(label(form, "Label6")->text(), QStringLiteral("日毎株価収集ソフトウェア"));
  const Look idle{QString(), textColour(label(form, "Label1")), QString(), true, true, true, true};
  QCOMPARE(lookOf(form), idle);
  QVERIFY(button(form, "m_dl_start_cmd")->isEnabled());
  for (QComboBox* list : form.findChildren<QComboBox*>()) {
    QVERIFY2(list->isEnabled() && list->count() > 0 && list->currentIndex() >= 0,
             qPrintable(list->objectName()));
  }
  for (QRadioButton* option : form.findChildren<QRadioButton*>()) {
    QVERIFY(option->isEnabled());
  }
  QCOMPARE(form.selection().byDate, true);
}

// Start-up reads with the stop flag down, so the reader reaches the last record.
void LifecycleTest::startUpReadsTheWholeSettingsFile() {
  FormHarness harness;
  QStringList lines;
  for (int i = 0; i < 40; ++i) {
    lines.append(QStringLiteral("未使用のキー%1,値").arg(i));
  }
  lines.append(QStringLiteral("日毎株価取得サイト,http://127.0.0.1:8123/kabu/kabu2/kabuka_db/"));
  lines.append(QStringLiteral("EOF,EOF"));
  harness.writeSettings(lines);
  dl_form& form = harness.load();

  QTest::mouseClick(control<QWidget>(form, QStringLiteral("Image1")), Qt::LeftButton);
  QCOMPARE(harness.opener.opened, QList<QUrl>({QUrl(QStringLiteral("http://127.0.0.1:8123/"))}));
}

void LifecycleTest::closeButtonRaisesTheStopFlagAndCloses() {
  FormHarness harness;
  dl_form& form = harness.load();

  const int exitCode =
      execWith([&] { QTest::mouseClick(button(form, "stop_cmd"), Qt::LeftButton); });

  QCOMPARE(exitCode, 0);  // the program ends with its window
  QCOMPARE(form.stop_flg(), kTrue);
  QVERIFY(!form.isVisible());
  QVERIFY(form.closing());
}

void LifecycleTest::closeCommandRaisesTheStopFlagAndCloses() {
  FormHarness harness;
  dl_form& form = harness.load();

  // What the window manager's close command does.
  const int exitCode = execWith([&] { form.close(); });

  QCOMPARE(exitCode, 0);
  QCOMPARE(form.stop_flg(), kTrue);
  QVERIFY(!form.isVisible());
  QVERIFY(form.closing());
}

// The run is nested in the start button's click. A close reaches it through a
// yield: the run sees the flag at its next check, the window is not destroyed
// under it, what the run does on its way out no longer reaches the window, and
// the program ends once the click handler has returned.
void LifecycleTest::closingWhileRunningEndsTheProgramOnceTheRunReturns() {
  FormHarness harness;
  dl_form& form = harness.load();
  QPointer<dl_form> alive(&form);
  int yieldsUntilStopped = 0;
  Look whenClosed;

  const int exitCode = execWith([&] {
    form.set_stop_flg(kFalse);
    ctrl_enable_sub(form, kFalse);  // "閉じる" is locked: only the close command is left
    QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
    yieldsUntilStopped = runUntilStopped(form);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (alive) {
      whenClosed = lookOf(form);
      form.setLabel1Colour(kRed);
      form.setLabel1Caption(QStringLiteral("収集処理を中断しました。"));
      ctrl_enable_sub(form, kTrue);
    }
  });

  QCOMPARE(exitCode, 0);
  QVERIFY(yieldsUntilStopped > 0);
  QVERIFY(alive);
  QCOMPARE(lookOf(form), whenClosed);
  QVERIFY(!form.isVisible());
}

void LifecycleTest::closedWindowDropsEveryUpdate() {
  FormHarness harness;
  dl_form& form = harness.load();
  form.setLabel1Caption(QStringLiteral("before"));
  QVERIFY(form.close());
  const Look closed = lookOf(form);

  form.setLabel1Colour(kRed);
  form.setLabel1Caption(QStringLiteral("after"));
  form.setLabel3Colour(kRed);
  form.setLabel3Caption(QStringLiteral("after"));
  form.setStartButtonVisible(false);
  form.setStopButtonVisible(false);
  form.setCloseButtonEnabled(false);
  form.setDateFrameEnabled(false);
  form.yield();

  QCOMPARE(lookOf(form), closed);
  QCOMPARE(label(form, "Label1")->text(), QStringLiteral("before"));
  QVERIFY(!form.isVisible());
}

void LifecycleTest::runSwitchesTheWindowsControls() {
  FormHarness harness;
  dl_form& form = harness.load();
  const Look idle = lookOf(form);

  ctrl_enable_sub(form, kFalse);
  Look running = idle;
  running.startVisible = false;
  running.stopVisible = true;
  running.closeEnabled = false;
  running.frameEnabled = false;
  QCOMPARE(lookOf(form), running);
  // The side commands stay usable during a run.
  QVERIFY(button(form, "Command1")->isEnabled());
  QVERIFY(button(form, "help_cmd")->isEnabled());
  QVERIFY(control<QWidget>(form, QStringLiteral("Image1"))->isEnabled());

  ctrl_enable_sub(form, kTrue);
  Look after = idle;
  after.stopVisible = false;
  QCOMPARE(lookOf(form), after);
}

void LifecycleTest::stopButtonPressRaisesTheFlagAtOnce_data() {
  QTest::addColumn<Qt::MouseButton>("mouseButton");
  QTest::newRow("left") << Qt::LeftButton;
  QTest::newRow("right") << Qt::RightButton;
  QTest::newRow("middle") << Qt::MiddleButton;
}

// The press alone raises the flag; the notice waits for the click.
void LifecycleTest::stopButtonPressRaisesTheFlagAtOnce() {
  QFETCH(Qt::MouseButton, mouseButton);
  FormHarness harness;
  dl_form& form = harness.load();
  ctrl_enable_sub(form, kFalse);
  form.set_stop_flg(kFalse);

  QTest::mousePress(button(form, "m_dl_stop_cmd"), mouseButton);

  QCOMPARE(form.stop_flg(), kTrue);
  QVERIFY(label(form, "Label3")->text().isEmpty());
  QTest::mouseRelease(button(form, "m_dl_stop_cmd"), mouseButton);
}

void LifecycleTest::stopButtonClickShowsTheNotice_data() {
  QTest::addColumn<bool>("byKeyboard");
  QTest::newRow("mouse") << false;
  QTest::newRow("keyboard") << true;  // a click without a press of the mouse
}

void LifecycleTest::stopButtonClickShowsTheNotice() {
  QFETCH(bool, byKeyboard);
  FormHarness harness;
  dl_form& form = harness.load();
  ctrl_enable_sub(form, kFalse);
  form.set_stop_flg(kFalse);

  if (byKeyboard) {
    QTest::keyClick(button(form, "m_dl_stop_cmd"), Qt::Key_Space);
  } else {
    QTest::mouseClick(button(form, "m_dl_stop_cmd"), Qt::LeftButton);
  }

  QCOMPARE(form.stop_flg(), kTrue);
  QCOMPARE(label(form, "Label3")->text(), QStringLiteral("まもなく停止します。"));
  QCOMPARE(textColour(label(form, "Label3")), QColor(255, 0, 0));
  QVERIFY(form.isVisible());  // stopping a run is not closing the window
}

}  // namespace kabuka

QTEST_MAIN(kabuka::LifecycleTest)
#include "lifecycle_test.moc"
