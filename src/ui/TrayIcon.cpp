#include "ui/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"

namespace velkor {

TTrayIcon::TTrayIcon(QObject* parent) : QObject(parent), FMenu(new QMenu), FIcon(new QSystemTrayIcon(this)) {
  FMenu->setObjectName(QStringLiteral("pmTray"));
  mnuStatus = NewMenuItem(FMenu, "mnuStatus", QStringLiteral("Durum: Hazır"));
  mnuStatus->setEnabled(false);
  FMenu->addSeparator();
  mnuShow = NewMenuItem(FMenu, "mnuShow", QStringLiteral("Göster"));
  QFont bold = mnuShow->font();
  bold.setBold(true);
  mnuShow->setFont(bold);
  FMenu->setDefaultAction(mnuShow);
  mnuStartBackup = NewMenuItem(FMenu, "mnuStartBackup", QStringLiteral("Yedeklemeyi Başlat"));
  mnuPauseBackup = NewMenuItem(FMenu, "mnuPauseBackup", QStringLiteral("Duraklat"));
  mnuPauseBackup->setEnabled(false);
  mnuCancelBackup = NewMenuItem(FMenu, "mnuCancelBackup", QStringLiteral("İptal Et"));
  mnuCancelBackup->setEnabled(false);
  FMenu->addSeparator();
  mnuExit = NewMenuItem(FMenu, "mnuExit", QStringLiteral("Çıkış"));

  FIcon->setIcon(QIcon(QStringLiteral(":/velkor/velkor.png")));
  FIcon->setToolTip(QStringLiteral("Velkor çalışıyor"));
  FIcon->setContextMenu(FMenu);
  connect(mnuShow, &QAction::triggered, this, &TTrayIcon::ShowRequested);
  // Status-notifier hosts report a click as a trigger; others report the double click.
  connect(FIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) emit ShowRequested();
  });
}

// The menu has no parent: the tray icon holds it.
TTrayIcon::~TTrayIcon() { delete FMenu; }

void TTrayIcon::SetVisible(bool visible) {
  if (visible && FIcon->isVisible()) FIcon->hide();
  FIcon->setVisible(visible);
}

bool TTrayIcon::IsVisible() const { return FIcon->isVisible(); }

void TTrayIcon::ShowRunState(const TRunUiState& state) {
  mnuStatus->setText(Qs(state.TrayStatusLine));
  mnuStartBackup->setEnabled(state.TrayStartEnabled);
  mnuPauseBackup->setEnabled(state.TrayPauseEnabled);
  mnuPauseBackup->setText(Qs(state.PauseCaption));
  mnuCancelBackup->setEnabled(state.TrayCancelEnabled);
  FIcon->setToolTip(Qs(state.TrayHint));
}

void TTrayIcon::ShowBalloon(const QString& title, const QString& text) {
  FIcon->showMessage(title, text, QSystemTrayIcon::Information);
}

QString TTrayIcon::Hint() const { return FIcon->toolTip(); }

}  // namespace velkor
