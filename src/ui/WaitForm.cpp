#include "ui/WaitForm.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QWindow>

#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"

namespace velkor {

namespace {

constexpr int ClientWidth = 420;
constexpr int ClientHeight = 140;

}  // namespace

TfrmWait::TfrmWait(QWidget* owner, const TWaitWindowText& text)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("frmWait"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(Qs(text.Caption));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(UiFont(12));
  PaintBackground(this, Qt::white);
  lblWait = NewLabel(this, "lblWait", Qs(text.Text), UiFont(12), QColor(0x28, 0x2D, 0x42));
  lblWait->setWordWrap(true);
  lblWait->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblWait->setGeometry(16, 20, 360, 44);
  pbWait = new QProgressBar(this);
  pbWait->setObjectName(QStringLiteral("pbWait"));
  pbWait->setGeometry(16, 76, ClientWidth - 32, 18);
  pbWait->setTextVisible(false);
  pbWait->hide();
  lblProgress = NewLabel(this, "lblProgress", QString(), UiFont(11), QColor(0x6B, 0x7C, 0x8D));
  lblProgress->setGeometry(16, 102, ClientWidth - 32, 20);
  if (owner != nullptr) {
    const QWidget* window = owner->window();
    move(window->frameGeometry().center() - rect().center());
    winId();
    if (windowHandle() != nullptr && window->windowHandle() != nullptr)
      windowHandle()->setTransientParent(window->windowHandle());
  }
}

void TfrmWait::ShowProgress(int percent, const std::string& text) {
  pbWait->show();
  if (percent < 0) {
    pbWait->setRange(0, 0);
  } else {
    pbWait->setRange(0, 100);
    pbWait->setValue(percent);
  }
  const QFontMetrics metrics(lblProgress->font());
  lblProgress->setText(metrics.elidedText(Qs(text), Qt::ElideMiddle, lblProgress->width()));
}

void TfrmWait::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace velkor
