#pragma once
// The window's own title bar: the logo (a click opens the web site), the caption, and the minimise and close
// buttons. Dragging it moves the window, a double click maximises or restores it. GUI thread only.
#include <QWidget>

class QLabel;
class QPushButton;

namespace velkor {

class TTitleBar final : public QWidget {
  Q_OBJECT
public:
  explicit TTitleBar(QWidget* parent = nullptr);
  void SetCaption(const QString& caption);

signals:
  void LogoClicked();
  void MinimizeClicked();
  void CloseClicked();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
  QLabel* imgLogo;
  QLabel* lblTitleBar;
  QPushButton* btnTitleMinimize;
  QPushButton* btnTitleClose;
};

}  // namespace velkor
