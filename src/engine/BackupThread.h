#pragma once
// The worker of one backup run: a thread that runs its engine's ExecuteBackup once and then ends.
//
// It is created idle and started explicitly, so the engine can choose its priority first. It never frees itself:
// the engine owns it and frees it once the run has ended. Terminate only raises a flag that the run polls.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace velkor {

class TBackupEngine;

class TBackupThread {
public:
  explicit TBackupThread(TBackupEngine& backupEngine);
  // Waits for the thread; the owner has already made sure the run is ending.
  ~TBackupThread();
  TBackupThread(const TBackupThread&) = delete;
  TBackupThread& operator=(const TBackupThread&) = delete;

  // With `lowPriority` the thread lowers its own scheduling priority before the run begins.
  void Start(bool lowPriority);
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  // True once the run has returned (or when the thread was never started).
  bool Finished() const { return FFinished; }
  // Waits up to `timeoutMs` of real time for the run to end. True when it has.
  bool WaitFor(uint32_t timeoutMs);

private:
  void Execute(bool lowPriority);

  TBackupEngine& FBackupEngine;
  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{true};
  std::mutex FEndLock;
  std::condition_variable FEnded;
};

}  // namespace velkor
