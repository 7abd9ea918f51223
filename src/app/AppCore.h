#pragma once
// The application core: what the main window owns and does apart from drawing. It owns the configuration and
// its manager, the backup engine, the encryption manager, the run queue and the pending log lines; it dispatches
// queued runs one at a time, plans each run against the task's backup chain, handles the completion (history,
// chain, retention, save) and keeps the activity log. The window, the command-line tool and the tests drive it
// through the same calls and see it through the injected view and prompts.
//
// Main thread only. The engine's worker hands its progress and completion over through IMainThread; the next
// queued run is dispatched from a posted call, after the completion handler has returned.
#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BackgroundJob.h"
#include "app/BackupChain.h"
#include "app/BackupResultSnapshot.h"
#include "app/HistoryWriter.h"
#include "app/IAppPrompts.h"
#include "app/IAppView.h"
#include "app/IPostRunSteps.h"
#include "app/ITaskEditor.h"
#include "config/BackupModel.h"
#include "config/ConfigManager.h"
#include "crypto/EncryptionManager.h"
#include "engine/BackupEngine.h"
#include "platform/Clock.h"
#include "platform/LongPathSwitch.h"
#include "platform/MainThread.h"

namespace velkor {

// One queued run request. ScheduledType 0 is a manual start; 1, 2, 3 name the sub-schedule that fell due.
struct TScheduledBackupItem {
  TBackupTask* Task = nullptr;  // owned by the configuration
  int ScheduledType = 0;
  // A manual run's type when the caller chose one (the command-line tool's --type); the task's own otherwise.
  std::optional<TBackupType> ManualType;
};

// What a front end brings: its view, prompts, clock and main-thread hand-over, and where the files are.
struct TFrontEnd {
  TFrontEnd(IAppView& view, IAppPrompts& prompts, IClock& clock, IMainThread& mainThread)
      : View(view), Prompts(prompts), Clock(clock), MainThread(mainThread) {}

  IAppView& View;
  IAppPrompts& Prompts;
  IClock& Clock;
  IMainThread& MainThread;
  ITaskEditor* Editor = nullptr;          // the window's task editor; nullptr: tasks are used as stored
  ILongPathSwitch* LongPaths = nullptr;   // checked at start-up (the window); nullptr: not checked
  std::filesystem::path ConfigDirectory;  // empty: the user's (config.json, history.json)
  std::filesystem::path RegistryFile;     // empty: the user's (the stored encryption password, e-mail settings)
};

// What the core is given: the front end and the steps after a run. The front ends do not fill this themselves:
// AppComposition puts the core together with its cloud step and run notification, so no front end can leave a step
// out. Tests give recording steps of their own; a step left null is not taken.
struct TAppCoreServices : TFrontEnd {
  using TFrontEnd::TFrontEnd;
  explicit TAppCoreServices(const TFrontEnd& frontEnd) : TFrontEnd(frontEnd) {}

  IPostRunCloudCopy* CloudCopy = nullptr;
  IRunNotification* Notification = nullptr;
};

struct TStartOptions {
  bool Hidden = false;          // started in the tray with the session
  bool SchedulerActive = true;  // the minute timer runs (window, daemon); false for a one-off command
  // A hidden start: the window goes to the tray, before the start is logged.
  std::function<void()> MinimizeToTray = {};
};

// The tray start switch: an argument "tray" (letter case ignored) after one leading "/" or "-".
bool IsTrayStartRequested(const std::vector<std::string>& args);

class TAppCore {
public:
  explicit TAppCore(const TAppCoreServices& services);
  // Stops a running backup and handles its completion (a cancelled history entry) before anything it uses is
  // freed; then shows the pending log lines. Nothing is saved here.
  ~TAppCore();
  TAppCore(const TAppCore&) = delete;
  TAppCore& operator=(const TAppCore&) = delete;

  // Start-up, in the window's order: LoadConfiguration, then (after the splash and the login) Start; a failed
  // login calls AbandonStart instead, after which every handler does nothing.
  void LoadConfiguration();
  // Both "start with the session" and "minimise to the tray" are on and the tray switch was given.
  bool IsHiddenStart(bool trayRequested) const;
  void AbandonStart();
  void Start(const TStartOptions& options = {});
  bool StartupComplete() const { return FStartupComplete; }

  // The task shown in the editor.
  TBackupTask* CurrentTask() const { return FCurrentTask; }
  void SetCurrentTask(TBackupTask* task) { FCurrentTask = task; }

  // Work that reads backup outputs outside a run (restore, verification, the history mail and PDF report) holds a
  // lease while it reads: retention leaves every output it names in place for now, and a lease that holds runs (a
  // restore) keeps every run from starting meanwhile: a due run waits in the queue, a manual start is refused. The
  // lease ends when the object goes, on any thread (the end reaches the main thread through its queue).
  class TOutputLease {
  public:
    ~TOutputLease();
    TOutputLease(const TOutputLease&) = delete;
    TOutputLease& operator=(const TOutputLease&) = delete;

  private:
    friend class TAppCore;
    TOutputLease(IMainThread& mainThread, std::weak_ptr<int> alive, TAppCore* core, int id)
        : FMainThread(mainThread), FAlive(std::move(alive)), FCore(core), FId(id) {}
    IMainThread& FMainThread;
    std::weak_ptr<int> FAlive;
    TAppCore* FCore;
    int FId;
  };
  std::unique_ptr<TOutputLease> LeaseOutputs(std::vector<std::string> outputs, bool holdRuns);
  bool RunsHeld() const;
  bool OutputLeased(const std::string& output) const;

  // User commands.
  void StartBackupClick();  // start button and tray item: a manual run of the current task
  void TestBackupClick();
  // A manual run of `task` from a caller without an editor. False (after the log line and message) when the task
  // is already queued or running.
  bool StartManualBackup(TBackupTask& task, std::optional<TBackupType> type = std::nullopt);
  void CancelBackupClick();  // asks first
  // Cancels without asking: empties the queue and stops the running backup, or its cloud step.
  void CancelBackup();
  void TogglePause();
  // Saves the editor, the general settings and the encryption password setting. False when the editor's
  // validation refused (nothing saved).
  bool SaveAllSettings();
  // The task commands of the tool bar, with their prompts and messages; each saves at once and refreshes the task
  // list. OnNewTask returns the new task, now current, for the window to open in the editor (nullptr when none
  // was made); a deleted task is never current afterwards.
  TBackupTask* OnNewTask();
  void OnRenameTask(TBackupTask* task);
  void OnDeleteTask(TBackupTask* task);
  void OnCopyTask(TBackupTask* task);
  // "Şifre Ayarla": `encryptChecked` is the editor's "Şifrele" box, ticked here when the user agrees to switch
  // encryption on; `cacheChecked` is the settings page's box for remembering the password, as it stands now.
  void EncryptionSettingsClick(bool& encryptChecked, bool cacheChecked);
  // The "Şifre Girişi" decrypt tool: asks for the password when none is held, then for the file, and decrypts it on
  // a worker thread with a copy of the password; the outcome is shown and logged when it is done. A typed password
  // is kept (in memory, and stored when `cacheChecked`) only once it has decrypted the file. One file at a time: a
  // second request meanwhile is refused with a message.
  void DecryptToolClick(bool cacheChecked);
  bool DecryptToolBusy() const { return FDecryptJob && FDecryptJob->Busy(); }
  // "Kaydet" of the editor: after the editor's validation, stores it into the current task and writes config.json;
  // a failed write is shown and logged. False when nothing was saved.
  bool SaveCurrentTask();
  // A schedule control of the editor changed: with a current task, stores the editor into it, writes config.json
  // and refreshes the task list; then the next-run status.
  void SaveEditorSchedule();
  // The history list's commands. `index` is the selected row's history index, nullopt without a selection; each
  // asks first, then changes history.json, refreshes the list and logs.
  void DeleteHistoryItemClick(std::optional<int> index);
  void ClearHistoryClick();
  // The history as it stands with every queued change (history.json is written on a thread of its own): the
  // entry at `index`, read afresh, nullopt when the index is no longer inside it; the list without file lists.
  std::optional<TBackupHistoryItem> HistoryItem(int index);
  std::vector<THistorySummary> HistorySummary();
  // A history change is still being written, or its outcome not yet shown.
  bool HistoryWriteBusy() const { return FHistoryWriter && FHistoryWriter->Busy(); }
  // The confirmed exit: close for real, saving first. When the editor's validation refuses, the general settings
  // and the tasks are saved all the same, without the editor's edits, and a message names the task they belong to.
  void ExitApplication();
  bool AllowClose() const { return FAllowClose; }

  // Run queue.
  void ProcessQueue();
  bool IsTaskQueuedOrRunning(const TBackupTask* task) const;
  bool IsRunQueuedOrRunning(const TBackupTask* task, int scheduledType) const;
  // The minute timer: queues every due run, then dispatches.
  void Timer1Timer();
  // Nothing running, nothing waiting, the engine's worker ended and every history change written and reported.
  bool IsIdle() const;

  // Chain planning and recording.
  void ConfigureEngineForTask(TBackupTask& task, int scheduledType, bool previewOnly,
                              std::optional<TBackupType> manualType = std::nullopt);
  void RecordRunInChain(TBackupTask* task, const TBackupResultSnapshot& snapshot);
  void UpdateTaskBackupTimes(TBackupTask& task, TBackupType effectiveType, TDateTime backupTime);
  void RefreshChainCard(TBackupTask* task);
  void ApplyRetention(TBackupTask* task);

  // Completion: the engine's outcome becomes a snapshot; a cloud or hybrid run's cloud step then runs on a work
  // thread (the run stays busy, its progress shown, "İptal Et" stops it) and the remaining steps follow on the main
  // thread once it has ended.
  void HandleBackupComplete(bool success, const std::string& message);
  bool CloudStepRunning() const { return FCloudJob && FCloudJob->Busy(); }
  TBackupResultSnapshot BuildResultSnapshot(bool success, const std::string& message) const;
  void AddHistoryFromSnapshot(const TBackupResultSnapshot& snapshot);
  // The snapshot of the last completion, for callers that wait for a run (the command-line tool).
  const std::optional<TBackupResultSnapshot>& LastSnapshot() const { return FLastSnapshot; }

  // Activity log and status.
  void AddLog(const std::string& message);
  void FlushPendingLogs();
  size_t PendingLogCount() const { return FPendingLogs ? FPendingLogs->size() : 0; }
  void HandleBackupProgress(const std::string& fileName, int progress);
  void SetRunningUi(bool running);
  void UpdateTrayStatus();
  void UpdateNextRunStatus();
  void RefreshTaskList();
  void RefreshHistoryList();

  // The capacity labels for the current task. The estimate walks every source folder, so it runs on a worker
  // thread with an estimate-only engine and the labels follow when it is done; calls made meanwhile are folded into
  // one later analysis of the newest state. Texts that need no estimate are shown at once.
  void AnalyzeDestinationSpace();
  bool CapacityAnalysisBusy() const { return FCapacityJob && FCapacityJob->Busy(); }

  // What the core owns; null before LoadConfiguration / Start and after AbandonStart.
  TBackupConfig* Config() const { return FConfig.get(); }
  TConfigManager* ConfigManager() const { return FConfigManager.get(); }
  TBackupEngine* BackupEngine() const { return FBackupEngine.get(); }
  TEncryptionManager* EncryptionManager() const { return FEncryptionManager.get(); }

  // Run state and plan.
  bool BackupBusy() const { return FBackupBusy; }
  bool BackupPaused() const { return FBackupPaused; }
  TBackupTask* RunningTask() const { return FRunningTask; }
  int ScheduledType() const { return FScheduledType; }
  size_t QueueLength() const { return FTaskQueue ? FTaskQueue->size() : 0; }
  TBackupType RequestedBackupType() const { return FRequestedBackupType; }
  TBackupType EffectiveBackupType() const { return FEffectiveBackupType; }
  const std::string& PlannedBackupSetId() const { return FPlannedBackupSetId; }
  const std::string& PlannedBaseFullBackupId() const { return FPlannedBaseFullBackupId; }
  const std::string& PlannedParentBackupId() const { return FPlannedParentBackupId; }

private:
  void WriteEngineSettings(TBackupEngine& engine, TBackupTask& task, const TRunPlan& plan);
  // Hands the encryption password to the engine, asking for one on a manual run; false with the refusal message
  // when there is none.
  bool ProvideEncryptionPassword(TBackupTask& task, std::string& refusal);
  void PostProcessQueue();
  // Removes, with one log line each, the leftovers of killed operations: at start-up those of the temporary
  // folder, of every cloud staging folder, the configuration folder and the registry folder; before a run those of
  // the temporary folder, of the run's destination, of its "NAS / WebDAV" copy folder and of the folders holding
  // the task's earlier outputs.
  void RemoveLeftovers(const std::filesystem::path& folder, bool (*nameMatches)(std::string_view));
  void RemoveStartupLeftovers();
  void RemoveRunLeftovers(const TBackupTask& task);
  void SaveConfigLogged();
  // The editor's half of saving the settings: after its validation, stores the editor into the current task. False
  // when the validation refused (its message shown).
  bool StoreEditedTask();
  // The settings page into the configuration, then config.json, the stored password and the start registration; a
  // failure is shown and logged. False when it failed.
  bool WriteAllSettings();
  // Runs a task command; a refusal or a failed save is shown (and a failed save logged). False when it did not run.
  bool RunTaskCommand(const std::function<void()>& command);
  TRunUiState CurrentRunUiState() const;
  void ShutDownEngine();
  void StartCapacityAnalysis();
  // The completion's steps after the snapshot, in their order.
  bool RecordsChain(const TBackupResultSnapshot& snapshot) const;
  bool NeedsCloudStep(const TBackupResultSnapshot& snapshot) const;
  void StartCloudStep(TBackupResultSnapshot snapshot);
  void CloudStepDone(const std::string& error);
  void ShowCloudProgress(const TCloudCopyProgress& progress);
  void FinishBackupComplete(TBackupResultSnapshot snapshot);
  void ResetRunState();
  void ReleaseLease(int id);
  // The writer of history.json for the configuration folder in use, made on first use.
  THistoryWriter& HistoryWriter();

  IAppView& FView;
  IAppPrompts& FPrompts;
  IClock& FClock;
  IMainThread& FMainThread;
  ITaskEditor* FEditor;
  IPostRunCloudCopy* FCloudCopy;
  IRunNotification* FNotification;
  ILongPathSwitch* FLongPaths;
  std::filesystem::path FConfigDirectory;
  std::filesystem::path FRegistryFile;

  std::unique_ptr<TConfigManager> FConfigManager;
  std::unique_ptr<TBackupConfig> FConfig;
  // Every change of history.json goes through it, in order; reads through it see the changes still queued.
  std::unique_ptr<THistoryWriter> FHistoryWriter;
  std::unique_ptr<TBackupEngine> FBackupEngine;
  // The engine as seen from its own completion handler, which may run while the engine is being destroyed.
  TBackupEngine* FEngine = nullptr;
  std::unique_ptr<TBackupEngine> FEstimateEngine;
  // The estimate's worker, which alone uses FEstimateEngine while it runs. FCapacityRequest counts the analyses
  // asked for, so a finished estimate of an older state is dropped; FCapacityPending asks for one more afterwards.
  std::unique_ptr<TBackgroundJob> FCapacityJob;
  int FCapacityRequest = 0;
  bool FCapacityPending = false;
  const TBackupTask* FCapacityTask = nullptr;  // the task the labels show
  std::unique_ptr<TBackgroundJob> FDecryptJob;
  // The cloud step of the completion. Its work writes the snapshot it was given, which the main thread reads once
  // the work has ended (also when the core goes while it runs).
  std::unique_ptr<TBackgroundJob> FCloudJob;
  std::shared_ptr<TBackupResultSnapshot> FCloudSnapshot;
  std::shared_ptr<std::atomic<bool>> FCloudCancel = std::make_shared<std::atomic<bool>>(false);
  int FCloudPercent = -1;  // the cloud step's progress for the tray, -1 before its first report
  struct TLease {
    std::vector<std::string> Outputs;
    bool HoldsRuns = false;
  };
  std::map<int, TLease> FLeases;
  int FNextLeaseId = 0;
  bool FHeldRunLogged = false;  // a due run waiting for a restore was logged once
  std::unique_ptr<TEncryptionManager> FEncryptionManager;
  std::unique_ptr<std::deque<TScheduledBackupItem>> FTaskQueue;
  std::unique_ptr<std::vector<std::string>> FPendingLogs;
  TBackupTask* FCurrentTask = nullptr;

  TBackupTask* FRunningTask = nullptr;
  int FScheduledType = 0;
  std::optional<TBackupType> FRunningManualType;
  bool FBackupBusy = false;
  bool FBackupPaused = false;
  bool FEngineConfigured = false;  // the engine holds this request's settings
  bool FEngineStarted = false;     // the engine's results belong to this request
  bool FRunningUi = false;
  bool FCancelPending = false;
  bool FStartupComplete = false;
  bool FAllowClose = false;
  bool FDestroying = false;

  TBackupType FRequestedBackupType = btFull;
  TBackupType FEffectiveBackupType = btFull;
  std::string FPlannedBackupSetId;
  std::string FPlannedBaseFullBackupId;
  std::string FPlannedParentBackupId;

  std::optional<TBackupResultSnapshot> FLastSnapshot;
  // Posted calls hold a weak reference: one that runs after the core is gone does nothing.
  std::shared_ptr<int> FAliveToken = std::make_shared<int>(0);
};

}  // namespace velkor
