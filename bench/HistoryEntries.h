#pragma once
// The history entries the history benchmarks write: one run of a task over `files` files of one source folder.
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "config/ConfigManager.h"
#include "config/HistoryItem.h"
#include "config/JsonFormat.h"
#include "util/DateTime.h"

namespace velkor::bench {

// Entry `index` of a history whose runs come `daysApart` days after one another from `first`.
inline TBackupHistoryItem MakeHistoryEntry(int index, int files, TDateTime first, double daysApart) {
  TBackupHistoryItem item;
  item.BackupTime = first + index * daysApart;
  item.Success = true;
  item.TaskName = "Muhasebe Belgeleri";
  item.Details = "Yedekleme başarıyla tamamlandı";
  item.StorageModeText = "Lokal Disk";
  item.OutputPath = "/mnt/yedek/Muhasebe Belgeleri_" + std::to_string(index) + ".zip";
  item.LocalOutputPath = item.OutputPath;
  item.Checksum = std::string(64, 'e');
  item.Verified = true;
  item.SourceFolders = {"/home/ayşe/Belgeler"};
  item.SourceCount = 1;
  item.FileCount = files;
  for (int f = 0; f < files; ++f)
    item.Files.push_back(
        {"/home/ayşe/Belgeler/klasör " + std::to_string(f % 40) + "/dosya-" + std::to_string(f) + ".txt", 1000 + f,
         true});
  return item;
}

// Writes `file` as the store would, one entry at a time, so a large history is never whole in memory.
inline void WriteHistoryFile(const std::filesystem::path& file, int entries,
                             const std::function<TBackupHistoryItem(int index)>& makeEntry) {
  std::ofstream out(file, std::ios::binary);
  out << Utf8Bom << '[';
  std::string buffer;
  for (int i = 0; i < entries; ++i) {
    buffer.clear();
    if (i) buffer += ',';
    AppendHistoryItemJson(buffer, makeEntry(i));
    out << buffer;
  }
  out << ']' << JsonFileLineEnd;
}

}  // namespace velkor::bench
