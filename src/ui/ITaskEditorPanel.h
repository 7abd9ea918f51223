#pragma once
// The task editor panel as the main window sees it: the task half of ITaskEditor, filling the editor with a task,
// and the two displays under it. The main window hosts the panel's widget in the task centre and forwards these
// calls to it; without a panel, tasks are used as stored. GUI thread only.
#include "app/IAppView.h"
#include "config/BackupModel.h"

namespace velkor {

class ITaskEditorPanel {
public:
  virtual ~ITaskEditorPanel() = default;

  virtual bool IsLoading() const = 0;
  virtual bool ValidateTaskUI() = 0;
  virtual void SaveTaskFromUI(TBackupTask& task) = 0;
  virtual int EditorSourceCount() const = 0;
  // Fills the editor with `task`, the current task (nullptr: none).
  virtual void LoadTaskToUI(TBackupTask* task) = 0;
  virtual void ShowChainCard(const TChainCard& card) = 0;
  virtual void ShowCapacity(const TCapacityLabels& labels) = 0;
};

}  // namespace velkor
