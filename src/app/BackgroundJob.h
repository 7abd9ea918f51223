#pragma once
// One piece of long work at a time on a thread of its own, so the window stays responsive; what the work found is
// handed back to the main thread. Start, Busy and the destructor are for the main thread only; Post for any thread.
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/MainThread.h"

namespace velkor {

class TBackgroundJob {
public:
  explicit TBackgroundJob(IMainThread& mainThread) : FMainThread(mainThread) {}
  // Waits for running work; its outcome is then dropped.
  ~TBackgroundJob();
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;

  // Runs `work` on a new thread; the function it returns then runs on the main thread, after which the job is no
  // longer busy. `work` must not throw and must not touch what the main thread uses meanwhile. Only while not Busy.
  void Start(std::function<std::function<void()>()> work);
  // The same for work that may throw: `done` runs on the main thread with the message of what `work` threw, empty
  // when it returned.
  void Start(std::function<void()> work, std::function<void(const std::string& error)> done);
  bool Busy() const { return FBusy; }
  // Any thread: runs `fn` on the main thread later, unless the job is gone by then (progress of the work).
  void Post(std::function<void()> fn);

private:
  IMainThread& FMainThread;
  std::thread FThread;
  bool FBusy = false;
  // Completions posted before the job was destroyed hold a weak reference and then do nothing. The work's thread
  // reads only the weak copy, which the destructor leaves alone.
  std::shared_ptr<int> FAliveToken = std::make_shared<int>(0);
  const std::weak_ptr<int> FAlive = FAliveToken;
};

}  // namespace velkor
