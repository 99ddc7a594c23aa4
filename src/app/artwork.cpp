#include "artwork.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace kabuka {

namespace {

const QColor kNavy(0x1b, 0x3f, 0x7a);
const QColor kSky(0x2d, 0x6c, 0xc0);
const QColor kRise(0xd8, 0x2a, 0x20);
const QColor kGold(0xff, 0xc8, 0x30);

// A rising line through `points` that ends in a small arrowhead.
void drawRisingLine(QPainter& painter, const QPolygonF& points, const QColor& colour, qreal width,
                    qreal head) {
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(points);

  const QPointF tip = points.last();
  const QPointF from = points.at(points.size() - 2);
  const QLineF direction(tip, from);
  QLineF left = direction;
  left.setLength(head);
  left.setAngle(direction.angle() + 35);
  QLineF right = direction;
  right.setLength(head);
  right.setAngle(direction.angle() - 35);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPolygon(QPolygonF({tip, left.p2(), right.p2()}));
}

void drawBars(QPainter& painter, const QList<QRectF>& bars, const QColor& colour) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  for (const QRectF& bar : bars) {
    painter.drawRect(bar);
  }
}

void drawLogoFrame(QPainter& painter) {
  QLinearGradient paper(0, 0, 0, kLogoSize.height());
  paper.setColorAt(0, Qt::white);
  paper.setColorAt(1, QColor(0xe6, 0xee, 0xf8));
  painter.setPen(QPen(kNavy, 1));
  painter.setBrush(paper);
  painter.drawRoundedRect(QRectF(0.5, 0.5, kLogoSize.width() - 1, kLogoSize.height() - 1), 3, 3);
}

void drawLogoChart(QPainter& painter) {
  drawBars(painter, {QRectF(5, 17, 4, 6), QRectF(11, 14, 4, 9), QRectF(17, 10, 4, 13)},
           QColor(0x9d, 0xbb, 0xe3));
  drawRisingLine(painter, QPolygonF({{4, 19}, {10, 15}, {15, 16}, {22, 7}}), kRise, 1.6, 4.5);
}

void drawLogoName(QPainter& painter) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  font.setBold(true);
  font.setStretch(QFont::SemiCondensed);
  painter.setFont(font);
  painter.setPen(kNavy);
  painter.drawText(QRectF(25, 0, kLogoSize.width() - 27, kLogoSize.height()), Qt::AlignCenter,
                   QStringLiteral("kabuka"));
}

void drawIconTile(QPainter& painter) {
  QLinearGradient sky(0, 0, 0, kIconSize.height());
  sky.setColorAt(0, kSky);
  sky.setColorAt(1, kNavy);
  painter.fillRect(QRect(QPoint(0, 0), kIconSize), sky);
  painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
  for (int y = 8; y < kIconSize.height(); y += 8) {
    painter.drawLine(QPointF(2, y + 0.5), QPointF(kIconSize.width() - 2, y + 0.5));
  }
}

}  // namespace

QPixmap drawLogo() {
  QImage image(kLogoSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  drawLogoFrame(painter);
  drawLogoChart(painter);
  drawLogoName(painter);
  painter.end();
  return QPixmap::fromImage(image);
}

QIcon drawIcon() {
  // Opaque, as a 24-bit icon is.
  QImage image(kIconSize, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  drawIconTile(painter);
  drawBars(painter, {QRectF(4, 22, 5, 8), QRectF(11, 18, 5, 12), QRectF(18, 13, 5, 17)},
           QColor(255, 255, 255, 170));
  drawRisingLine(painter, QPolygonF({{3, 21}, {11, 14}, {17, 17}, {28, 5}}), kGold, 2.6, 7);
  painter.end();
  return QIcon(QPixmap::fromImage(image));
}

}  // namespace kabuka
