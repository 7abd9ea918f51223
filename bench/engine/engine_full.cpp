// Driver for bench/engine-full.sh: one whole backup run of a source folder into a destination, timed.
//   engine_full zip|folder|zip-encrypted|incremental <source folder> <destination folder>
// "incremental" runs a compressed incremental run whose reference is now, with every file of the source in the
// reference list, so it finds nothing to back up. Prints "seconds files bytes output" and the run's message on
// standard error; exit status 1 when the run failed.
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/BackupEngine.h"
#include "engine/LongPathUtils.h"

using namespace velkor;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: engine_full zip|folder|zip-encrypted|incremental <source> <destination>\n");
    return 2;
  }
  const std::string mode = argv[1];
  TQueuedMainThread mainThread;
  TBackupEngine engine(mainThread);
  engine.SourceFolders() = {argv[2]};
  engine.SetDestinationFolder(argv[3]);
  engine.SetBackupNamePrefix("Bench");
  engine.SetCompressBackup(mode != "folder");
  if (mode == "zip-encrypted") {
    engine.SetEncryptBackup(true);
    engine.SetEncryptionPassword("bench password");
  }
  if (mode == "incremental") {
    engine.SetBackupType(btIncremental);
    engine.SetReferenceBackupTime(SystemClock().Now());
    for (const auto& file : LongGetFiles(argv[2], "*.*", true))
      engine.ReferenceFileNames().insert(MakeReferenceName(engine.SourceFolders(), file));
  }

  bool done = false;
  bool success = false;
  std::string message;
  engine.SetOnComplete([&](bool ok, const std::string& text) {
    done = true;
    success = ok;
    message = text;
  });
  const auto start = std::chrono::steady_clock::now();
  engine.StartBackup();
  while (!done || engine.IsRunning())
    if (mainThread.WaitForWork(50)) mainThread.ProcessPending();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("%.3f %d %lld %s\n", seconds, engine.LastBackupFileCount(),
              static_cast<long long>(engine.LastBackupTotalSize()),
              engine.LastBackupOutputPath().empty() ? "-" : engine.LastBackupOutputPath().c_str());
  std::fprintf(stderr, "%s\n", message.c_str());
  return success ? 0 : 1;
}
