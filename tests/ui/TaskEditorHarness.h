#pragma once
// The task editor hosted as the main window hosts it: a view that forwards the chain card and the capacity labels
// to the panel and records the rest, the editor half of the window forwarded to the panel, the real application
// core over a scratch configuration, its main-thread calls run by Qt's event loop. Prompts are scripted, or the
// window's own dialogs for tests that look at them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <QVBoxLayout>
#include <chrono>
#include <functional>
#include <memory>

#include "UiTestSupport.h"
#include "app/AppCoreHarness.h"
#include "ui/QtAppPrompts.h"
#include "ui/QtMainThread.h"
#include "ui/TaskEditorPanel.h"

namespace velkor::test {

class TEditorHostView final : public IAppView, public ITaskEditor {
public:
  TRecordingView Record;
  TTaskEditorPanel* Panel = nullptr;

  void AppendLogLines(const std::vector<std::string>& lines) override { Record.AppendLogLines(lines); }
  void SetStatusText(int panel, const std::string& text) override { Record.SetStatusText(panel, text); }
  void SetProgressPosition(int percent) override { Record.SetProgressPosition(percent); }
  void SetProgressText(const std::string& text) override { Record.SetProgressText(text); }
  void ShowRunState(const TRunUiState& state) override { Record.ShowRunState(state); }
  void ShowBalloon(const std::string& title, const std::string& text) override { Record.ShowBalloon(title, text); }
  void RefreshTaskList() override { Record.RefreshTaskList(); }
  void RefreshHistoryList() override { Record.RefreshHistoryList(); }
  void ShowChainCard(const TChainCard& card) override {
    Record.ShowChainCard(card);
    if (Panel != nullptr) Panel->ShowChainCard(card);
  }
  void ShowCapacity(const TCapacityLabels& labels) override {
    Record.ShowCapacity(labels);
    if (Panel != nullptr) Panel->ShowCapacity(labels);
  }

  bool IsLoading() const override { return Panel != nullptr && Panel->IsLoading(); }
  bool ValidateTaskUI() override { return Panel == nullptr || Panel->ValidateTaskUI(); }
  void SaveTaskFromUI(TBackupTask& task) override {
    if (Panel != nullptr) Panel->SaveTaskFromUI(task);
  }
  int EditorSourceCount() const override { return Panel != nullptr ? Panel->EditorSourceCount() : 0; }
  void SaveSettingsFromUI(TBackupConfig&) override {}
  bool ShowNotificationsChecked() const override { return true; }
};

class TaskEditorHarness : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  TScopedEnv FXdgConfig{"XDG_CONFIG_HOME", (FDir / "xdg").string()};
  TScopedEnv FTmp{"TMPDIR", (FDir / "tmp").string()};
  TFakeClock FClock;  // a Wednesday morning
  TQtMainThread FMain;
  TEditorHostView FView;
  TScriptedPrompts FPrompts;
  TQtAppPrompts FDialogs;
  bool FUseDialogs = false;  // the window's own dialogs answer instead of the script
  std::unique_ptr<TAppCore> FCore;
  std::unique_ptr<QWidget> FWindow;
  TTaskEditorPanel* FPanel = nullptr;

  TaskEditorHarness() { std::filesystem::create_directories(FDir / "tmp"); }
  ~TaskEditorHarness() override {
    FWindow.reset();
    FView.Panel = nullptr;
    FCore.reset();
  }

  std::filesystem::path ConfigDir() const { return FDir / "config"; }
  std::filesystem::path RegistryFile() const { return FDir / "registry.json"; }
  std::filesystem::path ConfigFile() const { return ConfigDir() / "config.json"; }
  TBackupConfig& Config() { return *FCore->Config(); }
  std::unique_ptr<TBackupConfig> SavedConfig() { return TConfigManager(ConfigDir(), FClock).LoadConfig(); }

  // A task over a source folder "<scratch>/src/<name>" holding `files`, saving to "<scratch>/dest/<name>".
  std::unique_ptr<TBackupTask> MakeTask(const std::string& name, const TFileTree& files = {{"a.txt", "alfa"}}) {
    return MakeLocalTask(FClock, FDir.Path(), name, files);
  }

  // Saves the configuration `prepare` builds (none: the first start's), then starts the core with the editor in a
  // window of `size`, shown.
  void Start(const std::function<void(TBackupConfig&)>& prepare = {}, QSize size = QSize(1000, 760)) {
    if (prepare) {
      TBackupConfig config;
      prepare(config);
      TConfigManager(ConfigDir(), FClock).SaveConfig(config);
    }
    IAppPrompts& prompts = FUseDialogs ? static_cast<IAppPrompts&>(FDialogs) : FPrompts;
    TAppCoreServices services(FView, prompts, FClock, FMain);
    services.Editor = &FView;
    services.ConfigDirectory = ConfigDir();
    services.RegistryFile = RegistryFile();
    FCore = std::make_unique<TAppCore>(services);
    FWindow = std::make_unique<QWidget>();
    FWindow->resize(size);
    FPanel = new TTaskEditorPanel(*FCore, prompts, FWindow.get());
    auto* layout = new QVBoxLayout(FWindow.get());
    layout->addWidget(FPanel);
    FView.Panel = FPanel;
    FCore->LoadConfiguration();
    FCore->Start({.Hidden = false, .SchedulerActive = false});
    FWindow->show();
  }

  // Opening a task from the task list, as its double click does.
  TBackupTask& Open(int index) {
    TBackupTask& task = *Config().Tasks.at(index);
    FCore->SetCurrentTask(&task);
    FPanel->LoadTaskToUI(&task);
    return task;
  }

  template <typename T>
  T* Control(const char* name) {
    return Find<T>(*FPanel, name);
  }
  // Chooses an item of a list as the user does, which signals the choice.
  void Choose(const char* list, const QString& item) {
    auto* combo = Control<QComboBox>(list);
    const int index = combo->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  // Near the left edge, where a check box has its box, however wide its layout made it.
  void Click(const char* button) {
    QWidget* widget = Control<QWidget>(button);
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
  }

  // Runs the event loop until the space analysis has shown what its estimate found.
  void WaitForCapacity() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FCore->CapacityAnalysisBusy()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the space analysis did not end";
      QTest::qWait(5);
    }
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& [text, kind] : FPrompts.Messages) texts.push_back(text);
    return texts;
  }
};

}  // namespace velkor::test
