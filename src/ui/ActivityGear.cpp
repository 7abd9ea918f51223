#include "ui/ActivityGear.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

namespace velkor {

namespace {

constexpr int GearSize = 78;
constexpr int Teeth = 10;
constexpr int StepDegrees = 6;
constexpr int FrameMs = 40;

// A gear centred on the origin: a ring with teeth around a hole.
QPainterPath GearPath() {
  constexpr double outer = 37, root = 29, hole = 11;
  QPainterPath teeth;
  for (int i = 0; i < Teeth; ++i) {
    QPainterPath tooth;
    tooth.addRoundedRect(QRectF(-5.5, -outer, 11, outer - root + 4), 2, 2);
    teeth.addPath(QTransform().rotate(360.0 * i / Teeth).map(tooth));
  }
  QPainterPath body;
  body.addEllipse(QPointF(0, 0), root, root);
  QPainterPath center;
  center.addEllipse(QPointF(0, 0), hole, hole);
  return body.united(teeth).subtracted(center);
}

}  // namespace

TActivityGear::TActivityGear(QWidget* parent) : QWidget(parent), FTimer(new QTimer(this)) {
  setObjectName(QStringLiteral("imgActivityGear"));
  setFixedSize(GearSize, GearSize);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  FTimer->setInterval(FrameMs);
  connect(FTimer, &QTimer::timeout, [this] {
    FAngle = (FAngle + StepDegrees) % 360;
    update();
  });
  hide();
}

void TActivityGear::SetActive(bool active) {
  setVisible(active);
  if (active) {
    raise();
    FTimer->start();
    repaint();
  } else {
    FTimer->stop();
  }
}

bool TActivityGear::Turning() const { return FTimer->isActive(); }

void TActivityGear::paintEvent(QPaintEvent*) {
  static const QPainterPath gear = GearPath();
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(width() / 2.0, height() / 2.0);
  p.rotate(FAngle);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE0, 0x1E, 0x1E));
  p.drawPath(gear);
}

}  // namespace velkor
