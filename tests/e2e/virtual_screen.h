#pragma once

#include "owned_process.h"

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace kabuka::e2e {

struct Colour {
  int red = 0;
  int green = 0;
  int blue = 0;
};

// One picture of the whole virtual screen. The X server keeps its screen in an
// XWD file, so the test sees exactly what a user would, without a screen grabber.
class Screenshot {
public:
  // Nullopt, with the reason in `error`, for a layout this reader does not know.
  static std::optional<Screenshot> fromXwd(QByteArray file, QString& error);

  QSize size() const { return {m_width, m_height}; }
  Colour pixel(int x, int y) const;
  // How many pixels of `area` pass `test`.
  int count(const QRect& area, bool (*test)(Colour)) const;
  // Which pixels of `area` pass `test`, one byte each, to tell whether a shape
  // drawn there is the one drawn in another picture.
  QByteArray shape(const QRect& area, bool (*test)(Colour)) const;

private:
  Screenshot() = default;
  quint32 value(int x, int y) const;

  QByteArray m_file;
  qsizetype m_offset = 0;
  int m_width = 0;
  int m_height = 0;
  int m_stride = 0;
  bool m_msbFirst = false;
  quint32 m_masks[3] = {};
};

// An X server of the test's own on a display number nobody uses, without a window
// manager, so windows appear undecorated at known places.
class VirtualScreen {
public:
  explicit VirtualScreen(const QString& workFolder);

  bool running() const { return !m_display.isEmpty(); }
  QString display() const { return m_display; }  // ":N"
  QString error() const { return m_error; }
  QSize size() const { return {800, 600}; }

  std::optional<Screenshot> screenshot(QString& error) const;

private:
  OwnedProcess m_server;
  QString m_framebufferFolder;
  QString m_display;
  QString m_error;
};

}  // namespace kabuka::e2e
