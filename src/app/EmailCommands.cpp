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

bool SendHistoryEntryMail(const TBackupHistoryItem* item, IAppPrompts& prompts, const TAddLog& addLog,
                          const std::filesystem::path& registryFile, const TSmtpTimeouts& timeouts) {
  if (item == nullptr) {
    ShowAutoMessage(prompts, "Lütfen e-posta göndermek istediğiniz log kaydını seçin.");
    return false;
  }
  try {
    TEmailNotifier notifier(registryFile.empty() ? GetRegistryFile() : registryFile);
    notifier.SetTimeouts(timeouts);
    notifier.LoadSettings();
    if (notifier.Recipients().empty()) throw EVelkorError("E-posta alıcısı tanımlı değil.");
    notifier.SendNotification(HistoryMailSubject(*item), BuildHistoryDetailHtml(*item), std::string(), true);
  } catch (const std::exception& e) {
    ShowAutoMessage(prompts, std::string("Mail gönderme hatası: ") + e.what());
    return false;
  }
  if (addLog) addLog("Seçili history kaydı e-posta ile gönderildi.");
  return true;
}

}  // namespace velkor
