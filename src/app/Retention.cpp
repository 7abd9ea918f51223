#include "app/Retention.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "app/BackupChain.h"
#include "engine/LongPathUtils.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr const char* RetentionAppliedMessage = "Retention uygulandı: En eski yedek seti temizlendi.";

struct TSetEntry {
  std::string SetId;
  std::string Stamp;  // the oldest item's time as yyyymmddhhnnsszzz, so text order is time order
};

std::vector<TSetEntry> BuildSetTable(const TBackupTask& task) {
  std::vector<TSetEntry> table;
  for (const auto& item : task.BackupChain) {
    if (Trim(item->SetId).empty()) continue;
    const std::string stamp = FormatDateTime("yyyymmddhhnnsszzz", item->BackupTime);
    auto known = std::find_if(table.begin(), table.end(),
                              [&](const TSetEntry& entry) { return SameText(entry.SetId, item->SetId); });
    if (known == table.end())
      table.push_back({item->SetId, stamp});
    else if (stamp < known->Stamp)
      known->Stamp = stamp;
  }
  return table;
}

void AddUnique(std::vector<std::string>& paths, const std::string& path) {
  for (const std::string& known : paths)
    if (SameText(known, path)) return;
  paths.push_back(path);
}

// A hand-edited or damaged chain must never turn retention into the deletion of a whole drive or of the data
// being backed up.
void CheckDeletable(const TBackupTask& task, const std::string& path) {
  const std::filesystem::path native = ToNativePath(path);
  if (native == native.root_path()) throw EVelkorError("Kök klasör silinmez: " + native.string());
  const std::string prefix = native.string() + "/";
  for (const std::string& folder : task.SourceFolders) {
    const std::string source = ToNativePath(folder).string() + "/";
    if (source.size() >= prefix.size() && SameText(std::string_view(source).substr(0, prefix.size()), prefix))
      throw EVelkorError("Kaynak klasörü içeren yol silinmez: " + native.string());
  }
}

// Deletes a file, or else a folder with its content. Throws with the reason when something stays.
void DeleteOutput(const TBackupTask& task, const std::string& path) {
  if (Trim(path).empty() || StartsText("s3://", Trim(path))) return;
  if (LongFileExists(path)) {
    CheckDeletable(task, path);
    LongDeleteFile(path);
  } else if (LongDirectoryExists(path)) {
    CheckDeletable(task, path);
    LongDeleteDirectory(path, true);
    // The file layer passes over entries it cannot remove; what is left must not go unnoticed.
    if (LongDirectoryExists(path)) throw EVelkorError("Klasör tamamen silinemedi: " + ToNativePath(path).string());
  }
}

}  // namespace

void ApplyRetention(TBackupTask* task, TConfigManager& configManager, IClock& clock,
                    const std::function<void(const std::string&)>& addLog) {
  if (task == nullptr || task->BackupChain.empty()) return;
  PruneMissingChainItems(*task);
  if (task->MaxBackupsToKeep <= 0) return;

  std::vector<TSetEntry> table = BuildSetTable(*task);
  std::vector<std::string> deletedPaths;
  while (table.size() > static_cast<size_t>(task->MaxBackupsToKeep)) {
    // The oldest set; on equal stamps the one met first in the chain.
    auto oldest = table.begin();
    for (auto entry = table.begin(); entry != table.end(); ++entry)
      if (entry->Stamp < oldest->Stamp) oldest = entry;

    auto& chain = task->BackupChain;
    for (size_t i = chain.size(); i-- > 0;) {
      TBackupChainItem& item = *chain[i];
      if (!SameText(item.SetId, oldest->SetId)) continue;
      AddUnique(deletedPaths, item.OutputPath);
      if (!Trim(item.MirrorOutputPath).empty()) AddUnique(deletedPaths, item.MirrorOutputPath);
      try {
        DeleteOutput(*task, item.OutputPath);
      } catch (const std::exception& e) {
        addLog(std::string("Retention silme uyarısı: ") + e.what());
      }
      try {
        DeleteOutput(*task, item.MirrorOutputPath);
      } catch (const std::exception& e) {
        addLog(std::string("Retention cloud silme uyarısı: ") + e.what());
      }
      chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
    }
    table.erase(oldest);
    task->LastRetentionCleanupTime = clock.Now();
    addLog(RetentionAppliedMessage);
  }
  if (!deletedPaths.empty()) configManager.DeleteHistoryByOutputPaths(deletedPaths);
}

}  // namespace velkor
