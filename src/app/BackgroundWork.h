#pragma once
// Long work of a window command (a restore, a mail, a report, a checksum) on a thread of its own, so the window
// keeps painting while it runs; its end is handed to the main thread. One work at a time.
//
// Start, Busy and the destructor belong to the main thread. The work may hand calls to the main thread with Post
// from its thread; calls that arrive after the object is gone are dropped.
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/MainThread.h"

namespace velkor {

class TBackgroundWork {
public:
  explicit TBackgroundWork(IMainThread& mainThread) : FMainThread(mainThread) {}
  // Waits for a running work to end; its completion is dropped.
  ~TBackgroundWork();
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // From Start until its completion has run.
  bool Busy() const { return FBusy; }
  // Runs `work` on a new thread; afterwards `done` runs on the main thread with the message of what `work` threw,
  // empty when it returned. Not while Busy.
  void Start(std::function<void()> work, std::function<void(const std::string& error)> done);
  // Any thread: runs `fn` on the main thread later, unless this object is gone by then.
  void Post(std::function<void()> fn);

private:
  IMainThread& FMainThread;
  std::thread FThread;
  bool FBusy = false;
  // Posted calls hold a weak reference, so a call that runs after the object is gone does nothing.
  std::shared_ptr<int> FAliveToken = std::make_shared<int>(0);
};

}  // namespace velkor
