// The five date lists: what start-up puts in them on a given day, and how picking
// an entry chooses between "日付指定" and "年月指定".

#include "app/fonts.h"
#include "form_harness.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>

namespace kabuka {

using test::control;
using test::entries;
using test::FormHarness;

namespace {

QStringList yearsDownTo1983(int from) {
  QStringList years;
  for (int year = from; year >= 1983; --year) {
    years.append(QString::number(year));
  }
  return years;
}

QStringList numbered(int count) {
  QStringList texts;
  for (int n = 1; n <= count; ++n) {
    texts.append(QString::number(n).rightJustified(2, QLatin1Char('0')));
  }
  return texts;
}

QStringList shownTexts(const DateSelection& chosen) {
  return {chosen.yyyy1, chosen.mm1, chosen.dd1, chosen.yyyy2, chosen.mm2};
}

int selectedMode(const DateSelection& chosen) {
  if (chosen.byDate == chosen.byYearMonth) {
    return -1;  // not exactly one: a fault in itself
  }
  return chosen.byDate ? 0 : 1;
}

qsizetype placeInSelection(const QString& list) {
  return QStringList({"yyyy1_cmb", "mm1_cmb", "dd1_cmb", "yyyy2_cmb", "mm2_cmb"}).indexOf(list);
}

enum class Input { Program, Mouse, Keyboard };

// A click on the entry in the open list, as a user picks it.
bool pickWithMouse(QComboBox* list, const QString& text) {
  list->showPopup();
  QAbstractItemView* popup = list->view();
  if (!QTest::qWaitForWindowExposed(popup->window())) {
    return false;
  }
  const QModelIndex entry = popup->model()->index(list->findText(text), 0);
  popup->scrollTo(entry);
  // Only the part of the entry inside the list can be clicked.
  const QPoint spot = popup->visualRect(entry).intersected(popup->viewport()->rect()).center();
  QTest::mouseMove(popup->viewport(), spot);
  QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, spot);
  return !popup->isVisible();
}

// F4 opens the list, the arrows walk to the entry and Enter takes it.
bool pickWithKeyboard(QComboBox* list, const QString& text) {
  QTest::keyClick(list, Qt::Key_F4);
  QAbstractItemView* popup = list->view();
  if (!popup->isVisible()) {
    return false;
  }
  const int target = list->findText(text);
  for (int steps = list->count(); steps > 0 && popup->currentIndex().row() != target; --steps) {
    QTest::keyClick(popup, popup->currentIndex().row() < target ? Qt::Key_Down : Qt::Key_Up);
  }
  QTest::keyClick(popup, Qt::Key_Return);
  return !popup->isVisible();
}

bool pick(QComboBox* list, const QString& text, Input input) {
  switch (input) {
    case Input::Program:
      list->setCurrentIndex(list->findText(text));
      return true;
    case Input::Mouse:
      return pickWithMouse(list, text);
    case Input::Keyboard:
      return pickWithKeyboard(list, text);
  }
  return false;
}

// One notch down, delivered the way the windowing system delivers it: as a
// spontaneous event, which may move the focus before the list sees it.
void turnWheelDownOver(QComboBox* list) {
  const QPointF centre = QRectF(list->rect()).center();
  QWheelEvent notch(centre, list->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&notch);
  QApplication::instance()->notify(list, &notch);
}

}  // namespace

}  // namespace kabuka

Q_DECLARE_METATYPE(kabuka::Input)

namespace kabuka {

class DateSelectionTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { installGothicSubstitute(); }

  void startUpShowsToday_data();
  void startUpShowsToday();
  void listsHoldTheirEntries();
  void fillingClicksEachListOnceInOrder();
  void yearListsAreNotRenewedAtNewYear();
  void pickingAnEntryChoosesItsRow_data();
  void pickingAnEntryChoosesItsRow();
  void pickingWithTheKeyboardChoosesTheRowToo();
  void wheelTurnsOnlyAFocusedList_data();
  void wheelTurnsOnlyAFocusedList();
  void choosingAnOptionChangesNoList_data();
  void choosingAnOptionChangesNoList();
  void disablingTheFrameKeepsEntriesAndSelection();
};

void DateSelectionTest::startUpShowsToday_data() {
  QTest::addColumn<QDate>("today");
  QTest::addColumn<QString>("year");
  QTest::addColumn<QString>("month");
  QTest::addColumn<QString>("day");
  QTest::addColumn<int>("yearCount");
  QTest::newRow("2016-03-15") << QDate(2016, 3, 15) << "2016"
                              << "03"
                              << "15" << 34;
  QTest::newRow("31 January") << QDate(2016, 1, 31) << "2016"
                              << "01"
                              << "31" << 34;
  QTest::newRow("31 December") << QDate(2015, 12, 31) << "2015"
                               << "12"
                               << "31" << 33;
  QTest::newRow("1 January 1983") << QDate(1983, 1, 1) << "1983"
                                  << "01"
                                  << "01" << 1;
  QTest::newRow("9 October 2024") << QDate(2024, 10, 9) << "2024"
                                  << "10"
                                  << "09" << 42;
}

void DateSelectionTest::startUpShowsToday() {
  QFETCH(QDate, today);
  QFETCH(QString, year);
  QFETCH(QString, month);
  QFETCH(QString, day);
  QFETCH(int, yearCount);
  FormHarness harness(today);
  dl_form& form = harness.load();

  const DateSelection chosen = form.selection();
  QCOMPARE(selectedMode(chosen), 0);
  QCOMPARE(shownTexts(chosen), QStringList({year, month, day, year, month}));
  QCOMPARE(control<QComboBox>(form, QStringLiteral("yyyy1_cmb"))->count(), yearCount);
  QCOMPARE(control<QComboBox>(form, QStringLiteral("yyyy2_cmb"))->count(), yearCount);
}

void DateSelectionTest::listsHoldTheirEntries() {
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.load();

  QCOMPARE(entries(control<QComboBox>(form, QStringLiteral("yyyy1_cmb"))), yearsDownTo1983(2016));
  QCOMPARE(entries(control<QComboBox>(form, QStringLiteral("yyyy2_cmb"))), yearsDownTo1983(2016));
  QCOMPARE(entries(control<QComboBox>(form, QStringLiteral("mm1_cmb"))), numbered(12));
  QCOMPARE(entries(control<QComboBox>(form, QStringLiteral("mm2_cmb"))),
           numbered(12) << QStringLiteral("all"));
  QCOMPARE(entries(control<QComboBox>(form, QStringLiteral("dd1_cmb"))), numbered(31));
}

// Each list's click fires when the program shows its entry, so during filling the
// option follows each list in turn and ends on "日付指定" with the day list.
void DateSelectionTest::fillingClicksEachListOnceInOrder() {
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.form();
  QStringList clicked;
  for (const char* name : {"yyyy1_cmb", "yyyy2_cmb", "mm1_cmb", "mm2_cmb", "dd1_cmb"}) {
    auto* list = control<QComboBox>(form, QLatin1String(name));
    connect(list, &QComboBox::currentIndexChanged, list,
            [&clicked, list] { clicked.append(list->objectName()); });
  }
  QList<int> optionFollowed;
  for (int index : {0, 1}) {
    auto* option = control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_%1").arg(index));
    connect(option, &QRadioButton::toggled, option, [&optionFollowed, index](bool on) {
      if (on) {
        optionFollowed.append(index);
      }
    });
  }

  form.Form_Load();

  QCOMPARE(clicked, QStringList({"yyyy1_cmb", "yyyy2_cmb", "mm1_cmb", "mm2_cmb", "dd1_cmb"}));
  // "日付指定" is selected from the design on, so the first change is to 1.
  QCOMPARE(optionFollowed, QList<int>({1, 0, 1, 0}));
}

void DateSelectionTest::yearListsAreNotRenewedAtNewYear() {
  FormHarness harness(QDate(2015, 12, 31));
  dl_form& form = harness.load();
  harness.setToday(QDate(2016, 1, 1));
  QTest::qWait(10);

  const QStringList years = entries(control<QComboBox>(form, QStringLiteral("yyyy1_cmb")));
  QCOMPARE(years.first(), QStringLiteral("2015"));
  QVERIFY(!years.contains(QStringLiteral("2016")));
  QCOMPARE(entries(control<QComboBox>(form, QStringLiteral("yyyy2_cmb"))), years);
}

void DateSelectionTest::pickingAnEntryChoosesItsRow_data() {
  QTest::addColumn<int>("modeBefore");
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("entry");
  QTest::addColumn<int>("modeAfter");
  QTest::addColumn<Input>("input");
  QTest::newRow("all in mm2 while by date") << 0 << "mm2_cmb"
                                            << "all" << 1 << Input::Program;
  QTest::newRow("month in mm2 while by date") << 0 << "mm2_cmb"
                                              << "07" << 1 << Input::Program;
  QTest::newRow("year in yyyy2 while by date") << 0 << "yyyy2_cmb"
                                               << "1999" << 1 << Input::Program;
  QTest::newRow("year in yyyy1 while by year-month") << 1 << "yyyy1_cmb"
                                                     << "2010" << 0 << Input::Program;
  QTest::newRow("month in mm1 while by year-month") << 1 << "mm1_cmb"
                                                    << "12" << 0 << Input::Program;
  QTest::newRow("day in dd1 while by year-month") << 1 << "dd1_cmb"
                                                  << "01" << 0 << Input::Program;
  QTest::newRow("year in yyyy1 while by date") << 0 << "yyyy1_cmb"
                                               << "1983" << 0 << Input::Program;
  QTest::newRow("all in mm2 while by year-month") << 1 << "mm2_cmb"
                                                  << "all" << 1 << Input::Program;
  QTest::newRow("mouse: all in mm2 while by date") << 0 << "mm2_cmb"
                                                   << "all" << 1 << Input::Mouse;
  QTest::newRow("keyboard: day in dd1 while by year-month") << 1 << "dd1_cmb"
                                                            << "20" << 0 << Input::Keyboard;
  // The entry already shown: the pick alone must switch the option.
  QTest::newRow("mouse: this month in mm2 while by date") << 0 << "mm2_cmb"
                                                          << "03" << 1 << Input::Mouse;
  QTest::newRow("keyboard: this month in mm2 while by date") << 0 << "mm2_cmb"
                                                             << "03" << 1 << Input::Keyboard;
  QTest::newRow("mouse: this year in yyyy2 while by date") << 0 << "yyyy2_cmb"
                                                           << "2016" << 1 << Input::Mouse;
  QTest::newRow("mouse: this year in yyyy1 while by year-month") << 1 << "yyyy1_cmb"
                                                                 << "2016" << 0 << Input::Mouse;
  QTest::newRow("keyboard: this month in mm1 while by year-month") << 1 << "mm1_cmb"
                                                                   << "03" << 0 << Input::Keyboard;
  QTest::newRow("mouse: today in dd1 while by year-month") << 1 << "dd1_cmb"
                                                           << "15" << 0 << Input::Mouse;
}

// Picking changes the option and the picked list, nothing else.
void DateSelectionTest::pickingAnEntryChoosesItsRow() {
  QFETCH(int, modeBefore);
  QFETCH(QString, list);
  QFETCH(QString, entry);
  QFETCH(int, modeAfter);
  QFETCH(Input, input);
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.load();
  QTest::mouseClick(control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_%1").arg(modeBefore)),
                    Qt::LeftButton);
  QCOMPARE(selectedMode(form.selection()), modeBefore);
  const QStringList before = shownTexts(form.selection());

  QVERIFY(pick(control<QComboBox>(form, list), entry, input));

  const DateSelection after = form.selection();
  QCOMPARE(selectedMode(after), modeAfter);
  QStringList expected = before;
  expected[placeInSelection(list)] = entry;
  QCOMPARE(shownTexts(after), expected);
}

void DateSelectionTest::pickingWithTheKeyboardChoosesTheRowToo() {
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.load();
  QTest::keyClick(control<QComboBox>(form, QStringLiteral("mm2_cmb")), Qt::Key_Down);
  QCOMPARE(selectedMode(form.selection()), 1);
  QCOMPARE(form.selection().mm2, QStringLiteral("04"));

  QTest::keyClick(control<QComboBox>(form, QStringLiteral("dd1_cmb")), Qt::Key_Up);
  QCOMPARE(selectedMode(form.selection()), 0);
  QCOMPARE(form.selection().dd1, QStringLiteral("14"));
  QCOMPARE(form.selection().mm2, QStringLiteral("04"));
}

void DateSelectionTest::wheelTurnsOnlyAFocusedList_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<int>("modeBefore");
  QTest::addColumn<bool>("focused");
  QTest::addColumn<int>("modeAfter");
  QTest::newRow("yyyy1 unfocused") << "yyyy1_cmb" << 1 << false << 1;
  QTest::newRow("mm1 unfocused") << "mm1_cmb" << 1 << false << 1;
  QTest::newRow("dd1 unfocused") << "dd1_cmb" << 1 << false << 1;
  QTest::newRow("yyyy2 unfocused") << "yyyy2_cmb" << 0 << false << 0;
  QTest::newRow("mm2 unfocused") << "mm2_cmb" << 0 << false << 0;
  QTest::newRow("dd1 focused") << "dd1_cmb" << 1 << true << 0;
  QTest::newRow("mm2 focused") << "mm2_cmb" << 0 << true << 1;
}

// A wheel turned while passing over the window must not choose a date; a list the
// user has focused still turns with it.
void DateSelectionTest::wheelTurnsOnlyAFocusedList() {
  QFETCH(QString, list);
  QFETCH(int, modeBefore);
  QFETCH(bool, focused);
  QFETCH(int, modeAfter);
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.load();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_%1").arg(modeBefore))->click();
  auto* box = control<QComboBox>(form, list);
  (focused ? box : control<QWidget>(form, QStringLiteral("Command1")))->setFocus();
  QCOMPARE(box->hasFocus(), focused);
  QStringList expected = shownTexts(form.selection());
  if (focused) {
    expected[placeInSelection(list)] = box->itemText(box->currentIndex() + 1);
  }

  turnWheelDownOver(box);

  QCOMPARE(selectedMode(form.selection()), modeAfter);
  QCOMPARE(shownTexts(form.selection()), expected);
  QCOMPARE(box->hasFocus(), focused);
}

void DateSelectionTest::choosingAnOptionChangesNoList_data() {
  QTest::addColumn<int>("option");
  QTest::newRow("年月指定") << 1;
  QTest::newRow("日付指定 again") << 0;
}

void DateSelectionTest::choosingAnOptionChangesNoList() {
  QFETCH(int, option);
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.load();
  // Make the rows differ, so a list copied from the other row would show.
  auto* mm2 = control<QComboBox>(form, QStringLiteral("mm2_cmb"));
  mm2->setCurrentIndex(mm2->findText(QStringLiteral("all")));
  auto* dd1 = control<QComboBox>(form, QStringLiteral("dd1_cmb"));
  dd1->setCurrentIndex(dd1->findText(QStringLiteral("28")));
  const QStringList before = shownTexts(form.selection());

  QTest::mouseClick(control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_%1").arg(option)),
                    Qt::LeftButton);

  QCOMPARE(selectedMode(form.selection()), option);
  QCOMPARE(shownTexts(form.selection()), before);
}

void DateSelectionTest::disablingTheFrameKeepsEntriesAndSelection() {
  FormHarness harness(QDate(2016, 3, 15));
  dl_form& form = harness.load();
  auto* yyyy2 = control<QComboBox>(form, QStringLiteral("yyyy2_cmb"));
  yyyy2->setCurrentIndex(yyyy2->findText(QStringLiteral("2001")));
  const QStringList before = shownTexts(form.selection());

  form.setDateFrameEnabled(false);
  for (QWidget* inside :
       control<QWidget>(form, QStringLiteral("meigara_code_frame"))->findChildren<QWidget*>()) {
    QVERIFY2(!inside->isEnabled() && inside->isVisible(), qPrintable(inside->objectName()));
  }
  form.setDateFrameEnabled(true);

  QVERIFY(yyyy2->isEnabled());
  QCOMPARE(selectedMode(form.selection()), 1);
  QCOMPARE(shownTexts(form.selection()), before);
  QCOMPARE(yyyy2->count(), 34);
}

}  // namespace kabuka

QTEST_MAIN(kabuka::DateSelectionTest)
#include "date_selection_test.moc"
