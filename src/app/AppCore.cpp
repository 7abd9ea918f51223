#include "app/AppCore.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "app/DueTasks.h"
#include "app/GeneralSettings.h"
#include "app/HistoryList.h"
#include "app/LogText.h"
#include "app/LongPathSupport.h"
#include "app/Retention.h"
#include "app/RunDestination.h"
#include "app/TaskRules.h"
#include "crypto/CryptoUtils.h"
#include "crypto/EncryptionCommands.h"
#include "engine/LongPathUtils.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Leftovers.h"
#include "restore/StagingFolder.h"
#include "util/FormatSettings.h"
#include "util/Guid.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr size_t LogBatchSize = 20;
constexpr int64_t BytesPerMegabyte = 1048576;

constexpr const char* ScheduledPasswordMissingMessage =
    "Zamanlanmış şifreli yedekleme için kayıtlı şifreleme parolası bulunamadı. Lütfen Ayarlar bölümünden parolayı "
    "kaydedin.";
// A manual run from a script or cron: nobody can type the password there.
constexpr const char* UnattendedPasswordMissingMessage =
    "Şifreli yedekleme için kayıtlı şifreleme parolası bulunamadı ve parolayı soracak bir terminal yok. Yedeklemeyi "
    "bir terminalden başlatıp parolayı girin ya da Ayarlar bölümünden parolayı kaydedin.";
constexpr const char* PasswordNotEnteredMessage = "Şifreleme parolası girilmediği için işlem iptal edildi.";
constexpr const char* DecryptToolBusyMessage =
    "Bir dosyanın şifresi şu anda çözülüyor. Yeni bir dosya seçmeden önce işlemin bitmesini bekleyin.";
constexpr const char* RestoreHoldsRunsMessage =
    "Geri yükleme sürerken yedekleme başlatılamaz. Geri yükleme bittikten sonra tekrar deneyin.";
constexpr const char* RestoreHoldsRunsLogLine = "Geri yükleme sürdüğü için yedekleme başlatılmadı.";
constexpr const char* RestoreHoldsQueueLogLine =
    "Geri yükleme sürüyor; bekleyen yedekleme geri yükleme bitince başlayacak.";
constexpr const char* NoChangeWords = "Değişiklik bulunamadı";
constexpr const char* CancelledWords = "iptal edildi";

bool Contains(std::string_view text, std::string_view words) { return PosText(words, text) != std::string_view::npos; }

// The words of a run's message that describe the outcome: the output path it names is left out, so that a task,
// folder or file called for example "Hata Kayıtları" does not turn a good run into a failed one.
std::string OutcomeWords(const std::string& message, const std::string& outputPath) {
  return Trim(outputPath).empty() ? message : ReplaceAll(message, outputPath, "");
}

std::string FileNameOnly(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<TBackupFileDetail> FileDetails(const std::vector<std::string>& names, bool success) {
  std::vector<TBackupFileDetail> details;
  details.reserve(names.size());
  for (const std::string& name : names) {
    const int64_t size = LongGetFileSize(name);
    details.push_back({name, size > 0 ? size : 0, success});
  }
  return details;
}

// Work folders in the user's temporary folder: backup and restore staging.
bool IsTemporaryFolderWorkName(std::string_view name) {
  return IsStagingFolderName(name) || IsRestoreStagingName(name);
}

bool UsesLocalDestination(TStorageMode mode) { return mode == smLocalDisk || mode == smHybrid; }
bool UsesCloudDestination(TStorageMode mode) { return mode == smCloud || mode == smHybrid; }

}  // namespace

bool IsTrayStartRequested(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg.size() > 1 && (arg[0] == '/' || arg[0] == '-') && SameText(std::string_view(arg).substr(1), "tray"))
      return true;
  return false;
}

TAppCore::TAppCore(const TAppCoreServices& services)
    : FView(services.View),
      FPrompts(services.Prompts),
      FClock(services.Clock),
      FMainThread(services.MainThread),
      FEditor(services.Editor),
      FCloudCopy(services.CloudCopy),
      FNotification(services.Notification),
      FLongPaths(services.LongPaths),
      FConfigDirectory(services.ConfigDirectory),
      FRegistryFile(services.RegistryFile),
      FCapacityJob(std::make_unique<TBackgroundJob>(services.MainThread)),
      FDecryptJob(std::make_unique<TBackgroundJob>(services.MainThread)),
      FCloudJob(std::make_unique<TBackgroundJob>(services.MainThread)) {}

TAppCore::~TAppCore() {
  FDestroying = true;
  ShutDownEngine();
  // After the engine: a cancelled run's entry is queued as it goes. Waits until every queued change has landed.
  FHistoryWriter.reset();
  FlushPendingLogs();
}

void TAppCore::ShutDownEngine() {
  // The estimate uses its engine until its worker ends; a decryption in progress is finished (and its outcome
  // dropped) so no half-written file stays behind.
  FCapacityJob.reset();
  FDecryptJob.reset();
  // A cloud step still at work is cancelled and waited for; its run is then completed here with what it found.
  if (CloudStepRunning()) {
    *FCloudCancel = true;
    FCloudJob.reset();
    CloudStepDone("");
  }
  FCloudJob.reset();
  // The engine's destructor cancels a running backup and, while it waits for the worker, runs the worker's
  // hand-over calls: the completion is handled here, with everything it uses still alive.
  FBackupEngine.reset();
  FEngine = nullptr;
  FEstimateEngine.reset();
}

// Start-up.

void TAppCore::LoadConfiguration() {
  FStartupComplete = false;
  FConfigManager = FConfigDirectory.empty() ? std::make_unique<TConfigManager>(FClock)
                                            : std::make_unique<TConfigManager>(FConfigDirectory, FClock);
  FConfig = FConfigManager->LoadConfig();
}

bool TAppCore::IsHiddenStart(bool trayRequested) const {
  return FConfig && FConfig->StartWithWindows && FConfig->MinimizeToTray && trayRequested;
}

void TAppCore::AbandonStart() {
  FAllowClose = true;
  FConfig.reset();
  FConfigManager.reset();
}

void TAppCore::Start(const TStartOptions& options) {
  if (!FConfig || !FConfigManager) return;

  FBackupEngine = std::make_unique<TBackupEngine>(FMainThread, FClock);
  FEngine = FBackupEngine.get();
  FBackupEngine->SetOnProgress(
      [this](const std::string& fileName, int progress) { HandleBackupProgress(fileName, progress); });
  FBackupEngine->SetOnComplete(
      [this](bool success, const std::string& message) { HandleBackupComplete(success, message); });
  // Estimates prepare an engine of their own, so a running backup's settings are never touched.
  FEstimateEngine = std::make_unique<TBackupEngine>(FMainThread, FClock);

  FPendingLogs = std::make_unique<std::vector<std::string>>();
  RemoveStartupLeftovers();

  FEncryptionManager = FRegistryFile.empty() ? std::make_unique<TEncryptionManager>()
                                             : std::make_unique<TEncryptionManager>(FRegistryFile);
  if (FConfig->CacheEncryptionPassword)
    FEncryptionManager->LoadPasswordFromRegistry();
  else
    FEncryptionManager->ClearPasswordFromRegistry();
  // The first question that can appear after the login.
  if (FLongPaths != nullptr)
    CheckLongPathSupport(*FLongPaths, FPrompts, FClock, [this](const std::string& line) { AddLog(line); });

  FTaskQueue = std::make_unique<std::deque<TScheduledBackupItem>>();
  FBackupBusy = false;
  FBackupPaused = false;
  FAllowClose = false;

  if (FConfig->Tasks.empty()) FConfig->Tasks.push_back(std::make_unique<TBackupTask>(FClock));
  // Next runs always derive from the stored last runs and the clock of this start.
  for (const auto& task : FConfig->Tasks)
    for (int type = stFull; type <= stIncremental; ++type) task->Schedule.SubSchedule(type)->UpdateNextRun();

  RefreshTaskList();
  UpdateTrayStatus();
  if (options.Hidden && options.MinimizeToTray) options.MinimizeToTray();
  if (options.Hidden) AddLog("Windows başlangıcında sessiz modda başlatıldı; görev zamanlayıcı arka planda çalışıyor.");
  RefreshHistoryList();
  // A stored file read from damage, and where its copy was kept.
  for (const std::string& line : FConfigManager->DamageReport()) AddLog(line);
  if (options.SchedulerActive) AddLog("Program başlatıldı. Görev zamanlayıcı aktif.");
  SetRunningUi(false);
  UpdateNextRunStatus();
  AnalyzeDestinationSpace();
  FStartupComplete = true;
}

// Leftovers of killed operations: only ours (name pattern, this user) and only what no living process holds locked,
// so a running operation of another instance or of this one never loses its files.

void TAppCore::RemoveLeftovers(const std::filesystem::path& folder, bool (*nameMatches)(std::string_view)) {
  if (folder.empty()) return;
  for (const std::filesystem::path& removed : RemoveAbandonedWork(folder, nameMatches))
    AddLog("Yarım kalmış bir işlemden kalan geçici öğe silindi: " + removed.string());
}

void TAppCore::RemoveStartupLeftovers() {
  RemoveLeftovers(GetUserTempDirectory(), IsTemporaryFolderWorkName);
  for (const std::filesystem::path& folder : ListCloudStagingFolders()) RemoveLeftovers(folder, IsWorkEntryName);
  RemoveLeftovers(FConfigManager->ConfigFile().parent_path(), IsAtomicWriteTemporaryName);
  RemoveLeftovers((FRegistryFile.empty() ? GetRegistryFile() : FRegistryFile).parent_path(),
                  IsAtomicWriteTemporaryName);
}

void TAppCore::RemoveRunLeftovers(const TBackupTask& task) {
  RemoveLeftovers(GetUserTempDirectory(), IsTemporaryFolderWorkName);
  // Retention takes old outputs out of view beside where they are, which need not be today's destination.
  std::vector<std::filesystem::path> folders;
  auto add = [&folders](const std::string& path, bool parent) {
    if (Trim(path).empty() || StartsText("s3://", Trim(path))) return;
    const std::filesystem::path folder = parent ? ToNativePath(path).parent_path() : ToNativePath(path);
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  };
  add(ResolveRunDestination(task), false);
  add(GetCloudCopyFolder(task), false);
  for (const auto& item : task.BackupChain) add(item->OutputPath, true);
  for (const std::filesystem::path& folder : folders) RemoveLeftovers(folder, IsWorkEntryName);
}

// User commands.

void TAppCore::StartBackupClick() {
  AddLog("=== BASLAT BUTONU TIKLANDI ===");
  if (FCurrentTask == nullptr) {
    AddLog("Hata: Seçili görev yok!");
    ShowAutoMessage(FPrompts, "Lütfen önce bir görev seçin!");
    return;
  }
  StartManualBackup(*FCurrentTask);
}

void TAppCore::TestBackupClick() {
  const int sources = FEditor != nullptr        ? FEditor->EditorSourceCount()
                      : FCurrentTask != nullptr ? static_cast<int>(FCurrentTask->SourceFolders.size())
                                                : 0;
  if (sources == 0) {
    ShowAutoMessage(FPrompts, "Test için en az bir kaynak klasör ekleyin!");
    return;
  }
  AddLog("Test yedeklemesi başlatılıyor...");
  ShowAutoMessage(FPrompts, "Test yedekleme özelliği - İlk kaynak klasörün bir kopyası oluşturulacak");
  StartBackupClick();
}

bool TAppCore::StartManualBackup(TBackupTask& task, std::optional<TBackupType> type) {
  if (!FTaskQueue) return false;
  AddLog("Görev seçili: " + task.Name);
  // The editor validates what it shows; a task it does not show is used as stored.
  const bool edited = FEditor != nullptr && &task == FCurrentTask;
  if (edited && !FEditor->ValidateTaskUI()) {
    AddLog("ValidateTaskUI false döndü, işlem iptal!");
    return false;
  }
  AddLog("Validasyon başarılı.");
  if (RunsHeld()) {
    AddLog(RestoreHoldsRunsLogLine);
    ShowAutoMessage(FPrompts, RestoreHoldsRunsMessage);
    return false;
  }
  if (IsTaskQueuedOrRunning(&task)) {
    AddLog("Bu görev zaten çalışıyor veya kuyrukta bekliyor.");
    ShowAutoMessage(FPrompts, "Seçili görev zaten çalışıyor veya kuyrukta bekliyor.");
    return false;
  }
  AddLog("Manuel yedekleme başlatılıyor: " + task.Name);
  if (edited) FEditor->SaveTaskFromUI(task);
  FTaskQueue->push_back({&task, 0, type});
  AddLog("Görev kuyruğa eklendi, ProcessQueue çağrılıyor...");
  ProcessQueue();
  AddLog("ProcessQueue çağrıldı.");
  return true;
}

void TAppCore::CancelBackupClick() {
  if (!FBackupBusy) {
    ShowAutoMessage(FPrompts, "Şu anda iptal edilecek aktif bir yedekleme yok.");
    return;
  }
  if (!FPrompts.AskYesNo("Devam eden yedekleme işlemini iptal etmek istediğinizden emin misiniz?")) return;
  CancelBackup();
}

void TAppCore::CancelBackup() {
  if (FTaskQueue && !FTaskQueue->empty()) {
    FTaskQueue->clear();
    AddLog("Bekleyen yedekleme kuyruğu temizlendi.");
  }
  if (!FBackupBusy || FEngine == nullptr) return;
  if (CloudStepRunning()) *FCloudCancel = true;
  FEngine->CancelBackup();
  FBackupPaused = false;
  FCancelPending = true;
  UpdateTrayStatus();
  FView.SetProgressText("İptal işlemi bekleniyor...");
  AddLog("Yedekleme için iptal isteği gönderildi.");
  FlushPendingLogs();
}

void TAppCore::TogglePause() {
  // An upload cannot wait in the middle of a request without the server giving up on it.
  if (!FBackupBusy || FEngine == nullptr || CloudStepRunning()) return;
  if (FBackupPaused) {
    FEngine->ResumeBackup();
    FBackupPaused = false;
    FView.SetProgressText("Yedekleme devam ediyor...");
    AddLog("Yedekleme devam ettirildi.");
  } else {
    FEngine->PauseBackup();
    FBackupPaused = true;
    FView.SetProgressText("Yedekleme duraklatıldı.");
    AddLog("Yedekleme duraklatıldı.");
  }
  UpdateTrayStatus();
  FlushPendingLogs();
}

bool TAppCore::SaveAllSettings() {
  if (!FConfig || !FConfigManager) return false;
  if (!StoreEditedTask()) return false;
  if (!WriteAllSettings()) return false;
  AddLog(SettingsSavedMessage);
  return true;
}

bool TAppCore::StoreEditedTask() {
  if (FCurrentTask == nullptr || FEditor == nullptr) return true;
  if (!FEditor->ValidateTaskUI()) return false;
  FEditor->SaveTaskFromUI(*FCurrentTask);
  RefreshTaskList();
  return true;
}

bool TAppCore::WriteAllSettings() {
  if (FEditor != nullptr) FEditor->SaveSettingsFromUI(*FConfig);
  try {
    SaveGeneralSettings(*FConfig, *FConfigManager, FEncryptionManager.get(), GetExecutablePath());
  } catch (const std::exception& e) {
    const std::string message = std::string("Ayarlar kaydedilemedi: ") + e.what();
    AddLog(message);
    ShowAutoMessage(FPrompts, message);
    return false;
  }
  return true;
}

bool TAppCore::RunTaskCommand(const std::function<void()>& command) {
  if (!FConfig || !FConfigManager) return false;
  try {
    command();
    return true;
  } catch (const ETaskRefused& e) {
    ShowAutoMessage(FPrompts, e.what());
  } catch (const std::exception& e) {
    const std::string message = std::string("Yapılandırma kaydedilemedi: ") + e.what();
    AddLog(message);
    ShowAutoMessage(FPrompts, message);
  }
  return false;
}

TBackupTask* TAppCore::OnNewTask() {
  if (!FConfig || !FConfigManager) return nullptr;
  std::string name = ProposeNewTaskName(*FConfig);
  if (!FPrompts.PromptText(NewTaskPromptTitle, NewTaskPromptLabel, name)) return nullptr;
  TBackupTask* created = nullptr;
  if (!RunTaskCommand([&] { created = &NewTask(*FConfig, *FConfigManager, name, FClock); })) return nullptr;
  FCurrentTask = created;
  RefreshTaskList();
  return created;
}

void TAppCore::OnRenameTask(TBackupTask* task) {
  if (task == nullptr || !FConfig) return;
  std::string name = task->Name;
  // Cancelling gives the proposal back, which changes nothing.
  if (!FPrompts.PromptText(RenameTaskPromptTitle, RenameTaskPromptLabel, name)) return;
  bool renamed = false;
  if (RunTaskCommand([&] { renamed = RenameTask(*FConfig, *FConfigManager, *task, name); }) && renamed)
    RefreshTaskList();
}

void TAppCore::OnDeleteTask(TBackupTask* task) {
  if (task == nullptr || !FConfig) return;
  bool deleted = false;
  const bool busy = IsTaskQueuedOrRunning(task);
  RunTaskCommand([&] {
    deleted = DeleteTask(*FConfig, *FConfigManager, *task, busy,
                         [this](const std::string& question) { return FPrompts.AskYesNo(question); });
  });
  if (!deleted) return;
  FCurrentTask = nullptr;
  RefreshTaskList();
}

void TAppCore::OnCopyTask(TBackupTask* task) {
  if (task == nullptr || !FConfig) return;
  const TBackupTask* copy = nullptr;
  if (!RunTaskCommand([&] { copy = &CopyTask(*FConfig, *FConfigManager, *task, FClock); })) return;
  RefreshTaskList();
  AddLog(CopiedTaskLogPrefix + copy->Name);
}

void TAppCore::EncryptionSettingsClick(bool& encryptChecked, bool cacheChecked) {
  if (!FEncryptionManager) return;
  if (!encryptChecked) {
    if (!FPrompts.AskYesNo(EncryptionOffQuestion)) return;
    encryptChecked = true;
  }
  std::string password;
  if (!FPrompts.PromptNewPassword(SetPasswordTitle, SetPasswordPrompt, SetPasswordConfirmPrompt, password)) return;
  try {
    const TCommandOutcome outcome = ApplyEncryptionPassword(*FEncryptionManager, password, cacheChecked);
    if (!outcome.Message.empty()) ShowAutoMessage(FPrompts, outcome.Message);
    if (!outcome.LogLine.empty()) AddLog(outcome.LogLine);
  } catch (const std::exception& e) {
    const std::string message = std::string("Şifreleme parolası kaydedilemedi: ") + e.what();
    AddLog(message);
    ShowAutoMessage(FPrompts, message);
  }
}

void TAppCore::DecryptToolClick(bool cacheChecked) {
  if (!FEncryptionManager || !FDecryptJob) return;
  if (FDecryptJob->Busy()) {
    ShowAutoMessage(FPrompts, DecryptToolBusyMessage);
    return;
  }
  // A password typed here is only tried; it is kept once it has decrypted the file, so a typing error never becomes
  // the password of later encrypted backups.
  std::string typed;
  if (FEncryptionManager->GetPassword().empty()) {
    if (!FPrompts.PromptPassword(DecryptPasswordTitle, DecryptPasswordPrompt, typed)) typed.clear();
    const TCommandOutcome accepted = AcceptDecryptPassword(typed);
    if (!accepted.Success) return ShowAutoMessage(FPrompts, accepted.Message);
  }
  std::string chosen;
  if (!FPrompts.SelectOpenFile(DecryptFileDialogTitle, DecryptFileDialogFilter, chosen)) {
    WipeString(typed);
    return;
  }
  AddLog("Dosya şifresi çözülüyor: " + FileNameOnly(chosen));
  std::string password = typed.empty() ? FEncryptionManager->GetPassword() : typed;
  FDecryptJob->Start(
      [this, password = std::move(password), typed = std::move(typed), cacheChecked, file = ToNativePath(chosen),
       registry = FRegistryFile.empty() ? GetRegistryFile() : FRegistryFile]() mutable -> std::function<void()> {
        TEncryptionManager manager(registry);
        manager.SetPassword(password);
        WipeString(password);
        TCommandOutcome outcome = RunDecryptTool(manager, file);
        return [this, outcome = std::move(outcome), typed = std::move(typed), cacheChecked]() mutable {
          // A password set meanwhile ("Şifre Ayarla", a restore) is the user's later choice and stays.
          if (outcome.Success && !typed.empty() && FEncryptionManager && FEncryptionManager->GetPassword().empty()) {
            try {
              KeepDecryptPassword(*FEncryptionManager, typed, cacheChecked);
            } catch (const std::exception& e) {
              // The password is held in memory; only remembering it failed.
              AddLog(std::string("Şifreleme parolası kaydedilemedi: ") + e.what());
            }
          }
          WipeString(typed);
          ShowAutoMessage(FPrompts, outcome.Message);
          if (!outcome.LogLine.empty()) AddLog(outcome.LogLine);
        };
      });
}

bool TAppCore::SaveCurrentTask() {
  if (FCurrentTask == nullptr || !FConfig || !FConfigManager) return false;
  if (FEditor != nullptr) {
    if (!FEditor->ValidateTaskUI()) return false;
    FEditor->SaveTaskFromUI(*FCurrentTask);
  }
  const bool saved = RunTaskCommand([this] { FConfigManager->SaveConfig(*FConfig); });
  RefreshTaskList();
  return saved;
}

void TAppCore::SaveEditorSchedule() {
  if (FCurrentTask != nullptr && FEditor != nullptr) {
    FEditor->SaveTaskFromUI(*FCurrentTask);
    SaveConfigLogged();
    RefreshTaskList();
  }
  UpdateNextRunStatus();
}

void TAppCore::DeleteHistoryItemClick(std::optional<int> index) {
  if (!FConfigManager) return;
  if (!index) return ShowAutoMessage(FPrompts, DeleteHistoryNoSelectionMessage);
  if (!FPrompts.AskYesNo(DeleteHistoryQuestion)) return;
  HistoryWriter().DeleteItem(
      *index, [this] { AddLog(HistoryItemDeletedLog); },
      [this](const std::string& error) {
        const std::string message = "Geçmiş kaydı silinemedi: " + error;
        AddLog(message);
        ShowAutoMessage(FPrompts, message);
      });
  // The list reads the queue: the row goes at once, and the indexes of the rows left stay right.
  RefreshHistoryList();
}

void TAppCore::ClearHistoryClick() {
  if (!FConfigManager) return;
  if (!FPrompts.AskYesNo(ClearHistoryQuestion)) return;
  HistoryWriter().Clear([this] { AddLog(HistoryClearedLog); },
                        [this](const std::string& error) {
                          const std::string message = "Geçmiş temizlenemedi: " + error;
                          AddLog(message);
                          ShowAutoMessage(FPrompts, message);
                        });
  RefreshHistoryList();
}

std::optional<TBackupHistoryItem> TAppCore::HistoryItem(int index) {
  if (!FConfigManager || index < 0) return std::nullopt;
  return HistoryWriter().LoadHistoryItem(*FConfigManager, index);
}

std::vector<THistorySummary> TAppCore::HistorySummary() {
  if (!FConfigManager) return {};
  return HistoryWriter().LoadHistorySummary(*FConfigManager);
}

THistoryWriter& TAppCore::HistoryWriter() {
  const std::filesystem::path folder = FConfigManager->HistoryFile().parent_path();
  if (!FHistoryWriter || FHistoryWriter->Folder() != folder)
    FHistoryWriter = std::make_unique<THistoryWriter>(
        folder, FClock, FMainThread, [this] { RefreshHistoryList(); },
        [this](const std::string& error) { AddLog("Geçmiş kaydı yazılamadı: " + error); });
  return *FHistoryWriter;
}

void TAppCore::ExitApplication() {
  FAllowClose = true;
  if (!FConfig || !FConfigManager) return;
  if (StoreEditedTask()) {
    if (WriteAllSettings()) AddLog(SettingsSavedMessage);
    return;
  }
  // An incomplete editor must not cost the user everything else on the way out: the general settings and the tasks
  // are written as held, only the editor's edits stay out of its task, and the user learns whose they were.
  const std::string notice =
      "'" + FCurrentTask->Name + "' görevindeki kaydedilmemiş değişiklikler eksik olduğu için kaydedilmedi.";
  const bool saved = WriteAllSettings();
  AddLog(notice);
  FPrompts.ShowMessage(saved ? notice + "\r\n\r\nGenel ayarlar ve diğer görevler kaydedildi." : notice, amWarning);
}

// Output leases.

TAppCore::TOutputLease::~TOutputLease() {
  FMainThread.Post([alive = FAlive, core = FCore, id = FId] {
    if (alive.lock()) core->ReleaseLease(id);
  });
}

std::unique_ptr<TAppCore::TOutputLease> TAppCore::LeaseOutputs(std::vector<std::string> outputs, bool holdRuns) {
  const int id = ++FNextLeaseId;
  FLeases[id] = {std::move(outputs), holdRuns};
  return std::unique_ptr<TOutputLease>(new TOutputLease(FMainThread, FAliveToken, this, id));
}

void TAppCore::ReleaseLease(int id) {
  const auto lease = FLeases.find(id);
  if (lease == FLeases.end()) return;
  const bool heldRuns = lease->second.HoldsRuns;
  FLeases.erase(lease);
  // The runs that waited for the restore go now.
  if (heldRuns && !RunsHeld()) PostProcessQueue();
}

bool TAppCore::RunsHeld() const {
  return std::any_of(FLeases.begin(), FLeases.end(), [](const auto& lease) { return lease.second.HoldsRuns; });
}

bool TAppCore::OutputLeased(const std::string& output) const {
  if (Trim(output).empty()) return false;
  for (const auto& [id, lease] : FLeases)
    for (const std::string& leased : lease.Outputs)
      if (SameText(Trim(leased), Trim(output))) return true;
  return false;
}

// Run queue.

void TAppCore::ProcessQueue() {
  if (FDestroying || !FTaskQueue || FEngine == nullptr) return;
  if (FBackupBusy) {
    AddLog("Yedekleme zaten devam ediyor, bekleniyor...");
    return;
  }
  // The finished worker may not have ended yet; the request stays and the next trigger dispatches it.
  if (FEngine->IsRunning()) return;
  if (FTaskQueue->empty()) return;
  // A restore reads outputs that a run's retention could delete: the queue waits until it has ended.
  if (RunsHeld()) {
    if (!FHeldRunLogged) AddLog(RestoreHoldsQueueLogLine);
    FHeldRunLogged = true;
    return;
  }
  FHeldRunLogged = false;

  const TScheduledBackupItem item = FTaskQueue->front();
  FTaskQueue->pop_front();
  FRunningTask = item.Task;
  FScheduledType = item.ScheduledType;
  FRunningManualType = item.ManualType;
  FBackupBusy = true;
  FEngineConfigured = false;
  FEngineStarted = false;

  TBackupTask* task = FRunningTask;
  // A scheduled request that cannot run still moves its sub-schedule on, so it is not refused again every minute.
  auto reject = [&](const std::string& message) {
    if (task != nullptr && FScheduledType > 0) {
      task->Schedule.ResetTimer(FScheduledType);
      SaveConfigLogged();
    }
    HandleBackupComplete(false, message);
  };
  if (task == nullptr || !task->Enabled) return reject("Görev artık aktif değil veya geçersiz.");
  if (task->SourceFolders.empty()) return reject("Görev yapılandırması eksik. Kaynak klasör kontrol edilmeli.");
  if (UsesLocalDestination(task->StorageMode) && Trim(task->DestinationFolder).empty())
    return reject("Görev yapılandırması eksik. Lokal hedef klasör kontrol edilmeli.");
  if (UsesCloudDestination(task->StorageMode) && Trim(task->CloudDestinationFolder).empty())
    return reject("Görev yapılandırması eksik. Cloud endpoint/bucket/yol bilgisi kontrol edilmeli.");

  AddLog("Yedekleme başlatılıyor: " + task->Name + " (Tip: " + std::to_string(FScheduledType) + ")");
  ConfigureEngineForTask(*task, FScheduledType, false, FRunningManualType);

  AddLog("Depolama modu: " + StorageModeToText(task->StorageMode));
  if (UsesLocalDestination(task->StorageMode)) AddLog("Lokal hedef: " + task->DestinationFolder);
  if (UsesCloudDestination(task->StorageMode)) {
    AddLog("Cloud sağlayıcı: " + task->CloudProvider);
    AddLog("Cloud hedef: " + task->CloudDestinationFolder);
  }

  if (task->EncryptBackup) {
    std::string refusal;
    if (!ProvideEncryptionPassword(*task, refusal)) return reject(refusal);
  }

  // Before the run starts: a run that later fails is not repeated until its next regular time.
  if (FScheduledType > 0) {
    task->Schedule.ResetTimer(FScheduledType);
    SaveConfigLogged();
  }

  RemoveRunLeftovers(*task);
  AddLog("BackupEngine.StartBackup çağrılıyor...");
  SetRunningUi(true);
  FEngineStarted = true;
  FEngine->StartBackup();
  AddLog("StartBackup çağrıldı, thread başlatıldı.");
}

bool TAppCore::ProvideEncryptionPassword(TBackupTask& task, std::string& refusal) {
  std::string password = FEncryptionManager->GetPassword();
  if (password.empty()) {
    // A scheduled run never asks, and neither does a run no one can answer for.
    if (FScheduledType > 0) {
      refusal = ScheduledPasswordMissingMessage;
      return false;
    }
    if (!FPrompts.IsInteractive()) {
      refusal = UnattendedPasswordMissingMessage;
      return false;
    }
    if (!FPrompts.PromptNewPassword(
            "Şifreleme Gerekli",
            "'" + task.Name + "' görevi için yeni şifreleme parolasını girin:", "Parolayı tekrar girin:", password) ||
        password.empty()) {
      refusal = PasswordNotEnteredMessage;
      return false;
    }
    FEncryptionManager->SetPassword(password);
    if (FConfig->CacheEncryptionPassword) {
      try {
        FEncryptionManager->SavePasswordToRegistry(password);
      } catch (const std::exception& e) {
        AddLog(std::string("Şifreleme parolası kaydedilemedi: ") + e.what());
      }
    }
  }
  FEngine->SetEncryptionPassword(FEncryptionManager->GetPassword());
  return true;
}

bool TAppCore::IsTaskQueuedOrRunning(const TBackupTask* task) const {
  if (task == nullptr) return false;
  if (task == FRunningTask) return true;
  if (FTaskQueue)
    for (const TScheduledBackupItem& item : *FTaskQueue)
      if (item.Task == task) return true;
  return false;
}

bool TAppCore::IsRunQueuedOrRunning(const TBackupTask* task, int scheduledType) const {
  if (FBackupBusy && task == FRunningTask && scheduledType == FScheduledType) return true;
  if (FTaskQueue)
    for (const TScheduledBackupItem& item : *FTaskQueue)
      if (item.Task == task && item.ScheduledType == scheduledType) return true;
  return false;
}

void TAppCore::Timer1Timer() {
  FlushPendingLogs();
  if (!FConfig || !FTaskQueue) return;
  QueueDueTasks(FConfig.get(), {[this](const TBackupTask& task, int type) { return IsRunQueuedOrRunning(&task, type); },
                                [this](TBackupTask& task, int type) {
                                  FTaskQueue->push_back({&task, type, std::nullopt});
                                },
                                [this](const std::string& line) { AddLog(line); }});
  ProcessQueue();
}

bool TAppCore::IsIdle() const {
  // A run's history entry and its retention's removals are done only once the history writer has reported.
  return !FBackupBusy && QueueLength() == 0 && (FEngine == nullptr || !FEngine->IsRunning()) && !HistoryWriteBusy();
}

void TAppCore::PostProcessQueue() {
  FMainThread.Post([this, alive = std::weak_ptr<int>(FAliveToken)] {
    if (alive.lock()) ProcessQueue();
  });
}

void TAppCore::SaveConfigLogged() {
  if (!FConfig || !FConfigManager) return;
  try {
    FConfigManager->SaveConfig(*FConfig);
  } catch (const std::exception& e) {
    AddLog(std::string("Yapılandırma kaydedilemedi: ") + e.what());
  }
}

// Chain planning and recording.

void TAppCore::ConfigureEngineForTask(TBackupTask& task, int scheduledType, bool previewOnly,
                                      std::optional<TBackupType> manualType) {
  TBackupEngine* engine = previewOnly ? FEstimateEngine.get() : FEngine;
  if (engine == nullptr) return;
  const TBackupType requested = RequestedTypeOf(scheduledType, manualType.value_or(task.BackupType));
  const TRunPlan plan = PlanBackupRun(task, requested);
  WriteEngineSettings(*engine, task, plan);
  if (previewOnly) return;
  if (plan.FellBackToFull)
    AddLog(BackupTypeToText(requested) +
           " yedek istenmişti ancak geçerli bir tam yedek bulunamadı. Bu çalışma otomatik olarak tam yedek olarak "
           "başlatıldı.");
  FRequestedBackupType = plan.RequestedType;
  FEffectiveBackupType = plan.EffectiveType;
  FPlannedBackupSetId = plan.SetId;
  FPlannedBaseFullBackupId = plan.BaseFullBackupId;
  FPlannedParentBackupId = plan.ParentBackupId;
  FEngineConfigured = true;
}

void TAppCore::WriteEngineSettings(TBackupEngine& engine, TBackupTask& task, const TRunPlan& plan) {
  engine.SourceFolders() = task.SourceFolders;
  engine.ReferenceFileNames().clear();
  engine.ReferenceFileNames().insert(plan.ReferenceFileNames.begin(), plan.ReferenceFileNames.end());
  engine.SetDestinationFolder(ResolveRunDestination(task));
  engine.SetCompressBackup(task.CompressBackup);
  engine.SetEncryptBackup(task.EncryptBackup);
  engine.SetBackupNamePrefix(task.Name);
  engine.SetMaxBackupsToKeep(task.MaxBackupsToKeep);
  engine.SetBackgroundMode(FConfig && FConfig->BackgroundMode);
  engine.SetSpeedLimitBytesPerSec(FConfig ? static_cast<int64_t>(FConfig->SpeedLimitMBPerSec) * BytesPerMegabyte : 0);
  engine.SetBackupType(plan.EffectiveType);
  engine.SetReferenceBackupTime(plan.ReferenceBackupTime);
  engine.SetReferenceFullBackupTime(plan.ReferenceFullBackupTime);
  engine.SetLastBackupTime(task.LastSuccessfulBackupTime);
  engine.SetEncryptionPassword("");
}

void TAppCore::RecordRunInChain(TBackupTask* task, const TBackupResultSnapshot& snapshot) {
  if (task == nullptr || !snapshot.Success || Trim(snapshot.OutputPath).empty()) return;
  PruneMissingChainItems(*task);

  auto item = std::make_unique<TBackupChainItem>();
  item->BackupId = NewGuidText();
  if (FEffectiveBackupType == btFull) {
    // A full backup opens a new set.
    item->SetId = item->BaseFullBackupId = item->BackupId;
  } else {
    item->SetId = FPlannedBackupSetId.empty() ? item->BackupId : FPlannedBackupSetId;
    item->BaseFullBackupId = FPlannedBaseFullBackupId.empty() ? item->BackupId : FPlannedBaseFullBackupId;
    item->ParentBackupId = FPlannedParentBackupId;
  }
  item->OutputPath = snapshot.OutputPath;
  item->MirrorOutputPath = snapshot.CloudOutputPath;
  item->BackupTime = snapshot.BackupTime;
  item->RequestedType = FRequestedBackupType;
  item->EffectiveType = FEffectiveBackupType;

  // Known files grow along the set: a differential carries its full backup's list, an incremental its parent's.
  std::vector<std::string> known = BuildKnownFiles(*task, snapshot);
  const TBackupChainItem* base = nullptr;
  if (FEffectiveBackupType == btDifferential) base = FindChainItemById(*task, item->BaseFullBackupId);
  if (FEffectiveBackupType == btIncremental) base = FindChainItemById(*task, item->ParentBackupId);
  item->KnownFiles = base != nullptr ? MergeKnownFiles(base->KnownFiles, known) : std::move(known);

  task->BackupChain.push_back(std::move(item));
  ApplyRetention(task);
  UpdateTaskBackupTimes(*task, FEffectiveBackupType, snapshot.BackupTime);
}

void TAppCore::UpdateTaskBackupTimes(TBackupTask& task, TBackupType effectiveType, TDateTime backupTime) {
  task.LastSuccessfulBackupTime = backupTime;
  if (effectiveType == btFull) task.LastFullBackupTime = backupTime;
  if (const TBackupChainItem* latestFull = FindLatestChainItem(task, btFull, ""))
    task.LastFullBackupTime = latestFull->BackupTime;
  // The card shows the editor's task; a run of another task must not take its place.
  if (&task == FCurrentTask) RefreshChainCard(&task);
}

void TAppCore::RefreshChainCard(TBackupTask* task) { FView.ShowChainCard(BuildChainCard(task)); }

void TAppCore::ApplyRetention(TBackupTask* task) {
  if (!FConfigManager || task == nullptr) return;
  auto inUse = [this](const std::string& output) { return OutputLeased(output); };
  TRetentionPlan plan = PlanRetention(*task, inUse, [this](const std::string& line) { AddLog(line); });
  if (plan.Empty()) return;
  std::vector<std::string> paths = plan.HistoryPaths;
  // The outputs go only once the history has let go of them; a failed history change leaves them for a later run.
  HistoryWriter().DeleteByOutputPaths(std::move(paths), [this, task, plan = std::move(plan), inUse] {
    // The task may have been deleted while the history was being written.
    if (!FConfig || std::none_of(FConfig->Tasks.begin(), FConfig->Tasks.end(),
                                 [task](const auto& known) { return known.get() == task; }))
      return;
    RemoveRetainedSets(
        *task, plan, FClock, [this](const std::string& line) { AddLog(line); }, [this] { SaveConfigLogged(); }, inUse);
    if (task == FCurrentTask) RefreshChainCard(task);
  });
}

// Completion.

TBackupResultSnapshot TAppCore::BuildResultSnapshot(bool success, const std::string& message) const {
  TBackupResultSnapshot s;
  const TBackupTask* task = FRunningTask;
  const TBackupEngine* engine = FEngine;
  // A request refused before its run started must not report an earlier run's results.
  const bool fromEngine = engine != nullptr && (FEngineStarted || task == nullptr);

  s.BackupTime = FClock.Now();
  s.Success = success;
  s.Message = message;
  s.TaskName = task != nullptr ? task->Name : engine != nullptr ? engine->BackupNamePrefix() : std::string();
  if (fromEngine) {
    s.BackupName = engine->BackupNamePrefix();
    s.EncryptBackup = engine->EncryptBackup();
    s.FileCount = engine->LastBackupFileCount();
    s.TotalSize = engine->LastBackupTotalSize();
    s.OutputPath = engine->LastBackupOutputPath();
    s.Checksum = engine->LastBackupChecksum();
    s.Verified = engine->LastBackupVerified();
    s.SuccessfulFiles = FileDetails(engine->SuccessfulFiles(), true);
    s.FailedFiles = FileDetails(engine->FailedFiles(), false);
  } else if (task != nullptr) {
    s.BackupName = task->Name;
    s.EncryptBackup = task->EncryptBackup;
  }
  if ((fromEngine || FEngineConfigured) && engine != nullptr)
    s.BackupTypeText = BackupTypeToText(engine->BackupType());
  else if (task != nullptr)
    s.BackupTypeText = BackupTypeToText(RequestedTypeOf(FScheduledType, FRunningManualType.value_or(task->BackupType)));
  else
    s.BackupTypeText = BackupTypeToText(btFull);

  s.SourceCount = task != nullptr      ? static_cast<int>(task->SourceFolders.size())
                  : FEditor != nullptr ? FEditor->EditorSourceCount()
                                       : 0;
  s.StorageMode = task != nullptr ? task->StorageMode : smLocalDisk;
  s.StorageModeText = StorageModeToText(s.StorageMode);
  if (UsesLocalDestination(s.StorageMode)) s.LocalOutputPath = s.OutputPath;
  if (task != nullptr) {
    s.CloudProvider = task->CloudProvider;
    s.SourceFolders = task->SourceFolders;
  }
  if (UsesCloudDestination(s.StorageMode)) s.CloudStatus = "Bekliyor";

  const std::string words = OutcomeWords(s.Message, s.OutputPath);
  if (s.Success && Contains(words, NoChangeWords)) {
    s.OutputPath.clear();
    s.LocalOutputPath.clear();
    s.CloudOutputPath.clear();
    s.Checksum.clear();
    s.Verified = false;
    if (UsesCloudDestination(s.StorageMode)) s.CloudStatus = "Atlandı";
  } else if (s.Success && s.FileCount > 0 && Trim(s.OutputPath).empty()) {
    s.Success = false;
    s.Message = "Yedekleme çıktısı oluşturulamadı.";
  } else if (s.Success &&
             (Contains(words, "hata") || Contains(words, "başlatılmadı") || Contains(words, "oluşturulamadı"))) {
    s.Success = false;
  }
  return s;
}

void TAppCore::HandleBackupComplete(bool success, const std::string& message) {
  TBackupResultSnapshot snapshot = BuildResultSnapshot(success, message);
  if (NeedsCloudStep(snapshot)) return StartCloudStep(std::move(snapshot));
  FinishBackupComplete(std::move(snapshot));
}

bool TAppCore::NeedsCloudStep(const TBackupResultSnapshot& snapshot) const {
  return RecordsChain(snapshot) && FCloudCopy != nullptr && UsesCloudDestination(FRunningTask->StorageMode);
}

bool TAppCore::RecordsChain(const TBackupResultSnapshot& snapshot) const {
  return snapshot.Success && FRunningTask != nullptr && (snapshot.FileCount != 0 || FEffectiveBackupType == btFull);
}

// 2. The copy to the cloud destination, on a work thread: the engine's worker ends meanwhile, the run stays busy.
void TAppCore::StartCloudStep(TBackupResultSnapshot snapshot) {
  FCloudSnapshot = std::make_shared<TBackupResultSnapshot>(std::move(snapshot));
  *FCloudCancel = false;
  FCloudPercent = -1;
  TBackgroundJob* job = FCloudJob.get();
  // A core going away (the engine's completion inside its destructor) has no time for an upload: the step runs
  // here, cancelled at once, and leaves the output where the run put it.
  if (FDestroying || !job) {
    TPostRunContext context;
    context.AddLog = [this](const std::string& line) { AddLog(line); };
    context.ShouldCancel = [] { return true; };
    FCloudCopy->PerformPostRunCloudCopy(CloudCopyTargetOf(*FRunningTask), *FCloudSnapshot, context);
    return CloudStepDone("");
  }
  auto work = [this, job, copy = FCloudCopy, target = CloudCopyTargetOf(*FRunningTask), result = FCloudSnapshot,
               cancel = FCloudCancel] {
    TPostRunContext context;
    // The posted calls run only while the job, and so the core, is alive.
    context.AddLog = [this, job](const std::string& line) { job->Post([this, line] { AddLog(line); }); };
    context.OnProgress = [this, job](const TCloudCopyProgress& p) { job->Post([this, p] { ShowCloudProgress(p); }); };
    context.ShouldCancel = [cancel] { return cancel->load(); };
    copy->PerformPostRunCloudCopy(target, *result, context);
  };
  job->Start(std::move(work), [this](const std::string& error) { CloudStepDone(error); });
  UpdateTrayStatus();
  FlushPendingLogs();
}

void TAppCore::ShowCloudProgress(const TCloudCopyProgress& progress) {
  if (!FCloudSnapshot) return;
  FView.SetProgressPosition(progress.Percent);
  FView.SetProgressText(progress.ProgressText);
  FView.SetStatusText(0, progress.StatusText);
  if (progress.Percent != FCloudPercent) {
    FCloudPercent = progress.Percent;
    UpdateTrayStatus();
  }
}

void TAppCore::CloudStepDone(const std::string& error) {
  if (!FCloudSnapshot) return;
  TBackupResultSnapshot snapshot = std::move(*FCloudSnapshot);
  FCloudSnapshot.reset();
  FCloudPercent = -1;
  if (!error.empty()) {
    snapshot.Success = false;
    snapshot.CloudStatus = "Başarısız";
    snapshot.Message += std::string(" | Cloud upload hatası: ") + error;
    AddLog(std::string("Cloud upload hatası: ") + error);
  }
  FinishBackupComplete(std::move(snapshot));
}

// The steps after the cloud step, in their order: the outcome logged and shown, the history entry, the mail, the
// chain with retention and the save, the run state reset and the next queued run.
void TAppCore::FinishBackupComplete(TBackupResultSnapshot snapshot) {
  if (!snapshot.StorageModeText.empty()) AddLog("Çalışma depolama modu: " + snapshot.StorageModeText);
  if (!snapshot.LocalOutputPath.empty()) AddLog("Lokal çıktı: " + snapshot.LocalOutputPath);
  if (!snapshot.CloudOutputPath.empty())
    AddLog("Cloud çıktı: " + snapshot.CloudOutputPath);
  else if (!snapshot.CloudStatus.empty())
    AddLog("Cloud durumu: " + snapshot.CloudStatus);

  FBackupBusy = false;
  SetRunningUi(false);

  const std::string words = OutcomeWords(snapshot.Message, snapshot.OutputPath);
  const bool cancelled = Contains(words, CancelledWords);
  const bool noChange = snapshot.Success && Contains(words, NoChangeWords);
  const bool notify =
      FEditor != nullptr ? FEditor->ShowNotificationsChecked() : FConfig != nullptr && FConfig->ShowNotifications;
  if (noChange) {
    AddLog("ℹ Bilgi: " + snapshot.Message);
    if (notify) FView.ShowBalloon("Yedekleme Bilgisi", "Bu çalışmada yeni veya değişen dosya bulunmadı.");
  } else if (snapshot.Success) {
    AddLog("✓ Tamamlandı: " + snapshot.Message);
    if (snapshot.Verified) AddLog("SHA-256 doğrulaması başarılı: " + snapshot.Checksum);
    if (notify) FView.ShowBalloon("Yedekleme Tamamlandı", snapshot.Message);
  } else if (cancelled) {
    AddLog("! İptal: " + snapshot.Message);
  } else {
    AddLog("✗ Hata: " + snapshot.Message);
  }

  try {
    AddHistoryFromSnapshot(snapshot);
  } catch (const std::exception& e) {
    AddLog(std::string("Geçmiş kaydı yazılamadı: ") + e.what());
  }
  if (!cancelled && FNotification != nullptr) FNotification->StartEmailNotificationAsync(snapshot);

  FView.SetProgressPosition(0);
  FView.SetProgressText("Hazır");
  FlushPendingLogs();

  if (FRunningTask != nullptr) {
    if (RecordsChain(snapshot)) {
      try {
        RecordRunInChain(FRunningTask, snapshot);
      } catch (const std::exception& e) {
        AddLog(std::string("Yedek zinciri güncellenemedi: ") + e.what());
      }
      SaveConfigLogged();
      RefreshHistoryList();
    }
    RefreshTaskList();
  }

  ResetRunState();
  FLastSnapshot = std::move(snapshot);
  PostProcessQueue();
}

void TAppCore::ResetRunState() {
  FRunningTask = nullptr;
  FScheduledType = 0;
  FRunningManualType.reset();
  FEngineConfigured = false;
  FEngineStarted = false;
  FPlannedBackupSetId.clear();
  FPlannedBaseFullBackupId.clear();
  FPlannedParentBackupId.clear();
  FRequestedBackupType = btFull;
  FEffectiveBackupType = btFull;
}

void TAppCore::AddHistoryFromSnapshot(const TBackupResultSnapshot& snapshot) {
  if (!FConfigManager) return;
  TBackupHistoryItem item;
  item.BackupTime = snapshot.BackupTime;
  item.Success = snapshot.Success;
  item.TaskName = snapshot.TaskName;
  item.Details = snapshot.Message;
  item.StorageMode = snapshot.StorageMode;
  item.StorageModeText = snapshot.StorageModeText;
  item.LocalOutputPath = snapshot.LocalOutputPath;
  item.CloudOutputPath = snapshot.CloudOutputPath;
  item.CloudProvider = snapshot.CloudProvider;
  item.CloudStatus = snapshot.CloudStatus;
  item.OutputPath = snapshot.OutputPath;
  item.Checksum = snapshot.Checksum;
  item.Verified = snapshot.Verified;
  item.SourceFolders = snapshot.SourceFolders;
  item.SourceCount = snapshot.SourceCount;
  item.FileCount = snapshot.FileCount;
  item.TotalSize = snapshot.TotalSize;
  item.Files = snapshot.SuccessfulFiles;
  item.Files.insert(item.Files.end(), snapshot.FailedFiles.begin(), snapshot.FailedFiles.end());
  // Written on the history writer's thread; the list is refreshed once it has landed.
  HistoryWriter().AddItem(std::move(item));
}

// Activity log and status.

void TAppCore::AddLog(const std::string& message) {
  if (!FPendingLogs) return;
  FPendingLogs->push_back(FormatLogLine(FClock.Now(), message));
  FView.SetStatusText(0, UnescapeUnicodeSequences(message));
  // During a run the log view is redrawn once per batch, so the window stays responsive.
  if (!FBackupBusy || FPendingLogs->size() >= LogBatchSize) FlushPendingLogs();
}

void TAppCore::FlushPendingLogs() {
  if (!FPendingLogs || FPendingLogs->empty()) return;
  FView.AppendLogLines(*FPendingLogs);
  FPendingLogs->clear();
}

void TAppCore::HandleBackupProgress(const std::string& fileName, int progress) {
  FView.SetProgressPosition(progress);
  FView.SetProgressText("İşleniyor: " + FileNameOnly(fileName) + " (" + std::to_string(progress) + "%)");
  FView.SetStatusText(0, "Yedekleme: " + std::to_string(progress) + "%");
}

void TAppCore::SetRunningUi(bool running) {
  FRunningUi = running;
  if (!running) {
    FBackupPaused = false;
    FCancelPending = false;
  }
  FView.ShowRunState(CurrentRunUiState());
}

void TAppCore::UpdateTrayStatus() { FView.ShowRunState(CurrentRunUiState()); }

TRunUiState TAppCore::CurrentRunUiState() const {
  TRunUiState state;
  state.ActivityVisible = FRunningUi;
  state.StartEnabled = !FRunningUi;
  state.PauseButtonEnabled = FRunningUi;
  state.CancelButtonEnabled = FRunningUi && !FCancelPending;
  if (FBackupBusy) {
    state.TrayStartEnabled = false;
    state.TrayPauseEnabled = true;
    state.TrayCancelEnabled = true;
    if (CloudStepRunning()) {
      state.PauseButtonEnabled = false;
      state.TrayPauseEnabled = false;
      state.TrayStatusLine = "Durum: Cloud'a Yükleniyor";
      state.TrayHint = FCloudPercent < 0 ? std::string("Velkor - Cloud upload")
                                         : "Velkor - Cloud upload: " + std::to_string(FCloudPercent) + "%";
    } else if (FBackupPaused) {
      state.TrayStatusLine = "Durum: Duraklatıldı";
      state.PauseCaption = "Devam Et";
      state.TrayHint = "Velkor - Duraklatıldı";
    } else {
      state.TrayStatusLine = "Durum: Yedekleme Çalışıyor";
      state.TrayHint = "Velkor - Yedekleme çalışıyor";
    }
  }
  return state;
}

void TAppCore::UpdateNextRunStatus() {
  if (FConfig) FView.SetStatusText(1, NextRunStatusText(*FConfig));
}

void TAppCore::RefreshTaskList() { FView.RefreshTaskList(); }

void TAppCore::RefreshHistoryList() { FView.RefreshHistoryList(); }

// Destination space.

namespace {

constexpr const char* NoFiguresText = "Tahmini Boyut: - | Boş Alan: -";

// What the estimate found; Error set when it failed.
struct TCapacityOutcome {
  int64_t Required = 0;
  int64_t Available = 0;
  bool Fits = false;
  std::string Error;
};

TCapacityLabels CapacityLabelsFor(const TCapacityOutcome& outcome) {
  if (!outcome.Error.empty()) return {NoFiguresText, "Alan analizi yapılamadı: " + outcome.Error, ctProblem};
  const std::string info =
      "Tahmini Boyut: " + FormatByteSize(outcome.Required) + " | Boş Alan: " + FormatByteSize(outcome.Available);
  if (outcome.Fits) return {info, "Yedekleme hedefe sığıyor.", ctFits};
  return {info, "Yetersiz alan: Bu yedek mevcut hedefe sigmayacak.", ctProblem};
}

}  // namespace

void TAppCore::AnalyzeDestinationSpace() {
  if (FDestroying || !FEstimateEngine || !FCapacityJob || (FEditor != nullptr && FEditor->IsLoading())) return;
  // Whatever an estimate still running finds now describes an older state.
  ++FCapacityRequest;
  FCapacityPending = false;
  auto show = [this](std::string info, std::string state, TCapacityTone tone) {
    FCapacityTask = FCurrentTask;
    FView.ShowCapacity({std::move(info), std::move(state), tone});
  };
  if (FCurrentTask == nullptr) return show(NoFiguresText, "Alan analizi için bir görev seçin.", ctNeutral);
  if (FEditor != nullptr) FEditor->SaveTaskFromUI(*FCurrentTask);
  if (FCurrentTask->SourceFolders.empty())
    return show(NoFiguresText, "Alan analizi için en az bir kaynak klasör ekleyin.", ctNeutral);
  if (UsesLocalDestination(FCurrentTask->StorageMode) && Trim(FCurrentTask->DestinationFolder).empty())
    return show(NoFiguresText, "Alan analizi için hedef klasör seçin.", ctNeutral);
  // Another task's figures must not stand under this one while its estimate runs.
  if (FCapacityTask != FCurrentTask) show(NoFiguresText, "Alan analizi yapılıyor...", ctNeutral);
  if (FCapacityJob->Busy()) {
    FCapacityPending = true;
    return;
  }
  StartCapacityAnalysis();
}

void TAppCore::StartCapacityAnalysis() {
  const int request = FCapacityRequest;
  try {
    ConfigureEngineForTask(*FCurrentTask, 0, true);
  } catch (const std::exception& e) {
    FView.ShowCapacity(CapacityLabelsFor({0, 0, false, e.what()}));
    return;
  }
  FCapacityJob->Start([this, request, engine = FEstimateEngine.get()]() -> std::function<void()> {
    TCapacityOutcome outcome;
    try {
      outcome.Fits = engine->CheckDestinationCapacity(outcome.Required, outcome.Available);
    } catch (const std::exception& e) {
      outcome.Error = e.what();
    }
    return [this, request, outcome = std::move(outcome)] {
      if (request == FCapacityRequest) return FView.ShowCapacity(CapacityLabelsFor(outcome));
      if (FCapacityPending) AnalyzeDestinationSpace();
    };
  });
}

}  // namespace velkor
