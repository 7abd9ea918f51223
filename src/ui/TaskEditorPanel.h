#pragma once
// The task editor `pnlTaskDetails`: sources, destination, options, storage, schedule, the chain card and the
// capacity labels of the task the core holds as current. It fills itself from a task, writes itself back into one,
// validates before a save or a run, keeps its controls consistent and hands every rule, save and analysis to the
// application core. The window forwards the core's editor calls (ITaskEditor's task half) and the chain card and
// capacity displays (IAppView) here. GUI thread only.
#include <QWidget>
#include <functional>

#include "app/AppCore.h"
#include "app/TaskEditorStates.h"
#include "ui/ITaskEditorPanel.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace velkor {

class TTaskScheduleGroup;
class TTaskStorageGroup;
class TChainCardView;
class TCapacityView;

class TTaskEditorPanel final : public QWidget, public ITaskEditorPanel {
  Q_OBJECT
public:
  // `core` and `prompts` outlive the panel. Construct it before the core starts, so the core's first calls find it.
  TTaskEditorPanel(TAppCore& core, IAppPrompts& prompts, QWidget* parent = nullptr);

  // The settings page's "remember the encryption password" box, which "Şifre Ayarla" follows; without one the saved
  // setting counts.
  void SetCachePasswordChecked(std::function<bool()> checked) { FCachePasswordChecked = std::move(checked); }

  // The editor as the core asks for it.
  bool IsLoading() const override { return FLoading; }
  // True when the content may be saved or run. The controls are checked whether or not the panel is on screen:
  // whether the editor is open is the host's to say. A refusal shows its message.
  bool ValidateTaskUI() override;
  // Writes the editor into `task`, in memory. Only into the task the editor was filled from: any other would take
  // that task's values.
  void SaveTaskFromUI(TBackupTask& task) override;
  int EditorSourceCount() const override;

  // What the core shows under the editor.
  void ShowChainCard(const TChainCard& card) override;
  void ShowCapacity(const TCapacityLabels& labels) override;

  // Fills the editor from `task` (nothing happens without one).
  void LoadTaskToUI(TBackupTask* task) override;
  // "Şifre Ayarla", from the button beside "Şifrele" or from its twin on the settings page.
  void EncryptionSettingsClick();

signals:
  // "Geri Dön", or "Kaydet" once the task was validated, stored and written: the window leaves the editor (checking
  // and storing it first, as it does for any way out).
  void BackToListRequested();

private:
  QWidget* BuildSourceAndOptions();
  QWidget* BuildButtons();
  std::vector<std::string> ListedSources() const;
  TEditorStates CurrentStates() const;
  void ApplyEditorStates();
  void UpdateScheduleControls();
  void LoadStorageUI(const TBackupTask* task);
  // A change the space analysis depends on: destination text, manual type, compression, encryption.
  void OptionChanged();
  void StorageUIChanged();
  void ScheduleControlChanged();
  void chkEnableScheduleClick();
  void chkTaskActiveClick();
  void btnAddSourceClick();
  void btnRemoveSourceClick();
  void btnBrowseDestinationClick();
  void btnSaveTaskClick();
  bool CachePasswordChecked() const;

  TAppCore& FCore;
  IAppPrompts& FPrompts;
  std::function<bool()> FCachePasswordChecked;
  bool FLoading = false;
  const TBackupTask* FLoadedTask = nullptr;  // the task the controls were filled from

  QListWidget* lstSources;
  QPushButton* btnAddSource;
  QPushButton* btnRemoveSource;
  QLabel* lblDestination;
  QLineEdit* edtDestination;
  QPushButton* btnBrowseDestination;
  QCheckBox* chkTaskActive;
  QWidget* grpBackupType;
  QButtonGroup* FBackupTypes;
  QCheckBox* chkCompress;
  QCheckBox* chkEncrypt;
  QPushButton* btnEncryptionSettings;
  QLineEdit* edtMaxBackups;
  TTaskStorageGroup* FStorageGroup;
  TTaskScheduleGroup* grpSchedule;
  TChainCardView* FRetentionCard;
  TCapacityView* FCapacity;
  QPushButton* btnBackToList;
  QPushButton* btnSaveTask;
};

}  // namespace velkor
