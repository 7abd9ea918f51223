#include "app/RestoreFlow.h"

#include <algorithm>
#include <cstdio>

#include "restore/RestoreCommand.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

// Of the bar over a restore of an archive, what the unpacking takes: it writes every byte, while the placing only
// moves the unpacked files into the target.
constexpr int UnpackShare = 90;

int Share(int64_t done, int64_t total, int width) {
  if (total <= 0) return width;
  return static_cast<int>(static_cast<double>(std::clamp<int64_t>(done, 0, total)) / static_cast<double>(total) *
                          width);
}

}  // namespace

std::string DefaultRestoreTarget(const std::string& desktopFolder, TDateTime now) {
  std::string folder = desktopFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + "Restore_" + FormatDateTime("yyyymmdd_hhnnss", now);
}

std::string RestoreWizardInfoText(const TBackupHistoryItem& item) {
  return "Seçili Kayıt : " + item.TaskName + "\r\nÇıktı : " + item.OutputPath +
         "\r\nMevcut dosyaların üzerine doğrudan yazılmaz.";
}

std::optional<TChainRestorePlan> OfferedChainRestorePlan(const TBackupHistoryItem& item, const TBackupConfig& config) {
  try {
    TChainRestorePlan plan = PlanChainRestore(item, config);
    if (plan.Steps.size() > 1) return plan;
  } catch (const std::exception&) {
    // An entry outside a whole chain is restored from its own output, as ever.
  }
  return std::nullopt;
}

std::string AsOfOptionCaption(const TChainRestorePlan& plan) {
  return "Kaydın tarihindeki durumu geri yükle (zincirdeki " + std::to_string(plan.Steps.size()) +
         " yedekten, tam yedekle başlayarak)";
}

std::optional<std::string> CheckRestoreRequest(const TBackupHistoryItem& item, const TBackupConfig& config,
                                               const TRestoreWizardOptions& options, bool needsPassword) {
  const std::string target = Trim(options.TargetFolder);
  if (target.empty()) return "Lütfen bir hedef klasör seçin.";
  if (needsPassword && Trim(options.EncryptionPassword).empty()) return std::string(RestorePasswordRequiredMessage);
  for (const std::string& source : GetRestoreSourceFolders(item, config))
    if (IsSameFolder(target, source))
      return "Geri yükleme hedefi kaynak klasör ile aynı olamaz.\r\nKaynak: " + source +
             "\r\nLütfen farklı bir hedef klasör seçin.";
  return std::nullopt;
}

std::string RestoreConfirmationText(const TRestoreAnalysis& analysis, TRestoreConflictAction action,
                                    const std::string& target, size_t chainOutputs) {
  std::string text =
      "Ön analiz tamamlandı.\r\n\r\nToplam geri yüklenecek dosya: " + std::to_string(analysis.TotalFiles) +
      "\r\nÇakışacak mevcut dosya: " + std::to_string(analysis.ConflictCount) +
      "\r\nÇakışma davranışı: " + (action == rcRename ? "Yeniden adlandır" : "Atla") + "\r\nHedef klasör: " + target;
  if (!analysis.FirstConflictPath.empty()) text += "\r\nİlk çakışma: " + analysis.FirstConflictPath;
  if (chainOutputs > 0)
    text += "\r\nYedek zinciri: " + std::to_string(chainOutputs) + " yedek, kaydın tarihindeki durum";
  return text + "\r\n\r\nGeri yükleme başlatılsın mı?";
}

std::string RestoreCompletedMessage(int32_t restored, int32_t skipped) {
  char text[160];
  std::snprintf(text, sizeof text, "Geri yükleme tamamlandı.\r\nGeri yüklenen dosya: %d\r\nAtlanan dosya: %d", restored,
                skipped);
  return text;
}

TRestoreProgressDisplay RestoreProgressDisplay(const TRestoreProgress& p, bool unpacked) {
  const std::string name(p.Name);
  switch (p.Stage) {
    case rsDecrypt: return {-1, "Şifreli yedek çözülüyor..."};
    case rsUnpack: return {Share(p.Done, p.Total, UnpackShare), "Arşiv açılıyor: " + name};
    case rsPlace: break;
  }
  const int base = unpacked ? UnpackShare : 0;
  const int percent = base + Share(p.Done, p.Total, 100 - base);
  if (name.empty()) return {percent, "Geri yükleme tamamlanıyor..."};
  return {percent, "Geri yükleniyor: " + name};
}

TRestoreProgressDisplay ChainRestoreProgressDisplay(const TChainRestoreProgress& p, size_t outputs) {
  if (p.Phase == TChainRestoreProgress::cpReading)
    return {p.Percent, "Yedekler okunuyor: " + std::to_string(std::min<size_t>(p.Step + 1, outputs)) + " / " +
                           std::to_string(outputs)};
  if (p.FileName.empty()) return {p.Percent, "Geri yükleme tamamlanıyor..."};
  return {p.Percent, "Geri yükleniyor: " + p.FileName};
}

}  // namespace velkor
