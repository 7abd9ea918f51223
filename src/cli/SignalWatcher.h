#pragma once
// Ctrl+C and SIGTERM as events: the signals are blocked in every thread of the process and received by a thread
// of this object's own, which hands each one to a callback. Nothing then runs inside a signal handler, so the
// callback may post to the main thread or wake a pending read. Create it before any other thread starts.
#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace velkor {

class TSignalWatcher {
public:
  explicit TSignalWatcher(std::function<void(int signal)> onSignal);
  // Stops watching and unblocks the signals again.
  ~TSignalWatcher();
  TSignalWatcher(const TSignalWatcher&) = delete;
  TSignalWatcher& operator=(const TSignalWatcher&) = delete;

private:
  std::function<void(int)> FOnSignal;
  sigset_t FWatched{};
  sigset_t FPrevious{};
  std::atomic<bool> FStopping{false};
  std::thread FThread;
};

}  // namespace velkor
