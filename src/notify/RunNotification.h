#pragma once
// The run notification: after every finished run that the completion hands over, one mail on a short-lived
// background thread of its own, working only on private copies (the report and its two name lists) and on its own
// notifier. Several may be in flight at once; none blocks the caller.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "notify/EmailNotifier.h"
#include "notify/EmailReports.h"

namespace velkor {

// Loads the settings and, when there are recipients and notifications are on, sends the report. Raises the
// notifier's error; returns false when there was no one to send to.
bool SendRunNotification(const TRunReport& report, const std::filesystem::path& registryFile,
                         const TSmtpTimeouts& timeouts = {});

class TRunNotificationThreads {
public:
  // Called on the notification's thread with "E-posta bildirimi gönderilemedi: " + the error, when a send failed;
  // hand it to the main thread from there. Empty: failures are dropped.
  using TFailureReport = std::function<void(const std::string& line)>;

  // `registryFile` empty: the user's own store.
  explicit TRunNotificationThreads(std::filesystem::path registryFile = {}, TFailureReport onFailure = {});
  // Does not wait: a notification still in flight ends on its own, no longer reporting.
  ~TRunNotificationThreads();
  TRunNotificationThreads(const TRunNotificationThreads&) = delete;
  TRunNotificationThreads& operator=(const TRunNotificationThreads&) = delete;

  // Returns at once; the thread owns `report`.
  void Start(TRunReport report);
  // Waits up to `timeout` for every notification started so far; true when none is left in flight.
  bool WaitForAll(std::chrono::milliseconds timeout);

  void SetTimeouts(const TSmtpTimeouts& timeouts) { FTimeouts = timeouts; }

private:
  struct TShared;
  std::filesystem::path FRegistryFile;
  TSmtpTimeouts FTimeouts;
  std::shared_ptr<TShared> FShared;
};

}  // namespace velkor
