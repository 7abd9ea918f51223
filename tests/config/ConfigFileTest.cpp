#include <gtest/gtest.h>
#include <sys/stat.h>

#include "config/ConfigManager.h"
#include "platform/StoredJson.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace velkor {
namespace {

using test::ReadFile;
using test::TFakeClock;
using test::TTempDir;
using test::WriteFile;

const TDateTime Now = EncodeDateTime(2024, 7, 1, 9, 15, 0);

std::unique_ptr<TBackupChainItem> ChainItem(const std::string& id, const std::string& setId, const std::string& parent,
                                            const std::string& output, const std::string& mirror, TDateTime time,
                                            TBackupType requested, TBackupType effective,
                                            std::vector<std::string> known) {
  auto item = std::make_unique<TBackupChainItem>();
  item->BackupId = id;
  item->SetId = setId;
  item->BaseFullBackupId = setId;
  item->ParentBackupId = parent;
  item->OutputPath = output;
  item->MirrorOutputPath = mirror;
  item->BackupTime = time;
  item->RequestedType = requested;
  item->EffectiveType = effective;
  item->KnownFiles = std::move(known);
  return item;
}

// The configuration that tests/config/data/sample-config.json holds, built field by field.
std::unique_ptr<TBackupConfig> SampleConfig(IClock& clock) {
  auto config = std::make_unique<TBackupConfig>();
  config->StartWithWindows = true;
  config->MinimizeToTray = false;
  config->CacheEncryptionPassword = false;
  config->SpeedLimitMBPerSec = 25;

  auto t1 = std::make_unique<TBackupTask>(clock);
  t1->Name = "Muhasebe Belgeleri";
  t1->SourceFolders = {"/home/ayşe/Belgeler", "/srv/paylaşım/Fatura"};
  t1->DestinationFolder = "/mnt/yedek";
  t1->StorageMode = smHybrid;
  t1->CloudAccountName = "AKIAÖRNEK";
  t1->CloudPasswordProtected = "dpapi:AAAA\r\nBBBB";
  t1->BackupType = btIncremental;
  t1->EncryptBackup = true;
  t1->MaxBackupsToKeep = 3;
  TTaskSchedule& s = t1->Schedule;
  s.SetEnabled(true);
  s.FullSchedule().SetIntervalHours(1);
  s.FullSchedule().SetIntervalMinutes(30);
  s.FullSchedule().SetLastRun(EncodeDateTime(2024, 5, 1, 1, 30, 0));
  s.FullSchedule().SetDays(TScheduleDays(0b0111110));
  s.DiffSchedule().SetEnabled(true);
  s.DiffSchedule().SetIntervalHours(12);
  s.DiffSchedule().SetDays(TScheduleDays(0b1000001));
  s.IncSchedule().SetIntervalHours(23);
  s.IncSchedule().SetIntervalMinutes(45);
  s.SetTimeWindowEnabled(true);
  s.SetStartTime(EncodeTime(22, 0, 0));
  s.SetEndTime(EncodeTime(6, 0, 0));
  s.SetDays(TScheduleDays(0b0111110));
  t1->LastSuccessfulBackupTime = EncodeDateTime(2024, 5, 2, 12, 0, 5);
  t1->LastFullBackupTime = EncodeDateTime(2024, 5, 1, 1, 30, 10);
  t1->LastRetentionCleanupTime = EncodeDateTime(2024, 5, 2, 12, 0, 6);
  const std::string full = "0F8B2C1E-7A4D-4C3B-9E21-5D6F7A8B9C0D";
  t1->BackupChain.push_back(ChainItem(full, full, "", "/mnt/yedek/Muhasebe Belgeleri_20240501_013010.zip",
                                      "s3://qelt-backup/backups/Muhasebe Belgeleri_20240501_013010.zip",
                                      EncodeDateTime(2024, 5, 1, 1, 30, 10), btFull, btFull,
                                      {"Belgeler\\a.txt", "Fatura\\ş.pdf"}));
  t1->BackupChain.push_back(ChainItem("A1B2C3D4-E5F6-4A7B-8C9D-0E1F2A3B4C5D", full, full,
                                      "/mnt/yedek/Muhasebe Belgeleri_20240502_120005.zip", "",
                                      EncodeDateTime(2024, 5, 2, 12, 0, 5), btIncremental, btIncremental,
                                      {"Belgeler\\a.txt", "Belgeler\\yeni \"rapor\".txt", "Fatura\\ş.pdf"}));
  config->Tasks.push_back(std::move(t1));

  auto t2 = std::make_unique<TBackupTask>(clock);
  t2->Name = "Fotoğraflar";
  t2->Enabled = false;
  t2->SourceFolders = {"/home/ayşe/Resimler"};
  t2->DestinationFolder = "/media/USB Disk/Yedek";
  t2->CompressBackup = false;
  const std::string id2 = "5C0A7E2B-1D3F-4E6A-8B9C-7D2E1F0A3B4C";
  t2->BackupChain.push_back(ChainItem(id2, id2, "", "/media/USB Disk/Yedek/Fotoğraflar_20240601_080000", "",
                                      EncodeDateTime(2024, 6, 1, 8, 0, 0), btDifferential, btFull,
                                      {"Resimler\\tatil/deniz.jpg"}));
  config->Tasks.push_back(std::move(t2));
  return config;
}

class ConfigFileTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TFakeClock FClock{Now};
  TConfigManager FManager{FDir.Path(), FClock};

  std::unique_ptr<TBackupConfig> LoadText(const std::string& text) {
    WriteFile(FManager.ConfigFile(), text);
    return FManager.LoadConfig();
  }
  // The copies kept of damaged files in the configuration folder, by content.
  std::vector<std::string> DamagedCopies() const {
    std::vector<std::string> copies;
    for (const auto& e : std::filesystem::directory_iterator(FDir.Path()))
      if (e.path().filename().string().find(".damaged-") != std::string::npos) copies.push_back(ReadFile(e.path()));
    return copies;
  }
  std::unique_ptr<TBackupTask> LoadTask(const std::string& taskObject) {
    auto config = LoadText("{\"Tasks\":[" + taskObject + "]}");
    EXPECT_EQ(config->Tasks.size(), 1u);
    return std::move(config->Tasks.at(0));
  }
};

TEST_F(ConfigFileTest, WritesTheExactFileFormat) {
  FManager.SaveConfig(*SampleConfig(FClock));
  const std::string expected = ReadFile(std::string(VELKOR_TEST_DATA_DIR) + "/data/sample-config.json");
  EXPECT_EQ(ReadFile(FManager.ConfigFile()), expected);
}

TEST_F(ConfigFileTest, LoadingAndSavingAgainReproducesTheFile) {
  const std::string expected = ReadFile(std::string(VELKOR_TEST_DATA_DIR) + "/data/sample-config.json");
  auto config = LoadText(expected);
  ASSERT_EQ(config->Tasks.size(), 2u);
  const TBackupTask& t1 = *config->Tasks[0];
  EXPECT_EQ(t1.Name, "Muhasebe Belgeleri");
  EXPECT_EQ(t1.CloudPasswordProtected, "dpapi:AAAA\r\nBBBB");
  EXPECT_EQ(t1.Schedule.FullSchedule().LastRun(), EncodeDateTime(2024, 5, 1, 1, 30, 0));
  EXPECT_EQ(t1.Schedule.DiffSchedule().LastRun(), 0);
  EXPECT_EQ(t1.Schedule.StartTime(), EncodeTime(22, 0, 0));
  EXPECT_EQ(t1.Schedule.FullSchedule().Days(), TScheduleDays(0b0111110));
  EXPECT_EQ(t1.Schedule.Days(), TScheduleDays(0b0111110));
  EXPECT_EQ(t1.BackupChain[1]->KnownFiles[1], "Belgeler\\yeni \"rapor\".txt");
  EXPECT_EQ(config->Tasks[1]->BackupChain[0]->RequestedType, btDifferential);
  EXPECT_EQ(config->Tasks[1]->BackupChain[0]->EffectiveType, btFull);
  EXPECT_EQ(config->Tasks[1]->LastSuccessfulBackupTime, 0);

  FManager.SaveConfig(*config);
  EXPECT_EQ(ReadFile(FManager.ConfigFile()), expected);
}

TEST_F(ConfigFileTest, FreshModelDefaults) {
  TBackupTask task(FClock);
  EXPECT_EQ(task.Name, "Yeni Görev");
  EXPECT_TRUE(task.Enabled);
  EXPECT_EQ(task.StorageMode, smLocalDisk);
  EXPECT_EQ(task.BackupType, btFull);
  EXPECT_TRUE(task.CompressBackup);
  EXPECT_FALSE(task.EncryptBackup);
  EXPECT_EQ(task.MaxBackupsToKeep, 10);
  EXPECT_TRUE(task.SourceFolders.empty() && task.DestinationFolder.empty() && task.BackupChain.empty());
  EXPECT_EQ(task.CloudProvider, "Cloud");
  EXPECT_EQ(task.CloudDestinationFolder, "http://127.0.0.1:9000/qelt-backup/backups");
  const TTaskSchedule& s = task.Schedule;
  EXPECT_FALSE(s.Enabled());
  EXPECT_TRUE(s.FullSchedule().Enabled());
  EXPECT_FALSE(s.DiffSchedule().Enabled());
  EXPECT_FALSE(s.IncSchedule().Enabled());
  EXPECT_EQ(s.FullSchedule().IntervalHours() * 60 + s.FullSchedule().IntervalMinutes(), 0);
  EXPECT_EQ(s.FullSchedule().Days(), TScheduleDays::All());
  EXPECT_FALSE(s.TimeWindowEnabled());
  EXPECT_EQ(s.StartTime(), 0);
  EXPECT_EQ(s.EndTime(), EncodeTime(23, 59, 59));

  TBackupConfig config;
  EXPECT_TRUE(config.Tasks.empty());
  EXPECT_FALSE(config.StartWithWindows);
  EXPECT_TRUE(config.MinimizeToTray && config.ShowNotifications && config.CacheEncryptionPassword &&
              config.BackgroundMode);
  EXPECT_EQ(config.SpeedLimitMBPerSec, 0);
}

TEST_F(ConfigFileTest, DisplayTextsAndProviderNormalisation) {
  EXPECT_EQ(BackupTypeToText(btFull), "Tam");
  EXPECT_EQ(BackupTypeToText(btDifferential), "Fark");
  EXPECT_EQ(BackupTypeToText(btIncremental), "Artımlı");
  EXPECT_EQ(BackupTypeToText(7), "Bilinmiyor");
  EXPECT_EQ(StorageModeToText(smLocalDisk), "Lokal Disk");
  EXPECT_EQ(StorageModeToText(smCloud), "Cloud");
  EXPECT_EQ(StorageModeToText(smHybrid), "Lokal + Cloud");
  EXPECT_EQ(StorageModeToText(-1), "Bilinmiyor");
  EXPECT_EQ(NormalizeCloudProvider("  minio "), "Cloud");
  EXPECT_EQ(NormalizeCloudProvider("Müşteri S3 / Cloud"), "Müşteri S3 / Cloud");
  EXPECT_EQ(NormalizeCloudProvider("  NAS / WebDAV  "), "NAS / WebDAV");

  TTaskSchedule schedule(FClock);
  schedule.SetInterval(150);
  EXPECT_EQ(schedule.FullSchedule().IntervalHours(), 2);
  EXPECT_EQ(schedule.FullSchedule().IntervalMinutes(), 30);
}

TEST_F(ConfigFileTest, DateTimeReaderIsTolerant) {
  struct Case {
    const char* text;
    TDateTime expected;
  } cases[] = {
      {"2024-03-05T14:07:09", EncodeDateTime(2024, 3, 5, 14, 7, 9)},
      {"2024-03-05 14:07:09", EncodeDateTime(2024, 3, 5, 14, 7, 9)},
      {"2024-03-05", EncodeDate(2024, 3, 5)},
      {"2024/03/05T14.07.09", EncodeDateTime(2024, 3, 5, 14, 7, 9)},  // separators are not checked
      {"2024-03-05T14:07:09.123+03:00", EncodeDateTime(2024, 3, 5, 14, 7, 9)},
      {"2024-03-05T14", EncodeDateTime(2024, 3, 5, 14, 0, 0)},
      {"1899-12-30T00:00:00", 0},
      {"kayıt yok", Now},
      {"", Now},
      {"0000-01-01T00:00:00", Now},
      {"2024-13-01T00:00:00", Now},
      {"2023-02-29T00:00:00", Now},
      {"2024-03-05T25:00:00", Now},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseJsonDateTime(c.text, FClock), c.expected) << c.text;
  EXPECT_EQ(FormatJsonDateTime(EncodeDateTime(2024, 3, 5, 14, 7, 9, 700)), "2024-03-05T14:07:09");
  EXPECT_EQ(FormatJsonDateTime(0), "1899-12-30T00:00:00");
}

TEST_F(ConfigFileTest, DaySetsAndTimesOfDay) {
  EXPECT_EQ(FormatDaySet(TScheduleDays(0b1000011)), "0,1,6,");
  EXPECT_EQ(FormatDaySet(TScheduleDays::None()), "");
  struct Case {
    const char* text;
    uint8_t bits;
  } days[] = {{"0,1,6,", 0b1000011}, {"1,2", 0b0000010}, {"", 0}, {"6,", 0b1000000}, {"7,12,", 0}, {"3,3,", 0b1000}};
  for (const auto& c : days) EXPECT_EQ(ParseDaySet(c.text), TScheduleDays(c.bits)) << c.text;

  EXPECT_EQ(FormatTimeOfDay(EncodeTime(23, 59, 59)), "23:59");
  EXPECT_EQ(FormatTimeOfDay(EncodeTime(7, 30, 0)), "07:30");
  struct TimeCase {
    const char* text;
    TTime expected;
  } times[] = {{"23:59", EncodeTime(23, 59, 0)},
               {"07:30", EncodeTime(7, 30, 0)},
               {"7:05", EncodeTime(7, 5, 0)},
               {"25:00", 0},
               {"ab:cd", 0},
               {"", 0},
               {"12", 0}};
  for (const auto& c : times) EXPECT_EQ(ParseTimeOfDay(c.text), c.expected) << c.text;
}

TEST_F(ConfigFileTest, OlderFileRules) {
  auto t = LoadTask(R"({"ScheduleInterval":90})");
  EXPECT_EQ(t->Schedule.FullSchedule().IntervalHours(), 1);
  EXPECT_EQ(t->Schedule.FullSchedule().IntervalMinutes(), 30);
  t = LoadTask(R"({"SchedFullH":4,"ScheduleInterval":90})");
  EXPECT_EQ(t->Schedule.FullSchedule().IntervalHours(), 4);

  t = LoadTask(R"({"SchedDays":"1,3,"})");
  const TScheduleDays monWed(0b0001010);
  EXPECT_EQ(t->Schedule.Days(), monWed);
  EXPECT_EQ(t->Schedule.FullSchedule().Days(), monWed);
  EXPECT_EQ(t->Schedule.DiffSchedule().Days(), monWed);
  EXPECT_EQ(t->Schedule.IncSchedule().Days(), monWed);
  t = LoadTask(R"({"SchedDays":"1,3,","SchedFullDays":"5,"})");
  EXPECT_EQ(t->Schedule.FullSchedule().Days(), TScheduleDays(0b0100000));
  EXPECT_EQ(t->Schedule.DiffSchedule().Days(), TScheduleDays::All());

  t = LoadTask(R"({"SchedFullLast":"2024-01-01T00:00:00","SchedDiffLast":"2024-01-02T00:00:00"})");
  EXPECT_EQ(t->LastSuccessfulBackupTime, EncodeDate(2024, 1, 2));
  EXPECT_EQ(t->LastFullBackupTime, EncodeDate(2024, 1, 1));
  EXPECT_EQ(t->LastRetentionCleanupTime, 0);
  t = LoadTask(R"({"SchedIncLast":"bozuk"})");  // a damaged last run counts as a run just now
  EXPECT_EQ(t->Schedule.IncSchedule().LastRun(), Now);
  EXPECT_EQ(t->LastSuccessfulBackupTime, Now);

  t = LoadTask(R"({"BackupChain":[{"RequestedType":2},{"RequestedType":1,"EffectiveType":0}]})");
  EXPECT_EQ(t->BackupChain[0]->EffectiveType, btIncremental);
  EXPECT_EQ(t->BackupChain[0]->RequestedType, btIncremental);
  EXPECT_EQ(t->BackupChain[1]->EffectiveType, btFull);

  t = LoadTask(R"({"CloudProvider":"MinIO"})");
  EXPECT_EQ(t->CloudProvider, "Cloud");
  t = LoadTask(R"({"SchedWinEn":true,"SchedWinEnd":"bozuk"})");
  EXPECT_EQ(t->Schedule.EndTime(), 0);
}

TEST_F(ConfigFileTest, NeverRunTaskOmitsItsTimes) {
  TBackupConfig config;
  config.Tasks.push_back(std::make_unique<TBackupTask>(FClock));
  FManager.SaveConfig(config);
  const std::string text = ReadFile(FManager.ConfigFile());
  for (const char* key : {"LastSuccessfulBackupTime", "LastFullBackupTime", "LastRetentionCleanupTime", "SchedFullLast",
                          "SchedDiffLast", "SchedIncLast"})
    EXPECT_EQ(text.find(key), std::string::npos) << key;
}

TEST_F(ConfigFileTest, MissingBlankOrEmptyObjectGiveDefaults) {
  EXPECT_TRUE(FManager.LoadConfig()->Tasks.empty());
  for (const char* text : {"", "  \r\n", "\xEF\xBB\xBF{}\r\n", "{\"Tasks\":[]}"}) {
    auto config = LoadText(text);
    EXPECT_TRUE(config->Tasks.empty()) << text;
    EXPECT_TRUE(config->MinimizeToTray) << text;
  }
  auto config = LoadText(R"({"MinimizeToTray":false,"Unknown":{"x":[1,2]},"SpeedLimitMBPerSec":5})");
  EXPECT_FALSE(config->MinimizeToTray);
  EXPECT_EQ(config->SpeedLimitMBPerSec, 5);
  config = LoadText(R"({"Tasks":[{"Name":"A\/B \u00c7"}]})");  // escaped solidus and escaped letters read fine
  EXPECT_EQ(config->Tasks[0]->Name, "A/B Ç");
}

TEST_F(ConfigFileTest, MalformedPartsAreSkippedOneByOne) {
  auto config =
      LoadText(R"({"MinimizeToTray":"no","SpeedLimitMBPerSec":"fast","Tasks":[17,{"Name":"Bir","MaxBackupsToKeep":"x",)"
               R"("Enabled":1,"StorageMode":9,"BackupType":-1,"SourceFolders":["/a",5,"/b"],"SchedFullH":"3",)"
               R"("BackupChain":[null,{"BackupId":"X","KnownFiles":"nope"}]},"text",{"Name":"İki"}]})");
  EXPECT_TRUE(config->MinimizeToTray);
  EXPECT_EQ(config->SpeedLimitMBPerSec, 0);
  ASSERT_EQ(config->Tasks.size(), 2u);
  const TBackupTask& first = *config->Tasks[0];
  EXPECT_EQ(first.Name, "Bir");
  EXPECT_EQ(first.MaxBackupsToKeep, 10);
  EXPECT_TRUE(first.Enabled);
  EXPECT_EQ(first.StorageMode, smLocalDisk);
  EXPECT_EQ(first.BackupType, btFull);
  EXPECT_EQ(first.SourceFolders, (std::vector<std::string>{"/a", "/b"}));
  EXPECT_EQ(first.Schedule.FullSchedule().IntervalHours(), 0);
  ASSERT_EQ(first.BackupChain.size(), 1u);
  EXPECT_EQ(first.BackupChain[0]->BackupId, "X");
  EXPECT_EQ(config->Tasks[1]->Name, "İki");

  for (const char* root : {"[1,2]", "\"text\"", "42", "{\"Tasks\":{}}"})
    EXPECT_TRUE(LoadText(root)->Tasks.empty()) << root;
}

TEST_F(ConfigFileTest, UnreadableFileIsKeptBeforeTheFirstSave) {
  const std::string damaged = "{\"Tasks\":[{\"Name\":\"Yarım";
  auto config = LoadText(damaged);
  EXPECT_TRUE(config->Tasks.empty());
  EXPECT_EQ(ReadFile(FManager.ConfigFile()), damaged);  // loading alone changes nothing

  config->Tasks.push_back(std::make_unique<TBackupTask>(FClock));
  FManager.SaveConfig(*config);
  FManager.SaveConfig(*config);  // the second save has nothing left to keep
  const auto kept = FDir / "config.json.damaged-20240701-091500";
  ASSERT_TRUE(std::filesystem::exists(kept));
  EXPECT_EQ(ReadFile(kept), damaged);
  EXPECT_EQ(FManager.LoadConfig()->Tasks.size(), 1u);
  int copies = 0;
  for (const auto& e : std::filesystem::directory_iterator(FDir.Path()))
    copies += e.path().filename().string().find(".damaged-") != std::string::npos;
  EXPECT_EQ(copies, 1);
}

TEST_F(ConfigFileTest, ConstructorCreatesTheFolderAndStartupFollowsTheSetting) {
  TTempDir root;
  test::TScopedEnv appData("APPDATA", root.Path().string());
  test::TScopedEnv xdg("XDG_CONFIG_HOME", root.Path().string());
  TConfigManager manager(FClock);
  EXPECT_TRUE(std::filesystem::is_directory(root / "Pardex"));
  EXPECT_EQ(manager.ConfigFile(), root / "Pardex" / "config.json");
  manager.AddToStartup();
  EXPECT_TRUE(std::filesystem::exists(root / "autostart" / "velkor.desktop"));
  manager.RemoveFromStartup();
  EXPECT_FALSE(std::filesystem::exists(root / "autostart" / "velkor.desktop"));
}

const std::string Fffd = "\xEF\xBF\xBD";

// Names on disk are bytes, not text: a name that is not UTF-8 must read back exactly, or the known-file list
// no longer knows the file and every incremental run copies it again.
TEST_F(ConfigFileTest, StoredPathsKeepBytesThatAreNotUtf8) {
  const std::vector<std::string> names = {
      "Belgeler/b\xFF.txt",
      "Belgeler/\x80\xBF",
      "Belgeler/kesik\xC3",
      "Belgeler/\xF5\x80\x80",
      "Belgeler/vekil \xED\xA0\x80",
      "Belgeler/latin1 \xE7\xFD\xF0",
      "Belgeler/\xC0\xAF",
      std::string("Belgeler/nul\0"
                  "41",
                  15),
      "Belgeler/çalışma ğüş.txt",
      "Belgeler/ayrı\xFF\xC4\xB1k",
  };
  TBackupConfig config;
  auto task = std::make_unique<TBackupTask>(FClock);
  task->Name = "Ad\xFF";
  task->SourceFolders = {
      "/home/ay\xFE"
      "e/Belgeler",
      "/srv/düz"};
  task->DestinationFolder = "/mnt/yedek\x81";
  task->CloudDestinationFolder = "http://127.0.0.1:9000/kova/\xFF";
  task->BackupChain.push_back(
      ChainItem("ID", "ID", "", "/mnt/yedek\x81/Ad_20240501_100000", "/bulut/\xFF", Now, btFull, btFull, names));
  config.Tasks.push_back(std::move(task));
  FManager.SaveConfig(config);

  const std::string text = ReadFile(FManager.ConfigFile());
  EXPECT_NE(text.find(R"("Belgeler/b\u0000FF.txt")"), std::string::npos);
  EXPECT_NE(text.find(R"("Belgeler/nul\u00000041")"), std::string::npos) << "the marker itself is escaped";
  EXPECT_NE(text.find(R"("Belgeler/çalışma ğüş.txt")"), std::string::npos) << "valid names are stored as they are";
  EXPECT_NE(text.find("\"Name\":\"Ad" + Fffd + "\""), std::string::npos) << "a task name is text, not a path";

  TConfigManager fresh(FDir.Path(), FClock);
  const auto loaded = fresh.LoadConfig();
  EXPECT_FALSE(fresh.ConfigNote().Damaged()) << fresh.ConfigNote().Problem;
  ASSERT_EQ(loaded->Tasks.size(), 1u);
  const TBackupTask& t = *loaded->Tasks[0];
  EXPECT_EQ(t.SourceFolders, config.Tasks[0]->SourceFolders);
  EXPECT_EQ(t.DestinationFolder, config.Tasks[0]->DestinationFolder);
  EXPECT_EQ(t.CloudDestinationFolder, config.Tasks[0]->CloudDestinationFolder);
  ASSERT_EQ(t.BackupChain.size(), 1u);
  EXPECT_EQ(t.BackupChain[0]->OutputPath, config.Tasks[0]->BackupChain[0]->OutputPath);
  EXPECT_EQ(t.BackupChain[0]->MirrorOutputPath, "/bulut/\xFF");
  EXPECT_EQ(t.BackupChain[0]->KnownFiles, names);
  fresh.SaveConfig(*loaded);
  EXPECT_EQ(ReadFile(FManager.ConfigFile()), text);
}

// One damaged byte used to make the whole file unreadable, so every task vanished and the next save replaced
// them. Now it costs the character it stood for, and the file as it was is kept once.
TEST_F(ConfigFileTest, DamagedBytesCostOnlyTheCharactersTheyStoodFor) {
  std::string damaged = ReadFile(std::string(VELKOR_TEST_DATA_DIR) + "/data/sample-config.json");
  damaged.replace(damaged.find("Muhasebe"), 1, "\xFF");
  damaged.replace(damaged.find("ş.pdf"), 2, "\xC5");  // a two-byte letter cut in half
  const auto config = LoadText(damaged);
  ASSERT_EQ(config->Tasks.size(), 2u);
  EXPECT_EQ(config->Tasks[0]->Name, Fffd + "uhasebe Belgeleri");
  EXPECT_EQ(config->Tasks[0]->BackupChain[0]->KnownFiles[1], "Fatura\\" + Fffd + ".pdf");
  EXPECT_EQ(config->Tasks[1]->Name, "Fotoğraflar");
  EXPECT_EQ(config->Tasks[0]->BackupChain.size(), 2u);

  const TStoredFileNote& note = FManager.ConfigNote();
  EXPECT_EQ(note.Problem, ReplacedBytesProblem(2));
  EXPECT_EQ(note.KeptCopy, FDir / "config.json.damaged-20240701-091500");
  EXPECT_EQ(DamagedCopies(), std::vector<std::string>{damaged});
  EXPECT_EQ(FManager.DamageReport(),
            std::vector<std::string>{"Yapılandırma dosyası hasarlı: " + FManager.ConfigFile().string() + " (" +
                                     ReplacedBytesProblem(2) + "). Özgün dosyanın kopyası: " + note.KeptCopy.string()});

  FClock.Advance(5000);
  FManager.LoadConfig();
  EXPECT_EQ(DamagedCopies().size(), 1u) << "the same damage is kept once";
  FManager.SaveConfig(*config);
  TConfigManager fresh(FDir.Path(), FClock);
  EXPECT_EQ(fresh.LoadConfig()->Tasks.size(), 2u);
  EXPECT_TRUE(fresh.DamageReport().empty());
}

// Copying or writing a parsed document recurses once per level, and every level costs memory: nesting beyond
// anything the program writes is damage, found at once.
TEST_F(ConfigFileTest, NestingBeyondTheBoundIsDamageNotWork) {
  const std::string deepTask = "{\"Tasks\":[" + std::string(100000, '[') + std::string(100000, ']') + "]}";
  const std::string brackets(5'000'000, '[');
  for (const std::string* text : {&deepTask, &brackets}) {
    TTempDir dir;
    TConfigManager manager(dir.Path(), FClock);
    WriteFile(manager.ConfigFile(), *text);
    EXPECT_TRUE(manager.LoadConfig()->Tasks.empty());
    EXPECT_EQ(manager.ConfigNote().Problem, "iç içe yapı sınırını (32 düzey) aşıyor");
    manager.SaveConfig(TBackupConfig());
    const auto kept = dir / "config.json.damaged-20240701-091500";
    ASSERT_TRUE(std::filesystem::exists(kept));
    EXPECT_EQ(std::filesystem::file_size(kept), text->size());
  }
}

// A file the user cannot read still holds every task: it is never replaced, and saving says why.
TEST_F(ConfigFileTest, UnreadableFileIsNeverReplaced) {
  const std::string stored = ReadFile(std::string(VELKOR_TEST_DATA_DIR) + "/data/sample-config.json");
  WriteFile(FManager.ConfigFile(), stored);
  ASSERT_EQ(::chmod(FManager.ConfigFile().c_str(), 0), 0);
  for (const bool loadFirst : {true, false}) {
    const test::TChildOutcome outcome = test::RunUnprivileged([&] {
      TConfigManager manager(FDir.Path(), FClock);
      TBackupConfig empty;
      if (loadFirst) {
        if (!manager.LoadConfig()->Tasks.empty()) return std::string("read");
        if (manager.ConfigNote().Problem.rfind("okunamadı: ", 0) != 0) return "note: " + manager.ConfigNote().Problem;
      }
      manager.SaveConfig(empty);
      return std::string("saved");
    });
    EXPECT_FALSE(outcome.Returned) << outcome.Text;
    EXPECT_EQ(outcome.Text.rfind("Yapılandırma dosyası hasarlı ve kopyası alınamadığı için üzerine yazılmadı: " +
                                     FManager.ConfigFile().string() + " (okunamadı: ",
                                 0),
              0u)
        << outcome.Text;
  }
  ASSERT_EQ(::chmod(FManager.ConfigFile().c_str(), 0600), 0);
  EXPECT_EQ(ReadFile(FManager.ConfigFile()), stored);
  EXPECT_TRUE(DamagedCopies().empty());
}

}  // namespace
}  // namespace velkor
