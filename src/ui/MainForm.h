#pragma once
// The main window: a view of the application core. It assembles the title bar, the three pages (task centre,
// history, settings), the action panel, the activity log and the tray icon; it implements IAppView by drawing what
// the core computes, ITaskEditor by forwarding to the task editor panel and the settings page, and ITrayWindow for
// the tray residency of app/. No backup rule lives here. GUI thread only.
//
// Seams for the dialogs that plug in: SetTaskEditor (the task editor panel, hosted in pnlTaskDetailsHost),
// SetHistoryCommands (the history commands that open dialogs) and SettingsPage().AddToolButton (tool buttons).
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppComposition.h"
#include "app/AppCore.h"
#include "app/TrayResidency.h"
#include "platform/SingleInstance.h"
#include "ui/HistoryPage.h"
#include "ui/ITaskEditorPanel.h"

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QSizeGrip;
class QStackedWidget;
class QStatusBar;
class QTimer;

namespace velkor {

class TActionPanel;
class TSettingsPage;
class TTaskCentrePage;
class TTitleBar;
class TTrayIcon;
class TWindowHistoryCommands;

struct TMainFormServices {
  TMainFormServices(IAppPrompts& prompts, IClock& clock, IMainThread& mainThread)
      : Prompts(prompts), Clock(clock), MainThread(mainThread) {}

  IAppPrompts& Prompts;
  IClock& Clock;
  IMainThread& MainThread;
  std::vector<std::string> Arguments;  // the command line after the program name ("/tray")
  // The login form; true when the user logged in. Empty: every login succeeds (a test without the form).
  std::function<bool(bool forcePrompt)> ShowLogin;
  // Empty: the splash picture, once per process.
  std::function<void()> ShowSplash;
  // Empty: whether the desktop offers a system tray.
  std::function<bool()> TrayAvailable;
  // Opens a web address in the browser; empty: the desktop's browser.
  std::function<bool(const std::string& url)> OpenUrl;
  ILongPathSwitch* LongPaths = &SystemLongPathSwitch();
  std::filesystem::path ProgramFolder;    // where "splash.png" may lie; empty: the executable's folder
  std::filesystem::path ConfigDirectory;  // empty: the user's
  std::filesystem::path RegistryFile;     // empty: the user's
};

class TfrmMain final : public QWidget, public IAppView, public ITaskEditor, public ITrayWindow {
  Q_OBJECT
public:
  // Builds the window and runs the start (FormCreate); the window then shows itself unless the start is hidden in
  // the tray or the login failed (then it closes at the next turn of the event loop).
  explicit TfrmMain(const TMainFormServices& services, QWidget* parent = nullptr);
  // The core goes first: its destructor stops a running backup, whose completion still writes to this view.
  ~TfrmMain() override;

  TAppCore& Core() { return *FCore; }
  TTrayResidency& Tray() { return *FTrayResidency; }
  TSettingsPage& SettingsPage() { return *FSettingsPage; }
  TTaskCentrePage& TaskCentre() { return *FTaskCentre; }
  THistoryPage& HistoryPage() { return *FHistoryPage; }
  // The history page's commands that open dialogs (set at construction; SetHistoryCommands replaces them).
  TWindowHistoryCommands& HistoryCommands() { return *FHistoryCommands; }
  TTrayIcon& TrayIcon() { return *FTrayIcon; }

  // The task editor panel: `panel` is placed in the task centre's pnlTaskDetailsHost, and `editor` receives the
  // task half of ITaskEditor, the tasks to show and the chain card and capacity labels. Call before FormCreate.
  void SetTaskEditor(ITaskEditorPanel* editor, QWidget* panel);
  void SetHistoryCommands(IHistoryCommands* commands);

  // The top tabs: 0 "Yedekleme", 1 "Geçmiş", 2 "Ayarlar".
  void ShowPage(int page);
  int CurrentPage() const;
  // A second start of the program asked for the window.
  void RaiseFromOtherInstance() { FTrayResidency->RaiseRequested(); }
  void imgLogoClick();

  // IAppView
  void AppendLogLines(const std::vector<std::string>& lines) override;
  void SetStatusText(int panel, const std::string& text) override;
  void SetProgressPosition(int percent) override;
  void SetProgressText(const std::string& text) override;
  void ShowRunState(const TRunUiState& state) override;
  void ShowBalloon(const std::string& title, const std::string& text) override;
  void RefreshTaskList() override;
  void RefreshHistoryList() override;
  void ShowChainCard(const TChainCard& card) override;
  void ShowCapacity(const TCapacityLabels& labels) override;

  // ITaskEditor
  bool IsLoading() const override;
  bool ValidateTaskUI() override;
  void SaveTaskFromUI(TBackupTask& task) override;
  int EditorSourceCount() const override;
  void SaveSettingsFromUI(TBackupConfig& config) override;
  bool ShowNotificationsChecked() const override;

  // ITrayWindow
  bool TrayAvailable() const override;
  bool WindowShown() const override;
  void HideWindow() override;
  void MinimizeWindow() override;
  void ShowWindow() override;
  void CloseWindow() override;
  void ShowTrayIcon(bool visible) override;
  void ShowTrayBalloon(const std::string& title, const std::string& text) override;
  bool ShowLogin(bool forcePrompt) override;

signals:
  // The window closed for good: the program ends.
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void BuildWindow();
  QWidget* BuildTabs();
  QWidget* BuildLog();
  void ConnectCommands();
  // The task editor panel in the task centre, and the two encryption tools on the settings page.
  void PlugTaskEditor();
  void FormCreate();
  void btnMinimizeToTrayClick();

  TMainFormServices FServices;
  std::unique_ptr<TComposedApp> FApp;
  TAppCore* FCore = nullptr;  // FApp's
  std::unique_ptr<TTrayResidency> FTrayResidency;
  std::unique_ptr<TWindowHistoryCommands> FHistoryCommands;
  ITaskEditorPanel* FEditor = nullptr;
  bool FWasMinimized = false;

  TTitleBar* pnlTitleBar;
  QWidget* pnlTabs;
  QStackedWidget* pgcMain;
  TTaskCentrePage* FTaskCentre;
  THistoryPage* FHistoryPage;
  TSettingsPage* FSettingsPage;
  TActionPanel* FActionPanel;
  QGroupBox* FLogGroup;
  QPlainTextEdit* memoLog;
  QStatusBar* StatusBar1;
  QLabel* FStatusPanels[3];
  TTrayIcon* FTrayIcon;
  QSizeGrip* FSizeGrip;
  QTimer* Timer1;
};

// Raises `window` whenever a second start of the program asks the running one through `guard`.
void ForwardRaiseRequests(TSingleInstanceGuard& guard, IMainThread& mainThread, TfrmMain& window);

}  // namespace velkor
