#pragma once
// A headless main window for the application core: a view that records what it is shown, prompts that answer
// from a script, recording cloud and e-mail steps, a pumped main-thread queue and a fake clock, over real files
// in a scratch folder and the real engine thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/AppCore.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace velkor::test {

class TRecordingView final : public IAppView {
public:
  // Shown log lines, history refreshes ("history:N": the history then held N entries) and run starts, in the
  // order they happened, for tests that check what came before what.
  std::vector<std::string> Events;
  std::vector<std::string> LogLines;  // without the "[time] " prefix
  std::vector<std::string> RawLogLines;
  std::vector<size_t> LogBatches;
  std::string Status[2];
  int ProgressPosition = -1;
  std::string ProgressText;
  TRunUiState RunState;
  std::vector<std::pair<std::string, std::string>> Balloons;
  int TaskListRefreshes = 0;
  int HistoryRefreshes = 0;
  std::optional<TChainCard> ChainCard;
  std::optional<TCapacityLabels> Capacity;
  // The number of history entries as the core's readers see it (queued changes included), read on each history
  // refresh and run start when set.
  std::function<size_t()> HistoryCount;

  void AppendLogLines(const std::vector<std::string>& lines) override {
    LogBatches.push_back(lines.size());
    for (const std::string& line : lines) {
      RawLogLines.push_back(line);
      const size_t end = line.find("] ");
      LogLines.push_back(end == std::string::npos ? line : line.substr(end + 2));
      Events.push_back(LogLines.back());
    }
  }
  void SetStatusText(int panel, const std::string& text) override { Status[panel] = text; }
  void SetProgressPosition(int percent) override { ProgressPosition = percent; }
  void SetProgressText(const std::string& text) override { ProgressText = text; }
  void ShowRunState(const TRunUiState& state) override {
    // "run-start:N": a run was dispatched while the history held N entries.
    if (state.ActivityVisible && !RunState.ActivityVisible && HistoryCount)
      Events.push_back("run-start:" + std::to_string(HistoryCount()));
    RunState = state;
  }
  void ShowBalloon(const std::string& title, const std::string& text) override { Balloons.emplace_back(title, text); }
  void RefreshTaskList() override { ++TaskListRefreshes; }
  void RefreshHistoryList() override {
    ++HistoryRefreshes;
    if (HistoryCount) Events.push_back("history:" + std::to_string(HistoryCount()));
  }
  void ShowChainCard(const TChainCard& card) override { ChainCard = card; }
  void ShowCapacity(const TCapacityLabels& labels) override { Capacity = labels; }

  bool Logged(const std::string& line) const { return IndexOf(line) >= 0; }
  int Count(const std::string& line) const {
    int n = 0;
    for (const std::string& l : LogLines) n += l == line;
    return n;
  }
  int IndexOf(const std::string& event) const {
    for (size_t i = 0; i < Events.size(); ++i)
      if (Events[i] == event) return static_cast<int>(i);
    return -1;
  }
};

class TScriptedPrompts final : public IAppPrompts {
public:
  bool Interactive = true;
  std::deque<bool> YesNoAnswers;                     // missing answers are "Hayır"
  std::deque<std::optional<std::string>> Passwords;  // nullopt = cancelled; missing answers cancel
  std::vector<std::pair<std::string, TAppMessageKind>> Messages;
  std::vector<std::string> Questions;
  std::vector<std::vector<std::string>> PasswordPrompts;  // caption, prompt[, confirm prompt]
  std::deque<std::optional<std::string>> Texts;           // nullopt = cancelled; missing answers cancel
  std::vector<std::vector<std::string>> TextPrompts;      // caption, label, proposed value
  std::deque<std::optional<std::string>> Picks;           // pickers' answers; nullopt = cancelled, missing cancel
  std::vector<std::vector<std::string>> Pickers;          // title[, filter], proposed path

  bool IsInteractive() const override { return Interactive; }
  void ShowMessage(const std::string& text, TAppMessageKind kind) override { Messages.emplace_back(text, kind); }
  bool AskYesNo(const std::string& text) override {
    Questions.push_back(text);
    if (YesNoAnswers.empty()) return false;
    const bool answer = YesNoAnswers.front();
    YesNoAnswers.pop_front();
    return answer;
  }
  bool PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) override {
    PasswordPrompts.push_back({caption, prompt});
    return Next(password);
  }
  bool PromptNewPassword(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                         std::string& password) override {
    PasswordPrompts.push_back({caption, prompt, confirmPrompt});
    return Next(password);
  }
  bool PromptText(const std::string& caption, const std::string& label, std::string& value) override {
    TextPrompts.push_back({caption, label, value});
    if (Texts.empty() || !Texts.front()) {
      if (!Texts.empty()) Texts.pop_front();
      return false;
    }
    value = *Texts.front();
    Texts.pop_front();
    return true;
  }
  bool SelectFolder(const std::string& title, std::string& folder) override { return Pick({title, folder}, folder); }
  bool SelectOpenFile(const std::string& title, const std::string& filter, std::string& file) override {
    return Pick({title, filter, file}, file);
  }
  bool SelectSaveFile(const std::string& title, const std::string& filter, std::string& file) override {
    return Pick({title, filter, file}, file);
  }

private:
  bool Pick(std::vector<std::string> shown, std::string& path) {
    Pickers.push_back(std::move(shown));
    if (Picks.empty() || !Picks.front()) {
      if (!Picks.empty()) Picks.pop_front();
      return false;
    }
    path = *Picks.front();
    Picks.pop_front();
    return true;
  }
  bool Next(std::string& password) {
    password.clear();
    if (Passwords.empty() || !Passwords.front()) {
      if (!Passwords.empty()) Passwords.pop_front();
      return false;
    }
    password = *Passwords.front();
    Passwords.pop_front();
    return true;
  }
};

// The task editor of the window: validation and the values it holds, scripted.
class TScriptedEditor final : public ITaskEditor {
public:
  bool Loading = false;
  bool Valid = true;
  int SourceCount = 1;
  bool NotificationsChecked = true;
  std::function<void(TBackupTask&)> EditorValues;  // what the editor writes into a task
  std::vector<std::string> Saved;                  // names of the tasks the editor was stored into
  int Validations = 0;

  bool IsLoading() const override { return Loading; }
  bool ValidateTaskUI() override {
    ++Validations;
    return Valid;
  }
  void SaveTaskFromUI(TBackupTask& task) override {
    Saved.push_back(task.Name);
    if (EditorValues) EditorValues(task);
  }
  int EditorSourceCount() const override { return SourceCount; }
  void SaveSettingsFromUI(TBackupConfig& config) override { config.SpeedLimitMBPerSec = 7; }
  bool ShowNotificationsChecked() const override { return NotificationsChecked; }
};

// The cloud step as the completion sees it: records each call and applies the scripted outcome.
class TRecordingCloudCopy final : public IPostRunCloudCopy {
public:
  struct TCall {
    std::string TaskName;
    bool Success;
    std::string OutputPath;
  };
  std::vector<TCall> Calls;
  std::string RemotePath = "s3://arsiv/yedekler/cikti.zip";
  bool Fail = false;

  // Runs on the core's work thread: Calls is read by the test only once the run has ended. While `Hold` is set
  // the step waits for it to be cleared (or for a cancel), reporting progress meanwhile.
  std::atomic<bool> Hold{false};
  std::atomic<bool> Holding{false};

  void PerformPostRunCloudCopy(const TCloudCopyTarget& target, TBackupResultSnapshot& s,
                               const TPostRunContext& context) override {
    Calls.push_back({target.TaskName, s.Success, s.OutputPath});
    if (target.StorageMode == smLocalDisk) return;
    for (int percent = 0; Hold; percent = (percent + 1) % 100) {
      Holding = true;
      context.OnProgress({percent, "Cloud upload: cikti.zip (" + std::to_string(percent) + "%, 1,0 MB/s)",
                          "Cloud upload: " + std::to_string(percent) + "%"});
      if (context.ShouldCancel()) {
        s.Success = false;
        s.CloudStatus = "Başarısız";
        s.Message += std::string(" | ") + CloudCopyCancelledMessage;
        context.AddLog(CloudCopyCancelledMessage);
        Holding = false;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Holding = false;
    if (Fail) {
      s.Success = false;
      s.CloudStatus = "Başarısız";
      s.Message += " | Cloud upload tamamlanamadı.";
      context.AddLog("Cloud upload tamamlanamadı.");
      return;
    }
    s.CloudOutputPath = RemotePath;
    s.CloudStatus = "Tamamlandı";
    s.Message += " | Cloud upload: " + RemotePath;
    context.AddLog("Cloud hedefe upload tamamlandı: " + RemotePath);
  }
};

class TRecordingNotification final : public IRunNotification {
public:
  std::vector<TBackupResultSnapshot> Sent;
  void StartEmailNotificationAsync(const TBackupResultSnapshot& snapshot) override { Sent.push_back(snapshot); }
};

// A local task over one source folder "<root>/src/<name>" holding `files`, saving to "<root>/dest/<name>".
inline std::unique_ptr<TBackupTask> MakeLocalTask(IClock& clock, const std::filesystem::path& root,
                                                  const std::string& name, const TFileTree& files) {
  auto task = std::make_unique<TBackupTask>(clock);
  task->Name = name;
  const std::filesystem::path source = root / "src" / name;
  std::filesystem::create_directories(source);
  WriteTree(source, files);
  task->SourceFolders = {source.string()};
  task->DestinationFolder = (root / "dest" / name).string();
  return task;
}

// The window as a test drives it. Each test gets its own configuration folder, registry file and scratch folders.
class AppCoreHarness : public ::testing::Test {
protected:
  TTempDir FDir;
  // The stored password's key, the autostart entry and staging folders stay inside the scratch folder.
  TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  TScopedEnv FXdgConfig{"XDG_CONFIG_HOME", (FDir / "xdg").string()};
  TScopedEnv FTmp{"TMPDIR", (FDir / "tmp").string()};
  TFakeClock FClock;
  TQueuedMainThread FMain;
  TRecordingView FView;
  TScriptedPrompts FPrompts;
  TRecordingCloudCopy FCloud;
  TRecordingNotification FMail;
  TScriptedEditor FEditor;
  bool FUseEditor = false;                // the window's editor takes part (StartCore)
  ILongPathSwitch* FLongPaths = nullptr;  // the window's start-up check (StartCore)
  std::unique_ptr<TAppCore> FCore;
  bool FCompress = false;  // the output kind of the tasks AddTask makes: ZIP archive or folder

  AppCoreHarness() { std::filesystem::create_directories(FDir / "tmp"); }

  std::filesystem::path ConfigDir() const { return FDir / "config"; }
  std::filesystem::path RegistryFile() const { return FDir / "registry.json"; }

  // Loads the configuration written so far (none: the defaults) and starts the core like the window does.
  void StartCore(const TStartOptions& options = {}) {
    TAppCoreServices services(FView, FPrompts, FClock, FMain);
    services.CloudCopy = &FCloud;
    services.Notification = &FMail;
    if (FUseEditor) services.Editor = &FEditor;
    services.LongPaths = FLongPaths;
    services.ConfigDirectory = ConfigDir();
    services.RegistryFile = RegistryFile();
    FCore = std::make_unique<TAppCore>(services);
    FCore->LoadConfiguration();
    FView.HistoryCount = [this] { return FCore->HistorySummary().size(); };
    FCore->Start(options);
  }

  TBackupConfig& Config() { return *FCore->Config(); }

  // A local task over one source folder "<scratch>/src/<name>" with the given files.
  TBackupTask& AddTask(const std::string& name, const TFileTree& files = {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}}) {
    auto task = MakeLocalTask(FClock, FDir.Path(), name, files);
    task->CompressBackup = FCompress;
    task->MaxBackupsToKeep = 0;
    Config().Tasks.push_back(std::move(task));
    return *Config().Tasks.back();
  }

  // Pumps the main thread until the core is idle again (every queued run dispatched and completed, every history
  // change written and its outcome shown).
  void RunUntilIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto idle = [this] { return FCore->IsIdle() && !FCore->HistoryWriteBusy(); };
    for (;;) {
      FMain.ProcessPending();
      if (idle()) {
        // A completion posts the next dispatch; let it run before deciding the queue is done.
        if (FMain.ProcessPending() == 0 && idle()) return;
        continue;
      }
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the core did not become idle";
      FMain.WaitForWork(20);
    }
  }

  // A manual run of `task` to its end; the clock moves on a minute first so every run has its own time.
  void RunManual(TBackupTask& task, std::optional<TBackupType> type = std::nullopt) {
    FClock.Advance(60000);
    ASSERT_TRUE(FCore->StartManualBackup(task, type));
    RunUntilIdle();
  }

  // Pumps the main thread until the space analysis has shown what its estimate found.
  void WaitForCapacity() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FCore->CapacityAnalysisBusy()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the space analysis did not end";
      if (FMain.ProcessPending() == 0) FMain.WaitForWork(20);
    }
  }

  std::vector<TBackupHistoryItem> History() { return FCore->ConfigManager()->LoadHistory(); }

  // config.json as a fresh start would read it.
  std::unique_ptr<TBackupConfig> SavedConfig() { return TConfigManager(ConfigDir(), FClock).LoadConfig(); }
};

}  // namespace velkor::test
