#pragma once
// The program's icon in the system tray with its menu: the status line, "Göster" (the default item), start, pause
// or resume, cancel and "Çıkış"; and its balloons. It shows the run state the core computes; the main window
// connects the items. GUI thread only.
#include <QObject>

#include "app/IAppView.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace velkor {

class TTrayIcon final : public QObject {
  Q_OBJECT
public:
  explicit TTrayIcon(QObject* parent = nullptr);
  ~TTrayIcon() override;

  // Showing it again (hidden first) adds it to the tray anew.
  void SetVisible(bool visible);
  bool IsVisible() const;
  void ShowRunState(const TRunUiState& state);
  void ShowBalloon(const QString& title, const QString& text);
  QString Hint() const;
  QMenu* Menu() const { return FMenu; }

  QAction* mnuStatus;
  QAction* mnuShow;
  QAction* mnuStartBackup;
  QAction* mnuPauseBackup;
  QAction* mnuCancelBackup;
  QAction* mnuExit;

signals:
  // A click or double click on the icon, or "Göster".
  void ShowRequested();

private:
  QMenu* FMenu;
  QSystemTrayIcon* FIcon;
};

}  // namespace velkor
