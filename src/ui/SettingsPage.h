#pragma once
// The "Ayarlar" page: the general settings of the configuration (five check boxes and the speed limit) and the save
// button; below them a row for the tools that open dialogs of their own. GUI thread only.
#include <QWidget>

#include "config/BackupModel.h"

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

namespace velkor {

class TSettingsPage final : public QWidget {
  Q_OBJECT
public:
  explicit TSettingsPage(QWidget* parent = nullptr);

  // Shows `config`'s settings.
  void ShowSettings(const TBackupConfig& config);
  // Writes the controls into `config` (the speed limit as the settings rule reads it).
  void SaveSettingsFromUI(TBackupConfig& config) const;
  bool ShowNotificationsChecked() const;
  bool MinimizeToTrayChecked() const;
  // The box for remembering the encryption password, as it stands now.
  bool CacheEncryptionPasswordChecked() const;
  // A button of a tool that opens its own dialog ("Şifre Girişi", "E-posta Ayarları", ...), in the tools row.
  void AddToolButton(QPushButton* button);

  QPushButton* SaveButton() const { return btnSaveSettings; }

private:
  QGroupBox* grpSettings;
  QCheckBox* chkStartWithWindows;
  QCheckBox* chkMinimizeToTray;
  QCheckBox* chkShowNotifications;
  QCheckBox* chkCacheEncryptionPassword;
  QCheckBox* chkBackgroundMode;
  QLineEdit* edtSpeedLimit;
  QPushButton* btnSaveSettings;
  QGroupBox* grpTools;
  QHBoxLayout* FToolButtons;
};

}  // namespace velkor
