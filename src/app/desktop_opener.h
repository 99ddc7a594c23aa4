#pragma once

#include <QUrl>

namespace kabuka {

// Hands a folder, a file or a web address to the desktop, which opens it in its
// default program without waiting for it. Whether that worked is not reported:
// the opened program tells the user itself.
class DesktopOpener {
public:
  virtual ~DesktopOpener() = default;
  virtual void open(const QUrl& target) = 0;
};

class ShellOpener final : public DesktopOpener {
public:
  void open(const QUrl& target) override;
};

}  // namespace kabuka
