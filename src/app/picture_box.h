#pragma once

#include <QLabel>

namespace kabuka {

// A picture that reports a click: a left button pressed and released over it.
class PictureBox final : public QLabel {
  Q_OBJECT
public:
  explicit PictureBox(QWidget* parent = nullptr);

signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool m_pressed = false;
};

}  // namespace kabuka
