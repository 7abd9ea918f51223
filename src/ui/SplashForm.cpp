#include "ui/SplashForm.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>

namespace velkor {

namespace {

constexpr QSize DefaultSize(998, 598);

}  // namespace

TfrmSplash::TfrmSplash(const std::filesystem::path& programFolder, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmSplash"));
  QSize size = DefaultSize;
  const std::filesystem::path file = programFolder / "splash.png";
  std::error_code ec;
  if (std::filesystem::is_regular_file(file, ec)) {
    FPicture.load(QString::fromStdString(file.string()));
    if (FPicture.width() > 0) size = FPicture.size();
  }
  // A missing or damaged file leaves the built-in picture.
  if (FPicture.isNull()) FPicture.load(QStringLiteral(":/velkor/splash.png"));
  setFixedSize(size);
  if (const QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
}

void TfrmSplash::ShowOnce(const std::filesystem::path& programFolder, IClock& clock, int displayMs) {
  static bool shown = false;
  if (shown) return;
  shown = true;
  TfrmSplash splash(programFolder);
  splash.show();
  splash.repaint();
  QApplication::processEvents();
  clock.SleepMs(static_cast<uint32_t>(displayMs));
}

void TfrmSplash::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const QPixmap scaled = FPicture.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  p.drawPixmap((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled);
}

}  // namespace velkor
