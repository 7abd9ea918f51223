// The task editor's rules and the task commands over a real configuration folder.
#include <gtest/gtest.h>

#include "app/GeneralSettings.h"
#include "app/TaskRules.h"
#include "crypto/SecureStorage.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class TaskRules : public ::testing::Test {
protected:
  test::TTempDir FDir;
  test::TFakeClock FClock{EncodeDateTime(2024, 5, 1, 10, 0, 0)};  // a Wednesday
  TConfigManager FManager{FDir / "Pardex", FClock};
  TBackupConfig FConfig;

  TBackupTask& Add(const std::string& name) {
    FConfig.Tasks.push_back(std::make_unique<TBackupTask>(FClock));
    FConfig.Tasks.back()->Name = name;
    return *FConfig.Tasks.back();
  }
  // The configuration as saved, then config.json's bytes ("" while there is none).
  std::string Save() {
    FManager.SaveConfig(FConfig);
    return FileBytes();
  }
  std::string FileBytes() const {
    return fs::exists(FManager.ConfigFile()) ? test::ReadFile(FManager.ConfigFile()) : std::string();
  }
  std::vector<std::string> SavedNames() {
    std::vector<std::string> names;
    const std::unique_ptr<TBackupConfig> saved = FManager.LoadConfig();
    for (const auto& task : saved->Tasks) names.push_back(task->Name);
    return names;
  }
  // config.json cannot be written: a folder stands in its place.
  void BreakConfigFile() {
    fs::remove(FManager.ConfigFile());
    fs::create_directories(FManager.ConfigFile() / "x");
  }
  static std::string Refusal(const std::function<void()>& command) {
    try {
      command();
    } catch (const ETaskRefused& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(TaskRules, NamesAreNotBlankAndUniqueInAnyLetterCase) {
  Add("Belgeler");
  Add("İş Yedekleri");
  Add("ısı");
  TBackupTask& photos = Add("Fotoğraflar");
  EXPECT_EQ(ProposeNewTaskName(FConfig), "Yeni Görev 5");

  const struct {
    std::string Name;
    const TBackupTask* Self;
    std::string Message;
  } cases[] = {
      {"", nullptr, TaskNameEmptyMessage},
      {" \t ", nullptr, TaskNameEmptyMessage},
      {"belgeler", nullptr, TaskNameTakenMessage},
      {" BELGELER ", nullptr, TaskNameTakenMessage},
      {"iş yedekleri", nullptr, TaskNameTakenMessage},
      {"ISI", nullptr, TaskNameTakenMessage},
      {"FOTOĞRAFLAR", nullptr, TaskNameTakenMessage},
      {"FOTOĞRAFLAR", &photos, ""},  // the task's own name in another case
      {"Belgeler 2", nullptr, ""},
      {"Müzik", nullptr, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckTaskName(FConfig, c.Name, c.Self), c.Message) << "'" << c.Name << "'";
}

TEST_F(TaskRules, NewTaskIsSavedAtOnceAndRefusedNamesWriteNothing) {
  Add("Belgeler");
  const std::string before = Save();
  for (const std::string name : {"   ", "BELGELER"}) {
    EXPECT_NE(Refusal([&] { NewTask(FConfig, FManager, name, FClock); }), "") << name;
    EXPECT_EQ(FConfig.Tasks.size(), 1u);
    EXPECT_EQ(FileBytes(), before) << name;
  }

  TBackupTask& task = NewTask(FConfig, FManager, "  Yedek  ", FClock);
  EXPECT_EQ(task.Name, "  Yedek  ") << "stored as typed";
  EXPECT_TRUE(task.Enabled);
  EXPECT_TRUE(task.SourceFolders.empty()) << "the window's new task is filled in the editor afterwards";
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Belgeler", "  Yedek  "}));

  // With settings (the command-line tool's add) they are checked before anything is written.
  TTaskSettings settings = ReadTaskSettings(TBackupTask(FClock));
  const std::string twoTasks = FileBytes();
  EXPECT_EQ(Refusal([&] { NewTask(FConfig, FManager, "Boş", FClock, &settings); }), NoSourceFolderMessage);
  EXPECT_EQ(FileBytes(), twoTasks);
  settings.SourceFolders = {"/data/Docs"};
  settings.DestinationFolder = "/backup";
  settings.EncryptBackup = true;
  EXPECT_TRUE(NewTask(FConfig, FManager, "Dolu", FClock, &settings).EncryptBackup);
  EXPECT_EQ(FManager.LoadConfig()->Tasks.at(2)->SourceFolders, settings.SourceFolders);
}

TEST_F(TaskRules, SettingsNeedASourceAndALocalDestinationUnlessCloudOnly) {
  const struct {
    std::vector<std::string> Sources;
    TStorageMode Mode;
    std::string Destination;
    std::string Message;
  } cases[] = {
      {{}, smLocalDisk, "/backup", NoSourceFolderMessage},
      {{}, smCloud, "", NoSourceFolderMessage},
      {{"/data"}, smLocalDisk, "", NoLocalDestinationMessage},
      {{"/data"}, smLocalDisk, "   ", NoLocalDestinationMessage},
      {{"/data"}, smHybrid, "", NoLocalDestinationMessage},
      {{"/data"}, smCloud, "", ""},
      {{"/data"}, smHybrid, "/backup", ""},
      {{"/data"}, smLocalDisk, "/backup", ""},
  };
  for (const auto& c : cases) {
    TTaskSettings s;
    s.SourceFolders = c.Sources;
    s.StorageMode = c.Mode;
    s.DestinationFolder = c.Destination;
    EXPECT_EQ(CheckTaskSettings(s), c.Message) << c.Mode << " '" << c.Destination << "'";
  }
}

TEST_F(TaskRules, SourceFoldersCompareWithoutLetterCase) {
  TTaskSettings s;
  EXPECT_TRUE(AddSourceFolder(s, "/data/Çalışma"));
  EXPECT_FALSE(AddSourceFolder(s, "/DATA/ÇALIŞMA")) << "listed already in another letter case";
  EXPECT_TRUE(AddSourceFolder(s, "/data/Çalışma/alt"));
  EXPECT_EQ(s.SourceFolders, (std::vector<std::string>{"/data/Çalışma", "/data/Çalışma/alt"}));
  EXPECT_FALSE(RemoveSourceFolder(s, "/data/yok"));
  EXPECT_TRUE(RemoveSourceFolder(s, "/Data/çalışma"));
  EXPECT_EQ(s.SourceFolders, std::vector<std::string>{"/data/Çalışma/alt"});
}

TEST_F(TaskRules, CloudFieldsAreStoredAsTheyReadBack) {
  const test::TScopedEnv appData("APPDATA", (FDir / "appdata").string());  // the user's protection key
  TTaskSettings s = ReadTaskSettings(TBackupTask(FClock));
  s.CloudPasswordProtected = "dpapi:eski";
  ApplyCloudInput(s, {.Provider = "  minio ", .AccessKey = " AKIA9 ", .Destination = " s3://arsiv/gunluk "});
  EXPECT_EQ(s.CloudProvider, DefaultCloudProvider);
  EXPECT_EQ(s.CloudAccountName, "AKIA9");
  EXPECT_EQ(s.CloudDestinationFolder, "s3://arsiv/gunluk");
  EXPECT_EQ(s.CloudPasswordProtected, "dpapi:eski") << "a secret not entered stays as stored";

  ApplyCloudInput(s, {.Provider = " NAS / WebDAV", .Secret = " bulut sırrı "});
  EXPECT_EQ(s.CloudProvider, "NAS / WebDAV");
  EXPECT_EQ(s.CloudAccountName, "AKIA9");
  EXPECT_TRUE(IsProtectedString(s.CloudPasswordProtected));
  EXPECT_EQ(UnprotectString(s.CloudPasswordProtected), " bulut sırrı ") << "a secret is kept exactly as typed";
  ApplyCloudInput(s, {.Secret = ""});
  EXPECT_EQ(s.CloudPasswordProtected, "") << "a cleared field removes the secret";
}

TEST_F(TaskRules, NumbersTypedIntoTheEditorAndTheSettingsPage) {
  const struct {
    const char* Text;
    int MaxSets;
    int SpeedLimit;
  } cases[] = {
      {"abc", 10, 0}, {"", 10, 0}, {"12x", 10, 0}, {"25", 25, 25},
      {"+7", 7, 7},   {"0", 0, 0}, {"-5", -5, 0},  {" 3 ", 10, 3},  // the speed limit is trimmed, the set count is not
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaxBackupsFromText(c.Text), c.MaxSets) << "'" << c.Text << "'";
    EXPECT_EQ(SpeedLimitFromText(c.Text), c.SpeedLimit) << "'" << c.Text << "'";
  }
}

TEST_F(TaskRules, ChangeTaskChecksFirstAndWritesOnlyAChange) {
  TBackupTask& task = Add("Belgeler");
  task.SourceFolders = {"/data"};
  task.DestinationFolder = "/backup";
  const std::string before = Save();

  TTaskSettings settings = ReadTaskSettings(task);
  fs::remove(FManager.ConfigFile());
  EXPECT_FALSE(ChangeTask(FConfig, FManager, task, settings));
  EXPECT_FALSE(fs::exists(FManager.ConfigFile())) << "an unchanged task is not written";
  test::WriteFile(FManager.ConfigFile(), before);

  settings.SourceFolders.clear();
  EXPECT_EQ(Refusal([&] { ChangeTask(FConfig, FManager, task, settings); }), NoSourceFolderMessage);
  EXPECT_EQ(task.SourceFolders, std::vector<std::string>{"/data"});
  EXPECT_EQ(FileBytes(), before);

  settings = ReadTaskSettings(task);
  settings.CompressBackup = false;
  settings.MaxBackupsToKeep = 3;
  EXPECT_TRUE(ChangeTask(FConfig, FManager, task, settings));
  const auto saved = FManager.LoadConfig();
  EXPECT_FALSE(saved->Tasks.at(0)->CompressBackup);
  EXPECT_EQ(saved->Tasks.at(0)->MaxBackupsToKeep, 3);
}

TEST_F(TaskRules, RenameWritesNothingForTheSameNameAndRefusesBlankOrTakenNames) {
  TBackupTask& task = Add("Belgeler");
  Add("Müzik");
  const std::string before = Save();

  fs::remove(FManager.ConfigFile());
  EXPECT_FALSE(RenameTask(FConfig, FManager, task, "Belgeler"));
  EXPECT_FALSE(fs::exists(FManager.ConfigFile())) << "renaming to the same name writes nothing";
  test::WriteFile(FManager.ConfigFile(), before);

  for (const auto& [name, message] : {std::pair{"", TaskNameEmptyMessage},
                                      {"   ", TaskNameEmptyMessage},
                                      {"MÜZIK", TaskNameTakenMessage},
                                      {" müzik", TaskNameTakenMessage}}) {
    EXPECT_EQ(Refusal([&] { RenameTask(FConfig, FManager, task, name); }), message) << "'" << name << "'";
    EXPECT_EQ(task.Name, "Belgeler");
    EXPECT_EQ(FileBytes(), before);
  }

  EXPECT_TRUE(RenameTask(FConfig, FManager, task, "BELGELER")) << "a change of letter case only";
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"BELGELER", "Müzik"}));
}

TEST_F(TaskRules, CopyKeepsTheSettingsAndClearsTheRunsAndTheChain) {
  TBackupTask& daily = Add("Daily");
  daily.SourceFolders = {"/data/a", "/data/b"};
  daily.DestinationFolder = "/backup";
  daily.StorageMode = smHybrid;
  daily.CloudProvider = "NAS / WebDAV";
  daily.CloudAccountName = "erisim";
  daily.CloudPasswordProtected = "dpapi:abc";
  daily.CloudDestinationFolder = "http://nas:9000/kova/yol";
  daily.BackupType = btIncremental;
  daily.CompressBackup = false;
  daily.EncryptBackup = true;
  daily.MaxBackupsToKeep = 4;
  daily.LastSuccessfulBackupTime = EncodeDateTime(2024, 4, 30, 2, 0, 0);
  daily.LastFullBackupTime = EncodeDateTime(2024, 4, 28, 2, 0, 0);
  daily.LastRetentionCleanupTime = EncodeDateTime(2024, 4, 30, 2, 5, 0);
  TTaskSchedule& schedule = daily.Schedule;
  schedule.SetEnabled(true);
  schedule.SetTimeWindowEnabled(true);
  schedule.SetStartTime(EncodeTime(22, 0, 0));
  schedule.FullSchedule().SetIntervalHours(3);
  schedule.FullSchedule().SetDays(TScheduleDays(0b0000010));
  schedule.FullSchedule().SetLastRun(EncodeDateTime(2024, 4, 29, 3, 0, 0));
  schedule.IncSchedule().SetEnabled(true);
  schedule.IncSchedule().SetIntervalMinutes(45);
  schedule.SetDays(TScheduleDays(0b0000010));
  daily.BackupChain.push_back(std::make_unique<TBackupChainItem>());

  const TBackupTask& copy = CopyTask(FConfig, FManager, daily, FClock);
  EXPECT_EQ(copy.Name, "Daily (Kopya)");
  EXPECT_FALSE(copy.Enabled);
  EXPECT_EQ(ReadTaskSettings(copy), [&] {
    TTaskSettings expected = ReadTaskSettings(daily);
    expected.Enabled = false;
    return expected;
  }());
  EXPECT_EQ(ReadScheduleSettings(copy.Schedule), ReadScheduleSettings(daily.Schedule));
  EXPECT_EQ(copy.Schedule.Days(), TScheduleDays(0b0000010));
  EXPECT_EQ(copy.LastRetentionCleanupTime, daily.LastRetentionCleanupTime);
  EXPECT_FALSE(copy.Schedule.TimeWindowEnabled()) << "the default time window";
  EXPECT_EQ(copy.Schedule.StartTime(), 0);
  EXPECT_EQ(copy.Schedule.FullSchedule().LastRun(), 0);
  EXPECT_EQ(copy.LastSuccessfulBackupTime, 0);
  EXPECT_EQ(copy.LastFullBackupTime, 0);
  EXPECT_TRUE(copy.BackupChain.empty());
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Daily", "Daily (Kopya)"}));

  // Names stay unique: the next copy is numbered.
  EXPECT_EQ(CopyTask(FConfig, FManager, daily, FClock).Name, "Daily (Kopya 2)");
}

TEST_F(TaskRules, DeleteRefusesABusyTaskAndAsksFirst) {
  TBackupTask& first = Add("Birinci");
  TBackupTask& second = Add("İkinci");
  Add("Üçüncü");
  const std::string before = Save();
  std::vector<std::string> asked;
  auto answer = [&asked](bool yes) {
    return [&asked, yes](const std::string& question) {
      asked.push_back(question);
      return yes;
    };
  };

  EXPECT_EQ(Refusal([&] { DeleteTask(FConfig, FManager, second, true, answer(true)); }), TaskBusyMessage);
  EXPECT_TRUE(asked.empty()) << "a busy task is refused before the question";
  EXPECT_FALSE(DeleteTask(FConfig, FManager, second, false, answer(false)));
  EXPECT_EQ(asked, std::vector<std::string>{DeleteTaskQuestion});
  EXPECT_EQ(FConfig.Tasks.size(), 3u);
  EXPECT_EQ(FileBytes(), before);

  EXPECT_TRUE(DeleteTask(FConfig, FManager, second, false, answer(true)));
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Birinci", "Üçüncü"}));
  EXPECT_EQ(FConfig.Tasks.at(0).get(), &first);
}

TEST_F(TaskRules, ASubScheduleSwitchedOffKeepsNoDaysAndIsSavedAtOnce) {
  TBackupTask& task = Add("Belgeler");
  TScheduleSettings settings = ReadScheduleSettings(task.Schedule);
  settings.Enabled = true;
  settings.For(stFull) = {true, 1, 15, TScheduleDays(0b0101010)};
  settings.For(stDifferential) = {false, 5, 30, TScheduleDays::All()};  // "Fark Yedek" unchecked
  EXPECT_TRUE(ChangeSchedule(FConfig, FManager, task, settings));

  const auto saved = FManager.LoadConfig();
  const TTaskSchedule& stored = saved->Tasks.at(0)->Schedule;
  EXPECT_TRUE(stored.Enabled());
  EXPECT_EQ(stored.DiffSchedule().Days(), TScheduleDays::None());
  EXPECT_EQ(stored.DiffSchedule().IntervalHours(), 0);
  EXPECT_EQ(stored.DiffSchedule().IntervalMinutes(), 0);
  EXPECT_EQ(stored.FullSchedule().IntervalMinutes(), 15);
  EXPECT_EQ(stored.Days(), TScheduleDays(0b0101010)) << "the task-level set follows the full sub-schedule";
  EXPECT_EQ(task.Schedule.FullSchedule().NextRun(), EncodeDateTime(2024, 5, 3, 1, 15, 0)) << "Friday";

  fs::remove(FManager.ConfigFile());
  EXPECT_FALSE(ChangeSchedule(FConfig, FManager, task, settings)) << "the same schedule again";
  EXPECT_FALSE(fs::exists(FManager.ConfigFile()));
}

TEST_F(TaskRules, OneSubScheduleAtATimeFromTheCommandLine) {
  const TSubScheduleSettings at0230{true, 2, 30, TScheduleDays(0b0000010)};
  const TSubScheduleSettings off{false, 0, 0, TScheduleDays::None()};
  const TScheduleSettings fresh = ReadScheduleSettings(TTaskSchedule(FClock));  // off, its full one on

  TScheduleSettings s = WithSubSchedule(fresh, stIncremental, at0230);
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(s.For(stIncremental), at0230);
  EXPECT_EQ(s.For(stFull), off) << "not in effect before, so not switched on by the way";

  s = WithSubSchedule(s, stFull, {true, 23, 0, TScheduleDays::All()});
  EXPECT_EQ(s.For(stIncremental), at0230) << "with the schedule on, the others stay";
  s = WithSubSchedule(s, stFull, off);
  EXPECT_TRUE(s.Enabled);
  s = WithSubSchedule(s, stIncremental, off);
  EXPECT_FALSE(s.Enabled) << "the last one off switches the schedule off";

  EXPECT_FALSE(WithSubSchedule(fresh, stDifferential, off).Enabled) << "switching off never switches the schedule on";
}

TEST_F(TaskRules, AFailedSaveUndoesTheChangeInMemory) {
  TBackupTask& task = Add("Belgeler");
  task.SourceFolders = {"/data"};
  task.DestinationFolder = "/backup";
  Add("Müzik");
  BreakConfigFile();
  auto fails = [](const std::function<void()>& command) {
    try {
      command();
    } catch (const ETaskRefused&) {
      return false;
    } catch (const std::exception&) {
      return true;
    }
    return false;
  };
  EXPECT_TRUE(fails([&] { NewTask(FConfig, FManager, "Yeni", FClock); }));
  EXPECT_TRUE(fails([&] { CopyTask(FConfig, FManager, task, FClock); }));
  EXPECT_EQ(FConfig.Tasks.size(), 2u);
  EXPECT_TRUE(fails([&] { RenameTask(FConfig, FManager, task, "Başka"); }));
  EXPECT_EQ(task.Name, "Belgeler");
  TTaskSettings settings = ReadTaskSettings(task);
  settings.MaxBackupsToKeep = 2;
  EXPECT_TRUE(fails([&] { ChangeTask(FConfig, FManager, task, settings); }));
  EXPECT_EQ(task.MaxBackupsToKeep, 10);
  const TScheduleSettings schedule = ReadScheduleSettings(task.Schedule);
  EXPECT_TRUE(fails([&] { ChangeSchedule(FConfig, FManager, task, WithSubSchedule(schedule, stFull, {})); }));
  EXPECT_EQ(ReadScheduleSettings(task.Schedule), schedule);
  EXPECT_TRUE(fails([&] { DeleteTask(FConfig, FManager, task, false, [](const std::string&) { return true; }); }));
  ASSERT_EQ(FConfig.Tasks.size(), 2u);
  EXPECT_EQ(FConfig.Tasks[0].get(), &task) << "back in its place";
}

TEST_F(TaskRules, EveryTaskCanBeFoundByNameOrPosition) {
  TBackupTask& docs = Add("Belgeler");
  TBackupTask& blank = Add("");
  TBackupTask& twinA = Add("yedek");
  TBackupTask& twinB = Add("YEDEK");
  const struct {
    std::string Reference;
    TBackupTask* Found;
  } cases[] = {
      {"Belgeler", &docs}, {"BELGELER", &docs}, {"#1", &docs},    {"#2", &blank},   {"yedek", &twinA},
      {"YEDEK", &twinB},   {"Yedek", nullptr},  {"#4", &twinB},   {"#0", nullptr},  {"#5", nullptr},
      {"#x", nullptr},     {"#", nullptr},      {"#-1", nullptr}, {"Yok", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(FindTask(FConfig, c.Reference), c.Found) << c.Reference;
  EXPECT_EQ(TaskPosition(FConfig, &twinA), 3);
}

}  // namespace
}  // namespace velkor
