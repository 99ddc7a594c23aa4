#include "desktop_opener.h"

#include <QDesktopServices>

namespace kabuka {

void ShellOpener::open(const QUrl& target) {
  QDesktopServices::openUrl(target);
}

}  // namespace kabuka
