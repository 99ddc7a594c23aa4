#pragma once

#include "collect/run_window.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace kabuka {

// A window that shows nothing, for work that runs the collection code with no
// one to show it to: the comparison with the server splits month files with it,
// the benchmarks measure what a run costs without drawing.
class NullWindow : public RunWindow {
public:
  void yield() override { QCoreApplication::processEvents(); }
  void yieldWaiting() override { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }
  Truth stop_flg() const override { return m_stop; }
  void setLabel1Colour(Rgb) override {}
  void setLabel1Caption(const QString& text) override { m_label1 = text; }
  void setLabel3Colour(Rgb) override {}
  void setLabel3Caption(const QString&) override {}
  DateSelection selection() const override { return m_selection; }
  void setStartButtonVisible(bool) override {}
  void setCloseButtonEnabled(bool) override {}
  void setDateFrameEnabled(bool) override {}
  void setStopButtonVisible(bool) override {}
  void set_stop_flg(Truth value) override { m_stop = value; }

  void choose(DateSelection selection) { m_selection = std::move(selection); }
  const QString& label1() const { return m_label1; }

private:
  Truth m_stop = kTrue;
  DateSelection m_selection;
  QString m_label1;
};

}  // namespace kabuka
