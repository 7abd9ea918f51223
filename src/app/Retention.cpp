#include "app/Retention.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/BackupChain.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/Leftovers.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

namespace fs = std::filesystem;

constexpr const char* RetentionAppliedMessage = "Retention uygulandı: En eski yedek seti temizlendi.";
constexpr const char* RetentionDeferredMessage =
    "Retention ertelendi: En eski yedek seti şu anda okunuyor (geri yükleme veya doğrulama); bir sonraki yedeklemede "
    "temizlenecek.";
constexpr const char* DeleteWarning = "Retention silme uyarısı: ";
constexpr const char* MirrorDeleteWarning = "Retention cloud silme uyarısı: ";

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

// The ids of the sets beyond the limit, oldest first; on equal stamps the one met first in the chain.
std::vector<std::string> ChooseSetsToRemove(const TBackupTask& task) {
  std::vector<TSetEntry> table = BuildSetTable(task);
  std::vector<std::string> chosen;
  while (table.size() > static_cast<size_t>(task.MaxBackupsToKeep)) {
    auto oldest = table.begin();
    for (auto entry = table.begin(); entry != table.end(); ++entry)
      if (entry->Stamp < oldest->Stamp) oldest = entry;
    chosen.push_back(oldest->SetId);
    table.erase(oldest);
  }
  return chosen;
}

void AddUnique(std::vector<std::string>& paths, const std::string& path) {
  for (const std::string& known : paths)
    if (SameText(known, path)) return;
  paths.push_back(path);
}

// A hand-edited or damaged chain must never turn retention into the deletion of a whole drive or of the data
// being backed up.
void CheckDeletable(const TBackupTask& task, const fs::path& native) {
  if (native == native.root_path()) throw EVelkorError("Kök klasör silinmez: " + native.string());
  const std::string prefix = native.string() + "/";
  for (const std::string& folder : task.SourceFolders) {
    const std::string source = ToNativePath(folder).string() + "/";
    if (source.size() >= prefix.size() && SameText(std::string_view(source).substr(0, prefix.size()), prefix))
      throw EVelkorError("Kaynak klasörü içeren yol silinmez: " + native.string());
  }
}

// An output out of view: renamed to a work entry of its folder and locked there until it is deleted.
struct TRetiredOutput {
  fs::path Path;
  bool Folder = false;
  const char* WarningPrefix = DeleteWarning;
  TWorkLock Lock;
};

[[noreturn]] void RaiseMoveError(const fs::path& path, int err) {
  throw EVelkorError("Yedek silinmek üzere taşınamadı: " + path.string() + " (" + SystemErrorMessage(err) + ")");
}

// Renames the output at `path` over a fresh placeholder beside it (mkstemp for a file or a link, mkdtemp for a
// folder: rename replaces a file by a file and a folder by an empty folder in one step), so the output is either
// whole under its name or gone from it. Nothing for a blank path, a cloud object or a path where nothing is.
std::optional<TRetiredOutput> TakeOutOfView(const TBackupTask& task, const std::string& path) {
  if (Trim(path).empty() || StartsText("s3://", Trim(path))) return std::nullopt;
  if (!LongFileExists(path) && !LongDirectoryExists(path)) return std::nullopt;
  const fs::path native = ToNativePath(path);
  CheckDeletable(task, native);
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) {
    if (errno == ENOENT) return std::nullopt;
    RaiseMoveError(native, errno);
  }
  TRetiredOutput retired;
  retired.Folder = S_ISDIR(st.st_mode);
  std::string work = WorkEntryTemplate(native.parent_path()).string();
  if (retired.Folder) {
    if (::mkdtemp(work.data()) == nullptr) RaiseMoveError(native, errno);
  } else {
    const int fd = ::mkostemp(work.data(), O_CLOEXEC);
    if (fd < 0) RaiseMoveError(native, errno);
    ::close(fd);
  }
  if (::rename(native.c_str(), work.c_str()) != 0) {
    const int err = errno;
    if (retired.Folder)
      ::rmdir(work.c_str());
    else
      ::unlink(work.c_str());
    RaiseMoveError(native, err);
  }
  retired.Path = work;
  retired.Lock = TWorkLock(retired.Path);
  return retired;
}

void Retire(const TBackupTask& task, const std::string& path, const char* warningPrefix,
            std::vector<TRetiredOutput>& retired, const std::function<void(const std::string&)>& addLog) {
  try {
    if (std::optional<TRetiredOutput> out = TakeOutOfView(task, path)) {
      out->WarningPrefix = warningPrefix;
      retired.push_back(std::move(*out));
    }
  } catch (const std::exception& e) {
    addLog(warningPrefix + std::string(e.what()));
  }
}

// Throws with the reason when something stays; what stays is a leftover work entry for a later cleanup.
void DeleteRetired(TRetiredOutput& retired) {
  const std::string path = retired.Path.string();
  if (retired.Folder) {
    LongDeleteDirectory(path, true);
    // The file layer passes over entries it cannot remove; what is left must not go unnoticed.
    if (LongDirectoryExists(path)) throw EVelkorError("Klasör tamamen silinemedi: " + path);
  } else if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw EVelkorError("Dosya silinemedi: " + path + " (" + SystemErrorMessage(errno) + ")");
  }
  retired.Lock.Release();
}

bool SetInUse(const TBackupTask& task, const std::string& setId, const TOutputInUse& outputInUse) {
  if (!outputInUse) return false;
  for (const auto& item : task.BackupChain)
    if (SameText(item->SetId, setId) && (outputInUse(item->OutputPath) || outputInUse(item->MirrorOutputPath)))
      return true;
  return false;
}

}  // namespace

TRetentionPlan PlanRetention(TBackupTask& task, const TOutputInUse& outputInUse,
                             const std::function<void(const std::string&)>& addLog) {
  TRetentionPlan plan;
  if (task.BackupChain.empty()) return plan;
  PruneMissingChainItems(task);
  if (task.MaxBackupsToKeep <= 0) return plan;
  plan.Sets = ChooseSetsToRemove(task);
  std::erase_if(plan.Sets, [&](const std::string& setId) {
    if (!SetInUse(task, setId, outputInUse)) return false;
    if (addLog) addLog(RetentionDeferredMessage);
    return true;
  });
  const auto& chain = task.BackupChain;
  for (const std::string& setId : plan.Sets)
    for (size_t i = chain.size(); i-- > 0;) {
      if (!SameText(chain[i]->SetId, setId)) continue;
      AddUnique(plan.HistoryPaths, chain[i]->OutputPath);
      if (!Trim(chain[i]->MirrorOutputPath).empty()) AddUnique(plan.HistoryPaths, chain[i]->MirrorOutputPath);
    }
  return plan;
}

void RemoveRetainedSets(TBackupTask& task, const TRetentionPlan& plan, IClock& clock,
                        const std::function<void(const std::string&)>& addLog, const std::function<void()>& saveConfig,
                        const TOutputInUse& outputInUse) {
  auto& chain = task.BackupChain;
  auto inSet = [](const TBackupChainItem& item, const std::string& setId) { return SameText(item.SetId, setId); };

  // 2. Each output leaves its name whole; the chain items go whether or not that worked.
  std::vector<TRetiredOutput> retired;
  bool removed = false;
  for (const std::string& setId : plan.Sets) {
    if (std::none_of(chain.begin(), chain.end(), [&](const auto& item) { return inSet(*item, setId); })) continue;
    if (SetInUse(task, setId, outputInUse)) {
      addLog(RetentionDeferredMessage);
      continue;
    }
    for (size_t i = chain.size(); i-- > 0;) {
      if (!inSet(*chain[i], setId)) continue;
      Retire(task, chain[i]->OutputPath, DeleteWarning, retired, addLog);
      Retire(task, chain[i]->MirrorOutputPath, MirrorDeleteWarning, retired, addLog);
      chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
    }
    task.LastRetentionCleanupTime = clock.Now();
    addLog(RetentionAppliedMessage);
    removed = true;
  }
  if (!removed) return;

  // 3. The shortened chain is saved.
  if (saveConfig) saveConfig();

  // 4. Only now is anything deleted.
  for (TRetiredOutput& out : retired) {
    try {
      DeleteRetired(out);
    } catch (const std::exception& e) {
      addLog(out.WarningPrefix + std::string(e.what()));
    }
  }
}

void ApplyRetention(TBackupTask* task, TConfigManager& configManager, IClock& clock,
                    const std::function<void(const std::string&)>& addLog, const std::function<void()>& saveConfig,
                    const TOutputInUse& outputInUse) {
  if (task == nullptr) return;
  const TRetentionPlan plan = PlanRetention(*task, outputInUse, addLog);
  if (plan.Empty()) return;
  // 1. The history lets go of the sets' outputs.
  configManager.DeleteHistoryByOutputPaths(plan.HistoryPaths);
  RemoveRetainedSets(*task, plan, clock, addLog, saveConfig, outputInUse);
}

}  // namespace velkor
