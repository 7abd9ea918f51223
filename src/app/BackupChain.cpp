#include "app/BackupChain.h"

#include <algorithm>
#include <set>

#include "engine/BackupEngine.h"
#include "engine/LongPathUtils.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr const char* ChainCardTimePicture = "dd.mm hh:nn";

// Sorted, first spelling kept, blanks left out.
std::set<std::string, TTextLess> KnownFileSet(const std::vector<std::string>& entries) {
  std::set<std::string, TTextLess> result;
  for (const std::string& entry : entries)
    if (!Trim(entry).empty()) result.insert(entry);
  return result;
}

// Whether the file lies below one of the folders (letter case ignored), so the engine knows it by its reference
// name.
bool UnderAnySourceFolder(const std::vector<std::string>& folders, const std::string& file) {
  for (const std::string& folder : folders) {
    const std::string native = ToNativePath(folder).string();
    if (native.empty()) continue;
    if (StartsText(native.back() == '/' ? native : native + "/", file)) return true;
  }
  return false;
}

}  // namespace

bool ChainOutputExists(std::string_view path) {
  const std::string trimmed = Trim(path);
  if (trimmed.empty()) return false;
  if (StartsText("s3://", trimmed)) return true;
  return LongFileExists(trimmed) || LongDirectoryExists(trimmed);
}

void PruneMissingChainItems(TBackupTask& task) {
  auto& chain = task.BackupChain;
  for (size_t i = chain.size(); i-- > 0;)
    if (!ChainOutputExists(chain[i]->OutputPath)) chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
}

TBackupChainItem* FindLatestChainItem(TBackupTask& task, int typeFilter, std::string_view setId) {
  TBackupChainItem* best = nullptr;
  for (const auto& item : task.BackupChain) {
    if (!setId.empty() && !SameText(setId, item->SetId)) continue;
    if (typeFilter >= 0 && typeFilter != item->EffectiveType) continue;
    if (!ChainOutputExists(item->OutputPath)) continue;
    if (best == nullptr || item->BackupTime > best->BackupTime) best = item.get();
  }
  return best;
}

TBackupChainItem* FindChainItemById(TBackupTask& task, std::string_view id) {
  if (Trim(id).empty()) return nullptr;
  for (const auto& item : task.BackupChain)
    if (SameText(item->BackupId, id)) return item.get();
  return nullptr;
}

std::vector<std::string> MergeKnownFiles(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::set<std::string, TTextLess> merged = KnownFileSet(a);
  for (const std::string& entry : b)
    if (!Trim(entry).empty()) merged.insert(entry);
  return {merged.begin(), merged.end()};
}

std::vector<std::string> BuildKnownFiles(const TBackupTask& task, const TBackupResultSnapshot& snapshot) {
  std::vector<std::string> entries;
  // The engine's own reference names, so the next run compares against exactly what it will compute.
  for (const TBackupFileDetail& file : snapshot.SuccessfulFiles)
    entries.push_back(UnderAnySourceFolder(task.SourceFolders, file.FileName)
                          ? MakeReferenceName(task.SourceFolders, file.FileName)
                          : file.FileName);
  const std::set<std::string, TTextLess> sorted = KnownFileSet(entries);
  return {sorted.begin(), sorted.end()};
}

TBackupType RequestedTypeOf(int scheduledType, TBackupType manualType) {
  switch (scheduledType) {
    case 1: return btFull;
    case 2: return btDifferential;
    case 3: return btIncremental;
    default: return manualType;
  }
}

TRunPlan PlanBackupRun(TBackupTask& task, TBackupType requestedType) {
  TRunPlan plan;
  plan.RequestedType = requestedType;
  PruneMissingChainItems(task);
  const TBackupChainItem* baseFull = FindLatestChainItem(task, btFull, "");
  if (requestedType != btFull && baseFull == nullptr) {
    plan.EffectiveType = btFull;
    plan.FellBackToFull = true;
    return plan;
  }
  plan.EffectiveType = requestedType;
  if (requestedType == btFull) return plan;

  plan.SetId = baseFull->SetId;
  plan.BaseFullBackupId = baseFull->BackupId;
  plan.ReferenceFullBackupTime = baseFull->BackupTime;
  if (requestedType == btDifferential) {
    plan.ParentBackupId = baseFull->BackupId;
    plan.ReferenceFileNames = baseFull->KnownFiles;
    return plan;
  }
  // Incremental: the newest backup of the set, whatever its type; at least the full backup itself.
  const TBackupChainItem* parent = FindLatestChainItem(task, AnyBackupType, baseFull->SetId);
  if (parent != nullptr) {
    plan.ParentBackupId = parent->BackupId;
    plan.ReferenceBackupTime = parent->BackupTime;
    plan.ReferenceFileNames = parent->KnownFiles;
  } else {
    plan.ReferenceBackupTime = baseFull->BackupTime;
    plan.ReferenceFileNames = baseFull->KnownFiles;
  }
  return plan;
}

TChainCard BuildChainCard(TBackupTask* task, const TFormatSettings& fs) {
  TChainCard card;
  if (task == nullptr) return card;
  PruneMissingChainItems(*task);
  const TBackupChainItem* latestFull = FindLatestChainItem(*task, btFull, "");
  const TBackupChainItem* latest = FindLatestChainItem(*task, AnyBackupType, "");
  const bool hasBase = task->BackupType == btFull || latestFull != nullptr;

  card.Effective = hasBase ? BackupTypeToText(task->BackupType) : "Tam (otomatik ilk taban)";
  std::set<std::string, TTextLess> sets;
  for (const auto& item : task->BackupChain)
    if (!Trim(item->SetId).empty() && ChainOutputExists(item->OutputPath)) sets.insert(item->SetId);
  card.TotalSets = std::to_string(sets.size()) + " set";
  card.BaseFull =
      latestFull != nullptr ? FormatDateTime(ChainCardTimePicture, latestFull->BackupTime, fs) : "Henüz yok";
  card.SetId = latest != nullptr && !latest->SetId.empty() ? latest->SetId.substr(0, 8) : "-";
  card.Next = hasBase ? BackupTypeToText(task->BackupType) : "Tam";
  if (latest != nullptr) {
    int counts[3] = {0, 0, 0};
    for (const auto& item : task->BackupChain)
      if (SameText(item->SetId, latest->SetId) && item->EffectiveType >= btFull && item->EffectiveType <= btIncremental)
        ++counts[item->EffectiveType];
    card.SetContents = std::to_string(counts[btFull]) + " tam / " + std::to_string(counts[btDifferential]) +
                       " fark / " + std::to_string(counts[btIncremental]) + " art.";
  } else {
    card.SetContents = "-";
  }
  card.Cleanup = task->LastRetentionCleanupTime > 0
                     ? FormatDateTime(ChainCardTimePicture, task->LastRetentionCleanupTime, fs)
                     : "Henüz yok";

  if (task->BackupType != btFull && latestFull == nullptr) {
    card.Chip = "İlk Çalışma Tam";
    card.ChipBackground = {222, 242, 255};
    card.ChipText = {0, 92, 161};
  } else if (!task->BackupChain.empty()) {
    card.Chip = "Zincir Hazır";
    card.ChipBackground = {238, 247, 233};
    card.ChipText = {67, 122, 31};
  } else {
    card.Chip = "Set Bekleniyor";
  }
  return card;
}

}  // namespace velkor
