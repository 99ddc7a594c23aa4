#pragma once

namespace kabuka {

// Marks the upper halves of the AVX registers unused. Qt 6.4 leaves them in use
// after its first QSocketNotifier (the command line's signal catcher makes one),
// and on processors with AVX-512 every SSE instruction then pays for them: SQLite
// as Debian builds it, and the field reader, run a third slower, and threads
// started afterwards inherit the state. Called where long work begins, before
// its threads start. Does nothing on processors without AVX.
void releaseUpperVectorState();

}  // namespace kabuka
