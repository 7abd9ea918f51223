#pragma once
// The task editor and general settings page as the application core needs them: validation before a manual run
// or a save, writing the editor's unsaved values into a task, and a few control states the core reads. The window
// implements it; without an editor (the command-line tool) tasks are used as stored. Main thread only.
#include "config/BackupModel.h"

namespace velkor {

class ITaskEditor {
public:
  virtual ~ITaskEditor() = default;

  // True while the editor is being filled; change handlers, the space analysis among them, then do nothing.
  virtual bool IsLoading() const = 0;
  // True when the editor's content may be saved or run; always when the editor is closed. An editor left open behind
  // another page or in the tray is checked all the same. A failure has shown its own message.
  virtual bool ValidateTaskUI() = 0;
  // Writes the editor's values into `task` (in memory only).
  virtual void SaveTaskFromUI(TBackupTask& task) = 0;
  // Number of entries in the editor's source list.
  virtual int EditorSourceCount() const = 0;
  // Writes the general settings page (five check boxes, speed limit) into `config`.
  virtual void SaveSettingsFromUI(TBackupConfig& config) = 0;
  // The "notify when a backup completes" check box as it stands now (it may differ from the saved setting).
  virtual bool ShowNotificationsChecked() const = 0;
};

}  // namespace velkor
