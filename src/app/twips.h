#pragma once

#include <QRect>
#include <QSize>

namespace kabuka::units {

// The window is laid out in twips (1/1440 inch) for a 96-dpi screen, where 15
// twips make one pixel. Qt's device-pixel ratio scales these logical pixels on
// denser screens, so the conversion never looks at the screen itself.
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kPixelsPerInch = 96;
inline constexpr int kPointsPerInch = 72;

// Nearest pixel, halves rounded up (all layout values are non-negative).
constexpr int twipsToPixels(int twips) {
  return (2 * twips + kTwipsPerPixel) / (2 * kTwipsPerPixel);
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
  return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
               twipsToPixels(height));
}

constexpr QSize twipsSize(int width, int height) {
  return QSize(twipsToPixels(width), twipsToPixels(height));
}

// Text sizes are given in points. The boxes around the text are fixed in pixels,
// so the text is sized in pixels too: a desktop set to a larger font DPI would
// otherwise push captions out of their boxes.
constexpr int pointsToPixels(double points) {
  return int(points * kPixelsPerInch / kPointsPerInch + 0.5);
}

}  // namespace kabuka::units
