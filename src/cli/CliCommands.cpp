#include "cli/CliCommands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <streambuf>
#include <vector>

#include "app/AppComposition.h"
#include "app/AppCore.h"
#include "app/DueTasks.h"
#include "app/EmailCommands.h"
#include "app/HistoryList.h"
#include "app/LogText.h"
#include "app/TaskRules.h"
#include "cli/CliPrompts.h"
#include "cli/CliSupport.h"
#include "cli/CliView.h"
#include "cli/SignalWatcher.h"
#include "cli/TerminalInput.h"
#include "config/ConfigManager.h"
#include "crypto/EncryptionCommands.h"
#include "crypto/EncryptionManager.h"
#include "notify/PdfReportValues.h"
#include "platform/MainThread.h"
#include "platform/SingleInstance.h"
#include "restore/RestoreCommand.h"
#include "util/StringUtils.h"
#ifdef VELKOR_WITH_PDF_REPORT
#include "ui/HeadlessGui.h"
#include "ui/HistoryPdfExport.h"
#endif

namespace velkor {

namespace {

using TSteadyClock = std::chrono::steady_clock;

constexpr const char* AlreadyRunningMessage = "Program zaten çalışıyor.\nİkinci kez açılmasına izin verilmedi.";
// How often the main loop wakes without work, to show buffered log lines and notice the end.
constexpr int LoopWakeMs = 250;

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

// The stored encryption password as the window would hold it at start-up.
std::string StoredEncryptionPassword(TEncryptionManager& manager, const TBackupConfig& config) {
  return config.CacheEncryptionPassword ? manager.LoadPasswordFromRegistry() : std::string();
}

// The history entry numbered as RunHistoryCommand prints it, or null (after the message) when there is none.
const TBackupHistoryItem* FindHistoryEntry(const std::vector<TBackupHistoryItem>& items, const std::string& index) {
  size_t number = 0;
  size_t parsed = 0;
  try {
    number = std::stoul(index, &parsed);
  } catch (const std::exception&) {
    parsed = 0;
  }
  if (parsed == 0 || parsed != index.size() || number < 1 || number > items.size()) {
    PrintError("velkor-cli: no history entry " + index + " (see velkor-cli history)");
    return nullptr;
  }
  return &items[number - 1];
}

// A stream that clears the progress line on the terminal before its text goes out, so lines never land behind it.
class TProgressStepsAside final : private std::streambuf {
public:
  TProgressStepsAside(std::ostream& inner, TCliView& view) : FInner(inner), FView(view), FStream(this) {}
  std::ostream& Stream() { return FStream; }

private:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    FView.SetProgressText("Hazır");
    FInner.write(data, size);
    return FInner ? size : 0;
  }
  int sync() override { return FInner.flush() ? 0 : -1; }

  std::ostream& FInner;
  TCliView& FView;
  std::ostream FStream;
};

// Milliseconds until half a second into the next minute: the scheduler's minute has begun by then.
int64_t MillisecondsToNextTick() {
  const double msOfDay = std::fmod(SystemClock().Now(), 1.0) * MSecsPerDay;
  const auto intoMinute = static_cast<int64_t>(std::fmod(msOfDay, 60000.0));
  return 60000 - intoMinute + 500;
}

// Mails still on their way are waited for, a minute at most, so a headless run's report is not lost as the
// process ends.
constexpr auto MailWait = std::chrono::seconds(60);

}  // namespace

int RunTasksCommand() {
  TConfigManager manager;
  const std::unique_ptr<TBackupConfig> config = manager.LoadConfig();
  ReportDamagedFiles(manager);
  for (const auto& task : config->Tasks)
    for (int type = stFull; type <= stIncremental; ++type) task->Schedule.SubSchedule(type)->UpdateNextRun();
  for (const TTaskListRow& row : TaskListRows(*config, tfAll))
    std::printf("%s\t%s\t%s\t%s\n", row.Name.c_str(), row.Task->Enabled ? "yes" : "no", row.NextRun.c_str(),
                row.LastRun.c_str());
  return ExitSuccess;
}

int RunHistoryCommand() {
  TConfigManager manager;
  // Five columns: the file lists, nearly all of the file, are not read.
  const std::vector<THistorySummary> items = manager.LoadHistorySummary();
  ReportDamagedFiles(manager);
  for (size_t i = 0; i < items.size(); ++i) {
    const TBackupHistoryItem& item = items[i].Item;
    std::printf("%zu\t%s\t%s\t%s\t%s\n", i + 1, FormatDateTime("dd.mm.yyyy hh:nn:ss", item.BackupTime).c_str(),
                HistoryStatusText(item, items[i].FailedFiles).c_str(),
                item.TaskName.empty() ? "(Bilinmeyen)" : item.TaskName.c_str(),
                Trim(item.OutputPath).empty() ? "-" : item.OutputPath.c_str());
  }
  return ExitSuccess;
}

int RunHistoryPdfCommand(const std::string& index, [[maybe_unused]] const std::string& file) {
  TConfigManager manager;
  const std::vector<TBackupHistoryItem> items = manager.LoadHistory();
  ReportDamagedFiles(manager);
  const TBackupHistoryItem* item = FindHistoryEntry(items, index);
  if (item == nullptr) return ExitUsage;
#ifdef VELKOR_WITH_PDF_REPORT
  const THeadlessGui gui;
  ExportHistoryItemToPdf(file, *item);
  std::printf("%s\n", TerminalText(FormatLogLine(SystemClock().Now(), PdfExportedLogPrefix + file)).c_str());
  return ExitSuccess;
#else
  PrintError("velkor-cli: PDF raporu bu derlemede yok (Qt 6 olmadan derlendi)");
  return ExitFailure;
#endif
}

int RunBackupCommand(const std::string& taskName, std::optional<TBackupType> type) {
  TTerminalInput terminal;
  TQueuedMainThread mainThread;
  std::unique_ptr<TComposedApp> app;
  // Ctrl+C: a password prompt ends as cancelled; a run is cancelled and recorded as such.
  TSignalWatcher signals([&](int) {
    terminal.Interrupt();
    mainThread.Post([&] {
      if (app) app->Core().CancelBackup();
    });
  });

  TSingleInstanceGuard guard;
  if (!guard.Acquire()) {
    PrintError(AlreadyRunningMessage);
    return ExitFailure;
  }
  TCliView view(StderrIsTerminal());
  TCliPrompts prompts(terminal, true);
  app = std::make_unique<TComposedApp>(TFrontEnd(view, prompts, SystemClock(), mainThread));
  TAppCore* core = &app->Core();
  core->LoadConfiguration();
  ReportDamagedFiles(*core->ConfigManager());
  TBackupTask* task = FindTask(*core->Config(), taskName);
  if (task == nullptr) {
    PrintError("velkor-cli: no task named '" + taskName + "' (see velkor-cli tasks)");
    return ExitUsage;
  }
  core->Start({.SchedulerActive = false});

  if (!core->StartManualBackup(*task, type)) return ExitFailure;
  while (!core->IsIdle()) {
    mainThread.WaitForWork(LoopWakeMs);
    mainThread.ProcessPending();
    core->FlushPendingLogs();
  }
  app->WaitForRunNotifications(MailWait);
  const std::optional<TBackupResultSnapshot> outcome = core->LastSnapshot();
  app.reset();
  return outcome && outcome->Success ? ExitSuccess : ExitFailure;
}

int RunDaemonCommand() {
  TTerminalInput terminal;
  TQueuedMainThread mainThread;
  std::atomic<bool> stopping{false};
  TSignalWatcher signals([&](int) {
    stopping = true;
    mainThread.Post([] {});
  });

  TSingleInstanceGuard guard;
  if (!guard.Acquire()) {
    PrintError(AlreadyRunningMessage);
    return ExitFailure;
  }
  TCliView view(StderrIsTerminal());
  // Only scheduled runs happen here, and they never ask.
  TCliPrompts prompts(terminal, false);
  auto app = std::make_unique<TComposedApp>(TFrontEnd(view, prompts, SystemClock(), mainThread));
  TAppCore* core = &app->Core();
  core->LoadConfiguration();
  ReportDamagedFiles(*core->ConfigManager());
  core->Start({.SchedulerActive = true});

  // The timer ticks at the start of each minute, so a run starts within a second of its time.
  auto nextTick = TSteadyClock::now() + std::chrono::milliseconds(MillisecondsToNextTick());
  while (!stopping) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - TSteadyClock::now()).count();
    if (wait > 0) mainThread.WaitForWork(static_cast<int>(std::min<int64_t>(wait, LoopWakeMs)));
    mainThread.ProcessPending();
    if (!stopping && TSteadyClock::now() >= nextTick) {
      core->Timer1Timer();
      nextTick = TSteadyClock::now() + std::chrono::milliseconds(MillisecondsToNextTick());
    }
    core->FlushPendingLogs();
  }
  app->WaitForRunNotifications(MailWait);
  // A backup still running is cancelled, and its completion recorded, as the core goes.
  app.reset();
  return ExitSuccess;
}

int RunDecryptCommand(const std::string& file, const std::string& output) {
  TConfigManager manager;
  const std::unique_ptr<TBackupConfig> config = manager.LoadConfig();
  ReportDamagedFiles(manager);
  TEncryptionManager encryption;
  StoredEncryptionPassword(encryption, *config);

  std::string entered;
  if (encryption.GetPassword().empty()) {
    TTerminalInput terminal;
    if (terminal.IsTerminal()) {
      std::fprintf(stderr, "%s\n", DecryptPasswordTitle);
      AskSecret(terminal, DecryptPasswordPrompt, entered);
    } else {
      terminal.ReadLine(entered);
    }
    const TCommandOutcome accepted = AcceptDecryptPassword(entered);
    if (!accepted.Success) {
      PrintError(accepted.Message);
      return ExitFailure;
    }
    encryption.SetPassword(entered);
  }

  const TCommandOutcome outcome =
      output.empty() ? RunDecryptTool(encryption, file) : RunDecryptTool(encryption, file, output);
  if (!outcome.Success) {
    PrintError(outcome.Message);
    return ExitFailure;
  }
  std::printf("%s\n", TerminalText(outcome.Message).c_str());
  // A typed password is remembered only once it has proved itself, so a typing error never becomes the password
  // of later encrypted backups.
  if (!entered.empty()) KeepDecryptPassword(encryption, entered, config->CacheEncryptionPassword);
  return ExitSuccess;
}

int RunRestoreHistoryCommand(const std::string& index, const std::string& target, const TRestoreOptions& options) {
  TTerminalInput terminal;
  // A restore of a chain can be long: Ctrl+C ends a password prompt as cancelled and stops the restore between
  // two blocks. A plain restore keeps the signal's usual effect outside the prompt.
  std::atomic<bool> cancelled{false};
  std::optional<TSignalWatcher> signals;
  if (options.AsOf)
    signals.emplace([&](int) {
      cancelled = true;
      terminal.Interrupt();
    });
  TConfigManager manager;
  const std::vector<TBackupHistoryItem> items = manager.LoadHistory();
  const std::unique_ptr<TBackupConfig> config = manager.LoadConfig();
  ReportDamagedFiles(manager);
  const TBackupHistoryItem* item = FindHistoryEntry(items, index);
  if (item == nullptr) return ExitUsage;
  TEncryptionManager encryption;
  TRestorePasswordSource passwords{StoredEncryptionPassword(encryption, *config), [&] {
                                     std::string password;
                                     if (signals)
                                       terminal.ReadSecret(DecryptPasswordPrompt, password);
                                     else
                                       AskSecret(terminal, DecryptPasswordPrompt, password);
                                     return password;
                                   }};
  if (!options.AsOf)
    return RunRestoreCommand(*item, *config, target, options.SkipExisting, passwords, std::cout, std::cerr);

  TCliView view(StderrIsTerminal());
  TProgressStepsAside out(std::cout, view), err(std::cerr, view);
  TChainRestoreCallbacks callbacks;
  callbacks.ShouldCancel = [&cancelled] { return cancelled.load(); };
  callbacks.OnProgress = [&view](const TChainRestoreProgress& progress) {
    view.SetProgressText(progress.Phase == TChainRestoreProgress::cpReading
                             ? "Yedekler okunuyor: " + std::to_string(progress.Step + 1) + ". yedek"
                             : "Geri yükleniyor: %" + std::to_string(progress.Percent) + " " + progress.FileName);
  };
  return RunChainRestoreCommand(*item, *config, items, target, options.SkipExisting, options.DryRun, passwords,
                                callbacks, out.Stream(), err.Stream());
}

}  // namespace velkor
