#include "wizard/welcome_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace velmora {
namespace {

// A database drum: a cylinder with a label on its side.
void DrawDrum(QPainter& p, QRectF box, const QColor& colour, const QString& label) {
  const qreal lid = box.height() * 0.22;
  QLinearGradient side(box.topLeft(), box.topRight());
  side.setColorAt(0, colour.darker(130));
  side.setColorAt(0.45, colour.lighter(125));
  side.setColorAt(1, colour.darker(150));
  QPainterPath body;
  body.moveTo(box.left(), box.top() + lid / 2);
  body.lineTo(box.left(), box.bottom() - lid / 2);
  body.arcTo(QRectF(box.left(), box.bottom() - lid, box.width(), lid), 180, 180);
  body.lineTo(box.right(), box.top() + lid / 2);
  body.closeSubpath();
  p.setPen(QPen(colour.darker(180), 1.2));
  p.setBrush(side);
  p.drawPath(body);
  p.setBrush(colour.lighter(140));
  p.drawEllipse(QRectF(box.left(), box.top(), box.width(), lid));
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(static_cast<int>(box.width() * 0.26));
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(box.left(), box.top() + lid, box.width(), box.height() - lid * 1.5), Qt::AlignCenter, label);
}

}  // namespace

QPixmap WelcomePicture(int width, int height) {
  QPixmap pixmap(width, height);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
  sky.setColorAt(1, QColor(0x5f, 0x9e, 0xd8));
  p.fillRect(pixmap.rect(), sky);

  const qreal w = width * 0.5;
  const qreal h = height * 0.22;
  const qreal x = (width - w) / 2;
  DrawDrum(p, QRectF(x, height * 0.12, w, h), QColor(0x8a, 0x8f, 0x99), QStringLiteral("5.6"));
  DrawDrum(p, QRectF(x, height * 0.62, w, h), QColor(0x2e, 0x9d, 0x5b), QStringLiteral("6.0"));

  // The arrow between them.
  const qreal cx = width / 2.0;
  const qreal top = height * 0.12 + h + height * 0.04;
  const qreal bottom = height * 0.62 - height * 0.04;
  QPainterPath arrow;
  arrow.moveTo(cx - w * 0.12, top);
  arrow.lineTo(cx + w * 0.12, top);
  arrow.lineTo(cx + w * 0.12, bottom - w * 0.22);
  arrow.lineTo(cx + w * 0.28, bottom - w * 0.22);
  arrow.lineTo(cx, bottom);
  arrow.lineTo(cx - w * 0.28, bottom - w * 0.22);
  arrow.lineTo(cx - w * 0.12, bottom - w * 0.22);
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 220));
  p.drawPath(arrow);
  return pixmap;
}

}  // namespace velmora
