#include "dl_form.h"

#include "app/artwork.h"
#include "app/fonts.h"
#include "app/home_page.h"
#include "app/picture_box.h"
#include "app/twips.h"
#include "collect/run_control.h"
#include "settings/settei_reader.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>

namespace kabuka {

using units::twipsRect;
using units::twipsToPixels;

namespace {

constexpr int kFirstYear = 1983;
constexpr int kClientWidth = 5565;
constexpr int kDesignClientHeight = 3540;
constexpr int kCopyrightTop = 2955;
constexpr int kCopyrightHeight = 225;  // designed 210, see buildStatusLines
// Once started, the window ends just below the copyright line.
constexpr int kClientHeight = kCopyrightTop + kCopyrightHeight;

const QString kMonthAll = QStringLiteral("all");

QLabel* addLabel(QWidget* parent, const char* name, const QString& caption, QRect place) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QLatin1String(name));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(place);
  return label;
}

QPushButton* addButton(QWidget* parent, const char* name, const QString& caption, QRect place) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setFont(formFont(9, QFont::Bold));
  // Enter and Escape must press nothing.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setGeometry(place);
  return button;
}

QComboBox* addList(QWidget* parent, const char* name, QRect place) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QLatin1String(name));
  list->setEditable(false);
  list->setGeometry(place);
  return list;
}

// The designed option rows are one line of text high, and most styles draw a
// taller indicator; such a row grows about its middle so it keeps its place.
void growAboutMiddleToFit(QWidget* widget) {
  const int needed = widget->sizeHint().height();
  QRect place = widget->geometry();
  if (needed <= place.height()) {
    return;
  }
  place.moveTop(place.top() - (needed - place.height()) / 2);
  place.setHeight(needed);
  widget->setGeometry(place);
}

QRadioButton* addOption(QWidget* parent, const char* name, const QString& caption, QRect place) {
  auto* option = new QRadioButton(caption, parent);
  option->setObjectName(QLatin1String(name));
  option->setGeometry(place);
  growAboutMiddleToFit(option);
  return option;
}

void setTextColour(QLabel* label, Rgb colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(colour.red, colour.green, colour.blue));
  label->setPalette(palette);
}

QString twoDigits(int number) {
  return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

// An appended entry is not shown by itself: a list shows an entry only once the
// program or the user picks one, and only that raises the list's click.
void appendEntry(QComboBox* list, const QString& text) {
  const QSignalBlocker quiet(list);
  const bool nothingShown = list->currentIndex() < 0;
  list->addItem(text);
  if (nothingShown) {
    list->setCurrentIndex(-1);
  }
}

void showEntry(QComboBox* list, int index) {
  if (index >= 0 && index < list->count()) {
    list->setCurrentIndex(index);
  }
}

void showText(QComboBox* list, const QString& text) {
  showEntry(list, list->findText(text, Qt::MatchExactly));
}

// The folder-existence test of "データ確認": the folder must be there and be one
// that can be listed and entered.
bool folderCanBeEntered(const QString& path) {
  const QFileInfo info(path);
  return !path.isEmpty() && info.isDir() && info.isReadable() && info.isExecutable();
}

RunEnvironment runEnvironmentFor(const FormEnvironment& form) {
  RunEnvironment run;
  run.programFolder = form.programFolder;
  run.builtInBaseUrl = form.builtInBaseUrl;
  run.today = form.today;
  run.locale = QLocale();
  return run;
}

}  // namespace

dl_form::dl_form(FormEnvironment environment, DesktopOpener& opener, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_env(std::move(environment)),
      m_opener(opener),
      m_driver(*this, m_settei_tbl, runEnvironmentFor(m_env)) {
  setObjectName(QStringLiteral("dl_form"));
  setWindowTitle(kFormCaption);
  setWindowIcon(drawIcon());
  setFont(formFont(9));
  setFixedSize(units::twipsSize(kClientWidth, kDesignClientHeight));
  // Siblings are created bottom first: Qt draws a later sibling over an earlier one.
  buildStatusLines();
  buildFrame2();
  buildDateFrame();
  setKeyboardOrder();
  connectHandlers();
}

void dl_form::buildStatusLines() {
  m_ui.Label1 = addLabel(this, "Label1", {}, twipsRect(90, 2250, 5385, 255));
  m_ui.Label2 = addLabel(this, "Label2", {}, twipsRect(90, 2565, 1365, 195));
  setTextColour(m_ui.Label2, kGreen);
  m_ui.Label3 = addLabel(this, "Label3", {}, twipsRect(2820, 2565, 2670, 195));
  m_ui.copyright_lb =
      addLabel(this, "copyright_lb", QStringLiteral("(C) 2016 日毎株価収集ソフトウェア"),
               twipsRect(1170, 3240, 3255, kCopyrightHeight));
  m_ui.copyright_lb->setFont(formFont(9.75));
  // Bottom-aligned in a line one pixel higher than designed: at this size the
  // tallest kanji rise a pixel above the face's ascent and would lose their tops.
  m_ui.copyright_lb->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
}

void dl_form::buildFrame2() {
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("Frame2"));
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(twipsRect(60, 0, 5475, 2205));

  m_ui.Label6 = addLabel(frame, "Label6", kFormCaption, twipsRect(60, 210, 4170, 270));
  m_ui.Label6->setFont(formFont(12, QFont::Bold));
  // The emboldened kanji rise a pixel above the face's ascent; the box has a
  // pixel to spare below the line, so the line sits at its bottom.
  m_ui.Label6->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  setTextColour(m_ui.Label6, kBlue);

  m_ui.Image1 = new PictureBox(frame);
  m_ui.Image1->setObjectName(QStringLiteral("Image1"));
  m_ui.Image1->setPixmap(drawLogo());
  m_ui.Image1->setGeometry(twipsRect(4215, 120, 1185, 420));

  buildFrame2Buttons(frame);
}

void dl_form::buildFrame2Buttons(QWidget* frame) {
  m_ui.help_cmd =
      addButton(frame, "help_cmd", QStringLiteral("使い方"), twipsRect(4500, 570, 855, 330));
  m_ui.Command1 =
      addButton(frame, "Command1", QStringLiteral("データ確認"), twipsRect(3165, 570, 1350, 330));
  m_ui.stop_cmd =
      addButton(frame, "stop_cmd", QStringLiteral("閉じる"), twipsRect(1950, 570, 1230, 330));
  // Start and stop share one place; start lies on top, so it is the one seen
  // until a run hides it.
  m_ui.m_dl_stop_cmd =
      addButton(frame, "m_dl_stop_cmd", QStringLiteral("収集停止"), twipsRect(60, 570, 1860, 330));
  m_ui.m_dl_stop_cmd->hide();
  m_ui.m_dl_start_cmd =
      addButton(frame, "m_dl_start_cmd", QStringLiteral("収集開始"), twipsRect(60, 570, 1860, 330));
}

void dl_form::buildDateFrame() {
  // A sibling of Frame2 created after it, so it is drawn over Frame2's lower part.
  m_ui.meigara_code_frame = new QGroupBox(QStringLiteral("収集対象日付指定"), this);
  m_ui.meigara_code_frame->setObjectName(QStringLiteral("meigara_code_frame"));
  m_ui.meigara_code_frame->setGeometry(twipsRect(120, 930, 5370, 1215));
  buildDateRow1(m_ui.meigara_code_frame);
  buildDateRow2(m_ui.meigara_code_frame);
  m_ui.yyyymmdd1_opt[0]->setChecked(true);
}

void dl_form::buildDateRow1(QWidget* frame) {
  addLabel(frame, "name_lb_1", QStringLiteral("年"), twipsRect(2340, 420, 375, 255));
  addLabel(frame, "name_lb_2", QStringLiteral("月"), twipsRect(3510, 413, 375, 255));
  addLabel(frame, "name_lb_3", QStringLiteral("日"), twipsRect(4635, 413, 375, 255));
  m_ui.yyyymmdd1_opt[0] = addOption(frame, "yyyymmdd1_opt_0", QStringLiteral("日付指定"),
                                    twipsRect(127, 450, 1080, 180));
  m_ui.yyyy1_cmb = addList(frame, "yyyy1_cmb", twipsRect(1440, 360, 855, 300));
  m_ui.mm1_cmb = addList(frame, "mm1_cmb", twipsRect(2760, 360, 735, 300));
  m_ui.dd1_cmb = addList(frame, "dd1_cmb", twipsRect(3840, 360, 735, 300));
}

void dl_form::buildDateRow2(QWidget* frame) {
  // As high as the other unit labels: the designed 150 twips cut the character off.
  addLabel(frame, "name_lb_7", QStringLiteral("年"), twipsRect(2340, 855, 375, 255));
  addLabel(frame, "name_lb_0", QStringLiteral("月"), twipsRect(3510, 803, 375, 255));
  m_ui.yyyymmdd1_opt[1] = addOption(frame, "yyyymmdd1_opt_1", QStringLiteral("年月指定"),
                                    twipsRect(120, 840, 1095, 180));
  m_ui.yyyy2_cmb = addList(frame, "yyyy2_cmb", twipsRect(1440, 765, 885, 300));
  m_ui.mm2_cmb = addList(frame, "mm2_cmb", twipsRect(2745, 765, 735, 300));
}

void dl_form::setKeyboardOrder() {
  QWidget* const order[] = {
      m_ui.Command1,         m_ui.help_cmd,         m_ui.stop_cmd,  m_ui.m_dl_start_cmd,
      m_ui.m_dl_stop_cmd,    m_ui.dd1_cmb,          m_ui.mm1_cmb,   m_ui.yyyy1_cmb,
      m_ui.yyyymmdd1_opt[0], m_ui.yyyymmdd1_opt[1], m_ui.yyyy2_cmb, m_ui.mm2_cmb,
  };
  for (size_t i = 1; i < std::size(order); ++i) {
    QWidget::setTabOrder(order[i - 1], order[i]);
  }
}

void dl_form::connectHandlers() {
  connect(m_ui.m_dl_start_cmd, &QPushButton::clicked, this,
          [this] { m_driver.m_dl_start_cmd_Click(); });
  connect(m_ui.m_dl_stop_cmd, &QPushButton::clicked, this, [this] { m_dl_stop_cmd_Click(*this); });
  m_ui.m_dl_stop_cmd->installEventFilter(this);
  connect(m_ui.stop_cmd, &QPushButton::clicked, this, &dl_form::stop_cmd_Click);
  connect(m_ui.Command1, &QPushButton::clicked, this, &dl_form::Command1_Click);
  connect(m_ui.help_cmd, &QPushButton::clicked, this, &dl_form::help_cmd_Click);
  connect(m_ui.Image1, &PictureBox::clicked, this, &dl_form::Image1_Click);
  connectDateHandlers();
}

void dl_form::connectDateHandlers() {
  // A pick runs the handler even when it keeps the shown entry, so picking what a
  // list already shows still chooses its row. A pick that changes the entry runs
  // it twice; selecting an option that is already selected changes nothing.
  const auto onPickOrChange = [this](QComboBox* list, void (dl_form::*handler)()) {
    connect(list, &QComboBox::currentIndexChanged, this, [this, handler] { (this->*handler)(); });
    connect(list, &QComboBox::activated, this, [this, handler] { (this->*handler)(); });
  };
  onPickOrChange(m_ui.yyyy1_cmb, &dl_form::yyyy1_cmb_Click);
  onPickOrChange(m_ui.mm1_cmb, &dl_form::mm1_cmb_Click);
  onPickOrChange(m_ui.dd1_cmb, &dl_form::dd1_cmb_Click);
  onPickOrChange(m_ui.yyyy2_cmb, &dl_form::yyyy2_cmb_Click);
  onPickOrChange(m_ui.mm2_cmb, &dl_form::mm2_cmb_Click);
  keepWheelToFocusedLists();
  for (QRadioButton* option : m_ui.yyyymmdd1_opt) {
    connect(option, &QRadioButton::toggled, this, &dl_form::letTabReachSelectedOptionOnly);
  }
  letTabReachSelectedOptionOnly();
}

// A wheel turned while the pointer passes over a list must not choose a date: a
// list turns with the wheel only once the user has given it the focus, and the
// wheel never gives it the focus by itself.
void dl_form::keepWheelToFocusedLists() {
  for (QComboBox* list : dateLists()) {
    list->setFocusPolicy(Qt::StrongFocus);
    list->installEventFilter(this);
  }
}

std::array<QComboBox*, 5> dl_form::dateLists() const {
  return {m_ui.yyyy1_cmb, m_ui.mm1_cmb, m_ui.dd1_cmb, m_ui.yyyy2_cmb, m_ui.mm2_cmb};
}

bool dl_form::isUnfocusedDateList(const QObject* object) const {
  const auto lists = dateLists();
  const auto found = std::find(lists.begin(), lists.end(), object);
  return found != lists.end() && !(*found)->hasFocus();
}

// Tab enters the option group at its selected button; the other is reached by
// the mouse (or the arrow keys), as in any option group.
void dl_form::letTabReachSelectedOptionOnly() {
  for (QRadioButton* option : m_ui.yyyymmdd1_opt) {
    option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

// ---- Start-up ----

void dl_form::Form_Load() {
  m_ui.Label2->setText(kVersionText);
  yield();
  settei_read_sub(m_settei_tbl, m_env.programFolder, *this);
  showForm();
  m_ui.m_dl_start_cmd->setEnabled(false);
  yield();
  m_stop_flg = kFalse;
  date_cmb_init_sub();
  showTitle();
  enableDateModes();
  shortenToCopyrightLine();
  m_ui.copyright_lb->move(m_ui.copyright_lb->x(), twipsToPixels(kCopyrightTop));
  m_ui.m_dl_stop_cmd->setVisible(true);
  m_ui.m_dl_start_cmd->setEnabled(true);
}

void dl_form::showForm() {
  // A window closed while the settings were read stays closed.
  if (m_closed) {
    return;
  }
  show();
  m_ui.Command1->setFocus();
}

void dl_form::date_cmb_init_sub() {
  const QDate today = m_env.today();
  fillYears(today.year());
  fillMonths(today.month());
  fillDays(today.day());
}

void dl_form::fillYears(int currentYear) {
  for (int year = currentYear; year >= kFirstYear; --year) {
    appendEntry(m_ui.yyyy1_cmb, QString::number(year));
    appendEntry(m_ui.yyyy2_cmb, QString::number(year));
  }
  showEntry(m_ui.yyyy1_cmb, 0);
  showText(m_ui.yyyy2_cmb, m_ui.yyyy1_cmb->currentText());
}

void dl_form::fillMonths(int currentMonth) {
  for (int month = 1; month <= 12; ++month) {
    appendEntry(m_ui.mm1_cmb, twoDigits(month));
    appendEntry(m_ui.mm2_cmb, twoDigits(month));
  }
  appendEntry(m_ui.mm2_cmb, kMonthAll);
  showEntry(m_ui.mm1_cmb, currentMonth - 1);
  showText(m_ui.mm2_cmb, m_ui.mm1_cmb->currentText());
}

void dl_form::fillDays(int currentDay) {
  for (int day = 1; day <= 31; ++day) {
    appendEntry(m_ui.dd1_cmb, twoDigits(day));
  }
  showEntry(m_ui.dd1_cmb, currentDay - 1);
}

void dl_form::showTitle() {
  setTextColour(m_ui.Label6, kBlue);
  m_ui.Label6->setText(kFormCaption);
}

void dl_form::enableDateModes() {
  m_ui.yyyymmdd1_opt[0]->setEnabled(true);
  m_ui.yyyymmdd1_opt[1]->setEnabled(true);
  m_ui.yyyy2_cmb->setEnabled(true);
  m_ui.mm2_cmb->setEnabled(true);
}

void dl_form::shortenToCopyrightLine() {
  setFixedSize(units::twipsSize(kClientWidth, kClientHeight));
}

// ---- Closing ----

void dl_form::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void dl_form::Form_Unload() {
  m_stop_flg = kTrue;
  m_closed = true;
}

void dl_form::stop_cmd_Click() {
  m_stop_flg = kTrue;
  close();
}

// ---- Date selection ----

void dl_form::selectDateMode(int index) {
  m_ui.yyyymmdd1_opt[size_t(index)]->setChecked(true);
}

DateSelection dl_form::selection() const {
  DateSelection chosen;
  chosen.byDate = m_ui.yyyymmdd1_opt[0]->isChecked();
  chosen.byYearMonth = m_ui.yyyymmdd1_opt[1]->isChecked();
  chosen.yyyy1 = m_ui.yyyy1_cmb->currentText();
  chosen.mm1 = m_ui.mm1_cmb->currentText();
  chosen.dd1 = m_ui.dd1_cmb->currentText();
  chosen.yyyy2 = m_ui.yyyy2_cmb->currentText();
  chosen.mm2 = m_ui.mm2_cmb->currentText();
  return chosen;
}

// ---- Side commands ----

void dl_form::Command1_Click() {
  const QString dbPath = m_settei_tbl[settei::db_path];
  const bool found = folderCanBeEntered(dbPath);
  yield();
  if (!found) {
    setLabel1Colour(kBlue);
    setLabel1Caption(kNoDataMessage);
    return;
  }
  m_opener.open(QUrl::fromLocalFile(dbPath));
}

void dl_form::help_cmd_Click() {
  m_opener.open(
      QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("readme.txt"))));
}

void dl_form::Image1_Click() {
  m_opener.open(
      homePageUrl(m_settei_tbl[settei::day_site], m_env.builtInBaseUrl, m_env.homePageOverride));
}

// ---- The stop button's press, the wheel over the date lists ----

bool dl_form::eventFilter(QObject* watched, QEvent* event) {
  const bool press =
      event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
  if (watched == m_ui.m_dl_stop_cmd && press) {
    m_dl_stop_cmd_MouseDown(*this);
  }
  if (event->type() == QEvent::Wheel && isUnfocusedDateList(watched)) {
    event->ignore();  // passed on to the frame and the window, which turn nothing
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// ---- RunWindow: once closed, the window takes no more updates ----

void dl_form::yield() {
  QCoreApplication::processEvents();
}

void dl_form::yieldWaiting() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void dl_form::setLabel1Colour(Rgb colour) {
  if (!m_closed) {
    setTextColour(m_ui.Label1, colour);
  }
}

void dl_form::setLabel1Caption(const QString& text) {
  if (!m_closed) {
    m_ui.Label1->setText(text);
  }
}

void dl_form::setLabel3Colour(Rgb colour) {
  if (!m_closed) {
    setTextColour(m_ui.Label3, colour);
  }
}

void dl_form::setLabel3Caption(const QString& text) {
  if (!m_closed) {
    m_ui.Label3->setText(text);
  }
}

void dl_form::setStartButtonVisible(bool visible) {
  if (!m_closed) {
    m_ui.m_dl_start_cmd->setVisible(visible);
  }
}

void dl_form::setCloseButtonEnabled(bool enabled) {
  if (!m_closed) {
    m_ui.stop_cmd->setEnabled(enabled);
  }
}

void dl_form::setDateFrameEnabled(bool enabled) {
  if (!m_closed) {
    m_ui.meigara_code_frame->setEnabled(enabled);
  }
}

void dl_form::setStopButtonVisible(bool visible) {
  if (!m_closed) {
    m_ui.m_dl_stop_cmd->setVisible(visible);
  }
}

}  // namespace kabuka
