#include "app/TaskRules.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <utility>

#include "crypto/SecureStorage.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr int DefaultMaxBackups = 10;

// The lower-case form of one UTF-8 letter starting at `text[i]`, appended to `out`; returns the bytes it took.
size_t AppendFoldedLetter(std::string_view text, size_t i, std::string& out) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) {
    out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return 1;
  }
  if (i + 1 < text.size()) {
    const unsigned char d = byte(i + 1);
    // Latin-1 capitals À..Þ (without ×) sit 0x20 below their small letters.
    if (c == 0xC3 && d >= 0x80 && d <= 0x9E && d != 0x97) {
      out += '\xC3';
      out += static_cast<char>(d + 0x20);
      return 2;
    }
    // İ and ı: the Turkish pair of I and i fold into the one letter i, whatever the text's language.
    if (c == 0xC4 && (d == 0xB0 || d == 0xB1)) {
      out += 'i';
      return 2;
    }
    // Ğ (C4 9E) and Ş (C5 9E): the small letter follows its capital.
    if ((c == 0xC4 || c == 0xC5) && d == 0x9E) {
      out += static_cast<char>(c);
      out += '\x9F';
      return 2;
    }
  }
  out += static_cast<char>(c);
  return 1;
}

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (size_t i = 0; i < text.size();) i += AppendFoldedLetter(text, i, folded);
  return folded;
}

bool SamePath(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

void Refuse(std::string message) {
  if (!message.empty()) throw ETaskRefused(message);
}

// Writes config.json; when that fails, `undo` puts memory back as the file still has it.
template <typename TUndo>
void SaveOrUndo(TConfigManager& manager, const TBackupConfig& config, TUndo undo) {
  try {
    manager.SaveConfig(config);
  } catch (...) {
    undo();
    throw;
  }
}

// Appends `task` and saves; on a failed save the task is taken out again.
TBackupTask& AppendTask(TBackupConfig& config, TConfigManager& manager, std::unique_ptr<TBackupTask> task) {
  TBackupTask& added = *task;
  config.Tasks.push_back(std::move(task));
  SaveOrUndo(manager, config, [&config] { config.Tasks.pop_back(); });
  return added;
}

// A switched-off sub-schedule is stored with no days and 00:00, as the editor clears and resets its controls.
TScheduleSettings AsEditorStoresIt(TScheduleSettings settings) {
  for (TSubScheduleSettings& sub : settings.Sub)
    if (!sub.Enabled) sub = {false, 0, 0, TScheduleDays::None()};
  return settings;
}

// Through the sub-schedules' properties, so next runs follow.
void WriteScheduleExactly(const TScheduleSettings& settings, TTaskSchedule& schedule) {
  schedule.SetEnabled(settings.Enabled);
  for (int type = stFull; type <= stIncremental; ++type) {
    const TSubScheduleSettings& wanted = settings.Sub[type - stFull];
    TSubSchedule& sub = *schedule.SubSchedule(type);
    sub.SetEnabled(wanted.Enabled);
    sub.SetIntervalHours(wanted.Hour);
    sub.SetIntervalMinutes(wanted.Minute);
    sub.SetDays(wanted.Days);
  }
}

}  // namespace

std::string FoldTaskName(std::string_view name) { return FoldCase(Trim(name)); }

bool SameTaskName(std::string_view a, std::string_view b) { return FoldTaskName(a) == FoldTaskName(b); }

std::string ProposeNewTaskName(const TBackupConfig& config) {
  return std::string(DefaultTaskName) + " " + std::to_string(config.Tasks.size() + 1);
}

std::string CheckTaskName(const TBackupConfig& config, std::string_view name, const TBackupTask* self) {
  if (Trim(name).empty()) return TaskNameEmptyMessage;
  for (const auto& task : config.Tasks)
    if (task.get() != self && SameTaskName(task->Name, name)) return TaskNameTakenMessage;
  return "";
}

std::string CopyTaskName(const TBackupConfig& config, const std::string& name) {
  std::string candidate = name + CopyNameSuffix;
  for (int n = 2; !CheckTaskName(config, candidate).empty(); ++n)
    candidate = name + " (Kopya " + std::to_string(n) + ")";
  return candidate;
}

TBackupTask* FindTask(TBackupConfig& config, std::string_view reference) {
  if (reference.size() > 1 && reference[0] == '#') {
    size_t position = 0;
    const std::string_view digits = reference.substr(1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), position);
    if (error != std::errc() || end != digits.data() + digits.size() || position < 1 || position > config.Tasks.size())
      return nullptr;
    return config.Tasks[position - 1].get();
  }
  for (const auto& task : config.Tasks)
    if (task->Name == reference) return task.get();
  TBackupTask* found = nullptr;
  for (const auto& task : config.Tasks) {
    if (!SameTaskName(task->Name, reference)) continue;
    if (found != nullptr) return nullptr;
    found = task.get();
  }
  return found;
}

int TaskPosition(const TBackupConfig& config, const TBackupTask* task) {
  for (size_t i = 0; i < config.Tasks.size(); ++i)
    if (config.Tasks[i].get() == task) return static_cast<int>(i + 1);
  return 0;
}

TTaskSettings ReadTaskSettings(const TBackupTask& task) {
  TTaskSettings s;
  s.Enabled = task.Enabled;
  s.SourceFolders = task.SourceFolders;
  s.DestinationFolder = task.DestinationFolder;
  s.StorageMode = task.StorageMode;
  s.CloudProvider = task.CloudProvider;
  s.CloudAccountName = task.CloudAccountName;
  s.CloudPasswordProtected = task.CloudPasswordProtected;
  s.CloudDestinationFolder = task.CloudDestinationFolder;
  s.BackupType = task.BackupType;
  s.CompressBackup = task.CompressBackup;
  s.EncryptBackup = task.EncryptBackup;
  s.MaxBackupsToKeep = task.MaxBackupsToKeep;
  return s;
}

void WriteTaskSettings(const TTaskSettings& s, TBackupTask& task) {
  task.Enabled = s.Enabled;
  task.SourceFolders = s.SourceFolders;
  task.DestinationFolder = s.DestinationFolder;
  task.StorageMode = s.StorageMode;
  task.CloudProvider = s.CloudProvider;
  task.CloudAccountName = s.CloudAccountName;
  task.CloudPasswordProtected = s.CloudPasswordProtected;
  task.CloudDestinationFolder = s.CloudDestinationFolder;
  task.BackupType = s.BackupType;
  task.CompressBackup = s.CompressBackup;
  task.EncryptBackup = s.EncryptBackup;
  task.MaxBackupsToKeep = s.MaxBackupsToKeep;
}

std::string CheckTaskSettings(const TTaskSettings& settings) {
  if (settings.SourceFolders.empty()) return NoSourceFolderMessage;
  if (settings.StorageMode != smCloud && Trim(settings.DestinationFolder).empty()) return NoLocalDestinationMessage;
  return "";
}

bool ListsFolder(const std::vector<std::string>& folders, std::string_view folder) {
  return std::any_of(folders.begin(), folders.end(),
                     [&](const std::string& listed) { return SamePath(listed, folder); });
}

bool AddSourceFolder(TTaskSettings& settings, const std::string& folder) {
  if (ListsFolder(settings.SourceFolders, folder)) return false;
  settings.SourceFolders.push_back(folder);
  return true;
}

bool RemoveSourceFolder(TTaskSettings& settings, std::string_view folder) {
  auto& list = settings.SourceFolders;
  const auto found = std::find_if(list.begin(), list.end(), [&](const std::string& s) { return SamePath(s, folder); });
  if (found == list.end()) return false;
  list.erase(found);
  return true;
}

void ApplyCloudInput(TTaskSettings& settings, const TCloudInput& input) {
  // The secret first: it is the one step that can fail, and nothing may be half applied.
  if (input.Secret) settings.CloudPasswordProtected = ProtectString(*input.Secret);
  if (input.Provider) settings.CloudProvider = NormalizeCloudProvider(*input.Provider);
  if (input.AccessKey) settings.CloudAccountName = Trim(*input.AccessKey);
  if (input.Destination) settings.CloudDestinationFolder = Trim(*input.Destination);
}

int MaxBackupsFromText(std::string_view text) {
  int value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end && begin != end ? value : DefaultMaxBackups;
}

TScheduleSettings ReadScheduleSettings(const TTaskSchedule& schedule) {
  TScheduleSettings s;
  s.Enabled = schedule.Enabled();
  for (int type = stFull; type <= stIncremental; ++type) {
    const TSubSchedule& sub = *schedule.SubSchedule(type);
    s.For(type) = {sub.Enabled(), sub.IntervalHours(), sub.IntervalMinutes(), sub.Days()};
  }
  return s;
}

void WriteScheduleSettings(const TScheduleSettings& settings, TTaskSchedule& schedule) {
  WriteScheduleExactly(AsEditorStoresIt(settings), schedule);
  schedule.SetDays(schedule.FullSchedule().Days());
}

TScheduleSettings WithSubSchedule(TScheduleSettings settings, int scheduledType, const TSubScheduleSettings& sub) {
  const TSubScheduleSettings off{false, 0, 0, TScheduleDays::None()};
  if (sub.Enabled) {
    if (!settings.Enabled)
      for (TSubScheduleSettings& other : settings.Sub) other = off;
    settings.For(scheduledType) = sub;
    settings.Enabled = true;
  } else {
    settings.For(scheduledType) = off;
    settings.Enabled = settings.Enabled && std::any_of(std::begin(settings.Sub), std::end(settings.Sub),
                                                       [](const TSubScheduleSettings& s) { return s.Enabled; });
  }
  return settings;
}

TBackupTask& NewTask(TBackupConfig& config, TConfigManager& manager, const std::string& name, IClock& clock,
                     const TTaskSettings* settings) {
  Refuse(CheckTaskName(config, name));
  if (settings != nullptr) Refuse(CheckTaskSettings(*settings));
  auto task = std::make_unique<TBackupTask>(clock);
  task->Name = name;
  if (settings != nullptr) WriteTaskSettings(*settings, *task);
  return AppendTask(config, manager, std::move(task));
}

bool ChangeTask(TBackupConfig& config, TConfigManager& manager, TBackupTask& task, const TTaskSettings& settings) {
  const TTaskSettings before = ReadTaskSettings(task);
  if (settings == before) return false;
  Refuse(CheckTaskSettings(settings));
  WriteTaskSettings(settings, task);
  SaveOrUndo(manager, config, [&] { WriteTaskSettings(before, task); });
  return true;
}

bool ChangeSchedule(TBackupConfig& config, TConfigManager& manager, TBackupTask& task,
                    const TScheduleSettings& settings) {
  const TScheduleSettings before = ReadScheduleSettings(task.Schedule);
  const TScheduleDays taskDays = task.Schedule.Days();
  const TScheduleSettings stored = AsEditorStoresIt(settings);
  if (stored == before && stored.Sub[0].Days == taskDays) return false;
  WriteScheduleSettings(settings, task.Schedule);
  SaveOrUndo(manager, config, [&] {
    WriteScheduleExactly(before, task.Schedule);
    task.Schedule.SetDays(taskDays);
  });
  return true;
}

bool RenameTask(TBackupConfig& config, TConfigManager& manager, TBackupTask& task, const std::string& name) {
  if (name == task.Name) return false;
  Refuse(CheckTaskName(config, name, &task));
  std::string before = std::exchange(task.Name, name);
  SaveOrUndo(manager, config, [&] { task.Name = std::move(before); });
  return true;
}

TBackupTask& CopyTask(TBackupConfig& config, TConfigManager& manager, const TBackupTask& source, IClock& clock) {
  auto copy = std::make_unique<TBackupTask>(clock);
  copy->Name = CopyTaskName(config, source.Name);
  WriteTaskSettings(ReadTaskSettings(source), *copy);
  copy->Enabled = false;
  copy->LastRetentionCleanupTime = source.LastRetentionCleanupTime;
  copy->Schedule.SetEnabled(source.Schedule.Enabled());
  copy->Schedule.SetDays(source.Schedule.Days());
  for (int type = stFull; type <= stIncremental; ++type) {
    const TSubSchedule& from = *source.Schedule.SubSchedule(type);
    TSubSchedule& to = *copy->Schedule.SubSchedule(type);
    to.SetEnabled(from.Enabled());
    to.SetIntervalHours(from.IntervalHours());
    to.SetIntervalMinutes(from.IntervalMinutes());
    to.SetDays(from.Days());
  }
  return AppendTask(config, manager, std::move(copy));
}

bool DeleteTask(TBackupConfig& config, TConfigManager& manager, TBackupTask& task, bool queuedOrRunning,
                const std::function<bool(const std::string& question)>& confirm) {
  if (queuedOrRunning) throw ETaskRefused(TaskBusyMessage);
  if (!confirm(DeleteTaskQuestion)) return false;
  const auto found = std::find_if(config.Tasks.begin(), config.Tasks.end(),
                                  [&](const std::unique_ptr<TBackupTask>& t) { return t.get() == &task; });
  if (found == config.Tasks.end()) return false;
  const auto position = found - config.Tasks.begin();
  std::unique_ptr<TBackupTask> removed = std::move(*found);
  config.Tasks.erase(found);
  SaveOrUndo(manager, config, [&] { config.Tasks.insert(config.Tasks.begin() + position, std::move(removed)); });
  return true;
}

}  // namespace velkor
