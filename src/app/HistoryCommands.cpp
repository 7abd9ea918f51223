#include "app/HistoryCommands.h"

#include "app/EmailCommands.h"
#include "app/OutputVerification.h"
#include "crypto/CryptoUtils.h"
#include "notify/PdfReportValues.h"
#include "restore/RestoreCommand.h"
#include "restore/RestoreManager.h"

namespace velkor {

namespace {

// The restore's wait window is updated at most this often, and at every change of stage and at the end.
constexpr uint64_t ProgressIntervalMs = 150;

// The save dialog's default extension.
std::filesystem::path WithPdfExtension(std::filesystem::path file) {
  if (file.extension().empty()) file += ".pdf";
  return file;
}

}  // namespace

struct THistoryCommands::TRestoreRun {
  TBackupHistoryItem Item;
  TRestoreWizardOptions Options;
  std::optional<TChainRestorePlan> Plan;  // the state as of the entry's run, from its chain
  // Made by the analysis, which reads every output of the plan; restores what it decided. Its staging folder goes
  // with it.
  std::unique_ptr<TChainRestore> Chain;
  TRestoreAnalysis Analysis;
  int32_t Restored = 0;
  int32_t Skipped = 0;
  // From the wizard's "Başlat" to the end: no run starts, and retention leaves the outputs read here alone.
  std::unique_ptr<TAppCore::TOutputLease> Lease;
  ~TRestoreRun() { WipeString(Options.EncryptionPassword); }
};

THistoryCommands::THistoryCommands(const THistoryCommandServices& services)
    : FServices(services), FWork(services.MainThread) {}

THistoryCommands::~THistoryCommands() = default;

void THistoryCommands::RunBehindWaitWindow(const TWaitWindowText& wait, std::function<void()> work,
                                           std::function<void(const std::string& error)> done,
                                           const std::string& readOutput) {
  FServices.Windows.ShowWaitWindow(wait);
  // Retention leaves the output alone while the work reads it.
  std::shared_ptr<TAppCore::TOutputLease> lease =
      readOutput.empty() ? nullptr : FServices.Core.LeaseOutputs({readOutput}, false);
  FWork.Start(std::move(work), [this, done = std::move(done), lease](const std::string& error) {
    FServices.Windows.CloseWaitWindow();
    done(error);
  });
}

void THistoryCommands::mnuHistoryRestoreClick(const std::optional<TBackupHistoryItem>& selected) {
  if (Busy()) return;
  if (!selected) {
    ShowAutoMessage(FServices.Prompts, RestoreNoSelectionMessage);
    return;
  }
  RestoreHistoryItem(*selected);
}

void THistoryCommands::RestoreHistoryItem(const TBackupHistoryItem& item) {
  if (Busy()) return;
  auto run = std::make_shared<TRestoreRun>();
  run->Item = item;
  const TBackupConfig empty;
  const TBackupConfig& config = FServices.Core.Config() != nullptr ? *FServices.Core.Config() : empty;
  const bool needsPassword = TRestoreManager::RestoreRequiresPassword(item.OutputPath);
  std::optional<TChainRestorePlan> plan = OfferedChainRestorePlan(item, config);
  TEncryptionManager* encryption = FServices.Core.EncryptionManager();
  std::string suggested = encryption != nullptr ? encryption->GetPassword() : std::string();
  const bool started =
      FServices.Windows.ExecuteRestoreWizard(item, needsPassword || (plan && plan->RequiresPassword), suggested,
                                             plan ? AsOfOptionCaption(*plan) : "", run->Options);
  WipeString(suggested);
  if (!started) return;
  if (plan && run->Options.AsOfBackup) run->Plan = std::move(plan);
  const bool passwordNeeded = run->Plan ? run->Plan->RequiresPassword : needsPassword;
  if (const auto refusal = CheckRestoreRequest(item, config, run->Options, passwordNeeded)) {
    ShowAutoMessage(FServices.Prompts, *refusal);
    return;
  }
  std::vector<std::string> outputs{item.OutputPath};
  if (run->Plan)
    for (const TChainRestoreStep& step : run->Plan->Steps) outputs.push_back(step.OutputPath);
  run->Lease = FServices.Core.LeaseOutputs(std::move(outputs), true);
  StartAnalysis(run);
}

void THistoryCommands::StartAnalysis(std::shared_ptr<TRestoreRun> run) {
  RunBehindWaitWindow(
      RestoreAnalysisWait, [this, run] { RunAnalysis(*run); },
      [this, run](const std::string& error) { AnalysisDone(run, error); });
}

// On the work's thread.
void THistoryCommands::RunAnalysis(TRestoreRun& run) {
  if (run.Plan) {
    run.Chain = std::make_unique<TChainRestore>(*run.Plan, run.Options.TargetFolder, run.Options.EncryptionPassword,
                                                FServices.Clock);
    run.Chain->Prepare(ChainCallbacks(run.Plan->Steps.size()));
    run.Analysis = run.Chain->Analysis();
    return;
  }
  TRestoreManager manager(FServices.Clock);
  run.Analysis = manager.AnalyzeRestore(run.Item.OutputPath, run.Options.TargetFolder, run.Options.EncryptionPassword);
}

TChainRestoreCallbacks THistoryCommands::ChainCallbacks(size_t outputs) {
  TChainRestoreCallbacks callbacks;
  callbacks.OnProgress = [this, outputs](const TChainRestoreProgress& p) {
    FWork.Post([this, display = ChainRestoreProgressDisplay(p, outputs)] {
      FServices.Windows.ShowWaitProgress(display.Percent, display.Text);
    });
  };
  return callbacks;
}

void THistoryCommands::AnalysisDone(std::shared_ptr<TRestoreRun> run, const std::string& error) {
  if (!error.empty()) {
    ShowAutoMessage(FServices.Prompts, RestoreAnalysisFailedPrefix + error);
    return;
  }
  const std::string question = RestoreConfirmationText(
      run->Analysis, run->Options.ConflictAction, run->Options.TargetFolder, run->Plan ? run->Plan->Steps.size() : 0);
  if (!FServices.Prompts.AskYesNo(question)) return;
  StartRestore(run);
}

void THistoryCommands::StartRestore(std::shared_ptr<TRestoreRun> run) {
  RunBehindWaitWindow(
      RestoreRunningWait, [this, run] { RunRestore(*run); },
      [this, run](const std::string& error) { RestoreDone(run, error); });
  FServices.Core.AddLog(RestoreStartedLogPrefix + run->Item.TaskName);
}

// On the work's thread: the restore, its progress handed to the wait window now and then.
void THistoryCommands::RunRestore(TRestoreRun& run) {
  if (run.Chain) {
    const TChainRestoreResult result =
        run.Chain->Restore(run.Options.ConflictAction, ChainCallbacks(run.Plan->Steps.size()));
    run.Restored = result.RestoredCount;
    run.Skipped = result.SkippedCount;
    return;
  }
  TRestoreManager manager(FServices.Clock);
  bool unpacked = false;
  bool shown = false;
  TRestoreStage lastStage = rsDecrypt;
  uint64_t lastShown = 0;
  manager.SetProgressHandler([&](const TRestoreProgress& p) {
    unpacked |= p.Stage == rsUnpack;
    const uint64_t now = FServices.Clock.TickMs();
    if (shown && p.Stage == lastStage && p.Done != p.Total && now - lastShown < ProgressIntervalMs) return;
    shown = true;
    lastStage = p.Stage;
    lastShown = now;
    FWork.Post([this, display = RestoreProgressDisplay(p, unpacked)] {
      FServices.Windows.ShowWaitProgress(display.Percent, display.Text);
    });
  });
  manager.RestoreBackupOutput(run.Item.OutputPath, run.Options.TargetFolder, run.Options.EncryptionPassword,
                              run.Options.ConflictAction, run.Restored, run.Skipped);
}

void THistoryCommands::RestoreDone(std::shared_ptr<TRestoreRun> run, const std::string& error) {
  if (!error.empty()) {
    const std::string message = RestoreFailedPrefix + error;
    FServices.Core.AddLog(message);
    ShowAutoMessage(FServices.Prompts, message);
    return;
  }
  // Kept in memory only, where the next restore offers it.
  if (!run->Options.EncryptionPassword.empty() && FServices.Core.EncryptionManager() != nullptr)
    FServices.Core.EncryptionManager()->SetPassword(run->Options.EncryptionPassword);
  FServices.Core.AddLog(RestoreCompletedLogLine(run->Restored, run->Skipped));
  ShowAutoMessage(FServices.Prompts, RestoreCompletedMessage(run->Restored, run->Skipped));
}

void THistoryCommands::mnuHistorySendMailClick(const std::optional<TBackupHistoryItem>& selected) {
  if (Busy()) return;
  if (!selected) {
    ShowAutoMessage(FServices.Prompts, HistoryMailNoSelectionMessage);
    return;
  }
  auto failure = std::make_shared<std::string>();
  RunBehindWaitWindow(
      MailWait,
      [item = *selected, failure, registry = FServices.RegistryFile] { *failure = SendHistoryMail(item, registry); },
      [this, failure](const std::string& error) {
        const std::string& problem = error.empty() ? *failure : error;
        if (!problem.empty()) {
          ShowAutoMessage(FServices.Prompts, problem);
          return;
        }
        FServices.Core.AddLog(HistoryMailSentLogLine);
      },
      selected->OutputPath);
}

void THistoryCommands::mnuHistoryExportPdfClick(const std::optional<TBackupHistoryItem>& selected) {
  if (Busy()) return;
  if (!selected) {
    ShowAutoMessage(FServices.Prompts, PdfNoSelectionMessage);
    return;
  }
  std::string chosen = (FServices.SaveFolder / ProposedPdfFileName(selected->BackupTime)).string();
  if (!FServices.Prompts.SelectSaveFile(PdfSaveDialogTitle, PdfSaveDialogFilter, chosen)) return;
  const std::filesystem::path file = WithPdfExtension(chosen);
  RunBehindWaitWindow(
      PdfWait, [export_ = FServices.ExportPdf, file, item = *selected] { export_(file, item); },
      [this, file](const std::string& error) {
        if (!error.empty()) {
          FServices.Prompts.ShowMessage(error, amError);
          return;
        }
        FServices.Core.AddLog(PdfExportedLogPrefix + file.string());
      },
      selected->OutputPath);
}

void THistoryCommands::mnuHistoryVerifyClick(const std::optional<TBackupHistoryItem>& selected) {
  if (Busy()) return;
  if (!selected) {
    ShowAutoMessage(FServices.Prompts, VerifyNoSelectionMessage);
    return;
  }
  auto outcome = std::make_shared<TVerifyOutcome>();
  RunBehindWaitWindow(
      VerifyWait, [item = *selected, outcome] { *outcome = VerifyHistoryOutput(item); },
      [this, outcome](const std::string& error) {
        if (!error.empty()) {
          FServices.Prompts.ShowMessage(error, amError);
          return;
        }
        const TVerifyReport report = VerifyOutcomeReport(*outcome);
        if (!report.LogLine.empty()) FServices.Core.AddLog(report.LogLine);
        FServices.Prompts.ShowMessage(report.Message, report.Kind);
      },
      selected->OutputPath);
}

}  // namespace velkor
