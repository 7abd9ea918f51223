#pragma once
// What the restore flow of the history list decides, apart from its windows: the wizard's proposals, the
// refusals before the analysis, the confirmation text, the texts of the two wait windows and of the outcome, and
// how far along a running restore is.
#include <cstdint>
#include <optional>
#include <string>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "restore/ChainRestore.h"
#include "restore/RestoreManager.h"
#include "util/DateTime.h"

namespace velkor {

struct TRestoreWizardOptions {
  std::string TargetFolder;  // trimmed
  TRestoreConflictAction ConflictAction = rcRename;
  std::string EncryptionPassword;  // exactly as typed
  // The state as of the entry's run, rebuilt from its backup chain, instead of the entry's own output alone.
  bool AsOfBackup = false;
};

// The wizard's proposed target: "Restore_yyyymmdd_hhnnss" in the user's desktop folder.
std::string DefaultRestoreTarget(const std::string& desktopFolder, TDateTime now);
// The wizard's information: task, output, and that existing files are not written over.
std::string RestoreWizardInfoText(const TBackupHistoryItem& item);

// The plan for restoring the state as of `item`'s run when that takes more than the entry's own output (a
// differential or incremental run whose chain is whole); nullopt when the wizard has nothing more to offer.
std::optional<TChainRestorePlan> OfferedChainRestorePlan(const TBackupHistoryItem& item, const TBackupConfig& config);
// The wizard's choice for such a plan.
std::string AsOfOptionCaption(const TChainRestorePlan& plan);

inline constexpr char RestoreNoSelectionMessage[] = "Lütfen geri yüklemek istediğiniz log kaydını seçin.";
inline constexpr char RestoreBrowseTitle[] = "Geri yükleme hedef klasörünü seçin";

// The checks between the wizard and the analysis, in order: a target, a password where one is needed (not blank),
// a target that is none of the entry's source folders. The message to show, or nullopt to go on.
std::optional<std::string> CheckRestoreRequest(const TBackupHistoryItem& item, const TBackupConfig& config,
                                               const TRestoreWizardOptions& options, bool needsPassword);

// The question after the analysis, with the first conflict when there is one, and the number of outputs when the
// state is rebuilt from a chain (`chainOutputs` 0: the entry's own output alone).
std::string RestoreConfirmationText(const TRestoreAnalysis& analysis, TRestoreConflictAction action,
                                    const std::string& target, size_t chainOutputs = 0);

struct TWaitWindowText {
  std::string Caption;
  std::string Text;
  bool operator==(const TWaitWindowText&) const = default;
};
inline const TWaitWindowText RestoreAnalysisWait{
    "Geri Yükleme Analizi", "Geri yükleme ön analizi yapılıyor.\r\nÇakışacak dosyalar hesaplanıyor, lütfen bekleyin."};
inline const TWaitWindowText RestoreRunningWait{
    "Geri Yükleniyor", "Geri yükleme arka planda çalışıyor.\r\nLütfen işlem tamamlanana kadar bekleyin."};

inline constexpr char RestoreAnalysisFailedPrefix[] = "Geri yükleme analizi başarısız: ";
inline constexpr char RestoreFailedPrefix[] = "Geri yükleme hatası: ";
inline constexpr char RestoreStartedLogPrefix[] = "Geri yükleme başlatıldı: ";
// "Geri yükleme tamamlandı.\r\nGeri yüklenen dosya: %d\r\nAtlanan dosya: %d"
std::string RestoreCompletedMessage(int32_t restored, int32_t skipped);

// A running restore as its wait window shows it: a bar over the whole restore (an archive's unpacking takes most of
// it, the placing of the files the rest) and a line naming the file at hand.
struct TRestoreProgressDisplay {
  int Percent = 0;  // 0..100, or -1 while an encrypted archive is decrypted (no steps to count)
  std::string Text;
  bool operator==(const TRestoreProgressDisplay&) const = default;
};
TRestoreProgressDisplay RestoreProgressDisplay(const TRestoreProgress& progress, bool unpacked);
// The same for a chain of `outputs` outputs: each is read first, then the files are written.
TRestoreProgressDisplay ChainRestoreProgressDisplay(const TChainRestoreProgress& progress, size_t outputs);

}  // namespace velkor
