#pragma once

#include "collect/run_window.h"

namespace kabuka {

inline const QString kStoppingSoonNotice = QStringLiteral("まもなく停止します。");

// Switches the window between its idle state (-1: start button shown, close button
// and date selection usable) and its running state (0: stop button shown instead,
// close button and date selection locked).
void ctrl_enable_sub(RunWindow& window, Truth enable_flg);

// The stop button: a mouse press raises the stop flag at once, the click also
// shows the notice. The run sees the flag at its next check.
void m_dl_stop_cmd_MouseDown(RunWindow& window);
void m_dl_stop_cmd_Click(RunWindow& window);

}  // namespace kabuka
