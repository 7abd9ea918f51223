#pragma once
// The splash window of the start: a borderless window centred on the screen with our picture on white. A picture
// "splash.png" in the program's folder replaces the built-in one and sizes the window to itself. GUI thread only.
#include <QPixmap>
#include <QWidget>
#include <filesystem>

#include "platform/Clock.h"

namespace velkor {

class TfrmSplash final : public QWidget {
  Q_OBJECT
public:
  // `programFolder` is where "splash.png" may lie.
  explicit TfrmSplash(const std::filesystem::path& programFolder, QWidget* parent = nullptr);

  // Shows the splash once per process: paints it, lets pending events run, waits `displayMs` and closes it.
  static void ShowOnce(const std::filesystem::path& programFolder, IClock& clock, int displayMs = 1200);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QPixmap FPicture;
};

}  // namespace velkor
