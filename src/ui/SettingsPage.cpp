#include "ui/SettingsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/GeneralSettings.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QLatin1String(name));
  return box;
}

}  // namespace

TSettingsPage::TSettingsPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tsSettings"));
  // On a small window the page scrolls instead of squeezing its controls.
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("sbSettings"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget(scroll);
  content->setObjectName(QStringLiteral("pnlSettingsContent"));
  scroll->setWidget(content);
  scroll->viewport()->setAutoFillBackground(false);
  content->setAutoFillBackground(false);
  outer->addWidget(scroll);
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(16, 12, 16, 12);
  layout->setSpacing(10);
  layout->addWidget(NewPageCaption(this, "lblSettingsCaption", QStringLiteral("Ayarlar")));

  grpSettings = new QGroupBox(QStringLiteral(" Genel Ayarlar "), this);
  grpSettings->setObjectName(QStringLiteral("grpSettings"));
  auto* settings = new QVBoxLayout(grpSettings);
  settings->setContentsMargins(14, 18, 14, 14);
  settings->setSpacing(8);
  chkStartWithWindows =
      NewCheckBox(grpSettings, "chkStartWithWindows", QStringLiteral("Windows başlangıcında programı otomatik başlat"));
  chkMinimizeToTray = NewCheckBox(grpSettings, "chkMinimizeToTray",
                                  QStringLiteral("Kapat düğmesine basılınca sistem tepsisine küçült"));
  chkShowNotifications =
      NewCheckBox(grpSettings, "chkShowNotifications", QStringLiteral("Yedekleme tamamlandığında bildirim göster"));
  chkCacheEncryptionPassword =
      NewCheckBox(grpSettings, "chkCacheEncryptionPassword",
                  QStringLiteral("Şifreleme parolasını cihazda hatırla (zamanlanmış işler için gerekir)"));
  chkBackgroundMode =
      NewCheckBox(grpSettings, "chkBackgroundMode", QStringLiteral("Arka plan modu (daha düşük CPU/disk önceliği)"));
  for (QCheckBox* box :
       {chkStartWithWindows, chkMinimizeToTray, chkShowNotifications, chkCacheEncryptionPassword, chkBackgroundMode})
    settings->addWidget(box);

  auto* speed = new QHBoxLayout;
  speed->setSpacing(8);
  auto* lblSpeedLimit = new QLabel(QStringLiteral("Hız limiti (MB/sn, 0 = limitsiz)"), grpSettings);
  lblSpeedLimit->setObjectName(QStringLiteral("lblSpeedLimit"));
  edtSpeedLimit = new QLineEdit(grpSettings);
  edtSpeedLimit->setObjectName(QStringLiteral("edtSpeedLimit"));
  edtSpeedLimit->setFixedWidth(90);
  const QString hint = QStringLiteral("Örnek: 25 yazarsanız yaklaşık 25 MB/sn ile çalışır.");
  edtSpeedLimit->setToolTip(hint);
  auto* lblSpeedHint = new QLabel(hint, grpSettings);
  lblSpeedHint->setObjectName(QStringLiteral("lblSpeedLimitHint"));
  lblSpeedHint->setStyleSheet(QStringLiteral("color: #5A6B7D;"));
  speed->addWidget(lblSpeedLimit);
  speed->addWidget(edtSpeedLimit);
  speed->addWidget(lblSpeedHint);
  speed->addStretch(1);
  settings->addSpacing(4);
  settings->addLayout(speed);

  btnSaveSettings = NewButton(grpSettings, "btnSaveSettings", QStringLiteral("Ayarları Kaydet"), true);
  auto* save = new QHBoxLayout;
  save->addWidget(btnSaveSettings);
  save->addStretch(1);
  settings->addSpacing(6);
  settings->addLayout(save);
  layout->addWidget(grpSettings);

  grpTools = new QGroupBox(QStringLiteral(" Araçlar "), this);
  grpTools->setObjectName(QStringLiteral("grpTools"));
  FToolButtons = new QHBoxLayout(grpTools);
  FToolButtons->setContentsMargins(14, 18, 14, 14);
  FToolButtons->addStretch(1);
  grpTools->hide();  // until a tool is added
  layout->addWidget(grpTools);
  layout->addStretch(1);
}

void TSettingsPage::ShowSettings(const TBackupConfig& config) {
  chkStartWithWindows->setChecked(config.StartWithWindows);
  chkMinimizeToTray->setChecked(config.MinimizeToTray);
  chkShowNotifications->setChecked(config.ShowNotifications);
  chkCacheEncryptionPassword->setChecked(config.CacheEncryptionPassword);
  chkBackgroundMode->setChecked(config.BackgroundMode);
  edtSpeedLimit->setText(QString::number(config.SpeedLimitMBPerSec));
}

void TSettingsPage::SaveSettingsFromUI(TBackupConfig& config) const {
  config.StartWithWindows = chkStartWithWindows->isChecked();
  config.MinimizeToTray = chkMinimizeToTray->isChecked();
  config.ShowNotifications = chkShowNotifications->isChecked();
  config.CacheEncryptionPassword = chkCacheEncryptionPassword->isChecked();
  config.BackgroundMode = chkBackgroundMode->isChecked();
  config.SpeedLimitMBPerSec = SpeedLimitFromText(Std(edtSpeedLimit->text()));
}

bool TSettingsPage::ShowNotificationsChecked() const { return chkShowNotifications->isChecked(); }

bool TSettingsPage::MinimizeToTrayChecked() const { return chkMinimizeToTray->isChecked(); }

bool TSettingsPage::CacheEncryptionPasswordChecked() const { return chkCacheEncryptionPassword->isChecked(); }

void TSettingsPage::AddToolButton(QPushButton* button) {
  button->setParent(grpTools);
  FToolButtons->insertWidget(FToolButtons->count() - 1, button);
  grpTools->show();
}

}  // namespace velkor
