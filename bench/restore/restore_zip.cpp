// Driver for bench/restore.sh.
//   restore_zip backup <destination> <source folder>...
//       one full compressed run of the backup engine; prints the archive's path
//   restore_zip restore <zip> <target>
//       RestoreBackupOutput into the target with rename; prints "seconds restored skipped"
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "engine/BackupEngine.h"
#include "platform/MainThread.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreManager.h"

namespace {

int Backup(int argc, char** argv) {
  velkor::TQueuedMainThread mainThread;
  velkor::TBackupEngine engine(mainThread);
  std::optional<std::pair<bool, std::string>> completion;
  engine.SetDestinationFolder(argv[2]);
  for (int i = 3; i < argc; ++i) engine.SourceFolders().push_back(argv[i]);
  engine.SetCompressBackup(true);
  engine.SetBackupNamePrefix("Bench");
  engine.SetOnComplete([&](bool success, const std::string& message) { completion.emplace(success, message); });
  engine.StartBackup();
  while (!completion)
    if (mainThread.WaitForWork(100)) mainThread.ProcessPending();
  if (!completion->first) {
    std::fprintf(stderr, "backup failed: %s\n", completion->second.c_str());
    return 1;
  }
  std::printf("%s\n", engine.LastBackupOutputPath().c_str());
  return 0;
}

int Restore(char** argv) {
  velkor::TRestoreManager manager;
  int32_t restored = 0, skipped = 0;
  const auto start = std::chrono::steady_clock::now();
  try {
    manager.RestoreBackupOutput(argv[2], argv[3], "", velkor::rcRename, restored, skipped);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "restore failed: %s\n", e.what());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f %d %d\n", seconds, restored, skipped);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  velkor::InitProcessLocale();
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "backup" && argc >= 4) return Backup(argc, argv);
  if (mode == "restore" && argc == 4) return Restore(argv);
  std::fprintf(stderr, "usage: restore_zip backup <destination> <source>... | restore <zip> <target>\n");
  return 2;
}
