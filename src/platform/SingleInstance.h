#pragma once
// One running instance per user: a lock file held for the life of the process, plus a local socket through which
// a second start asks the first one to raise its window. The lock is released by the kernel when the process
// ends, however it ends, so a crash never leaves a stale guard behind.
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

namespace velkor {

class TSingleInstanceGuard {
public:
  // `lockFile` defaults to "<app data root>/QeltBackup/instance.lock".
  explicit TSingleInstanceGuard(std::filesystem::path lockFile = {});
  ~TSingleInstanceGuard();
  TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
  TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;

  // True when this process now holds the guard. False when another instance holds it; that instance has then
  // been asked to raise its window. When the lock file cannot be created at all the start goes on (true), as a
  // guard that cannot be set up must not keep the user out.
  bool Acquire();
  bool IsHeld() const { return FLockFd >= 0; }

  // While the guard is held: calls `onRaise` (from a background thread) whenever a second start asks for the
  // window. The caller hands it to its main thread.
  void ListenForRaiseRequests(std::function<void()> onRaise);

private:
  void StopListening();

  std::filesystem::path FLockFile;
  int FLockFd = -1;
  int FListenFd = -1;
  std::atomic<bool> FStopping{false};
  std::thread FListener;
};

}  // namespace velkor
