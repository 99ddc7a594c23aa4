#pragma once

#include "collect/run_window.h"
#include "support/fake_pump.h"

#include <QStringList>

namespace kabuka::test {

// A window without widgets: remembers what a run showed and did.
class FakeRunWindow : public ScriptedPump<RunWindow> {
public:
  struct Line {
    Rgb colour;
    QString caption;
  };

  void setLabel1Colour(Rgb colour) override { label1.colour = colour; }
  void setLabel1Caption(const QString& text) override {
    label1.caption = text;
    label1History.append(text);
  }
  void setLabel3Colour(Rgb colour) override { label3.colour = colour; }
  void setLabel3Caption(const QString& text) override { label3.caption = text; }
  DateSelection selection() const override { return chosen; }
  void setStartButtonVisible(bool visible) override { startVisible = visible; }
  void setCloseButtonEnabled(bool enabled) override { closeEnabled = enabled; }
  void setDateFrameEnabled(bool enabled) override { dateFrameEnabled = enabled; }
  void setStopButtonVisible(bool visible) override { stopVisible = visible; }
  void set_stop_flg(Truth value) override { stopFlag = value; }

  void chooseDate(const QString& yyyy, const QString& mm, const QString& dd) {
    chosen = DateSelection{true, false, yyyy, mm, dd, chosen.yyyy2, chosen.mm2};
  }
  void chooseYearMonth(const QString& yyyy, const QString& mm) {
    chosen = DateSelection{false, true, chosen.yyyy1, chosen.mm1, chosen.dd1, yyyy, mm};
  }
  bool isIdle() const { return startVisible && closeEnabled && dateFrameEnabled && !stopVisible; }
  bool isRunningState() const {
    return !startVisible && !closeEnabled && !dateFrameEnabled && stopVisible;
  }

  Line label1;
  Line label3;
  QStringList label1History;
  DateSelection chosen;
  bool startVisible = true;
  bool closeEnabled = true;
  bool dateFrameEnabled = true;
  bool stopVisible = true;  // as start-up leaves it: beneath the start button
};

}  // namespace kabuka::test
