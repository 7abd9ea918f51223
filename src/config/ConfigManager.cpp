#include "config/ConfigManager.h"

#include <algorithm>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Startup.h"
#include "platform/StoredJson.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr const char* ConfigFileName = "config.json";
constexpr const char* HistoryFileName = "history.json";

// config.json: the settings and tasks are kilobytes, but every chain item carries the known-file list of its
// set, about 80 MB for a task of a million files. 1 GiB holds a dozen such lists; reading takes about three
// times the file's size in memory, so a larger file is treated as damaged instead of exhausting the machine.
// The program writes six levels of nesting.
constexpr TJsonTextLimits ConfigLimits{uint64_t{1} << 30, 32};

struct TSubScheduleKeys {
  const char* Enabled;
  const char* Hours;
  const char* Minutes;
  const char* LastRun;
  const char* Days;
};

constexpr TSubScheduleKeys FullKeys{"SchedFullEn", "SchedFullH", "SchedFullM", "SchedFullLast", "SchedFullDays"};
constexpr TSubScheduleKeys DiffKeys{"SchedDiffEn", "SchedDiffH", "SchedDiffM", "SchedDiffLast", "SchedDiffDays"};
constexpr TSubScheduleKeys IncKeys{"SchedIncEn", "SchedIncH", "SchedIncM", "SchedIncLast", "SchedIncDays"};

bool ReadJsonDateTime(const TJson& obj, const char* key, TDateTime& out, IClock& clock) {
  std::string text;
  if (!ReadJsonString(obj, key, text)) return false;
  out = ParseJsonDateTime(text, clock);
  return true;
}

template <typename TEnum>
bool ReadJsonEnum(const TJson& obj, const char* key, TEnum& out, int maxOrdinal) {
  int value = 0;
  if (!ReadJsonInt(obj, key, value) || value < 0 || value > maxOrdinal) return false;
  out = static_cast<TEnum>(value);
  return true;
}

void ReadSubSchedule(TSubSchedule& sub, const TJson& obj, const TSubScheduleKeys& keys, TDateTime& latestLastRun,
                     IClock& clock) {
  bool enabled;
  if (ReadJsonBool(obj, keys.Enabled, enabled)) sub.SetEnabled(enabled);
  int value;
  if (ReadJsonInt(obj, keys.Hours, value)) sub.SetIntervalHours(value);
  if (ReadJsonInt(obj, keys.Minutes, value)) sub.SetIntervalMinutes(value);
  TDateTime lastRun;
  if (ReadJsonDateTime(obj, keys.LastRun, lastRun, clock)) {
    sub.SetLastRun(lastRun);
    latestLastRun = std::max(latestLastRun, lastRun);
  }
}

void WriteSubSchedule(TJson& obj, const TSubSchedule& sub, const TSubScheduleKeys& keys) {
  obj[keys.Enabled] = sub.Enabled();
  obj[keys.Hours] = sub.IntervalHours();
  obj[keys.Minutes] = sub.IntervalMinutes();
  if (sub.LastRun() > 0) obj[keys.LastRun] = FormatJsonDateTime(sub.LastRun());
}

void ReadChainItem(TBackupChainItem& item, const TJson& obj, IClock& clock) {
  ReadJsonString(obj, "BackupId", item.BackupId);
  ReadJsonString(obj, "SetId", item.SetId);
  ReadJsonString(obj, "BaseFullBackupId", item.BaseFullBackupId);
  ReadJsonString(obj, "ParentBackupId", item.ParentBackupId);
  ReadJsonPath(obj, "OutputPath", item.OutputPath);
  ReadJsonPath(obj, "MirrorOutputPath", item.MirrorOutputPath);
  ReadJsonDateTime(obj, "BackupTime", item.BackupTime, clock);
  ReadJsonEnum(obj, "RequestedType", item.RequestedType, btIncremental);
  if (!ReadJsonEnum(obj, "EffectiveType", item.EffectiveType, btIncremental)) item.EffectiveType = item.RequestedType;
  ReadJsonPathArray(obj, "KnownFiles", item.KnownFiles);
}

TJson WriteChainItem(const TBackupChainItem& item) {
  TJson obj = TJson::object();
  obj["BackupId"] = item.BackupId;
  obj["SetId"] = item.SetId;
  obj["BaseFullBackupId"] = item.BaseFullBackupId;
  obj["ParentBackupId"] = item.ParentBackupId;
  obj["OutputPath"] = EncodeStoredPath(item.OutputPath);
  obj["MirrorOutputPath"] = EncodeStoredPath(item.MirrorOutputPath);
  if (item.BackupTime > 0) obj["BackupTime"] = FormatJsonDateTime(item.BackupTime);
  obj["RequestedType"] = static_cast<int>(item.RequestedType);
  obj["EffectiveType"] = static_cast<int>(item.EffectiveType);
  obj["KnownFiles"] = EncodeStoredPaths(item.KnownFiles);
  return obj;
}

}  // namespace

void ReadTaskJson(TBackupTask& task, const TJson& obj, IClock& clock) {
  ReadJsonString(obj, "Name", task.Name);
  ReadJsonBool(obj, "Enabled", task.Enabled);
  ReadJsonPathArray(obj, "SourceFolders", task.SourceFolders);
  ReadJsonPath(obj, "DestinationFolder", task.DestinationFolder);
  if (!ReadJsonEnum(obj, "StorageMode", task.StorageMode, smHybrid)) task.StorageMode = smLocalDisk;
  ReadJsonString(obj, "CloudProvider", task.CloudProvider);
  task.CloudProvider = NormalizeCloudProvider(task.CloudProvider);
  ReadJsonString(obj, "CloudAccountName", task.CloudAccountName);
  ReadJsonString(obj, "CloudPasswordProtected", task.CloudPasswordProtected);
  ReadJsonPath(obj, "CloudDestinationFolder", task.CloudDestinationFolder);
  ReadJsonEnum(obj, "BackupType", task.BackupType, btIncremental);
  ReadJsonBool(obj, "CompressBackup", task.CompressBackup);
  ReadJsonBool(obj, "EncryptBackup", task.EncryptBackup);
  ReadJsonInt(obj, "MaxBackupsToKeep", task.MaxBackupsToKeep);

  TTaskSchedule& schedule = task.Schedule;
  bool enabled;
  if (ReadJsonBool(obj, "ScheduleEnabled", enabled)) schedule.SetEnabled(enabled);
  TDateTime latestLastRun = 0;
  ReadSubSchedule(schedule.FullSchedule(), obj, FullKeys, latestLastRun, clock);
  ReadSubSchedule(schedule.DiffSchedule(), obj, DiffKeys, latestLastRun, clock);
  ReadSubSchedule(schedule.IncSchedule(), obj, IncKeys, latestLastRun, clock);
  int interval;
  if (!HasJsonKey(obj, FullKeys.Hours) && ReadJsonInt(obj, "ScheduleInterval", interval))
    schedule.SetInterval(interval);

  if (ReadJsonBool(obj, "SchedWinEn", enabled)) schedule.SetTimeWindowEnabled(enabled);
  std::string text;
  if (HasJsonKey(obj, "SchedWinStart")) {
    text.clear();
    ReadJsonString(obj, "SchedWinStart", text);
    schedule.SetStartTime(ParseTimeOfDay(text));
  }
  if (HasJsonKey(obj, "SchedWinEnd")) {
    text.clear();
    ReadJsonString(obj, "SchedWinEnd", text);
    schedule.SetEndTime(ParseTimeOfDay(text));
  }

  bool anySubDays = false;
  for (auto [sub, key] :
       {std::pair{&schedule.FullSchedule(), FullKeys.Days}, std::pair{&schedule.DiffSchedule(), DiffKeys.Days},
        std::pair{&schedule.IncSchedule(), IncKeys.Days}}) {
    if (ReadJsonString(obj, key, text)) {
      sub->SetDays(ParseDaySet(text));
      anySubDays = true;
    }
  }
  // The task-level set is always kept as stored; it seeds the sub-schedules only for files that carry it alone.
  if (ReadJsonString(obj, "SchedDays", text)) {
    schedule.SetDays(ParseDaySet(text));
    if (!anySubDays) {
      schedule.FullSchedule().SetDays(schedule.Days());
      schedule.DiffSchedule().SetDays(schedule.Days());
      schedule.IncSchedule().SetDays(schedule.Days());
    }
  }

  if (!ReadJsonDateTime(obj, "LastSuccessfulBackupTime", task.LastSuccessfulBackupTime, clock))
    task.LastSuccessfulBackupTime = latestLastRun;
  if (!ReadJsonDateTime(obj, "LastFullBackupTime", task.LastFullBackupTime, clock))
    task.LastFullBackupTime = schedule.FullSchedule().LastRun();
  if (!ReadJsonDateTime(obj, "LastRetentionCleanupTime", task.LastRetentionCleanupTime, clock))
    task.LastRetentionCleanupTime = 0;

  const auto chain = obj.find("BackupChain");
  if (chain != obj.end() && chain->is_array()) {
    for (const auto& element : *chain) {
      if (!element.is_object()) continue;
      auto item = std::make_unique<TBackupChainItem>();
      ReadChainItem(*item, element, clock);
      task.BackupChain.push_back(std::move(item));
    }
  }
}

TJson WriteTaskJson(const TBackupTask& task) {
  const TTaskSchedule& schedule = task.Schedule;
  TJson obj = TJson::object();
  obj["Name"] = task.Name;
  obj["Enabled"] = task.Enabled;
  obj["SourceFolders"] = EncodeStoredPaths(task.SourceFolders);
  obj["DestinationFolder"] = EncodeStoredPath(task.DestinationFolder);
  obj["StorageMode"] = static_cast<int>(task.StorageMode);
  obj["CloudProvider"] = task.CloudProvider;
  obj["CloudAccountName"] = task.CloudAccountName;
  obj["CloudPasswordProtected"] = task.CloudPasswordProtected;
  obj["CloudDestinationFolder"] = EncodeStoredPath(task.CloudDestinationFolder);
  obj["BackupType"] = static_cast<int>(task.BackupType);
  obj["CompressBackup"] = task.CompressBackup;
  obj["EncryptBackup"] = task.EncryptBackup;
  obj["MaxBackupsToKeep"] = task.MaxBackupsToKeep;
  obj["ScheduleEnabled"] = schedule.Enabled();
  WriteSubSchedule(obj, schedule.FullSchedule(), FullKeys);
  WriteSubSchedule(obj, schedule.DiffSchedule(), DiffKeys);
  WriteSubSchedule(obj, schedule.IncSchedule(), IncKeys);
  obj["SchedWinEn"] = schedule.TimeWindowEnabled();
  obj["SchedWinStart"] = FormatTimeOfDay(schedule.StartTime());
  obj["SchedWinEnd"] = FormatTimeOfDay(schedule.EndTime());
  obj[FullKeys.Days] = FormatDaySet(schedule.FullSchedule().Days());
  obj[DiffKeys.Days] = FormatDaySet(schedule.DiffSchedule().Days());
  obj[IncKeys.Days] = FormatDaySet(schedule.IncSchedule().Days());
  obj["SchedDays"] = FormatDaySet(schedule.Days());
  if (task.LastSuccessfulBackupTime > 0)
    obj["LastSuccessfulBackupTime"] = FormatJsonDateTime(task.LastSuccessfulBackupTime);
  if (task.LastFullBackupTime > 0) obj["LastFullBackupTime"] = FormatJsonDateTime(task.LastFullBackupTime);
  if (task.LastRetentionCleanupTime > 0)
    obj["LastRetentionCleanupTime"] = FormatJsonDateTime(task.LastRetentionCleanupTime);
  TJson chain = TJson::array();
  for (const auto& item : task.BackupChain) chain.push_back(WriteChainItem(*item));
  obj["BackupChain"] = std::move(chain);
  return obj;
}

TJson WriteConfigJson(const TBackupConfig& config) {
  TJson root = TJson::object();
  root["StartWithWindows"] = config.StartWithWindows;
  root["MinimizeToTray"] = config.MinimizeToTray;
  root["ShowNotifications"] = config.ShowNotifications;
  root["CacheEncryptionPassword"] = config.CacheEncryptionPassword;
  root["BackgroundMode"] = config.BackgroundMode;
  root["SpeedLimitMBPerSec"] = config.SpeedLimitMBPerSec;
  TJson tasks = TJson::array();
  for (const auto& task : config.Tasks) tasks.push_back(WriteTaskJson(*task));
  root["Tasks"] = std::move(tasks);
  return root;
}

TConfigManager::TConfigManager(IClock& clock) : TConfigManager(GetConfigDirectory(), clock) {}

TConfigManager::TConfigManager(const std::filesystem::path& directory, IClock& clock)
    : FClock(&clock), FConfigFile(directory / ConfigFileName), FHistoryFile(directory / HistoryFileName) {
  std::error_code ec;
  if (!std::filesystem::is_directory(directory, ec)) {
    std::filesystem::create_directories(directory, ec);
    if (ec)
      throw EVelkorError("Klasör oluşturulamadı: " + directory.string() + " (" + SystemErrorMessage(ec.value()) + ")");
  }
}

std::filesystem::path TConfigManager::GetConfigDirectory() { return velkor::GetConfigDirectory(); }

void TConfigManager::NoteFile(TStoredFileNote& note, const std::filesystem::path& file, std::string problem) {
  note.File = file;
  note.Problem = std::move(problem);
  note.KeptCopy = note.Damaged() ? PreserveDamagedFile(file, FClock->Now()) : std::filesystem::path();
}

void TConfigManager::EnsureReplaceable(TStoredFileNote& note, const char* what) {
  if (!note.Damaged() || !note.KeptCopy.empty()) return;
  std::error_code ec;
  if (!std::filesystem::exists(note.File, ec)) return;  // gone meanwhile: nothing left to lose
  note.KeptCopy = PreserveDamagedFile(note.File, FClock->Now());
  if (note.KeptCopy.empty())
    throw EVelkorError(std::string(what) + " hasarlı ve kopyası alınamadığı için üzerine yazılmadı: " +
                       note.File.string() + " (" + note.Problem + ")");
}

std::vector<std::string> TConfigManager::DamageReport() const {
  std::vector<std::string> lines;
  auto describe = [&lines](const TStoredFileNote& note, const char* what) {
    if (!note.Damaged()) return;
    std::string line = std::string(what) + " hasarlı: " + note.File.string() + " (" + note.Problem + "). ";
    if (note.KeptCopy.empty())
      line += "Kopyası alınamadı; dosyanın üzerine yazılmayacak.";
    else
      line += "Özgün dosyanın kopyası: " + note.KeptCopy.string();
    lines.push_back(std::move(line));
  };
  describe(FConfigNote, "Yapılandırma dosyası");
  describe(FHistoryNote, "Yedekleme geçmişi dosyası");
  return lines;
}

TJson TConfigManager::ReadConfigDocument() {
  TStoredJson read = ReadStoredJson(FConfigFile, ConfigLimits);
  if (!read.Value.is_discarded() && !read.Value.is_object()) {
    read.Problem = "kök değeri bir nesne değil";
    read.Value = TJson(TJson::value_t::discarded);
  }
  NoteFile(FConfigNote, FConfigFile, std::move(read.Problem));
  FConfigInspected = true;
  return std::move(read.Value);
}

std::unique_ptr<TBackupConfig> TConfigManager::LoadConfig() {
  auto config = std::make_unique<TBackupConfig>();
  const TJson root = ReadConfigDocument();
  if (root.is_discarded()) return config;

  ReadJsonBool(root, "StartWithWindows", config->StartWithWindows);
  ReadJsonBool(root, "MinimizeToTray", config->MinimizeToTray);
  ReadJsonBool(root, "ShowNotifications", config->ShowNotifications);
  ReadJsonBool(root, "CacheEncryptionPassword", config->CacheEncryptionPassword);
  ReadJsonBool(root, "BackgroundMode", config->BackgroundMode);
  ReadJsonInt(root, "SpeedLimitMBPerSec", config->SpeedLimitMBPerSec);
  const auto tasks = root.find("Tasks");
  if (tasks != root.end() && tasks->is_array()) {
    for (const auto& element : *tasks) {
      if (!element.is_object()) continue;
      auto task = std::make_unique<TBackupTask>(*FClock);
      ReadTaskJson(*task, element, *FClock);
      config->Tasks.push_back(std::move(task));
    }
  }
  return config;
}

void TConfigManager::SaveConfig(const TBackupConfig& config) {
  if (!FConfigInspected) ReadConfigDocument();
  EnsureReplaceable(FConfigNote, "Yapılandırma dosyası");
  WriteFileAtomic(FConfigFile, EncodeJsonFile(WriteConfigJson(config)));
}

void TConfigManager::AddToStartup() { RegisterStartWithSession(GetExecutablePath()); }

void TConfigManager::RemoveFromStartup() { UnregisterStartWithSession(); }

}  // namespace velkor
