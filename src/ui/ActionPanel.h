#pragma once
// The action panel under the pages: start, test, pause, cancel, tray and exit buttons, the progress bar and text,
// and the turning gear while a run is active. It shows the run state the core computes; the main window connects
// the buttons. GUI thread only.
#include <QWidget>

#include "app/IAppView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velkor {

class TActivityGear;

class TActionPanel final : public QWidget {
  Q_OBJECT
public:
  explicit TActionPanel(QWidget* parent = nullptr);

  void ShowRunState(const TRunUiState& state);
  void SetProgressPosition(int percent);
  void SetProgressText(const QString& text);

  QPushButton* btnStartBackup;
  QPushButton* btnTestBackup;
  QPushButton* btnPauseBackup;
  QPushButton* btnCancelBackup;
  QPushButton* btnMinimizeToTray;
  QPushButton* btnExit;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  QProgressBar* ProgressBar1;
  QLabel* lblProgress;
  TActivityGear* FGear;
};

}  // namespace velkor
