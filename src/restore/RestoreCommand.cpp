#include "restore/RestoreCommand.h"

#include <cstdio>

#include "engine/LongPathUtils.h"
#include "restore/RestoreManager.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string RestoreCompletedLine(int32_t restored, int32_t skipped) {
  char line[160];
  std::snprintf(line, sizeof line, "Geri yükleme tamamlandı: %d dosya geri yüklendi, %d dosya atlandı.", restored,
                skipped);
  return line;
}

}  // namespace

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
  const std::string target = Trim(targetFolder);
  if (target.empty()) {
    err << "Lütfen bir hedef klasör seçin.\n";
    return 1;
  }
  for (const auto& source : GetRestoreSourceFolders(item, config)) {
    if (IsSameFolder(target, source)) {
      err << "Geri yükleme hedefi kaynak klasör ile aynı olamaz.\nKaynak: " << source
          << "\nLütfen farklı bir hedef klasör seçin.\n";
      return 1;
    }
  }
  std::string password;
  if (TRestoreManager::RestoreRequiresPassword(item.OutputPath)) {
    password = passwordSource.StoredPassword;
    if (Trim(password).empty() && passwordSource.Prompt) password = passwordSource.Prompt();
    if (Trim(password).empty()) {
      err << RestorePasswordRequiredMessage << "\n";
      return 1;
    }
  }

  TRestoreManager manager(clock);
  const TRestoreConflictAction action = skipExisting ? rcSkip : rcRename;
  TRestoreAnalysis analysis;
  try {
    analysis = manager.AnalyzeRestore(item.OutputPath, target, password);
  } catch (const std::exception& e) {
    err << "Geri yükleme analizi başarısız: " << e.what() << "\n";
    return 1;
  }
  out << "Toplam geri yüklenecek dosya: " << analysis.TotalFiles << "\n"
      << "Çakışacak mevcut dosya: " << analysis.ConflictCount << "\n"
      << "Çakışma davranışı: " << (action == rcRename ? "Yeniden adlandır" : "Atla") << "\n"
      << "Hedef klasör: " << target << "\n";
  if (!analysis.FirstConflictPath.empty()) out << "İlk çakışma: " << analysis.FirstConflictPath << "\n";
  out << "Geri yükleme başlatıldı: " << item.TaskName << "\n" << std::flush;

  int32_t restored = 0, skipped = 0;
  try {
    manager.RestoreBackupOutput(item.OutputPath, target, password, action, restored, skipped);
  } catch (const std::exception& e) {
    err << "Geri yükleme hatası: " << e.what() << "\n";
    return 1;
  }
  out << RestoreCompletedLine(restored, skipped) << "\n";
  return 0;
}

}  // namespace velkor
