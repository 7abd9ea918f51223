#include "notify/RunNotification.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/AppPaths.h"

namespace velkor {

struct TRunNotificationThreads::TShared {
  std::mutex Lock;
  std::condition_variable Finished;
  int InFlight = 0;
  TFailureReport OnFailure;
};

bool SendRunNotification(const TRunReport& report, const std::filesystem::path& registryFile,
                         const TSmtpTimeouts& timeouts) {
  TEmailNotifier notifier(registryFile);
  notifier.SetTimeouts(timeouts);
  notifier.LoadSettings();
  if (notifier.Recipients().empty() || !notifier.NotificationsEnabled()) return false;
  notifier.SendNotification(RunNotificationSubject(report), RunNotificationBody(report), std::string(), true);
  return true;
}

TRunNotificationThreads::TRunNotificationThreads(std::filesystem::path registryFile, TFailureReport onFailure)
    : FRegistryFile(registryFile.empty() ? GetRegistryFile() : std::move(registryFile)),
      FShared(std::make_shared<TShared>()) {
  FShared->OnFailure = std::move(onFailure);
}

TRunNotificationThreads::~TRunNotificationThreads() {
  std::lock_guard<std::mutex> guard(FShared->Lock);
  FShared->OnFailure = nullptr;
}

void TRunNotificationThreads::Start(TRunReport report) {
  {
    std::lock_guard<std::mutex> guard(FShared->Lock);
    ++FShared->InFlight;
  }
  try {
    std::thread([shared = FShared, file = FRegistryFile, timeouts = FTimeouts, report = std::move(report)] {
      std::string failure;
      try {
        SendRunNotification(report, file, timeouts);
      } catch (const std::exception& e) {
        failure = e.what();
      } catch (...) {
        failure = "beklenmeyen bir hata oluştu";
      }
      std::lock_guard<std::mutex> guard(shared->Lock);
      if (!failure.empty() && shared->OnFailure) shared->OnFailure("E-posta bildirimi gönderilemedi: " + failure);
      --shared->InFlight;
      shared->Finished.notify_all();
    }).detach();
  } catch (const std::exception&) {
    // No thread could be made: this run goes without its mail, as if the send had failed.
    std::lock_guard<std::mutex> guard(FShared->Lock);
    --FShared->InFlight;
  }
}

bool TRunNotificationThreads::WaitForAll(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(FShared->Lock);
  return FShared->Finished.wait_for(guard, timeout, [this] { return FShared->InFlight == 0; });
}

}  // namespace velkor
