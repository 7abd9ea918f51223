#pragma once
// The task editor's rules and the task commands (new, rename, copy, delete, change, schedule) over the
// configuration instead of widgets, so the window's editor and velkor-cli accept and refuse the same input with the
// same Turkish messages. A front end checks what the user entered (the Check functions return the message, empty
// when the input may be used), then applies it with a command, which writes config.json at once.
//
// A command refuses with ETaskRefused, carrying the message, before it changes anything. When config.json cannot
// be written it undoes its change in memory as well and lets the manager's error through, so the configuration in
// memory always matches the file. Main thread only.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/BackupModel.h"
#include "config/ConfigManager.h"
#include "util/Error.h"

namespace velkor {

inline constexpr char TaskNameEmptyMessage[] = "Görev adı boş olamaz!";
inline constexpr char TaskNameTakenMessage[] = "Bu görev adı zaten kullanılıyor! Lütfen başka bir ad seçin.";
inline constexpr char NoSourceFolderMessage[] = "Hata: En az bir kaynak klasör eklemelisiniz!";
inline constexpr char NoLocalDestinationMessage[] = "Hata: Lokal hedef klasör seçmelisiniz!";
inline constexpr char TaskBusyMessage[] =
    "Bu görev şu anda çalışıyor veya kuyrukta bekliyor. Silmeden önce işlemin tamamlanmasını bekleyin.";
inline constexpr char DeleteTaskQuestion[] = "Seçili görevi silmek istediğinize emin misiniz?";
inline constexpr char NewTaskPromptTitle[] = "Yeni Görev";
inline constexpr char NewTaskPromptLabel[] = "Görev Adı:";
inline constexpr char RenameTaskPromptTitle[] = "Görev Adını Değiştir";
inline constexpr char RenameTaskPromptLabel[] = "Yeni görev adı:";
inline constexpr char CopyNameSuffix[] = " (Kopya)";
inline constexpr char CopiedTaskLogPrefix[] = "Görev kopyalandı: ";
// The editor's lists: storage modes (item = ordinal), sub-schedules (full, differential, incremental) and days
// (item n = day ordinal n).
inline constexpr const char* StorageModeItems[] = {"Lokal Disk", "Cloud", "Lokal Disk + Cloud"};
// The providers the editor offers; the field is free text, and only "NAS / WebDAV" changes what a run does.
inline constexpr const char* CloudProviderItems[] = {"MinIO", "Müşteri S3 / Cloud", "Genel Cloud", "NAS / WebDAV"};
inline constexpr const char* SubScheduleCaptions[] = {"Tam Yedek", "Fark Yedek", "Artımlı Yedek"};
inline constexpr const char* ScheduleDayNames[] = {"Pazar",    "Pazartesi", "Salı",     "Çarşamba",
                                                   "Perşembe", "Cuma",      "Cumartesi"};

// Input a rule refused; nothing was changed.
class ETaskRefused : public EVelkorError {
public:
  using EVelkorError::EVelkorError;
};

// Names.

// Trimmed, with letter case folded: ASCII, the Turkish letters (I, ı, İ and i all fold to i) and the other
// accented capitals of Latin-1.
std::string FoldTaskName(std::string_view name);
bool SameTaskName(std::string_view a, std::string_view b);
// "Yeni Görev " followed by the number of tasks plus one.
std::string ProposeNewTaskName(const TBackupConfig& config);
// "" when `name` may name a task: not blank, and no task other than `self` has the same name in any letter case.
std::string CheckTaskName(const TBackupConfig& config, std::string_view name, const TBackupTask* self = nullptr);
// The copy's name: the task's name with " (Kopya)", numbered from 2 on when that name is taken.
std::string CopyTaskName(const TBackupConfig& config, const std::string& name);

// "#N" is the task at position N of the list (from 1), so every task can be named, a blank or repeated name too.
// Otherwise the task of exactly this name, else the only one of this name in another letter case. nullptr when
// none, or more than one, matches.
TBackupTask* FindTask(TBackupConfig& config, std::string_view reference);
// The task's position in the list, from 1; 0 when it is not in it.
int TaskPosition(const TBackupConfig& config, const TBackupTask* task);

// The editor's fields of a task.

struct TTaskSettings {
  bool Enabled = true;
  std::vector<std::string> SourceFolders;
  std::string DestinationFolder;
  TStorageMode StorageMode = smLocalDisk;
  std::string CloudProvider;
  std::string CloudAccountName;
  std::string CloudPasswordProtected;  // protected string; a front end protects what the user typed
  std::string CloudDestinationFolder;
  TBackupType BackupType = btFull;
  bool CompressBackup = true;
  bool EncryptBackup = false;
  int MaxBackupsToKeep = 10;
  bool operator==(const TTaskSettings&) const = default;
};

TTaskSettings ReadTaskSettings(const TBackupTask& task);
void WriteTaskSettings(const TTaskSettings& settings, TBackupTask& task);
// "" when the settings may be saved or run: at least one source folder, and a destination unless the output goes
// to the cloud only.
std::string CheckTaskSettings(const TTaskSettings& settings);
// True when `folders` holds `folder` in any letter case.
bool ListsFolder(const std::vector<std::string>& folders, std::string_view folder);
// Appends `folder` unless the list holds it already in any letter case; false when nothing was added.
bool AddSourceFolder(TTaskSettings& settings, const std::string& folder);
// Removes the entry equal to `folder` in any letter case; false when there is none.
bool RemoveSourceFolder(TTaskSettings& settings, std::string_view folder);
// The cloud fields as the user entered them, in the editor or on velkor-cli's command line; a field left out stays as
// it is. They are stored as the configuration reads them back: the provider through NormalizeCloudProvider, the
// access key and the destination trimmed, the secret protected (an empty secret stays empty, so clearing the field
// removes it). Protecting raises EVelkorError when the user's key cannot be made; nothing is changed then.
struct TCloudInput {
  std::optional<std::string> Provider = std::nullopt;
  std::optional<std::string> AccessKey = std::nullopt;
  std::optional<std::string> Destination = std::nullopt;
  std::optional<std::string> Secret = std::nullopt;  // plain text
};
void ApplyCloudInput(TTaskSettings& settings, const TCloudInput& input);

// "Maksimum Yedek Seti" as typed: a decimal integer is kept as entered (0 and negative numbers too), anything else
// gives 10.
int MaxBackupsFromText(std::string_view text);

// The schedule.

struct TSubScheduleSettings {
  bool Enabled = false;
  int Hour = 0;
  int Minute = 0;
  TScheduleDays Days = TScheduleDays::All();
  bool operator==(const TSubScheduleSettings&) const = default;
};

struct TScheduleSettings {
  bool Enabled = false;         // the master switch
  TSubScheduleSettings Sub[3];  // full, differential, incremental
  TSubScheduleSettings& For(int scheduledType) { return Sub[scheduledType - stFull]; }
  bool operator==(const TScheduleSettings&) const = default;
};

TScheduleSettings ReadScheduleSettings(const TTaskSchedule& schedule);
// As the editor stores them: a switched-off sub-schedule keeps no days and 00:00, each value is written through the
// sub-schedule's properties (so next runs follow), and the task-level day set becomes the full sub-schedule's.
// Last runs and the time window are left as they are.
void WriteScheduleSettings(const TScheduleSettings& settings, TTaskSchedule& schedule);
// One sub-schedule switched on at `hour`:`minute` on `days`, or switched off, as velkor-cli changes a schedule: while
// the master switch is off no sub-schedule is in effect, so switching one on leaves it the only one on; switching
// off the last one also turns the master switch off.
TScheduleSettings WithSubSchedule(TScheduleSettings settings, int scheduledType, const TSubScheduleSettings& sub);

// Commands. Each saves config.json through `manager` when it changed something.

// A new task with the defaults, named `name` as typed, appended to the list. With `settings` (velkor-cli's add),
// they are checked and written into it first.
TBackupTask& NewTask(TBackupConfig& config, TConfigManager& manager, const std::string& name, IClock& clock,
                     const TTaskSettings* settings = nullptr);
// Writes `settings` into the task after checking them. False (nothing written) when they equal the task's own.
bool ChangeTask(TBackupConfig& config, TConfigManager& manager, TBackupTask& task, const TTaskSettings& settings);
// False (nothing written) when the schedule already holds these settings.
bool ChangeSchedule(TBackupConfig& config, TConfigManager& manager, TBackupTask& task,
                    const TScheduleSettings& settings);
// False (nothing written) when `name` is exactly the current name.
bool RenameTask(TBackupConfig& config, TConfigManager& manager, TBackupTask& task, const std::string& name);
// A disabled copy with CopyTaskName, the same sources, destinations, options, retention limit, last cleanup and
// sub-schedules; without the time window, last runs, backup times and chain. Appended to the list.
TBackupTask& CopyTask(TBackupConfig& config, TConfigManager& manager, const TBackupTask& source, IClock& clock);
// A task that is running or waiting in the run queue is refused with TaskBusyMessage before anything is asked.
// Otherwise `confirm` is asked DeleteTaskQuestion; false when it says no. The task's backups and history stay.
bool DeleteTask(TBackupConfig& config, TConfigManager& manager, TBackupTask& task, bool queuedOrRunning,
                const std::function<bool(const std::string& question)>& confirm);

}  // namespace velkor
