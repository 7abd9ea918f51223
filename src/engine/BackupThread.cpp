#include "engine/BackupThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include "engine/BackupEngine.h"

namespace velkor {

TBackupThread::TBackupThread(TBackupEngine& backupEngine) : FBackupEngine(backupEngine) {}

TBackupThread::~TBackupThread() {
  if (FThread.joinable()) FThread.join();
}

void TBackupThread::Start(bool lowPriority) {
  FFinished = false;
  FThread = std::thread([this, lowPriority] { Execute(lowPriority); });
}

bool TBackupThread::WaitFor(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(FEndLock);
  return FEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FFinished.load(); });
}

void TBackupThread::Execute(bool lowPriority) {
  if (lowPriority) {
    // Nice level 19 for this thread only (Linux keeps a nice value per thread), not SCHED_IDLE: like the lowest
    // priority level elsewhere it yields to everything else but still progresses on a busy machine, where
    // SCHED_IDLE could hold the backup back indefinitely. A failure only leaves the normal priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
  }
  try {
    FBackupEngine.ExecuteBackup();
  } catch (...) {
    // The run reports its own errors; what is left here is a handler that threw during the completion, and a
    // thread must not let it escape.
  }
  {
    std::lock_guard<std::mutex> guard(FEndLock);
    FFinished = true;
  }
  FEnded.notify_all();
}

}  // namespace velkor
