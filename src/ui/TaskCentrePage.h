#pragma once
// The "Yedekleme" page, the task centre: the task filter list lstTasks beside three views, the home page, the task
// list lvTasks with its tool bar, and the host pnlTaskDetailsHost of the task editor panel. The task commands go to
// the core; the editor panel is plugged in by the main window. GUI thread only.
#include <QWidget>

#include "app/AppCore.h"
#include "ui/ITaskEditorPanel.h"

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QVBoxLayout;

namespace velkor {

class TTaskCentrePage final : public QWidget {
  Q_OBJECT
public:
  TTaskCentrePage(TAppCore& core, QWidget* parent = nullptr);

  // Places the editor panel's widget in pnlTaskDetailsHost, in place of an earlier one; `editor` receives the tasks
  // to show.
  void SetEditor(ITaskEditorPanel* editor, QWidget* panel);
  ITaskEditorPanel* Editor() const { return FEditor; }

  void RefreshTaskList();
  // The next-run status text, shown on the home page.
  void ShowNextRun(const QString& text);
  // Selects the first filter entry and applies it.
  void SelectFirstFilter();

  void ShowHome();
  void ShowTaskList();
  // Nothing happens without an editor panel.
  void ShowTaskEditor();
  // The editor is open: the task centre shows it instead of the home page or the list, whichever top tab is up and
  // whether or not the window is on screen.
  bool EditorShown() const;

  // The task of the selected row of lvTasks, if it still exists.
  TBackupTask* SelectedTask() const;

  // Handlers.
  void OnTaskSelected();  // a click on a filter entry
  void OnTaskListSelectItem();
  void lstTasksDblClick();
  void btnHomeManageClick() { ShowTaskList(); }
  // The editor's "Geri Dön" and "Kaydet": the editor is stored into the current task unless it is not valid.
  void btnBackToListClick();
  void OnNewTask();

private:
  QWidget* BuildHome();
  QWidget* BuildTaskList();

  TAppCore& FCore;
  ITaskEditorPanel* FEditor = nullptr;
  QWidget* FEditorPanel = nullptr;
  QListWidget* lstTasks;
  QStackedWidget* pgcTasks;
  QWidget* pnlHome;
  QLabel* lblHomeNextRun;
  QWidget* pnlTaskList;
  QPushButton* btnNewTask;
  QPushButton* btnRenameTask;
  QPushButton* btnDeleteTask;
  QPushButton* btnCopyTask;
  QTreeWidget* lvTasks;
  QWidget* pnlTaskDetailsHost;
  QVBoxLayout* FHostLayout;
};

}  // namespace velkor
