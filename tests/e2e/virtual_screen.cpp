#include "virtual_screen.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <bit>

namespace kabuka::e2e {

namespace {

// Fields of the XWD file header, each a big-endian 32-bit number.
enum XwdField {
  kHeaderSize = 0,
  kFileVersion = 1,
  kPixmapFormat = 2,
  kWidth = 4,
  kHeight = 5,
  kByteOrder = 7,
  kBitsPerPixel = 11,
  kBytesPerLine = 12,
  kRedMask = 14,
  kGreenMask = 15,
  kBlueMask = 16,
  kColourCount = 19,
  kFieldCount = 25,
};
constexpr int kXwdVersion = 7;
constexpr int kZPixmap = 2;
constexpr int kColourEntrySize = 12;

quint32 headerField(const QByteArray& file, XwdField field) {
  return qFromBigEndian<quint32>(file.constData() + 4 * field);
}

bool isEightBitMask(quint32 mask) {
  return std::popcount(mask) == 8 && ((mask >> std::countr_zero(mask)) == 0xff);
}

int channel(quint32 value, quint32 mask) {
  return int((value & mask) >> std::countr_zero(mask));
}

// Xvfb tells the display number it chose on this stream once it accepts clients.
QString readDisplayNumber(QProcess& server) {
  const QDeadlineTimer deadline(kProcessWaitMs);
  while (!server.canReadLine()) {
    if (deadline.hasExpired() || !server.waitForReadyRead(int(deadline.remainingTime()))) {
      return {};
    }
  }
  bool ok = false;
  const int number = server.readLine().trimmed().toInt(&ok);
  return ok ? QStringLiteral(":%1").arg(number) : QString();
}

}  // namespace

std::optional<Screenshot> Screenshot::fromXwd(QByteArray file, QString& error) {
  if (file.size() < 4 * kFieldCount) {
    error = QStringLiteral("the framebuffer file is too short for a header");
    return std::nullopt;
  }
  Screenshot shot;
  shot.m_width = int(headerField(file, kWidth));
  shot.m_height = int(headerField(file, kHeight));
  shot.m_stride = int(headerField(file, kBytesPerLine));
  shot.m_msbFirst = headerField(file, kByteOrder) != 0;
  shot.m_masks[0] = headerField(file, kRedMask);
  shot.m_masks[1] = headerField(file, kGreenMask);
  shot.m_masks[2] = headerField(file, kBlueMask);
  shot.m_offset = qsizetype(headerField(file, kHeaderSize)) +
                  qsizetype(headerField(file, kColourCount)) * kColourEntrySize;
  const bool known = headerField(file, kFileVersion) == kXwdVersion &&
                     headerField(file, kPixmapFormat) == kZPixmap &&
                     headerField(file, kBitsPerPixel) == 32 && isEightBitMask(shot.m_masks[0]) &&
                     isEightBitMask(shot.m_masks[1]) && isEightBitMask(shot.m_masks[2]);
  if (!known) {
    error = QStringLiteral("the framebuffer is not 32-bit true colour");
    return std::nullopt;
  }
  if (file.size() < shot.m_offset + qsizetype(shot.m_stride) * shot.m_height) {
    error = QStringLiteral("the framebuffer file ends before its last line");
    return std::nullopt;
  }
  shot.m_file = std::move(file);
  return shot;
}

quint32 Screenshot::value(int x, int y) const {
  const char* at = m_file.constData() + m_offset + qsizetype(y) * m_stride + 4 * x;
  return m_msbFirst ? qFromBigEndian<quint32>(at) : qFromLittleEndian<quint32>(at);
}

Colour Screenshot::pixel(int x, int y) const {
  const quint32 v = value(x, y);
  return {channel(v, m_masks[0]), channel(v, m_masks[1]), channel(v, m_masks[2])};
}

int Screenshot::count(const QRect& area, bool (*test)(Colour)) const {
  const QRect inside = area & QRect(0, 0, m_width, m_height);
  int passed = 0;
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      passed += test(pixel(x, y)) ? 1 : 0;
    }
  }
  return passed;
}

QByteArray Screenshot::shape(const QRect& area, bool (*test)(Colour)) const {
  const QRect inside = area & QRect(0, 0, m_width, m_height);
  QByteArray passed;
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      passed.append(test(pixel(x, y)) ? '1' : '0');
    }
  }
  return passed;
}

VirtualScreen::VirtualScreen(const QString& workFolder)
    : m_framebufferFolder(workFolder + QStringLiteral("/framebuffer")) {
  QDir().mkpath(m_framebufferFolder);
  m_server.process.setStandardErrorFile(workFolder + QStringLiteral("/xvfb.log"));
  // No TCP: nothing outside this machine may draw on it or watch it.
  m_server.process.start(
      QStringLiteral("Xvfb"),
      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
       QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(size().width()).arg(size().height()),
       QStringLiteral("-dpi"), QStringLiteral("96"), QStringLiteral("-nolisten"),
       QStringLiteral("tcp"), QStringLiteral("-noreset"), QStringLiteral("-fbdir"),
       m_framebufferFolder});
  m_display = readDisplayNumber(m_server.process);
  if (m_display.isEmpty()) {
    m_error = QStringLiteral("Xvfb did not report a display (see xvfb.log): %1")
                  .arg(m_server.process.errorString());
  }
}

std::optional<Screenshot> VirtualScreen::screenshot(QString& error) const {
  QFile file(m_framebufferFolder + QStringLiteral("/Xvfb_screen0"));
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("cannot read the framebuffer file %1").arg(file.fileName());
    return std::nullopt;
  }
  return Screenshot::fromXwd(file.readAll(), error);
}

}  // namespace kabuka::e2e
