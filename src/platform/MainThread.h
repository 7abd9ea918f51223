#pragma once
// Hand-over of work from worker threads to the main thread.
//
// Workers call Post (fire and forget) or Invoke (run on the main thread and wait until it has run). The main
// thread runs the handed-over calls from its event loop through ProcessPending; a main thread that waits for a
// worker keeps calling ProcessPending so that a worker blocked in Invoke can finish (no deadlock on shutdown).
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velkor {

class IMainThread {
public:
  virtual ~IMainThread() = default;
  // Any thread: run `fn` later on the main thread.
  virtual void Post(std::function<void()> fn) = 0;
  // Any thread: run `fn` on the main thread and return after it has run (inline when called on the main thread).
  // An exception thrown by `fn` is rethrown to the caller.
  virtual void Invoke(std::function<void()> fn) = 0;
  // Main thread: run every call handed over so far, in order. Returns how many ran.
  virtual int ProcessPending() = 0;
};

// A queue-based implementation shared by the window, the command-line tool and the tests. The thread that
// constructs it is the main thread. `wakeup`, when given, is called (from the handing-over thread) each time a
// call is queued, so an event loop can schedule a ProcessPending.
class TQueuedMainThread final : public IMainThread {
public:
  explicit TQueuedMainThread(std::function<void()> wakeup = {});

  void Post(std::function<void()> fn) override;
  void Invoke(std::function<void()> fn) override;
  int ProcessPending() override;

  // Main thread: wait up to `timeoutMs` for something to be queued. True when there is work.
  bool WaitForWork(int timeoutMs);
  bool IsMainThread() const { return std::this_thread::get_id() == FMainThreadId; }

private:
  std::thread::id FMainThreadId;
  std::function<void()> FWakeup;
  std::mutex FLock;
  std::condition_variable FQueued;
  std::deque<std::function<void()>> FQueue;
};

}  // namespace velkor
