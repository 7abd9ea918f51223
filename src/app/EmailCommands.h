#pragma once
// The e-mail features of the main window that velkor-cli shares: the run notification plugged into the
// completion handling, and the history-entry mail of the history list's menu.
#include <chrono>
#include <filesystem>

#include "app/BackupResultSnapshot.h"
#include "app/IAppPrompts.h"
#include "app/IPostRunSteps.h"
#include "config/HistoryItem.h"
#include "notify/RunNotification.h"

namespace velkor {

// The run's fields and the names of its successful and failed files, copied for the notification's thread.
TRunReport MakeRunReport(const TBackupResultSnapshot& snapshot);

// Each finished run's mail on its own background thread. Main thread only; the failure report is called on the
// notification's thread (see TRunNotificationThreads).
class TRunEmailNotification final : public IRunNotification {
public:
  explicit TRunEmailNotification(std::filesystem::path registryFile = {},
                                 TRunNotificationThreads::TFailureReport onFailure = {});
  void StartEmailNotificationAsync(const TBackupResultSnapshot& snapshot) override;
  // For a process about to end: waits up to `timeout` for the mails still in flight.
  bool WaitForAll(std::chrono::milliseconds timeout) { return FThreads.WaitForAll(timeout); }
  void SetTimeouts(const TSmtpTimeouts& timeouts) { FThreads.SetTimeouts(timeouts); }

private:
  TRunNotificationThreads FThreads;
};

inline constexpr char HistoryMailNoSelectionMessage[] = "Lütfen e-posta göndermek istediğiniz log kaydını seçin.";
inline constexpr char HistoryMailSentLogLine[] = "Seçili history kaydı e-posta ile gönderildi.";

// The history-entry mail to every stored recipient, without messages: empty when it was sent, else the message to
// show ("Mail gönderme hatası: " and why). Blocks until the SMTP exchange ends; any thread.
std::string SendHistoryMail(const TBackupHistoryItem& item, const std::filesystem::path& registryFile = {},
                            const TSmtpTimeouts& timeouts = {});

// "Log Dosyasını Mail Gönder" on the history entry `item` (null: none selected). Blocks until the SMTP exchange
// ends; shows its messages through `prompts` and logs the success. True when the mail was sent.
bool SendHistoryEntryMail(const TBackupHistoryItem* item, IAppPrompts& prompts, const TAddLog& addLog,
                          const std::filesystem::path& registryFile = {}, const TSmtpTimeouts& timeouts = {});

}  // namespace velkor
