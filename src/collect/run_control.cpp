#include "run_control.h"

namespace kabuka {

void ctrl_enable_sub(RunWindow& window, Truth enable_flg) {
  const bool idle = isTrue(enable_flg);
  window.setStartButtonVisible(idle);
  window.setCloseButtonEnabled(idle);
  window.setDateFrameEnabled(idle);
  window.setStopButtonVisible(enable_flg != kTrue);
}

void m_dl_stop_cmd_MouseDown(RunWindow& window) {
  window.set_stop_flg(kTrue);
  window.yield();
}

void m_dl_stop_cmd_Click(RunWindow& window) {
  window.set_stop_flg(kTrue);
  window.setLabel3Colour(kRed);
  window.setLabel3Caption(kStoppingSoonNotice);
  window.yield();
}

}  // namespace kabuka
