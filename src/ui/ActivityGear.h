#pragma once
// The red gear that turns while a backup runs, 78 x 78 pixels.
#include <QWidget>

class QTimer;

namespace velkor {

class TActivityGear final : public QWidget {
  Q_OBJECT
public:
  explicit TActivityGear(QWidget* parent = nullptr);
  // Shown and turning, or hidden and still.
  void SetActive(bool active);
  bool Turning() const;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QTimer* FTimer;
  int FAngle = 0;
};

}  // namespace velkor
