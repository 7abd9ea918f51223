#pragma once
// The one place where the application core is put together with every step a run has after the engine: the copy
// to the cloud destination and the run's e-mail report. The window, `velkor-cli run` and `velkor-cli daemon` each
// build their core here, so a front end brings only its view, prompts and main-thread hand-over and never decides
// which steps a run has.
//
// Main thread only. The run mails go out on threads of their own; their failures come back as log lines through
// the main thread's queue.
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/AppCore.h"
#include "app/EmailCommands.h"
#include "app/PostRunCloudCopy.h"

namespace velkor {

class TComposedApp {
public:
  explicit TComposedApp(const TFrontEnd& frontEnd);
  // The core goes first (a running backup is cancelled and recorded); mails still in flight end on their own.
  ~TComposedApp();
  TComposedApp(const TComposedApp&) = delete;
  TComposedApp& operator=(const TComposedApp&) = delete;

  TAppCore& Core() { return *FCore; }
  // For a process about to end: waits up to `timeout` for the run mails still in flight, showing their failures.
  bool WaitForRunNotifications(std::chrono::milliseconds timeout);

private:
  IMainThread& FMainThread;
  // Failure lines posted by a mail's thread reach the core only while it lives.
  std::shared_ptr<int> FAliveToken = std::make_shared<int>(0);
  TPostRunCloudCopy FCloudCopy;
  TRunEmailNotification FNotification;
  std::unique_ptr<TAppCore> FCore;
};

}  // namespace velkor
