#include "cli/TaskCommands.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "app/BackupChain.h"
#include "app/DueTasks.h"
#include "app/GeneralSettings.h"
#include "app/HistoryList.h"
#include "app/OutputVerification.h"
#include "app/TaskEditorStates.h"
#include "app/TaskRules.h"
#include "cli/CliCommands.h"
#include "cli/CliPrompts.h"
#include "cli/CliSupport.h"
#include "cli/TerminalInput.h"
#include "config/ConfigManager.h"
#include "crypto/EncryptionCommands.h"
#include "crypto/EncryptionManager.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

namespace fs = std::filesystem;
using TArgs = std::vector<std::string>;

constexpr const char* ProgramRunningMessage =
    "Program zaten çalışıyor; değişiklik kaydedilmedi. Çalışan program yapılandırmayı kendi kopyasıyla yeniden "
    "yazacağı için önce programı (veya velkor-cli daemon'u) kapatın.";
constexpr const char* PasswordNotRememberedMessage =
    "\"Şifreleme parolasını cihazda hatırla\" ayarı kapalı olduğu için parola saklanamaz. Açmak için: velkor-cli "
    "settings --remember-password on";
constexpr const char* PasswordClearedMessage = "Kayıtlı şifreleme parolası silindi.";
constexpr const char* TimePicture = "dd.mm.yyyy hh:nn";
constexpr const char* DayKeys[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
constexpr const char* TypeKeys[] = {"full", "differential", "incremental"};
constexpr const char* StorageKeys[] = {"local", "cloud", "hybrid"};

int Usage(const std::string& problem) {
  PrintError("velkor-cli: " + problem + " (see --help)");
  return ExitUsage;
}

// A rule's refusal: its Turkish message, and nothing was written.
int Refused(const std::string& message) {
  PrintError("velkor-cli: " + message);
  return ExitUsage;
}

// Options in the order given ("--name VALUE" or "--name=VALUE"; flags take no value) and the other arguments.
struct TParsedArgs {
  std::vector<std::pair<std::string, std::string>> Options;
  std::vector<std::string> Positional;
  bool Has(const std::string& name) const {
    for (const auto& option : Options)
      if (option.first == name) return true;
    return false;
  }
};

std::string ParseArgs(const TArgs& args, const std::set<std::string>& valued, const std::set<std::string>& flags,
                      const std::string& command, TParsedArgs& parsed) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      parsed.Positional.push_back(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (valued.count(name) != 0) {
      if (equals != std::string::npos)
        parsed.Options.emplace_back(name, arg.substr(equals + 1));
      else if (i + 1 < args.size())
        parsed.Options.emplace_back(name, args[++i]);
      else
        return name + " needs a value";
    } else if (flags.count(arg) != 0) {
      parsed.Options.emplace_back(arg, "");
    } else {
      return "unknown option '" + arg + "' for " + command;
    }
  }
  return "";
}

template <size_t N>
std::optional<int> KeyIndex(const char* const (&keys)[N], const std::string& text) {
  for (size_t i = 0; i < N; ++i)
    if (text == keys[i]) return static_cast<int>(i);
  return std::nullopt;
}

// A whole decimal number, optionally signed.
std::optional<int> ParseWholeNumber(const std::string& text) {
  const size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (text.size() == digits || text.size() > digits + 9) return std::nullopt;
  for (size_t i = digits; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  return std::stoi(text);
}

// The folder as stored: absolute (a cron job or the daemon runs elsewhere), without "." or ".." or a final "/".
std::string StoredFolder(const std::string& text) {
  fs::path path = fs::absolute(fs::path(text)).lexically_normal();
  if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
  return path.string();
}

bool ParseOnOff(const std::string& text, bool& value) {
  if (text != "on" && text != "off") return false;
  value = text == "on";
  return true;
}

// Holds the single-instance lock for a command that writes; false, after the message, while another instance has it.
bool AcquireWriterGuard(TSingleInstanceGuard& guard) {
  if (guard.Acquire()) return true;
  PrintError(ProgramRunningMessage);
  return false;
}

struct TLoaded {
  TConfigManager Manager;
  std::unique_ptr<TBackupConfig> Config;
  TLoaded() : Config(Manager.LoadConfig()) {
    ReportDamagedFiles(Manager);
    for (const auto& task : Config->Tasks)
      for (int type = stFull; type <= stIncremental; ++type) task->Schedule.SubSchedule(type)->UpdateNextRun();
  }
};

TBackupTask* FindTaskOrSay(TBackupConfig& config, const std::string& reference) {
  TBackupTask* task = FindTask(config, reference);
  if (task == nullptr)
    PrintError("velkor-cli: no task named '" + reference +
               "' (see velkor-cli tasks; #N names the task on its N-th line there)");
  return task;
}

// One line from the user: without echo on a terminal, as it comes from standard input otherwise.
bool ReadSecretInput(const std::string& prompt, std::string& value) {
  TTerminalInput terminal;
  return terminal.IsTerminal() ? AskSecret(terminal, prompt, value) : terminal.ReadLine(value);
}

// Task options.

const std::set<std::string> TaskValueOptions = {
    "--source",         "--add-source",        "--remove-source",   "--dest", "--type", "--max-sets", "--storage",
    "--cloud-provider", "--cloud-destination", "--cloud-access-key"};
const std::set<std::string> TaskFlags = {"--zip",    "--folder",  "--encrypt",  "--no-encrypt",
                                         "--enable", "--disable", "--disabled", "--cloud-secret-stdin"};

// Applies the options to `settings`; a usage problem comes back as its text. The secret is read afterwards.
std::string ApplyTaskOptions(const TParsedArgs& parsed, TTaskSettings& settings) {
  bool sourcesReplaced = false;
  for (const auto& [name, value] : parsed.Options) {
    if (name == "--source" || name == "--add-source") {
      const std::string folder = StoredFolder(value);
      if (!fs::is_directory(folder)) return "source folder '" + value + "' does not exist";
      if (name == "--source" && !sourcesReplaced) {
        settings.SourceFolders.clear();
        sourcesReplaced = true;
      }
      if (!AddSourceFolder(settings, folder))
        PrintError("velkor-cli: source folder '" + folder + "' is listed already; not added again");
    } else if (name == "--remove-source") {
      if (!RemoveSourceFolder(settings, StoredFolder(value)) && !RemoveSourceFolder(settings, value))
        return "the task has no source folder '" + value + "'";
    } else if (name == "--dest") {
      settings.DestinationFolder = Trim(value).empty() ? std::string() : StoredFolder(value);
    } else if (name == "--type") {
      const auto type = KeyIndex(TypeKeys, value);
      if (!type) return "unknown backup type '" + value + "' (full, differential or incremental)";
      settings.BackupType = static_cast<TBackupType>(*type);
    } else if (name == "--storage") {
      const auto mode = KeyIndex(StorageKeys, value);
      if (!mode) return "unknown storage '" + value + "' (local, cloud or hybrid)";
      settings.StorageMode = static_cast<TStorageMode>(*mode);
    } else if (name == "--max-sets") {
      if (!ParseWholeNumber(value)) return "--max-sets needs a whole number";
      settings.MaxBackupsToKeep = MaxBackupsFromText(value);
    } else if (name == "--cloud-provider") {
      ApplyCloudInput(settings, {.Provider = value});
    } else if (name == "--cloud-destination") {
      ApplyCloudInput(settings, {.Destination = value});
    } else if (name == "--cloud-access-key") {
      ApplyCloudInput(settings, {.AccessKey = value});
    } else if (name == "--zip" || name == "--folder") {
      settings.CompressBackup = name == "--zip";
    } else if (name == "--encrypt" || name == "--no-encrypt") {
      settings.EncryptBackup = name == "--encrypt";
    } else if (name == "--enable" || name == "--disable" || name == "--disabled") {
      settings.Enabled = name == "--enable";
    }
  }
  return "";
}

// The cloud secret, protected, when --cloud-secret-stdin asks for it; false when it could not be read.
bool ReadCloudSecret(const TParsedArgs& parsed, TTaskSettings& settings) {
  if (!parsed.Has("--cloud-secret-stdin")) return true;
  std::string secret;
  if (!ReadSecretInput("Cloud parolasını (Secret Key) girin:", secret)) {
    PrintError("velkor-cli: the cloud secret was not entered; nothing was changed");
    return false;
  }
  ApplyCloudInput(settings, {.Secret = secret});
  return true;
}

// Showing a task.

std::string YesNo(bool value) { return value ? "Evet" : "Hayır"; }
std::string OnOff(bool value) { return value ? "Açık" : "Kapalı"; }
std::string TimeOrDash(TDateTime value) { return value > 0 ? FormatDateTime(TimePicture, value) : "-"; }
std::string TextOrDash(const std::string& text) { return Trim(text).empty() ? "-" : text; }

std::string DaysText(TScheduleDays days) {
  if (days == TScheduleDays::All()) return "her gün";
  std::string text;
  for (int day = sdSun; day <= sdSat; ++day)
    if (days.Contains(day)) text += (text.empty() ? "" : ", ") + std::string(ScheduleDayNames[day]);
  return text.empty() ? "gün seçilmedi" : text;
}

// "Açık, 02:30, Pazartesi, Çarşamba; sonraki çalışma 06.05.2024 02:30" or "Kapalı".
std::string SubScheduleText(const TSubSchedule& sub, bool inEffect) {
  if (!sub.Enabled()) return OnOff(false);
  std::string text = OnOff(true) + ", " + TwoDigitItem(sub.IntervalHours()) + ":" +
                     TwoDigitItem(sub.IntervalMinutes()) + ", " + DaysText(sub.Days());
  if (inEffect && sub.NextRun() > 0) text += "; sonraki çalışma " + FormatDateTime(TimePicture, sub.NextRun());
  return text;
}

void PrintSchedule(const TBackupTask& task) {
  const TTaskSchedule& schedule = task.Schedule;
  std::printf("Zamanlanmış yedekleme: %s\n", OnOff(schedule.Enabled()).c_str());
  for (int type = stFull; type <= stIncremental; ++type)
    std::printf("  %s: %s\n", SubScheduleCaptions[type - stFull],
                SubScheduleText(*schedule.SubSchedule(type), task.Enabled && schedule.Enabled()).c_str());
  if (schedule.TimeWindowEnabled())
    std::printf("Zaman penceresi: %s - %s\n", FormatDateTime("hh:nn", schedule.StartTime()).c_str(),
                FormatDateTime("hh:nn", schedule.EndTime()).c_str());
  else
    std::printf("Zaman penceresi: %s\n", OnOff(false).c_str());
}

void PrintTask(TBackupConfig& config, TBackupTask& task) {
  const auto line = [](const char* label, const std::string& value) { std::printf("%s: %s\n", label, value.c_str()); };
  line("Görev", task.Name + " (#" + std::to_string(TaskPosition(config, &task)) + ")");
  line("Durum", task.Enabled ? "Aktif" : "Pasif");
  std::printf("Kaynaklar:\n");
  for (const std::string& folder : task.SourceFolders) std::printf("  %s\n", folder.c_str());
  if (task.SourceFolders.empty()) std::printf("  -\n");
  line(task.StorageMode == smCloud ? "Lokal Hedef (pasif)" : "Lokal Hedef", TextOrDash(task.DestinationFolder));
  line("Mod", task.StorageMode >= smLocalDisk && task.StorageMode <= smHybrid ? StorageModeItems[task.StorageMode]
                                                                              : StorageModeToText(task.StorageMode));
  line("Cloud Sağlayıcı", TextOrDash(task.CloudProvider));
  line("Endpoint / Bucket / Yol", TextOrDash(task.CloudDestinationFolder));
  line("Kullanıcı / Access Key", TextOrDash(task.CloudAccountName));
  line("Parola", task.CloudPasswordProtected.empty() ? "-" : "kayıtlı");
  line("Manuel Çalıştırma Türü", BackupTypeToText(task.BackupType));
  line("Sıkıştır (ZIP)", YesNo(task.CompressBackup));
  line("Şifrele", YesNo(task.EncryptBackup));
  line("Maksimum Yedek Seti", std::to_string(task.MaxBackupsToKeep));
  PrintSchedule(task);
  for (const TTaskListRow& row : TaskListRows(config, tfAll))
    if (row.Task == &task) {
      line("Sonraki Çalışma", row.NextRun);
      line("Son Çalışma", row.LastRun);
    }
  line("Son Tam Yedek", TimeOrDash(task.LastFullBackupTime));
  const TChainCard card = BuildChainCard(&task);
  std::printf("Durum Özeti: %s\n", card.Chip.c_str());
  for (const auto& [label, value] : {std::pair{"Etkin", &card.Effective},
                                     {"Toplam Set", &card.TotalSets},
                                     {"Temel Tam", &card.BaseFull},
                                     {"Set ID", &card.SetId},
                                     {"Sonraki", &card.Next},
                                     {"Set İçeriği", &card.SetContents},
                                     {"Temizlik", &card.Cleanup}})
    std::printf("  %s: %s\n", label, value->c_str());
}

// The task commands.

int TaskAdd(const TArgs& args) {
  TParsedArgs parsed;
  if (const std::string problem = ParseArgs(args, TaskValueOptions, TaskFlags, "task add", parsed); !problem.empty())
    return Usage(problem);
  if (parsed.Positional.size() != 1) return Usage("task add needs one NAME");
  const std::string& name = parsed.Positional[0];
  TTaskSettings settings = ReadTaskSettings(TBackupTask());
  if (const std::string problem = ApplyTaskOptions(parsed, settings); !problem.empty()) return Usage(problem);

  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  // Refused names are told before the secret is asked for.
  if (const std::string refusal = CheckTaskName(*loaded.Config, name); !refusal.empty()) return Refused(refusal);
  if (!ReadCloudSecret(parsed, settings)) return ExitFailure;
  try {
    TBackupTask& task = NewTask(*loaded.Config, loaded.Manager, name, SystemClock(), &settings);
    std::printf("Görev oluşturuldu: %s (#%d)\n", task.Name.c_str(), TaskPosition(*loaded.Config, &task));
  } catch (const ETaskRefused& e) {
    return Refused(e.what());
  }
  return ExitSuccess;
}

int TaskSet(const TArgs& args) {
  TParsedArgs parsed;
  if (const std::string problem = ParseArgs(args, TaskValueOptions, TaskFlags, "task set", parsed); !problem.empty())
    return Usage(problem);
  if (parsed.Positional.size() != 1) return Usage("task set needs one NAME");
  if (parsed.Options.empty()) return Usage("task set needs at least one option");

  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  TBackupTask* task = FindTaskOrSay(*loaded.Config, parsed.Positional[0]);
  if (task == nullptr) return ExitUsage;
  TTaskSettings settings = ReadTaskSettings(*task);
  if (const std::string problem = ApplyTaskOptions(parsed, settings); !problem.empty()) return Usage(problem);
  if (const std::string refusal = CheckTaskSettings(settings); !refusal.empty()) return Refused(refusal);
  if (!ReadCloudSecret(parsed, settings)) return ExitFailure;
  try {
    const bool changed = ChangeTask(*loaded.Config, loaded.Manager, *task, settings);
    std::printf(changed ? "Görev güncellendi: %s\n" : "Görevde değişiklik yapılmadı: %s\n", task->Name.c_str());
  } catch (const ETaskRefused& e) {
    return Refused(e.what());
  }
  return ExitSuccess;
}

// "HH:MM" with an hour 0..23 and a minute 0..59.
bool ParseClockTime(const std::string& text, int& hour, int& minute) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3) return false;
  const auto h = ParseWholeNumber(text.substr(0, colon));
  const auto m = ParseWholeNumber(text.substr(colon + 1));
  if (!h || !m || text[0] == '-' || text[0] == '+' || text[colon + 1] == '-' || text[colon + 1] == '+') return false;
  if (*h > 23 || *m > 59) return false;
  hour = *h;
  minute = *m;
  return true;
}

// "mon,wed,fri" or "all".
bool ParseDayList(const std::string& text, TScheduleDays& days) {
  days = TScheduleDays::None();
  for (const std::string& item : SplitString(text, ',')) {
    const std::string key = LowerCaseAscii(Trim(item));
    if (key == "all") {
      days = TScheduleDays::All();
    } else if (const auto day = KeyIndex(DayKeys, key)) {
      days.Include(*day);
    } else {
      return false;
    }
  }
  return !days.Empty();
}

int TaskSchedule(const TArgs& args) {
  TParsedArgs parsed;
  if (const std::string problem = ParseArgs(args, {"--at", "--days"}, {"--off"}, "task schedule", parsed);
      !problem.empty())
    return Usage(problem);
  if (parsed.Positional.size() != 2) return Usage("task schedule needs NAME and full, differential or incremental");
  const auto type = KeyIndex(TypeKeys, parsed.Positional[1]);
  if (!type) return Usage("unknown backup type '" + parsed.Positional[1] + "' (full, differential or incremental)");
  TSubScheduleSettings sub;
  sub.Enabled = !parsed.Has("--off");
  if (!sub.Enabled && parsed.Options.size() > 1) return Usage("--off takes no --at or --days");
  if (sub.Enabled && !parsed.Has("--at")) return Usage("task schedule needs --at HH:MM, or --off");
  for (const auto& [name, value] : parsed.Options) {
    if (name == "--at" && !ParseClockTime(value, sub.Hour, sub.Minute))
      return Usage("--at needs a time of day HH:MM, not '" + value + "'");
    if (name == "--days" && !ParseDayList(value, sub.Days))
      return Usage("--days needs days such as mon,tue,wed,thu,fri,sat,sun or all, not '" + value + "'");
  }

  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  TBackupTask* task = FindTaskOrSay(*loaded.Config, parsed.Positional[0]);
  if (task == nullptr) return ExitUsage;
  const int scheduledType = stFull + *type;
  const bool changed = ChangeSchedule(*loaded.Config, loaded.Manager, *task,
                                      WithSubSchedule(ReadScheduleSettings(task->Schedule), scheduledType, sub));
  std::printf(changed ? "Zamanlama güncellendi: %s\n" : "Zamanlamada değişiklik yapılmadı: %s\n", task->Name.c_str());
  PrintSchedule(*task);
  if (!task->Enabled) std::printf("Görev pasif: etkinleştirilene kadar zamanlanmış çalışmalar yapılmaz.\n");
  return ExitSuccess;
}

int TaskShow(const TArgs& args) {
  if (args.size() != 1) return Usage("task show needs one NAME");
  TLoaded loaded;
  TBackupTask* task = FindTaskOrSay(*loaded.Config, args[0]);
  if (task == nullptr) return ExitUsage;
  PrintTask(*loaded.Config, *task);
  return ExitSuccess;
}

int TaskRename(const TArgs& args) {
  if (args.size() != 2 || args[0].rfind("--", 0) == 0) return Usage("task rename needs OLD and NEW");
  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  TBackupTask* task = FindTaskOrSay(*loaded.Config, args[0]);
  if (task == nullptr) return ExitUsage;
  const std::string before = task->Name;
  try {
    if (RenameTask(*loaded.Config, loaded.Manager, *task, args[1]))
      std::printf("Görev adı değiştirildi: %s -> %s\n", before.c_str(), task->Name.c_str());
    else
      std::printf("Görev adı aynı; değişiklik yapılmadı: %s\n", task->Name.c_str());
  } catch (const ETaskRefused& e) {
    return Refused(e.what());
  }
  return ExitSuccess;
}

int TaskCopy(const TArgs& args) {
  if (args.size() != 1) return Usage("task copy needs one NAME");
  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  TBackupTask* task = FindTaskOrSay(*loaded.Config, args[0]);
  if (task == nullptr) return ExitUsage;
  const TBackupTask& copy = CopyTask(*loaded.Config, loaded.Manager, *task, SystemClock());
  std::printf("%s%s (#%d)\n", CopiedTaskLogPrefix, copy.Name.c_str(), TaskPosition(*loaded.Config, &copy));
  return ExitSuccess;
}

int TaskRemove(const TArgs& args) {
  TParsedArgs parsed;
  if (const std::string problem = ParseArgs(args, {}, {"--yes"}, "task remove", parsed); !problem.empty())
    return Usage(problem);
  if (parsed.Positional.size() != 1) return Usage("task remove needs one NAME");
  const bool confirmed = parsed.Has("--yes");
  TTerminalInput terminal;
  if (!confirmed && !terminal.IsTerminal()) return Usage("task remove needs --yes when no terminal can confirm");

  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  TBackupTask* task = FindTaskOrSay(*loaded.Config, parsed.Positional[0]);
  if (task == nullptr) return ExitUsage;
  const std::string name = task->Name;
  TCliPrompts prompts(terminal, true);
  // Nothing runs or waits while this process holds the guard.
  const bool removed = DeleteTask(*loaded.Config, loaded.Manager, *task, false,
                                  [&](const std::string& question) { return confirmed || prompts.AskYesNo(question); });
  if (!removed) {
    PrintError("velkor-cli: nothing was deleted");
    return ExitFailure;
  }
  std::printf("Görev silindi: %s. Yedekleri ve geçmiş kayıtları yerinde duruyor.\n", name.c_str());
  return ExitSuccess;
}

// JSON for scripts.

TJson TimeJson(TDateTime value) { return value > 0 ? TJson(FormatJsonDateTime(value)) : TJson(nullptr); }

template <size_t N>
TJson KeyJson(const char* const (&keys)[N], int ordinal) {
  return ordinal >= 0 && static_cast<size_t>(ordinal) < N ? TJson(keys[ordinal]) : TJson("unknown");
}

TJson SubScheduleJson(const TSubSchedule& sub) {
  TJson days = TJson::array();
  for (int day = sdSun; day <= sdSat; ++day)
    if (sub.Days().Contains(day)) days.push_back(DayKeys[day]);
  return {{"enabled", sub.Enabled()},
          {"at", TwoDigitItem(sub.IntervalHours()) + ":" + TwoDigitItem(sub.IntervalMinutes())},
          {"days", std::move(days)},
          {"lastRun", TimeJson(sub.LastRun())},
          {"nextRun", TimeJson(sub.NextRun())}};
}

TJson TaskJson(const TBackupConfig& config, const TBackupTask& task) {
  const TTaskSchedule& schedule = task.Schedule;
  return {{"index", TaskPosition(config, &task)},
          {"name", task.Name},
          {"enabled", task.Enabled},
          {"sources", EncodeStoredPaths(task.SourceFolders)},
          {"destination", EncodeStoredPath(task.DestinationFolder)},
          {"storage", KeyJson(StorageKeys, task.StorageMode)},
          {"cloudProvider", task.CloudProvider},
          {"cloudDestination", EncodeStoredPath(task.CloudDestinationFolder)},
          {"cloudAccessKey", task.CloudAccountName},
          {"cloudSecretStored", !task.CloudPasswordProtected.empty()},
          {"type", KeyJson(TypeKeys, task.BackupType)},
          {"output", task.CompressBackup ? "zip" : "folder"},
          {"encrypt", task.EncryptBackup},
          {"maxSets", task.MaxBackupsToKeep},
          {"schedule",
           {{"enabled", schedule.Enabled()},
            {"full", SubScheduleJson(schedule.FullSchedule())},
            {"differential", SubScheduleJson(schedule.DiffSchedule())},
            {"incremental", SubScheduleJson(schedule.IncSchedule())}}},
          {"nextRun", TimeJson(task.Enabled && schedule.Enabled() ? schedule.NextBackupTime() : 0)},
          {"lastRun", TimeJson(task.LastSuccessfulBackupTime)},
          {"lastFullBackup", TimeJson(task.LastFullBackupTime)},
          {"backups", task.BackupChain.size()}};
}

TJson HistoryJson(size_t index, const THistorySummary& entry) {
  const TBackupHistoryItem& item = entry.Item;
  return {{"index", index},
          {"time", TimeJson(item.BackupTime)},
          {"status", HistoryStatusText(item, entry.FailedFiles)},
          {"success", item.Success},
          {"task", item.TaskName},
          {"output", EncodeStoredPath(item.OutputPath)},
          {"checksum", item.Checksum},
          {"verified", item.Verified},
          {"files", item.FileCount},
          {"bytes", item.TotalSize},
          {"storage", KeyJson(StorageKeys, item.StorageMode)},
          {"cloudOutput", item.CloudOutputPath},
          {"cloudStatus", item.CloudStatus},
          {"details", item.Details}};
}

void PrintJson(const TJson& value) { std::cout << value.dump(2, ' ', false, TJson::error_handler_t::replace) << "\n"; }

// Settings.

void PrintSettings(const TBackupConfig& config) {
  const auto onOff = [](bool value) { return value ? "on" : "off"; };
  std::printf("start-with-session: %s\n", onOff(config.StartWithWindows));
  std::printf("start-in-tray: %s\n", onOff(config.MinimizeToTray));
  std::printf("notifications: %s\n", onOff(config.ShowNotifications));
  std::printf("remember-password: %s\n", onOff(config.CacheEncryptionPassword));
  std::printf("background: %s\n", onOff(config.BackgroundMode));
  std::printf("speed-limit: %d\n", config.SpeedLimitMBPerSec);
}

// The window's program, which the session starts in the tray: beside velkor-cli when installed, or in the build
// tree's ui folder.
fs::path DesktopProgram() {
  const fs::path folder = GetExecutablePath().parent_path();
  for (const fs::path& candidate : {folder / "velkor", folder.parent_path() / "ui" / "velkor"})
    if (fs::exists(candidate)) return candidate;
  return folder / "velkor";
}

}  // namespace

int RunTaskCommand(const TArgs& args) {
  const std::pair<const char*, int (*)(const TArgs&)> commands[] = {
      {"add", TaskAdd},       {"set", TaskSet},   {"schedule", TaskSchedule}, {"show", TaskShow},
      {"rename", TaskRename}, {"copy", TaskCopy}, {"remove", TaskRemove},
  };
  if (args.empty()) return Usage("task needs add, set, schedule, show, rename, copy or remove");
  for (const auto& [name, command] : commands)
    if (args[0] == name) return command(TArgs(args.begin() + 1, args.end()));
  return Usage("unknown task command '" + args[0] + "'");
}

int RunSettingsCommand(const TArgs& args) {
  TParsedArgs parsed;
  const std::set<std::string> switches = {"--start-with-session", "--start-in-tray", "--notifications",
                                          "--remember-password", "--background"};
  std::set<std::string> valued = switches;
  valued.insert("--speed-limit");
  if (const std::string problem = ParseArgs(args, valued, {}, "settings", parsed); !problem.empty())
    return Usage(problem);
  if (!parsed.Positional.empty()) return Usage("settings takes options only");
  std::map<std::string, bool> changes;
  std::optional<int> speedLimit;
  for (const auto& [name, value] : parsed.Options) {
    if (name == "--speed-limit") {
      speedLimit = ParseWholeNumber(Trim(value));
      if (!speedLimit || *speedLimit < 0) return Usage("--speed-limit needs a whole number of MB/s, 0 for none");
    } else if (!ParseOnOff(value, changes[name])) {
      return Usage(name + " needs on or off");
    }
  }
  if (parsed.Options.empty()) {
    TLoaded loaded;
    PrintSettings(*loaded.Config);
    return ExitSuccess;
  }

  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TLoaded loaded;
  TBackupConfig& config = *loaded.Config;
  // The password held as the window would hold it, so that saving keeps it stored or removes it as the window does.
  TEncryptionManager encryption;
  if (config.CacheEncryptionPassword) encryption.LoadPasswordFromRegistry();
  for (const auto& [name, value] : changes) {
    if (name == "--start-with-session") config.StartWithWindows = value;
    if (name == "--start-in-tray") config.MinimizeToTray = value;
    if (name == "--notifications") config.ShowNotifications = value;
    if (name == "--remember-password") config.CacheEncryptionPassword = value;
    if (name == "--background") config.BackgroundMode = value;
  }
  if (speedLimit) config.SpeedLimitMBPerSec = SpeedLimitFromText(std::to_string(*speedLimit));
  const fs::path program = DesktopProgram();
  SaveGeneralSettings(config, loaded.Manager, &encryption, program);
  std::printf("%s\n", SettingsSavedMessage);
  PrintSettings(config);
  if (config.StartWithWindows && !fs::exists(program))
    PrintError("velkor-cli: note: the desktop program is not at " + program.string() +
               " yet; the session starts it from there");
  return ExitSuccess;
}

int RunPasswordCommand(const TArgs& args) {
  if (args.size() != 1 || (args[0] != "set" && args[0] != "clear")) return Usage("password needs set or clear");
  TSingleInstanceGuard guard;
  if (!AcquireWriterGuard(guard)) return ExitFailure;
  TEncryptionManager encryption;
  if (args[0] == "clear") {
    encryption.ClearPasswordFromRegistry();
    std::printf("%s\n", PasswordClearedMessage);
    return ExitSuccess;
  }
  TLoaded loaded;
  if (!loaded.Config->CacheEncryptionPassword) {
    PrintError("velkor-cli: " + std::string(PasswordNotRememberedMessage));
    return ExitFailure;
  }
  // The password dialog's rules: a blank password, or a repetition that differs, is refused.
  TTerminalInput terminal;
  std::string password;
  if (terminal.IsTerminal()) {
    std::fprintf(stderr, "%s\n", SetPasswordTitle);
    if (!AskSecret(terminal, SetPasswordPrompt, password)) return ExitFailure;
    if (Trim(password).empty()) return Refused("Şifre boş olamaz!");
    std::string again;
    if (!AskSecret(terminal, SetPasswordConfirmPrompt, again)) return ExitFailure;
    if (again != password) return Refused("Şifreler eşleşmiyor!");
  } else if (!terminal.ReadLine(password) || Trim(password).empty()) {
    return Refused("Şifre boş olamaz!");
  }
  const TCommandOutcome outcome = ApplyEncryptionPassword(encryption, password, true);
  std::printf("%s\n", TerminalText(outcome.Message).c_str());
  return ExitSuccess;
}

int RunVerifyCommand(const TArgs& args) {
  if (args.size() != 1) return Usage("verify needs one INDEX");
  TConfigManager manager;
  const std::vector<TBackupHistoryItem> items = manager.LoadHistory();
  ReportDamagedFiles(manager);
  const std::optional<int> number = ParseWholeNumber(args[0]);
  if (!number || args[0][0] == '-' || args[0][0] == '+' || *number < 1 || static_cast<size_t>(*number) > items.size())
    return Usage("no history entry " + args[0] + " (see velkor-cli history)");
  const TVerifyOutcome o = VerifyHistoryOutput(items[*number - 1]);
  const char* path = o.Path.c_str();
  switch (o.Verdict) {
    case vvNoOutput: std::printf("nothing to verify: history entry %d has no output\n", *number); return ExitFailure;
    case vvCloud: std::printf("not verified: %s is in the cloud\n", path); return ExitFailure;
    case vvNoChecksum:
      std::printf("not verified: history entry %d recorded no checksum for %s\n", *number, path);
      return ExitFailure;
    case vvMissing: std::printf("output missing: %s\n", path); return ExitFailure;
    case vvUnreadable: std::printf("not verified: %s cannot be read\n", path); return ExitFailure;
    case vvMismatch:
      std::printf("mismatch: %s\n  recorded SHA-256 %s\n  now      SHA-256 %s\n", path, o.Recorded.c_str(),
                  o.Actual.c_str());
      return ExitFailure;
    case vvMatch: break;
  }
  std::printf("match: %s\n  SHA-256 %s\n", path, o.Actual.c_str());
  return ExitSuccess;
}

int RunTasksJsonCommand() {
  TLoaded loaded;
  TJson tasks = TJson::array();
  for (const auto& task : loaded.Config->Tasks) tasks.push_back(TaskJson(*loaded.Config, *task));
  PrintJson(tasks);
  return ExitSuccess;
}

int RunHistoryJsonCommand() {
  TConfigManager manager;
  // What it prints of an entry does not include the file list.
  const std::vector<THistorySummary> items = manager.LoadHistorySummary();
  ReportDamagedFiles(manager);
  TJson entries = TJson::array();
  for (size_t i = 0; i < items.size(); ++i) entries.push_back(HistoryJson(i + 1, items[i]));
  PrintJson(entries);
  return ExitSuccess;
}

}  // namespace velkor
