#pragma once
// The task editor's storage group " Depolama Hedefi ": the storage mode and the four cloud fields (provider, access
// key, secret, destination) with a folder picker for the provider that copies into a folder. The secret is shown
// unprotected and stored protected again only when the user has changed it. GUI thread only.
#include <QGroupBox>

#include "app/IAppPrompts.h"
#include "app/TaskEditorStates.h"
#include "app/TaskRules.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velkor {

class TTaskStorageGroup final : public QGroupBox {
  Q_OBJECT
public:
  explicit TTaskStorageGroup(IAppPrompts& prompts, QWidget* parent = nullptr);

  // Shows the task's storage mode and cloud fields; without a task the first provider, "Lokal Disk" and empty fields.
  void Load(const TBackupTask* task);
  // Writes the storage mode and the cloud fields into `settings`. When the changed secret cannot be protected it
  // stays as stored, and the user is told.
  void Store(TTaskSettings& settings);
  // The storage mode's item index, -1 when none is selected.
  int StorageModeIndex() const;
  QString CloudProviderText() const;
  void ApplyStates(const TEditorStates& states);

signals:
  // The user chose another storage mode or provider from its list.
  void StorageChanged();
  // The provider's text changed, typed or chosen: the controls that depend on it follow.
  void ProviderTextChanged();

private:
  void BrowseCloudDestination();

  IAppPrompts& FPrompts;
  QComboBox* FCmbStorageMode;
  QComboBox* FCmbCloudProvider;
  QLineEdit* FEdtCloudAccount;
  QLineEdit* FEdtCloudPassword;
  QLineEdit* FEdtCloudDestination;
  QPushButton* FBtnBrowseCloudDestination;
};

}  // namespace velkor
