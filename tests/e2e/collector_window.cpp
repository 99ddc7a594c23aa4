#include "collector_window.h"

#include "owned_process.h"

#include <QProcessEnvironment>
#include <QRegularExpression>

namespace kabuka::e2e {

namespace {

const QString kCaption = QStringLiteral("日毎株価収集ソフトウェア");

// The window is designed in twips, 15 to a pixel on the 96-dpi screen the test
// runs. The table below is the design, not the program's own layout code, so a
// control that the program puts elsewhere is clicked where the user expects it.
constexpr int kTwipsPerPixel = 15;

struct Twips {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Controls in a frame are placed relative to the frame's own corner.
constexpr Twips in(Twips frame, Twips control) {
  return {frame.left + control.left, frame.top + control.top, control.width, control.height};
}

constexpr Twips kWindow{0, 0, 5565, 3540};
constexpr Twips kFrame2 = in(kWindow, {60, 0, 5475, 2205});
constexpr Twips kDateFrame = in(kWindow, {120, 930, 5370, 1215});

Twips designedPlace(Control control) {
  switch (control) {
    case Control::StartStop:
      return in(kFrame2, {60, 570, 1860, 330});
    case Control::Close:
      return in(kFrame2, {1950, 570, 1230, 330});
    case Control::Yyyy1:
      return in(kDateFrame, {1440, 360, 855, 300});
    case Control::Mm1:
      return in(kDateFrame, {2760, 360, 735, 300});
    case Control::Dd1:
      return in(kDateFrame, {3840, 360, 735, 300});
    case Control::Yyyy2:
      return in(kDateFrame, {1440, 765, 885, 300});
    case Control::Mm2:
      return in(kDateFrame, {2745, 765, 735, 300});
    case Control::Label1:
      return in(kWindow, {90, 2250, 5385, 255});
    case Control::Label3:
      return in(kWindow, {2820, 2565, 2670, 195});
  }
  return {};
}

// Pixels wholly inside the rectangle, so rounding never reaches a neighbour.
QRect pixelsWithin(Twips place) {
  const int left = (place.left + kTwipsPerPixel - 1) / kTwipsPerPixel;
  const int top = (place.top + kTwipsPerPixel - 1) / kTwipsPerPixel;
  const int right = (place.left + place.width) / kTwipsPerPixel;
  const int bottom = (place.top + place.height) / kTwipsPerPixel;
  return QRect(left, top, right - left, bottom - top);
}

QString number(int value) {
  return QString::number(value);
}

// "X=0\nY=0\nWIDTH=371\n..." as xdotool prints a window's geometry.
std::optional<QRect> parseGeometry(const QString& shell) {
  const auto field = [&shell](const char* name) -> std::optional<int> {
    const QRegularExpression line(QStringLiteral("^%1=(\\d+)$").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(shell);
    return match.hasMatch() ? std::optional<int>(match.captured(1).toInt()) : std::nullopt;
  };
  const auto x = field("X"), y = field("Y"), width = field("WIDTH"), height = field("HEIGHT");
  if (!x || !y || !width || !height) {
    return std::nullopt;
  }
  return QRect(*x, *y, *width, *height);
}

QProcessEnvironment onDisplay(const QString& display) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), display);
  return environment;
}

}  // namespace

CollectorWindow::CollectorWindow(QString display, QString id, QRect geometry, QPoint parking)
    : m_display(std::move(display)),
      m_id(std::move(id)),
      m_geometry(geometry),
      m_parking(parking) {}

std::optional<CollectorWindow> CollectorWindow::find(const QString& display, QPoint parking,
                                                     QString& error) {
  CollectorWindow window(display, {}, {}, parking);
  QString found;
  const QString exactCaption = QLatin1Char('^') + kCaption + QLatin1Char('$');
  if (!window.xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                       QStringLiteral("--onlyvisible"), QStringLiteral("--name"), exactCaption},
                      error, &found)) {
    return std::nullopt;
  }
  window.m_id = found.section(QLatin1Char('\n'), 0, 0).trimmed();
  QString shell;
  if (!window.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window.m_id},
                      error, &shell)) {
    return std::nullopt;
  }
  const std::optional<QRect> geometry = parseGeometry(shell);
  if (!geometry) {
    error = QStringLiteral("no geometry in: ") + shell;
    return std::nullopt;
  }
  window.m_geometry = *geometry;
  return window;
}

QRect CollectorWindow::area(Control control) const {
  return pixelsWithin(designedPlace(control)).translated(m_geometry.topLeft());
}

QPoint CollectorWindow::centre(Control control) const {
  const Twips place = designedPlace(control);
  return QPoint((2 * place.left + place.width) / (2 * kTwipsPerPixel),
                (2 * place.top + place.height) / (2 * kTwipsPerPixel));
}

bool CollectorWindow::click(Control control, QString& error) const {
  const QPoint at = centre(control);
  return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_id,
                  QStringLiteral("--sync"), number(at.x()), number(at.y()), QStringLiteral("click"),
                  QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("--sync"),
                  number(m_parking.x()), number(m_parking.y())},
                 error);
}

bool CollectorWindow::pick(Control list, const QString& entry, QString& error) const {
  const QPoint at = centre(list);
  // Keys typed while the list is open go to it: the window hands them to its
  // open pop-up whichever of its windows the server delivers them to.
  return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_id,
                  QStringLiteral("--sync"), number(at.x()), number(at.y()), QStringLiteral("click"),
                  QStringLiteral("1")},
                 error) &&
         xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("60"), entry},
                 error) &&
         xdotool({QStringLiteral("key"), QStringLiteral("Return"), QStringLiteral("mousemove"),
                  QStringLiteral("--sync"), number(m_parking.x()), number(m_parking.y())},
                 error);
}

bool CollectorWindow::xdotool(const QStringList& arguments, QString& error, QString* output) const {
  const ToolResult result = runTool(QStringLiteral("xdotool"), arguments, onDisplay(m_display));
  if (!result.ok) {
    error = result.complaint;
    return false;
  }
  if (output) {
    *output = result.output;
  }
  return true;
}

}  // namespace kabuka::e2e
