#include "ui/HistoryStatusImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velkor {

namespace {

constexpr int Size = 24;

}  // namespace

QIcon DrawHistoryStatusImage(THistoryPicture picture) {
  QPixmap pixmap(Size, Size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  auto symbolPen = [](QColor color) { return QPen(color, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); };
  switch (picture) {
    case hpSuccess:
      p.setPen(QPen(QColor(0x18, 0x7D, 0x4B), 2));
      p.setBrush(QColor(0x22, 0x9E, 0x60));
      p.drawEllipse(QRect(3, 3, 18, 18));
      p.setPen(symbolPen(Qt::white));
      p.drawPolyline(QPolygon({QPoint(7, 12), QPoint(11, 16), QPoint(18, 8)}));
      break;
    case hpError:
      p.setPen(QPen(QColor(0xAA, 0x2D, 0x34), 2));
      p.setBrush(QColor(0xDA, 0x41, 0x48));
      p.drawEllipse(QRect(3, 3, 18, 18));
      p.setPen(symbolPen(Qt::white));
      p.drawLine(8, 8, 16, 16);
      p.drawLine(16, 8, 8, 16);
      break;
    case hpCloudWarning: {
      p.setPen(QPen(QColor(0xBE, 0x84, 0x14), 2));
      p.setBrush(QColor(0xF5, 0xB8, 0x2D));
      p.drawPolygon(QPolygon({QPoint(12, 3), QPoint(22, 20), QPoint(2, 20)}));
      const QColor mark(0x5F, 0x44, 0x0F);
      p.setPen(symbolPen(mark));
      p.drawLine(12, 8, 12, 14);
      p.setPen(QPen(mark, 1));
      p.drawPoint(12, 17);
      p.drawPoint(12, 18);
      break;
    }
  }
  p.end();
  return QIcon(pixmap);
}

}  // namespace velkor
