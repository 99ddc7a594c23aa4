#pragma once

#include "common/pump.h"
#include "common/truth.h"

#include <QString>

namespace kabuka {

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Progress and success are shown in blue, a stop, a failure or an abort in red.
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 128, 0};

// The date selection as the window shows it: which option is chosen and the
// shown text of each of the five lists.
struct DateSelection {
  bool byDate = true;        // yyyymmdd1_opt(0), "日付指定"
  bool byYearMonth = false;  // yyyymmdd1_opt(1), "年月指定"
  QString yyyy1;
  QString mm1;
  QString dd1;
  QString yyyy2;
  QString mm2;
};

// All a collection run needs of the window. The window implements it; tests use a
// fake. Once the window has been closed, an implementation drops every update, so
// a run that is still ending never touches or brings back a closed window.
class RunWindow : public Pump {
public:
  // Label1, the status line.
  virtual void setLabel1Colour(Rgb colour) = 0;
  virtual void setLabel1Caption(const QString& text) = 0;
  // Label3, the notice line.
  virtual void setLabel3Colour(Rgb colour) = 0;
  virtual void setLabel3Caption(const QString& text) = 0;

  virtual DateSelection selection() const = 0;

  // The controls that a run locks.
  virtual void setStartButtonVisible(bool visible) = 0;  // m_dl_start_cmd
  virtual void setCloseButtonEnabled(bool enabled) = 0;  // stop_cmd
  virtual void setDateFrameEnabled(bool enabled) = 0;    // meigara_code_frame
  virtual void setStopButtonVisible(bool visible) = 0;   // m_dl_stop_cmd

  virtual void set_stop_flg(Truth value) = 0;

  // The run's own account of what it does, beyond the captions: a file's fetch
  // begins (`name` is "2016年03月" or "20160315"). The command line draws its
  // progress from it; the window has no use for it.
  virtual void fileStarted(const QString& name, const QString& url) {
    Q_UNUSED(name);
    Q_UNUSED(url);
  }
};

}  // namespace kabuka
