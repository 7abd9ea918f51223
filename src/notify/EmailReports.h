#pragma once
// The HTML mails: the run notification sent after every finished run, the history-entry mail and the test mail of
// the e-mail settings. Subjects, documents (fragment for fragment, with their colours and conditions), escaping of
// every inserted text and the limits on the file lists. Pure functions of their inputs; any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/HistoryItem.h"
#include "util/DateTime.h"

namespace velkor {

// What the run notification reads of a finished run: a private copy, owned by the notification's thread.
struct TRunReport {
  TDateTime BackupTime = 0;
  bool Success = false;
  std::string Message;
  std::string BackupName;
  bool EncryptBackup = false;
  int FileCount = 0;
  int64_t TotalSize = 0;
  std::string OutputPath;
  std::string Checksum;
  bool Verified = false;
  int SourceCount = 0;
  std::string BackupTypeText;
  std::string StorageModeText;
  std::string LocalOutputPath;
  std::string CloudOutputPath;
  std::string CloudProvider;
  std::string CloudStatus;
  std::vector<std::string> SuccessfulNames;  // in the run's order
  std::vector<std::string> FailedNames;
};

// The run notification's status rows, first match wins.
enum TRunMailStatus : int {
  rmCapacity = 1,     // failed and the message says "Kapasite yetersiz"
  rmInformation = 2,  // succeeded without changes
  rmSuccess = 3,
  rmCloudFailure = 4,  // the cloud copy failed and no file did
  rmFailure = 5,
};

// "&", "<", ">", the double quote, then CR LF and any remaining LF as "<br>"; a lone CR and "'" stay.
std::string HtmlEscape(std::string_view text);

TRunMailStatus RunMailStatus(const TRunReport& report);
std::string RunNotificationSubject(const TRunReport& report);
std::string BuildRunNotificationHtml(const TRunReport& report);
// The document with every line break as CR LF and one CR LF after it: what is sent.
std::string RunNotificationBody(const TRunReport& report);

// "Yedekleme Detayı: " + the task name, "Adsız Görev" for a blank one.
std::string HistoryMailSubject(const TBackupHistoryItem& item);
std::string BuildHistoryDetailHtml(const TBackupHistoryItem& item);

inline constexpr char TestMailSubject[] = "Velkor - Profesyonel Yedekleme Çözümü (Test Maili Gönderimi)";
// `now`: the local time of sending.
std::string BuildTestMailHtml(TDateTime now);

}  // namespace velkor
