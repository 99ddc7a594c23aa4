// The window as it stands after start-up: every control's place, caption, font,
// colour, stacking and keyboard order, and that all of it can be read.

#include "app/fonts.h"
#include "collect/run_control.h"
#include "form_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <cmath>

namespace kabuka {

using test::control;
using test::FormHarness;
using test::twipsAsPixels;

namespace {

QColor textColour(const QLabel* label) {
  return label->palette().color(QPalette::WindowText);
}

QString captionOf(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) {
    return label->text();
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    return button->text();
  }
  if (const auto* frame = qobject_cast<const QGroupBox*>(widget)) {
    return frame->title();
  }
  return {};
}

bool within(int actual, double expected, double tolerance) {
  return std::abs(actual - expected) <= tolerance;
}

}  // namespace

class DlFormLayoutTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();
  void cleanup();

  void controlSitsAtItsPlace_data();
  void controlSitsAtItsPlace();
  void optionRowsKeepTheirMiddle_data();
  void optionRowsKeepTheirMiddle();
  void windowIsFixedAndEndsBelowTheCopyrightLine();
  void designStateBeforeStartUp();
  void captions_data();
  void captions();
  void colours();
  void fonts_data();
  void fonts();
  void textIsDrawnInTheJapaneseGothicFaceWithEveryGlyph();
  void textFitsItsBox();
  void startButtonLiesOverStopButton();
  void dateFrameLiesOverFrame2();
  void keyboardOrder_data();
  void keyboardOrder();
  void focusStartsOnDataCheck();
  void noDefaultButtonMnemonicTooltipOrTyping();
  void logoIsShownUnscaled();
  void iconIs32PixelsSquare();

private:
  std::unique_ptr<FormHarness> m_harness;
  dl_form* m_form = nullptr;
};

void DlFormLayoutTest::initTestCase() {
  QVERIFY2(!installGothicSubstitute().isEmpty(), "no Japanese gothic face is installed");
}

void DlFormLayoutTest::init() {
  m_harness = std::make_unique<FormHarness>();
  m_form = &m_harness->load();
}

void DlFormLayoutTest::cleanup() {
  m_form = nullptr;
  m_harness.reset();
}

void DlFormLayoutTest::controlSitsAtItsPlace_data() {
  QTest::addColumn<QString>("container");
  QTest::addColumn<int>("left");
  QTest::addColumn<int>("top");
  QTest::addColumn<int>("width");
  QTest::addColumn<int>("height");

  struct Place {
    const char* name;
    const char* container;
    int left, top, width, height;
  };
  // In twips, relative to the container's top-left corner.
  const Place places[] = {
      {"Frame2", "dl_form", 60, 0, 5475, 2205},
      {"meigara_code_frame", "dl_form", 120, 930, 5370, 1215},
      {"Label6", "Frame2", 60, 210, 4170, 270},
      {"Image1", "Frame2", 4215, 120, 1185, 420},
      {"m_dl_start_cmd", "Frame2", 60, 570, 1860, 330},
      {"m_dl_stop_cmd", "Frame2", 60, 570, 1860, 330},
      {"stop_cmd", "Frame2", 1950, 570, 1230, 330},
      {"Command1", "Frame2", 3165, 570, 1350, 330},
      {"help_cmd", "Frame2", 4500, 570, 855, 330},
      {"yyyy1_cmb", "meigara_code_frame", 1440, 360, 855, 300},
      {"name_lb_1", "meigara_code_frame", 2340, 420, 375, 255},
      {"mm1_cmb", "meigara_code_frame", 2760, 360, 735, 300},
      {"name_lb_2", "meigara_code_frame", 3510, 413, 375, 255},
      {"dd1_cmb", "meigara_code_frame", 3840, 360, 735, 300},
      {"name_lb_3", "meigara_code_frame", 4635, 413, 375, 255},
      {"yyyy2_cmb", "meigara_code_frame", 1440, 765, 885, 300},
      // Designed 150 high, which cuts the character off; as high as its siblings.
      {"name_lb_7", "meigara_code_frame", 2340, 855, 375, 255},
      {"mm2_cmb", "meigara_code_frame", 2745, 765, 735, 300},
      {"name_lb_0", "meigara_code_frame", 3510, 803, 375, 255},
      {"Label1", "dl_form", 90, 2250, 5385, 255},
      {"Label2", "dl_form", 90, 2565, 1365, 195},
      {"Label3", "dl_form", 2820, 2565, 2670, 195},
      // Moved up at start-up; one pixel higher than designed so no kanji loses its top.
      {"copyright_lb", "dl_form", 1170, 2955, 3255, 210},
  };
  for (const Place& place : places) {
    QTest::newRow(place.name) << QString::fromLatin1(place.container) << place.left << place.top
                              << place.width << place.height;
  }
}

void DlFormLayoutTest::controlSitsAtItsPlace() {
  QFETCH(QString, container);
  QFETCH(int, left);
  QFETCH(int, top);
  QFETCH(int, width);
  QFETCH(int, height);
  const auto* widget = control<QWidget>(*m_form, QString::fromLatin1(QTest::currentDataTag()));

  QCOMPARE(widget->parentWidget()->objectName(), container);
  const QRect place = widget->geometry();
  QVERIFY2(within(place.left(), twipsAsPixels(left), 1), qPrintable(QString::number(place.left())));
  QVERIFY2(within(place.top(), twipsAsPixels(top), 1), qPrintable(QString::number(place.top())));
  QVERIFY2(within(place.width(), twipsAsPixels(width), 1),
           qPrintable(QString::number(place.width())));
  QVERIFY2(within(place.height(), twipsAsPixels(height), 1),
           qPrintable(QString::number(place.height())));
}

void DlFormLayoutTest::optionRowsKeepTheirMiddle_data() {
  QTest::addColumn<int>("left");
  QTest::addColumn<int>("top");
  QTest::addColumn<int>("width");
  QTest::addColumn<int>("height");
  QTest::newRow("yyyymmdd1_opt_0") << 127 << 450 << 1080 << 180;
  QTest::newRow("yyyymmdd1_opt_1") << 120 << 840 << 1095 << 180;
}

// The option rows may grow to hold the style's indicator, but only about their
// designed middle and only as much as the style asks for.
void DlFormLayoutTest::optionRowsKeepTheirMiddle() {
  QFETCH(int, left);
  QFETCH(int, top);
  QFETCH(int, width);
  QFETCH(int, height);
  const auto* option = control<QRadioButton>(*m_form, QString::fromLatin1(QTest::currentDataTag()));

  QCOMPARE(option->parentWidget()->objectName(), QStringLiteral("meigara_code_frame"));
  const QRect place = option->geometry();
  QVERIFY(within(place.left(), twipsAsPixels(left), 1));
  QVERIFY(within(place.width(), twipsAsPixels(width), 1));
  QVERIFY(within(place.top() + place.height() / 2.0, twipsAsPixels(top + height / 2), 1));
  QVERIFY(place.height() >= twipsAsPixels(height) - 1);
  QVERIFY(place.height() <= std::max(option->sizeHint().height(), int(twipsAsPixels(height)) + 1));
}

void DlFormLayoutTest::windowIsFixedAndEndsBelowTheCopyrightLine() {
  QVERIFY(within(m_form->width(), twipsAsPixels(5565), 1));
  QVERIFY(within(m_form->height(), twipsAsPixels(2955 + 210), 1));
  const auto* copyright = control<QLabel>(*m_form, QStringLiteral("copyright_lb"));
  QCOMPARE(copyright->geometry().bottom() + 1, m_form->height());
  QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
  QCOMPARE(m_form->size(), m_form->maximumSize());
}

void DlFormLayoutTest::designStateBeforeStartUp() {
  FormHarness fresh;
  dl_form& form = fresh.form();
  QVERIFY(within(form.height(), twipsAsPixels(3540), 1));
  QVERIFY(
      within(control<QLabel>(form, QStringLiteral("copyright_lb"))->y(), twipsAsPixels(3240), 1));
  QVERIFY(control<QPushButton>(form, QStringLiteral("m_dl_stop_cmd"))->isHidden());
  QVERIFY(control<QLabel>(form, QStringLiteral("Label2"))->text().isEmpty());
  QVERIFY(control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_0"))->isChecked());
  QVERIFY(!form.isVisible());
}

void DlFormLayoutTest::captions_data() {
  QTest::addColumn<QString>("caption");
  QTest::newRow("dl_form") << QStringLiteral("日毎株価収集ソフトウェア");
  QTest::newRow("Label6") << QStringLiteral("日毎株価収集ソフトウェア");
  QTest::newRow("m_dl_start_cmd") << QStringLiteral("収集開始");
  QTest::newRow("m_dl_stop_cmd") << QStringLiteral("収集停止");
  QTest::newRow("stop_cmd") << QStringLiteral("閉じる");
  QTest::newRow("Command1") << QStringLiteral("データ確認");
  QTest::newRow("help_cmd") << QStringLiteral("使い方");
  QTest::newRow("meigara_code_frame") << QStringLiteral("収集対象日付指定");
  QTest::newRow("yyyymmdd1_opt_0") << QStringLiteral("日付指定");
  QTest::newRow("yyyymmdd1_opt_1") << QStringLiteral("年月指定");
  QTest::newRow("name_lb_0") << QStringLiteral("月");
  QTest::newRow("name_lb_1") << QStringLiteral("年");
  QTest::newRow("name_lb_2") << QStringLiteral("月");
  QTest::newRow("name_lb_3") << QStringLiteral("日");
  QTest::newRow("name_lb_7") << QStringLiteral("年");
  QTest::newRow("Label1") << QString();
  QTest::newRow("Label2") << QStringLiteral("v20160315");
  QTest::newRow("Label3") << QString();
}

void DlFormLayoutTest::captions() {
  QFETCH(QString, caption);
  const QString name = QString::fromLatin1(QTest::currentDataTag());
  if (name == QLatin1String("dl_form")) {
    QCOMPARE(m_form->windowTitle(), caption);
    return;
  }
  QCOMPARE(captionOf(control<QWidget>(*m_form, name)), caption);
}

void DlFormLayoutTest::colours() {
  QCOMPARE(textColour(control<QLabel>(*m_form, QStringLiteral("Label6"))), QColor(0, 0, 255));
  QCOMPARE(textColour(control<QLabel>(*m_form, QStringLiteral("Label2"))), QColor(0, 128, 0));
  QVERIFY(control<QLabel>(*m_form, QStringLiteral("copyright_lb"))->alignment() & Qt::AlignHCenter);
}

void DlFormLayoutTest::fonts_data() {
  QTest::addColumn<double>("points");
  QTest::addColumn<bool>("bold");
  QTest::newRow("dl_form") << 9.0 << false;
  QTest::newRow("Label6") << 12.0 << true;
  QTest::newRow("m_dl_start_cmd") << 9.0 << true;
  QTest::newRow("m_dl_stop_cmd") << 9.0 << true;
  QTest::newRow("stop_cmd") << 9.0 << true;
  QTest::newRow("Command1") << 9.0 << true;
  QTest::newRow("help_cmd") << 9.0 << true;
  QTest::newRow("copyright_lb") << 9.75 << false;
  QTest::newRow("meigara_code_frame") << 9.0 << false;
  QTest::newRow("yyyymmdd1_opt_0") << 9.0 << false;
  QTest::newRow("yyyy1_cmb") << 9.0 << false;
  QTest::newRow("name_lb_7") << 9.0 << false;
  QTest::newRow("Label1") << 9.0 << false;
  QTest::newRow("Label3") << 9.0 << false;
}

// Sizes are pixels at 96 dpi, as the boxes around the text are.
void DlFormLayoutTest::fonts() {
  QFETCH(double, points);
  QFETCH(bool, bold);
  const QString name = QString::fromLatin1(QTest::currentDataTag());
  const QWidget* widget =
      name == QLatin1String("dl_form") ? m_form : control<QWidget>(*m_form, name);
  const QFont font = widget->font();
  QCOMPARE(font.family(), kFormFontFamily);
  QVERIFY2(within(font.pixelSize(), points * 96 / 72, 0.5),
           qPrintable(QString::number(font.pixelSize())));
  QCOMPARE(font.bold(), bold);
}

void DlFormLayoutTest::textIsDrawnInTheJapaneseGothicFaceWithEveryGlyph() {
  QStringList texts = {m_form->windowTitle()};
  QList<QWidget*> widgets = m_form->findChildren<QWidget*>();
  for (QWidget* widget : widgets) {
    const QString caption = captionOf(widget);
    if (caption.isEmpty()) {
      continue;
    }
    const QString face = QFontInfo(widget->font()).family();
    QVERIFY2(face.contains(QLatin1String("Gothic"), Qt::CaseInsensitive) ||
                 face.contains(QStringLiteral("ゴシック")),
             qPrintable(widget->objectName() + QLatin1String(" is drawn in ") + face));
    const QRawFont raw = QRawFont::fromFont(widget->font());
    for (const QChar ch : caption) {
      if (!ch.isSpace()) {
        QVERIFY2(raw.supportsCharacter(ch),
                 qPrintable(widget->objectName() + QLatin1String(": no glyph for ") + ch));
      }
    }
  }
}

// Nothing is cut off: every caption's ink lies inside its box, including the
// longest texts the status and notice lines are given.
void DlFormLayoutTest::textFitsItsBox() {
  control<QLabel>(*m_form, QStringLiteral("Label1"))->setText(kNoDataMessage);
  control<QLabel>(*m_form, QStringLiteral("Label3"))->setText(kStoppingSoonNotice);

  for (const QLabel* label : m_form->findChildren<QLabel*>()) {
    if (label->text().isEmpty()) {
      continue;
    }
    const QFontMetrics metrics(label->font());
    const int lineTop =
        (label->alignment() & Qt::AlignBottom) ? label->height() - metrics.height() : 0;
    const QRect ink =
        metrics.tightBoundingRect(label->text()).translated(0, lineTop + metrics.ascent());
    QVERIFY2(
        ink.top() >= 0 && ink.bottom() < label->height(),
        qPrintable(label->objectName() + QLatin1String(" cuts its text vertically ") +
                   QString::number(ink.top()) + QLatin1Char(' ') + QString::number(ink.bottom()) +
                   QLatin1Char(' ') + QString::number(label->height())));
    QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(),
             qPrintable(label->objectName() + QLatin1String(" cuts its text horizontally")));
  }
  for (const QRadioButton* option : m_form->findChildren<QRadioButton*>()) {
    QStyleOptionButton look;
    look.initFrom(option);
    look.text = option->text();
    const QStyle* style = option->style();
    const QRect mark = style->subElementRect(QStyle::SE_RadioButtonIndicator, &look, option);
    const QRect words = style->subElementRect(QStyle::SE_RadioButtonContents, &look, option);
    QVERIFY2(option->rect().contains(mark), qPrintable(option->objectName()));
    QVERIFY2(option->fontMetrics().horizontalAdvance(option->text()) <= words.width(),
             qPrintable(option->objectName()));
    QVERIFY2(option->fontMetrics().height() <= option->height(), qPrintable(option->objectName()));
  }
  for (const QPushButton* button : m_form->findChildren<QPushButton*>()) {
    const QFontMetrics metrics(button->font());
    QVERIFY2(metrics.horizontalAdvance(button->text()) + 8 <= button->width(),
             qPrintable(button->objectName()));
    QVERIFY2(metrics.height() + 4 <= button->height(), qPrintable(button->objectName()));
  }
}

// Both buttons are visible after start-up; the one the user sees and presses at
// their shared place is "収集開始", and hiding it uncovers "収集停止".
void DlFormLayoutTest::startButtonLiesOverStopButton() {
  auto* start = control<QPushButton>(*m_form, QStringLiteral("m_dl_start_cmd"));
  auto* stop = control<QPushButton>(*m_form, QStringLiteral("m_dl_stop_cmd"));
  QVERIFY(start->isVisible());
  QVERIFY(stop->isVisible());
  const QPoint middle = start->geometry().center();
  QCOMPARE(start->parentWidget()->childAt(middle), start);

  ctrl_enable_sub(*m_form, kFalse);
  QCOMPARE(stop->parentWidget()->childAt(middle), stop);
  QCOMPARE(stop->geometry(), start->geometry());
}

void DlFormLayoutTest::dateFrameLiesOverFrame2() {
  auto* dateFrame = control<QGroupBox>(*m_form, QStringLiteral("meigara_code_frame"));
  auto* frame2 = control<QWidget>(*m_form, QStringLiteral("Frame2"));
  QVERIFY(frame2->geometry().contains(dateFrame->geometry()));
  // An empty spot of the date frame: its lower right corner area.
  const QPoint spot = dateFrame->geometry().bottomRight() - QPoint(6, 6);
  QCOMPARE(m_form->childAt(spot), dateFrame);
  // Nothing of Frame2 draws over it: it is a later sibling.
  const QObjectList siblings = m_form->children();
  QVERIFY(siblings.indexOf(dateFrame) > siblings.indexOf(frame2));
}

void DlFormLayoutTest::keyboardOrder_data() {
  QTest::addColumn<int>("selectedOption");
  QTest::newRow("日付指定 selected") << 0;
  QTest::newRow("年月指定 selected") << 1;
}

// Tab visits the visible, enabled controls in the designed order, and of the two
// option buttons only the selected one.
void DlFormLayoutTest::keyboardOrder() {
  QFETCH(int, selectedOption);
  const QString option = QStringLiteral("yyyymmdd1_opt_%1").arg(selectedOption);
  control<QRadioButton>(*m_form, option)->setChecked(true);
  m_form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(m_form));

  const QStringList expected = {
      QStringLiteral("Command1"),       QStringLiteral("help_cmd"),      QStringLiteral("stop_cmd"),
      QStringLiteral("m_dl_start_cmd"), QStringLiteral("m_dl_stop_cmd"), QStringLiteral("dd1_cmb"),
      QStringLiteral("mm1_cmb"),        QStringLiteral("yyyy1_cmb"),     option,
      QStringLiteral("yyyy2_cmb"),      QStringLiteral("mm2_cmb"),       QStringLiteral("Command1"),
  };
  control<QWidget>(*m_form, QStringLiteral("Command1"))->setFocus();
  QStringList visited = {QApplication::focusWidget()->objectName()};
  for (qsizetype i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.append(QApplication::focusWidget()->objectName());
  }
  QCOMPARE(visited, expected);
}

void DlFormLayoutTest::focusStartsOnDataCheck() {
  QVERIFY(QTest::qWaitForWindowExposed(m_form));
  QCOMPARE(m_form->focusWidget(), control<QWidget>(*m_form, QStringLiteral("Command1")));
}

void DlFormLayoutTest::noDefaultButtonMnemonicTooltipOrTyping() {
  for (const QPushButton* button : m_form->findChildren<QPushButton*>()) {
    QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
  }
  for (const QWidget* widget : m_form->findChildren<QWidget*>()) {
    QVERIFY2(!captionOf(widget).contains(QLatin1Char('&')), qPrintable(widget->objectName()));
    QVERIFY2(widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
  }
  const QList<QComboBox*> lists = m_form->findChildren<QComboBox*>();
  QCOMPARE(lists.size(), 5);
  for (const QComboBox* list : lists) {
    QVERIFY2(!list->isEditable(), qPrintable(list->objectName()));
  }
  // Escape and Enter at the window press nothing: the window stays open.
  QTest::keyClick(m_form, Qt::Key_Escape);
  QTest::keyClick(m_form, Qt::Key_Return);
  QVERIFY(m_form->isVisible());
  QCOMPARE(m_form->stop_flg(), kFalse);
}

void DlFormLayoutTest::logoIsShownUnscaled() {
  const auto* logo = control<QLabel>(*m_form, QStringLiteral("Image1"));
  const QPixmap picture = logo->pixmap();
  QCOMPARE(picture.size(), QSize(79, 28));
  QVERIFY(!logo->hasScaledContents());
  QCOMPARE(logo->cursor().shape(), Qt::ArrowCursor);
  // Drawn, not blank: more than a handful of colours.
  const QImage image = picture.toImage();
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      colours.insert(image.pixel(x, y));
    }
  }
  QVERIFY(colours.size() > 8);
}

void DlFormLayoutTest::iconIs32PixelsSquare() {
  const QIcon icon = m_form->windowIcon();
  QVERIFY(!icon.isNull());
  QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
  QVERIFY(!icon.pixmap(32, 32).hasAlphaChannel());
}

}  // namespace kabuka

QTEST_MAIN(kabuka::DlFormLayoutTest)
#include "layout_test.moc"
