#include "app/EmailCommands.h"

#include "notify/EmailNotifier.h"
#include "notify/EmailReports.h"
#include "platform/AppPaths.h"
#include "util/Error.h"

namespace velkor {

TRunReport MakeRunReport(const TBackupResultSnapshot& s) {
  TRunReport report;
  report.BackupTime = s.BackupTime;
  report.Success = s.Success;
  report.Message = s.Message;
  report.BackupName = s.BackupName;
  report.EncryptBackup = s.EncryptBackup;
  report.FileCount = s.FileCount;
  report.TotalSize = s.TotalSize;
  report.OutputPath = s.OutputPath;
  report.Checksum = s.Checksum;
  report.Verified = s.Verified;
  report.SourceCount = s.SourceCount;
  report.BackupTypeText = s.BackupTypeText;
  report.StorageModeText = s.StorageModeText;
  report.LocalOutputPath = s.LocalOutputPath;
  report.CloudOutputPath = s.CloudOutputPath;
  report.CloudProvider = s.CloudProvider;
  report.CloudStatus = s.CloudStatus;
  for (const TBackupFileDetail& file : s.SuccessfulFiles) report.SuccessfulNames.push_back(file.FileName);
  for (const TBackupFileDetail& file : s.FailedFiles) report.FailedNames.push_back(file.FileName);
  return report;
}

TRunEmailNotification::TRunEmailNotification(std::filesystem::path registryFile,
                                             TRunNotificationThreads::TFailureReport onFailure)
    : FThreads(std::move(registryFile), std::move(onFailure)) {}

void TRunEmailNotification::StartEmailNotificationAsync(const TBackupResultSnapshot& snapshot) {
  FThreads.Start(MakeRunReport(snapshot));
}

std::string SendHistoryMail(const TBackupHistoryItem& item, const std::filesystem::path& registryFile,
                            const TSmtpTimeouts& timeouts) {
  try {
    TEmailNotifier notifier(registryFile.empty() ? GetRegistryFile() : registryFile);
    notifier.SetTimeouts(timeouts);
    notifier.LoadSettings();
    if (notifier.Recipients().empty()) throw EVelkorError("E-posta alıcısı tanımlı değil.");
    notifier.SendNotification(HistoryMailSubject(item), BuildHistoryDetailHtml(item), std::string(), true);
  } catch (const std::exception& e) {
    return std::string("Mail gönderme hatası: ") + e.what();
  }
  return {};
}

bool SendHistoryEntryMail(const TBackupHistoryItem* item, IAppPrompts& prompts, const TAddLog& addLog,
                          const std::filesystem::path& registryFile, const TSmtpTimeouts& timeouts) {
  if (item == nullptr) {
    ShowAutoMessage(prompts, HistoryMailNoSelectionMessage);
    return false;
  }
  const std::string failure = SendHistoryMail(*item, registryFile, timeouts);
  if (!failure.empty()) {
    ShowAutoMessage(prompts, failure);
    return false;
  }
  if (addLog) addLog(HistoryMailSentLogLine);
  return true;
}

}  // namespace velkor
