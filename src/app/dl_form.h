#pragma once

#include "app/desktop_opener.h"
#include "collect/driver.h"
#include "collect/run_window.h"
#include "common/clock.h"
#include "settings/settei_tbl.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kabuka {

class PictureBox;

inline const QString kFormCaption = QStringLiteral("日毎株価収集ソフトウェア");
inline const QString kVersionText = QStringLiteral("v20160315");
inline const QString kNoDataMessage = QStringLiteral("収集されているデータはありません。");

// What the window needs from outside: where the program lives, what day it is,
// and where the data server and its home page are when settei.txt is silent.
struct FormEnvironment {
  QString programFolder;  // holds settei.txt; the working folder of a run
  Clock today = systemToday;
  QString builtInBaseUrl = QStringLiteral(KABUKA_DEFAULT_BASE_URL);
  QString homePageOverride = QStringLiteral(KABUKA_HOME_PAGE_URL);  // empty: derived
};

// The controls a handler touches, under the names the rest of the tool uses.
struct DlFormControls {
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* copyright_lb = nullptr;
  QLabel* Label6 = nullptr;
  PictureBox* Image1 = nullptr;
  QPushButton* m_dl_start_cmd = nullptr;
  QPushButton* m_dl_stop_cmd = nullptr;
  QPushButton* stop_cmd = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* help_cmd = nullptr;
  QGroupBox* meigara_code_frame = nullptr;
  std::array<QRadioButton*, 2> yyyymmdd1_opt{};
  QComboBox* yyyy1_cmb = nullptr;
  QComboBox* mm1_cmb = nullptr;
  QComboBox* dd1_cmb = nullptr;
  QComboBox* yyyy2_cmb = nullptr;
  QComboBox* mm2_cmb = nullptr;
};

// The one window of the tool. A collection run happens inside the start button's
// click and talks to the window through RunWindow; the window must therefore
// outlive every run, and once closed it ignores what a run still tells it.
class dl_form final : public QWidget, public RunWindow {
  Q_OBJECT
public:
  dl_form(FormEnvironment environment, DesktopOpener& opener, QWidget* parent = nullptr);

  // Start-up, run once right after the window is created.
  void Form_Load();

  // RunWindow
  void yield() override;
  void yieldWaiting() override;
  Truth stop_flg() const override { return m_stop_flg; }
  void set_stop_flg(Truth value) override { m_stop_flg = value; }
  bool closing() const override { return m_closed; }
  void setLabel1Colour(Rgb colour) override;
  void setLabel1Caption(const QString& text) override;
  void setLabel3Colour(Rgb colour) override;
  void setLabel3Caption(const QString& text) override;
  DateSelection selection() const override;
  void setStartButtonVisible(bool visible) override;
  void setCloseButtonEnabled(bool enabled) override;
  void setDateFrameEnabled(bool enabled) override;
  void setStopButtonVisible(bool visible) override;

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildStatusLines();
  void buildFrame2();
  void buildFrame2Buttons(QWidget* frame);
  void buildDateFrame();
  void buildDateRow1(QWidget* frame);
  void buildDateRow2(QWidget* frame);
  void setKeyboardOrder();
  void connectHandlers();
  void connectDateHandlers();
  void keepWheelToFocusedLists();
  std::array<QComboBox*, 5> dateLists() const;
  bool isUnfocusedDateList(const QObject* object) const;
  void letTabReachSelectedOptionOnly();

  // Start-up steps.
  void showForm();
  void date_cmb_init_sub();
  void fillYears(int currentYear);
  void fillMonths(int currentMonth);
  void fillDays(int currentDay);
  void showTitle();
  void enableDateModes();
  void shortenToCopyrightLine();

  // Handlers.
  void Form_Unload();
  void stop_cmd_Click();
  void Command1_Click();
  void help_cmd_Click();
  void Image1_Click();
  void selectDateMode(int index);
  void yyyy1_cmb_Click() { selectDateMode(0); }
  void mm1_cmb_Click() { selectDateMode(0); }
  void dd1_cmb_Click() { selectDateMode(0); }
  void yyyy2_cmb_Click() { selectDateMode(1); }
  void mm2_cmb_Click() { selectDateMode(1); }

  FormEnvironment m_env;
  DesktopOpener& m_opener;
  SetteiTbl m_settei_tbl;
  Truth m_stop_flg = kFalse;
  bool m_closed = false;
  DlFormControls m_ui;
  CollectionDriver m_driver;  // last: it holds references to the members above
};

}  // namespace kabuka
