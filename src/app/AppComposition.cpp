#include "app/AppComposition.h"

#include <chrono>

namespace velkor {

namespace {

// How often the wait for the mails lets the failures they post through.
constexpr auto MailWaitStep = std::chrono::milliseconds(100);

TAppCoreServices CoreServices(const TFrontEnd& frontEnd, IPostRunCloudCopy& cloudCopy, IRunNotification& notification) {
  TAppCoreServices services(frontEnd);
  services.CloudCopy = &cloudCopy;
  services.Notification = &notification;
  return services;
}

}  // namespace

TComposedApp::TComposedApp(const TFrontEnd& frontEnd)
    : FMainThread(frontEnd.MainThread),
      FCloudCopy(frontEnd.Clock),
      FNotification(
          frontEnd.RegistryFile,
          [this, &mainThread = frontEnd.MainThread, alive = std::weak_ptr<int>(FAliveToken)](const std::string& line) {
            mainThread.Post([this, alive, line] {
              if (alive.lock() && FCore) FCore->AddLog(line);
            });
          }),
      FCore(std::make_unique<TAppCore>(CoreServices(frontEnd, FCloudCopy, FNotification))) {}

TComposedApp::~TComposedApp() {
  FCore.reset();
  FAliveToken.reset();
}

bool TComposedApp::WaitForRunNotifications(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool done = false;
  while (!(done = FNotification.WaitForAll(MailWaitStep)) && std::chrono::steady_clock::now() < deadline) {
    FMainThread.ProcessPending();
    FCore->FlushPendingLogs();
  }
  FMainThread.ProcessPending();
  FCore->FlushPendingLogs();
  return done;
}

}  // namespace velkor
