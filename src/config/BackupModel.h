#pragma once
// The in-memory model of what the user configures: the configuration with its general options and tasks, each
// task with its sources, destinations, options, schedule and the chain of backups it has produced.
// Plain data; owned by the configuration, referred to (never owned) by the queue, the editor and the running run.
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "scheduling/SchedulerUnit.h"
#include "util/DateTime.h"

namespace velkor {

enum TBackupType : int { btFull = 0, btDifferential = 1, btIncremental = 2 };
enum TStorageMode : int { smLocalDisk = 0, smCloud = 1, smHybrid = 2 };

// "Tam", "Fark", "Artımlı"; "Bilinmiyor" for any other ordinal.
std::string BackupTypeToText(int type);
// "Lokal Disk", "Cloud", "Lokal + Cloud"; "Bilinmiyor" for any other ordinal.
std::string StorageModeToText(int mode);
// Trims the text; "MinIO" in any letter case becomes "Cloud".
std::string NormalizeCloudProvider(const std::string& text);

inline constexpr const char* DefaultTaskName = "Yeni Görev";
inline constexpr const char* DefaultCloudProvider = "Cloud";
inline constexpr const char* DefaultCloudDestination = "http://127.0.0.1:9000/qelt-backup/backups";

// One produced backup. A new item has every string empty, every time 0 and both types btFull.
struct TBackupChainItem {
  std::string BackupId;          // GUID text of this backup
  std::string SetId;             // BackupId of the set's full backup
  std::string BaseFullBackupId;  // full backup this one builds on (a full names itself)
  std::string ParentBackupId;    // backup this one was compared against; empty for a full backup
  std::string OutputPath;
  std::string MirrorOutputPath;  // the cloud copy of a cloud or hybrid run, when there is one
  TDateTime BackupTime = 0;
  TBackupType RequestedType = btFull;
  TBackupType EffectiveType = btFull;
  std::vector<std::string> KnownFiles;  // reference names, sorted, no duplicates (case-insensitive)
};

class TBackupTask {
public:
  explicit TBackupTask(IClock& clock = SystemClock());
  TBackupTask(const TBackupTask&) = delete;
  TBackupTask& operator=(const TBackupTask&) = delete;

  std::string Name = DefaultTaskName;
  bool Enabled = true;
  std::vector<std::string> SourceFolders;
  std::string DestinationFolder;
  TStorageMode StorageMode = smLocalDisk;
  std::string CloudProvider = DefaultCloudProvider;
  std::string CloudAccountName;
  std::string CloudPasswordProtected;  // protected string, never plain text
  std::string CloudDestinationFolder = DefaultCloudDestination;
  TBackupType BackupType = btFull;  // the type of a manual run
  bool CompressBackup = true;
  bool EncryptBackup = false;
  TTaskSchedule Schedule;
  int MaxBackupsToKeep = 10;
  TDateTime LastSuccessfulBackupTime = 0;
  TDateTime LastFullBackupTime = 0;
  TDateTime LastRetentionCleanupTime = 0;
  std::vector<std::unique_ptr<TBackupChainItem>> BackupChain;  // oldest first
};

class TBackupConfig {
public:
  TBackupConfig() = default;
  TBackupConfig(const TBackupConfig&) = delete;
  TBackupConfig& operator=(const TBackupConfig&) = delete;

  std::vector<std::unique_ptr<TBackupTask>> Tasks;  // the user's order; tasks keep their address for life
  bool StartWithWindows = false;
  bool MinimizeToTray = true;
  bool ShowNotifications = true;
  bool CacheEncryptionPassword = true;
  bool BackgroundMode = true;
  int SpeedLimitMBPerSec = 0;  // MiB/s, 0 = unlimited
};

}  // namespace velkor
