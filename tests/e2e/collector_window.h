#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

namespace kabuka::e2e {

// The controls the test touches or looks at, at the places the window's design
// gives them.
enum class Control {
  StartStop,  // "収集開始" and "収集停止" share this place
  Close,      // "閉じる"
  Yyyy1,
  Mm1,
  Dd1,
  Yyyy2,
  Mm2,
  Label1,  // the status line
  Label3,  // the notice line
};

// The collector's window on a virtual screen, used the way a user uses it: with
// the pointer and the keyboard, through xdotool.
class CollectorWindow {
public:
  // Waits for the window to be shown. `parking` is a place on the screen away from
  // the window where the pointer rests between clicks, so that it neither hovers
  // over a control nor is drawn over one in a screenshot.
  static std::optional<CollectorWindow> find(const QString& display, QPoint parking,
                                             QString& error);

  QRect geometry() const { return m_geometry; }
  // Where the control is on the screen, in pixels: every pixel inside its designed
  // rectangle.
  QRect area(Control control) const;

  // A click in the middle of the control, then the pointer goes back to rest.
  bool click(Control control, QString& error) const;
  // Opens the drop-down list, types the entry's text as a user searching the list
  // does, and takes the entry with Enter.
  bool pick(Control list, const QString& entry, QString& error) const;

private:
  CollectorWindow(QString display, QString id, QRect geometry, QPoint parking);
  bool xdotool(const QStringList& arguments, QString& error, QString* output = nullptr) const;
  QPoint centre(Control control) const;

  QString m_display;
  QString m_id;
  QRect m_geometry;
  QPoint m_parking;
};

}  // namespace kabuka::e2e
