#include "ui/TitleBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QWindow>

#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr int BarHeight = 52;

}  // namespace

TTitleBar::TTitleBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("pnlTitleBar"));
  setAttribute(Qt::WA_StyledBackground);
  setFixedHeight(BarHeight);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(10, 0, 0, 0);
  layout->setSpacing(14);

  imgLogo = new QLabel(this);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setPixmap(
      QPixmap(QStringLiteral(":/velkor/logo.png")).scaledToHeight(BarHeight - 6, Qt::SmoothTransformation));
  imgLogo->setCursor(Qt::PointingHandCursor);
  imgLogo->setToolTip(QStringLiteral("Web sitesini aç"));
  imgLogo->installEventFilter(this);
  layout->addWidget(imgLogo);

  lblTitleBar = new QLabel(this);
  lblTitleBar->setObjectName(QStringLiteral("lblTitleBar"));
  lblTitleBar->setFont(UiFont(14, QFont::DemiBold));
  lblTitleBar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(lblTitleBar, 1);

  btnTitleMinimize = new QPushButton(QStringLiteral("—"), this);
  btnTitleMinimize->setObjectName(QStringLiteral("btnTitleMinimize"));
  btnTitleMinimize->setToolTip(QStringLiteral("Simge durumuna küçült"));
  btnTitleClose = new QPushButton(QStringLiteral("✕"), this);
  btnTitleClose->setObjectName(QStringLiteral("btnTitleClose"));
  btnTitleClose->setToolTip(QStringLiteral("Kapat"));
  for (QPushButton* button : {btnTitleMinimize, btnTitleClose}) {
    button->setFont(SymbolFont(14, false));
    button->setFixedSize(48, BarHeight);
    button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(button);
  }
  connect(btnTitleMinimize, &QPushButton::clicked, this, &TTitleBar::MinimizeClicked);
  connect(btnTitleClose, &QPushButton::clicked, this, &TTitleBar::CloseClicked);
}

void TTitleBar::SetCaption(const QString& caption) { lblTitleBar->setText(caption); }

bool TTitleBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == imgLogo && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    emit LogoClicked();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TTitleBar::mousePressEvent(QMouseEvent* event) {
  // The window manager moves the window, as it does by its own title bar.
  if (event->button() == Qt::LeftButton && window()->windowHandle() != nullptr)
    window()->windowHandle()->startSystemMove();
  QWidget::mousePressEvent(event);
}

void TTitleBar::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) window()->isMaximized() ? window()->showNormal() : window()->showMaximized();
  QWidget::mouseDoubleClickEvent(event);
}

}  // namespace velkor
