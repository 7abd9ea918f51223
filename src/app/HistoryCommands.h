#pragma once
// The history list's commands besides deleting: "Geri yükle" (the wizard, the checks, the analysis, the
// confirmation and the restore of the entry's output, or of the state as of its run from its backup chain), "Log
// Dosyasını Mail Gönder", "Log Dosyasını PDF Olarak Kaydet" and "Doğrula". Their long parts (analysis, restore, SMTP
// exchange, report, checksum) run on a thread of their own behind a wait window, with the main window disabled
// meanwhile; so the window keeps painting and no second command starts.
//
// Main thread only. A command returns as soon as its long part has started; its end arrives through the main
// thread's queue. Busy() tells whether one is under way.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppCore.h"
#include "app/BackgroundJob.h"
#include "app/IAppPrompts.h"
#include "app/RestoreFlow.h"
#include "config/HistoryItem.h"
#include "platform/Clock.h"
#include "platform/MainThread.h"

namespace velkor {

// The windows of the commands besides messages and pickers.
class IHistoryCommandWindows {
public:
  virtual ~IHistoryCommandWindows() = default;
  // The restore wizard for `item`, the password field shown (starting with `password`) when `showPassword`, and the
  // choice of restoring the state as of the entry's run with `asOfCaption` when that is not empty. True with the
  // options when the user pressed "Başlat".
  virtual bool ExecuteRestoreWizard(const TBackupHistoryItem& item, bool showPassword, const std::string& password,
                                    const std::string& asOfCaption, TRestoreWizardOptions& options) = 0;
  // A wait window over the main window, which stays disabled until CloseWaitWindow.
  virtual void ShowWaitWindow(const TWaitWindowText& text) = 0;
  // `percent` 0..100, or -1 while the work cannot be counted; `text` names what is being done.
  virtual void ShowWaitProgress(int percent, const std::string& text) = 0;
  virtual void CloseWaitWindow() = 0;
};

// Writes the PDF report of `item` to `file`; called on the work's thread. Errors are thrown.
using TPdfExporter = std::function<void(const std::filesystem::path& file, const TBackupHistoryItem& item)>;

struct THistoryCommandServices {
  TAppCore& Core;  // the configuration, the encryption password held in memory, the activity log
  IAppPrompts& Prompts;
  IHistoryCommandWindows& Windows;
  IMainThread& MainThread;
  IClock& Clock;
  TPdfExporter ExportPdf;
  std::filesystem::path SaveFolder;    // where the PDF save dialog starts
  std::filesystem::path RegistryFile;  // empty: the user's (e-mail settings)
};

inline constexpr char PdfSaveDialogTitle[] = "Log Dosyasını PDF Olarak Kaydet";
inline const TWaitWindowText MailWait{"E-posta Gönderiliyor",
                                      "Seçili log kaydı e-posta ile gönderiliyor.\r\nLütfen bekleyin."};
inline const TWaitWindowText PdfWait{"PDF Kaydediliyor",
                                     "Seçili log kaydı PDF olarak kaydediliyor.\r\nLütfen bekleyin."};
inline const TWaitWindowText VerifyWait{"Doğrulanıyor",
                                        "Yedek çıktısının SHA-256 değeri hesaplanıyor.\r\nLütfen bekleyin."};

class THistoryCommands {
public:
  explicit THistoryCommands(const THistoryCommandServices& services);
  // Waits for a work still running (its end is then not shown).
  ~THistoryCommands();
  THistoryCommands(const THistoryCommands&) = delete;
  THistoryCommands& operator=(const THistoryCommands&) = delete;

  bool Busy() const { return FWork.Busy(); }

  // Each takes the selected entry, read afresh from the history (nullopt: none selected).
  void mnuHistoryRestoreClick(const std::optional<TBackupHistoryItem>& selected);
  void mnuHistorySendMailClick(const std::optional<TBackupHistoryItem>& selected);
  void mnuHistoryExportPdfClick(const std::optional<TBackupHistoryItem>& selected);
  void mnuHistoryVerifyClick(const std::optional<TBackupHistoryItem>& selected);

  void RestoreHistoryItem(const TBackupHistoryItem& item);

private:
  struct TRestoreRun;
  void StartAnalysis(std::shared_ptr<TRestoreRun> run);
  void RunAnalysis(TRestoreRun& run);
  TChainRestoreCallbacks ChainCallbacks(size_t outputs);
  void AnalysisDone(std::shared_ptr<TRestoreRun> run, const std::string& error);
  void StartRestore(std::shared_ptr<TRestoreRun> run);
  void RunRestore(TRestoreRun& run);
  void RestoreDone(std::shared_ptr<TRestoreRun> run, const std::string& error);
  // Shows the wait window and runs `work` behind it; `done` follows once the window is closed. `readOutput`, when
  // not empty, is leased from the core meanwhile.
  void RunBehindWaitWindow(const TWaitWindowText& wait, std::function<void()> work,
                           std::function<void(const std::string& error)> done, const std::string& readOutput = {});

  THistoryCommandServices FServices;
  TBackgroundJob FWork;
};

}  // namespace velkor
