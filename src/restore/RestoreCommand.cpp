#include "restore/RestoreCommand.h"

#include <algorithm>
#include <cstdio>

#include "engine/LongPathUtils.h"
#include "restore/RestoreManager.h"
#include "util/DateTime.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string CountsLine(const char* format, int32_t restored, int32_t skipped) {
  char line[160];
  std::snprintf(line, sizeof line, format, restored, skipped);
  return line;
}

// The refusals made before anything is read: no target, a target that is one of the sources, encrypted content
// without a password. Fills `target` (trimmed) and `password`; false after printing the refusal.
bool CheckRestoreRequest(const TBackupHistoryItem& item, const TBackupConfig& config, const std::string& targetFolder,
                         bool needsPassword, const TRestorePasswordSource& passwordSource, std::ostream& err,
                         std::string& target, std::string& password) {
  target = Trim(targetFolder);
  if (target.empty()) {
    err << "Lütfen bir hedef klasör seçin.\n";
    return false;
  }
  for (const auto& source : GetRestoreSourceFolders(item, config)) {
    if (IsSameFolder(target, source)) {
      err << "Geri yükleme hedefi kaynak klasör ile aynı olamaz.\nKaynak: " << source
          << "\nLütfen farklı bir hedef klasör seçin.\n";
      return false;
    }
  }
  password.clear();
  if (!needsPassword) return true;
  password = passwordSource.StoredPassword;
  if (Trim(password).empty() && passwordSource.Prompt) password = passwordSource.Prompt();
  if (!Trim(password).empty()) return true;
  err << RestorePasswordRequiredMessage << "\n";
  return false;
}

void PrintAnalysis(const TRestoreAnalysis& analysis, TRestoreConflictAction action, const std::string& target,
                   std::ostream& out) {
  out << "Toplam geri yüklenecek dosya: " << analysis.TotalFiles << "\n"
      << "Çakışacak mevcut dosya: " << analysis.ConflictCount << "\n"
      << "Çakışma davranışı: " << (action == rcRename ? "Yeniden adlandır" : "Atla") << "\n"
      << "Hedef klasör: " << target << "\n";
  if (!analysis.FirstConflictPath.empty()) out << "İlk çakışma: " << analysis.FirstConflictPath << "\n";
}

// `text` followed by blanks up to `width` characters (not bytes: "Artımlı" has two-byte letters).
std::string PadRight(const std::string& text, size_t width) {
  size_t characters = 0;
  for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return text + std::string(width > characters ? width - characters : 0, ' ');
}

void PrintPlan(const TBackupHistoryItem& item, const TChainRestorePlan& plan, std::ostream& out) {
  out << "Geri yükleme planı: " << plan.TaskName << ", " << FormatDateTime("dd.mm.yyyy hh:nn:ss", item.BackupTime)
      << " itibarıyla; " << plan.Steps.size() << " yedek bu sırayla geri yüklenir:\n";
  for (size_t i = 0; i < plan.Steps.size(); ++i) {
    const TChainRestoreStep& step = plan.Steps[i];
    out << "  " << i + 1 << ". " << FormatDateTime("dd.mm.yyyy hh:nn:ss", step.BackupTime) << "  "
        << PadRight(BackupTypeToText(step.Type), 8) << step.OutputPath << "\n";
  }
}

void PrintFilesPerStep(const TChainRestoreResult& result, std::ostream& out) {
  out << "Alınan dosyalar:";
  for (size_t i = 0; i < result.FilesPerStep.size(); ++i)
    out << (i == 0 ? " " : ", ") << i + 1 << ". yedekten " << result.FilesPerStep[i];
  out << "\n";
}

}  // namespace

std::string RestoreCompletedLogLine(int32_t restored, int32_t skipped) {
  return CountsLine("Geri yükleme tamamlandı: %d dosya geri yüklendi, %d dosya atlandı.", restored, skipped);
}

std::vector<std::string> GetRestoreSourceFolders(const TBackupHistoryItem& item, const TBackupConfig& config) {
  std::vector<std::string> folders;
  for (const auto& folder : item.SourceFolders)
    if (!Trim(folder).empty()) folders.push_back(folder);
  if (!folders.empty()) return folders;
  for (const auto& task : config.Tasks) {
    if (!SameText(task->Name, item.TaskName)) continue;
    for (const auto& folder : task->SourceFolders)
      if (!Trim(folder).empty()) folders.push_back(folder);
    break;
  }
  return folders;
}

bool IsSameFolder(const std::string& a, const std::string& b) {
  return SameText(WithoutTrailingSeparators(ToNativePath(a).string()),
                  WithoutTrailingSeparators(ToNativePath(b).string()));
}

int RunRestoreCommand(const TBackupHistoryItem& item, const TBackupConfig& config, const std::string& targetFolder,
                      bool skipExisting, const TRestorePasswordSource& passwordSource, std::ostream& out,
                      std::ostream& err, IClock& clock) {
  std::string target, password;
  if (!CheckRestoreRequest(item, config, targetFolder, TRestoreManager::RestoreRequiresPassword(item.OutputPath),
                           passwordSource, err, target, password))
    return 1;

  TRestoreManager manager(clock);
  const TRestoreConflictAction action = skipExisting ? rcSkip : rcRename;
  TRestoreAnalysis analysis;
  try {
    analysis = manager.AnalyzeRestore(item.OutputPath, target, password);
  } catch (const std::exception& e) {
    err << "Geri yükleme analizi başarısız: " << e.what() << "\n";
    return 1;
  }
  PrintAnalysis(analysis, action, target, out);
  out << "Geri yükleme başlatıldı: " << item.TaskName << "\n" << std::flush;

  int32_t restored = 0, skipped = 0;
  try {
    manager.RestoreBackupOutput(item.OutputPath, target, password, action, restored, skipped);
  } catch (const std::exception& e) {
    err << "Geri yükleme hatası: " << e.what() << "\n";
    return 1;
  }
  out << RestoreCompletedLogLine(restored, skipped) << "\n";
  return 0;
}

int RunChainRestoreCommand(const TBackupHistoryItem& item, const TBackupConfig& config,
                           const std::vector<TBackupHistoryItem>& history, const std::string& targetFolder,
                           bool skipExisting, bool dryRun, const TRestorePasswordSource& passwordSource,
                           const TChainRestoreCallbacks& callbacks, std::ostream& out, std::ostream& err,
                           IClock& clock) {
  TChainRestorePlan plan;
  try {
    plan = PlanChainRestore(item, config, history);
  } catch (const std::exception& e) {
    err << "Geri yükleme planı oluşturulamadı: " << e.what() << "\n";
    return 1;
  }
  PrintPlan(item, plan, out);
  if (dryRun) return 0;

  std::string target, password;
  if (!CheckRestoreRequest(item, config, targetFolder, plan.RequiresPassword, passwordSource, err, target, password))
    return 1;
  TChainRestore restore(std::move(plan), target, password, clock);
  std::fill(password.begin(), password.end(), '\0');
  const TRestoreConflictAction action = skipExisting ? rcSkip : rcRename;
  try {
    if (!restore.Prepare(callbacks)) {
      err << "Geri yükleme iptal edildi.\n";
      return 1;
    }
  } catch (const std::exception& e) {
    err << "Geri yükleme analizi başarısız: " << e.what() << "\n";
    return 1;
  }
  PrintAnalysis(restore.Analysis(), action, target, out);
  out << "Geri yükleme başlatıldı: " << restore.Plan().TaskName << "\n" << std::flush;

  TChainRestoreResult result;
  try {
    result = restore.Restore(action, callbacks);
  } catch (const std::exception& e) {
    err << "Geri yükleme hatası: " << e.what() << "\n";
    return 1;
  }
  PrintFilesPerStep(result, out);
  if (result.Cancelled) {
    err << CountsLine("Geri yükleme iptal edildi: %d dosya geri yüklendi, %d dosya atlandı.", result.RestoredCount,
                      result.SkippedCount)
        << "\n";
    return 1;
  }
  out << RestoreCompletedLogLine(result.RestoredCount, result.SkippedCount) << "\n";
  return 0;
}

}  // namespace velkor
