#include "ui/ActionPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ActivityGear.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr int GearMargin = 12;

}  // namespace

TActionPanel::TActionPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("pnlActions"));
  setAttribute(Qt::WA_StyledBackground);
  setMinimumHeight(2 * GearMargin + 78);
  auto* layout = new QVBoxLayout(this);
  // The gear's place on the right stays free, so it never hides a button.
  layout->setContentsMargins(16, 10, 2 * GearMargin + 78, 10);
  layout->setSpacing(8);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  btnStartBackup = NewButton(this, "btnStartBackup", QStringLiteral("Seçili Görevi Başlat"), true);
  btnTestBackup = NewButton(this, "btnTestBackup", QStringLiteral("Test Yedekleme"));
  btnPauseBackup = NewButton(this, "btnPauseBackup", QStringLiteral("Duraklat"));
  btnCancelBackup = NewButton(this, "btnCancelBackup", QStringLiteral("İptal Et"));
  btnMinimizeToTray = NewButton(this, "btnMinimizeToTray", QStringLiteral("Tray'e Küçült"));
  btnExit = NewButton(this, "btnExit", QStringLiteral("Tam Çıkış"));
  // Wide enough for either caption of the pause button.
  btnPauseBackup->setMinimumWidth(btnPauseBackup->fontMetrics().horizontalAdvance(QStringLiteral("Devam Et")) + 40);
  for (QPushButton* button : {btnStartBackup, btnTestBackup, btnPauseBackup, btnCancelBackup}) {
    button->setMinimumHeight(34);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  for (QPushButton* button : {btnMinimizeToTray, btnExit}) {
    button->setMinimumHeight(34);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);

  auto* progress = new QHBoxLayout;
  progress->setSpacing(12);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFixedHeight(14);
  lblProgress = new QLabel(QStringLiteral("Hazır"), this);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  // A long file name must not widen the window.
  lblProgress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  progress->addWidget(ProgressBar1, 2);
  progress->addWidget(lblProgress, 3);
  layout->addLayout(progress);

  FGear = new TActivityGear(this);
}

void TActionPanel::ShowRunState(const TRunUiState& state) {
  btnStartBackup->setEnabled(state.StartEnabled);
  btnTestBackup->setEnabled(state.StartEnabled);
  btnPauseBackup->setEnabled(state.PauseButtonEnabled);
  btnPauseBackup->setText(Qs(state.PauseCaption));
  btnCancelBackup->setEnabled(state.CancelButtonEnabled);
  btnMinimizeToTray->setEnabled(true);
  FGear->SetActive(state.ActivityVisible);
}

void TActionPanel::SetProgressPosition(int percent) { ProgressBar1->setValue(percent); }

void TActionPanel::SetProgressText(const QString& text) { lblProgress->setText(text); }

void TActionPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FGear->move(width() - GearMargin - FGear->width(), (height() - FGear->height()) / 2);
}

}  // namespace velkor
