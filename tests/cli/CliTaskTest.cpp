// velkor-cli's task, settings and password commands over a real configuration root.
#include <gtest/gtest.h>

#include "CliHarness.h"
#include "config/JsonFormat.h"
#include "crypto/EncryptionManager.h"
#include "crypto/SecureStorage.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class CliTask : public test::CliHarness {
protected:
  CliTask() { test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}}); }

  std::string Source() const { return (FDir / "src" / "Docs").string(); }
  std::string Dest() const { return (FDir / "dest").string(); }
  std::string ConfigBytes() { return ReadFile(Manager().ConfigFile()); }

  // Every file below the scratch folder (configuration, registry, key, autostart, outputs) holding `text`, but for
  // the captured input and outputs of the commands run.
  std::vector<std::string> FilesHolding(const std::string& text) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(FDir.Path()))
      if (entry.is_regular_file() && entry.path().filename().string().rfind("out-", 0) != 0 &&
          ReadFile(entry.path()).find(text) != std::string::npos)
        found.push_back(entry.path().string());
    return found;
  }
};

TEST_F(CliTask, RefusedInputLeavesTheConfigurationByteIdentical) {
  const std::string help = RunCli({"--help"}).Out;
  for (const char* text :
       {"tasks [--json]", "task add NAME --source DIR", "task set NAME OPTIONS", "task schedule NAME", "task show NAME",
        "task remove NAME [--yes]", "the entries as a JSON array", "verify INDEX",
        "settings [--start-with-session on|off]", "password set|clear"})
    EXPECT_NE(help.find(text), std::string::npos) << text;

  SaveTasks({Task("Belgeler"), Task("Müzik")});
  const std::string before = ConfigBytes();
  const std::string src = Source(), dest = Dest();
  const struct {
    std::vector<std::string> Args;
    std::string Said;
  } cases[] = {
      {{"task", "add", "   ", "--source", src, "--dest", dest}, "velkor-cli: Görev adı boş olamaz!"},
      {{"task", "add", "BELGELER", "--source", src, "--dest", dest}, "Bu görev adı zaten kullanılıyor!"},
      {{"task", "add", "Yeni", "--dest", dest}, "velkor-cli: Hata: En az bir kaynak klasör eklemelisiniz!"},
      {{"task", "add", "Yeni", "--source", src}, "velkor-cli: Hata: Lokal hedef klasör seçmelisiniz!"},
      {{"task", "add", "Yeni", "--source", (FDir / "yok").string(), "--dest", dest}, "does not exist"},
      {{"task", "add", "Yeni", "--source", src, "--dest", dest, "--max-sets", "abc"}, "--max-sets needs a whole"},
      {{"task", "add", "Yeni", "--source", src, "--dest", dest, "--type", "haftalık"}, "unknown backup type"},
      {{"task", "add", "Yeni", "--source", src, "--dest", dest, "--sifre"}, "unknown option '--sifre'"},
      {{"task", "set", "Belgeler"}, "task set needs at least one option"},
      {{"task", "set", "Belgeler", "--dest", ""}, "Hata: Lokal hedef klasör seçmelisiniz!"},
      {{"task", "set", "Belgeler", "--remove-source", "/yok"}, "the task has no source folder '/yok'"},
      {{"task", "set", "Belgeler", "--storage", "ftp"}, "unknown storage 'ftp'"},
      {{"task", "set", "Yok", "--zip"}, "no task named 'Yok'"},
      {{"task", "set", "#3", "--zip"}, "no task named '#3'"},
      {{"task", "schedule", "Belgeler", "full", "--at", "24:00"}, "--at needs a time of day HH:MM"},
      {{"task", "schedule", "Belgeler", "full", "--at", "7.30"}, "--at needs a time of day HH:MM"},
      {{"task", "schedule", "Belgeler", "full", "--at", "07:30", "--days", "pzt"}, "--days needs days"},
      {{"task", "schedule", "Belgeler", "full", "--off", "--at", "07:30"}, "--off takes no --at"},
      {{"task", "schedule", "Belgeler", "weekly", "--at", "07:30"}, "unknown backup type 'weekly'"},
      {{"task", "rename", "Belgeler", " "}, "velkor-cli: Görev adı boş olamaz!"},
      {{"task", "rename", "Belgeler", "MÜZIK"}, "Bu görev adı zaten kullanılıyor!"},
      {{"task", "remove", "Belgeler"}, "task remove needs --yes when no terminal can confirm"},
      {{"task", "sil", "Belgeler"}, "unknown task command 'sil'"},
      {{"settings", "--speed-limit", "-5"}, "--speed-limit needs a whole number"},
      {{"settings", "--notifications", "evet"}, "--notifications needs on or off"},
      {{"verify", "1"}, "no history entry 1"},
  };
  for (const auto& c : cases) {
    const TResult r = RunCli(c.Args);
    EXPECT_EQ(r.Exit, 2) << c.Said << "\n" << r.Err;
    EXPECT_NE(r.Err.find(c.Said), std::string::npos) << r.Err;
    EXPECT_EQ(ConfigBytes(), before) << c.Said;
  }

  // Accepted but unchanged: nothing is written either.
  const TResult same = RunCli({"task", "rename", "Belgeler", "Belgeler"});
  EXPECT_EQ(same.Exit, 0);
  EXPECT_EQ(same.Out, "Görev adı aynı; değişiklik yapılmadı: Belgeler\n");
  const TResult twice = RunCli({"task", "set", "Belgeler", "--add-source", Source() + "/"});
  EXPECT_EQ(twice.Exit, 0);
  EXPECT_NE(twice.Err.find("is listed already"), std::string::npos) << twice.Err;
  EXPECT_EQ(twice.Out, "Görevde değişiklik yapılmadı: Belgeler\n");
  EXPECT_EQ(ConfigBytes(), before);
}

TEST_F(CliTask, ACommandOverADamagedConfigurationSaysSo) {
  SaveTasks({Task("Belgeler")});
  const fs::path config = Manager().ConfigFile();
  const std::string damaged = ConfigBytes().substr(0, 40);
  test::WriteFile(config, damaged);

  const TResult refused = RunCli({"task", "add", "", "--source", Source(), "--dest", Dest()});
  EXPECT_EQ(refused.Exit, 2);
  EXPECT_EQ(refused.Err.rfind("velkor-cli: Yapılandırma dosyası hasarlı: " + config.string(), 0), 0u) << refused.Err;
  EXPECT_EQ(ReadFile(config), damaged);
  const TResult shown = RunCli({"task", "show", "Belgeler"});
  EXPECT_EQ(shown.Exit, 2) << "what could not be read is not there";
  EXPECT_NE(shown.Err.find("Yapılandırma dosyası hasarlı"), std::string::npos) << shown.Err;
}

TEST_F(CliTask, SetShowCopyRemoveAndEveryTaskByPosition) {
  SaveTasks({[](TBackupTask& task) { task.Name = ""; }, Task("Belgeler")});
  const TResult named = RunCli({"task", "rename", "#1", "Adsız"});
  EXPECT_EQ(named.Exit, 0) << named.Err;
  EXPECT_EQ(named.Out, "Görev adı değiştirildi:  -> Adsız\n");

  const fs::path other = FDir / "src" / "Diğer";
  fs::create_directories(other);
  const TResult set = RunCli({"task",
                              "set",
                              "belgeler",
                              "--add-source",
                              other.string(),
                              "--type",
                              "incremental",
                              "--folder",
                              "--encrypt",
                              "--max-sets",
                              "3",
                              "--disable",
                              "--storage",
                              "hybrid",
                              "--cloud-provider",
                              " minio ",
                              "--cloud-destination",
                              "http://s3:9000/kova/yol",
                              "--cloud-access-key",
                              "AKIA1"});
  EXPECT_EQ(set.Exit, 0) << set.Err;
  EXPECT_EQ(set.Out, "Görev güncellendi: Belgeler\n");
  {
    const auto saved = Manager().LoadConfig();
    const TBackupTask& task = *saved->Tasks.at(1);
    EXPECT_EQ(task.SourceFolders, (std::vector<std::string>{Source(), other.string()}));
    EXPECT_EQ(task.BackupType, btIncremental);
    EXPECT_FALSE(task.CompressBackup);
    EXPECT_TRUE(task.EncryptBackup);
    EXPECT_EQ(task.MaxBackupsToKeep, 3);
    EXPECT_FALSE(task.Enabled);
    EXPECT_EQ(task.StorageMode, smHybrid);
    EXPECT_EQ(task.CloudProvider, "Cloud");
    EXPECT_EQ(task.CloudDestinationFolder, "http://s3:9000/kova/yol");
    EXPECT_EQ(task.CloudAccountName, "AKIA1");
  }
  ASSERT_EQ(RunCli({"task", "schedule", "#2", "differential", "--at", "7:05", "--days", "mon,fri"}).Exit, 0);

  const TResult shown = RunCli({"task", "show", "#2"});
  EXPECT_EQ(shown.Exit, 0) << shown.Err;
  for (const std::string& line : std::vector<std::string>{"Görev: Belgeler (#2)\n",
                                                          "Durum: Pasif\n",
                                                          "Kaynaklar:\n  " + Source() + "\n  " + other.string() + "\n",
                                                          "Lokal Hedef: " + Dest() + "\n",
                                                          "Mod: Lokal Disk + Cloud\n",
                                                          "Cloud Sağlayıcı: Cloud\n",
                                                          "Kullanıcı / Access Key: AKIA1\n",
                                                          "Parola: -\n",
                                                          "Manuel Çalıştırma Türü: Artımlı\n",
                                                          "Sıkıştır (ZIP): Hayır\n",
                                                          "Şifrele: Evet\n",
                                                          "Maksimum Yedek Seti: 3\n",
                                                          "Zamanlanmış yedekleme: Açık\n",
                                                          "  Tam Yedek: Kapalı\n",
                                                          "  Fark Yedek: Açık, 07:05, Pazartesi, Cuma\n",
                                                          "  Artımlı Yedek: Kapalı\n",
                                                          "Sonraki Çalışma: -\n",
                                                          "Durum Özeti: İlk Çalışma Tam\n",
                                                          "  Etkin: Tam (otomatik ilk taban)\n",
                                                          "  Toplam Set: 0 set\n"})
    EXPECT_NE(shown.Out.find(line), std::string::npos) << line << "\n" << shown.Out;

  const TJson tasks = TJson::parse(RunCli({"tasks", "--json"}).Out);
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks[0]["name"], "Adsız");
  const TJson& task = tasks[1];
  EXPECT_EQ(task["index"], 2);
  EXPECT_EQ(task["enabled"], false);
  EXPECT_EQ(task["type"], "incremental");
  EXPECT_EQ(task["output"], "folder");
  EXPECT_EQ(task["storage"], "hybrid");
  EXPECT_EQ(task["maxSets"], 3);
  EXPECT_EQ(task["schedule"]["enabled"], true);
  EXPECT_EQ(task["schedule"]["differential"]["at"], "07:05");
  EXPECT_EQ(task["schedule"]["differential"]["days"], TJson::parse(R"(["mon","fri"])"));
  EXPECT_EQ(task["schedule"]["full"]["enabled"], false);
  EXPECT_EQ(task["nextRun"], nullptr) << "a disabled task does not run on its own";

  const TResult copied = RunCli({"task", "copy", "Belgeler"});
  EXPECT_EQ(copied.Exit, 0) << copied.Err;
  EXPECT_EQ(copied.Out, "Görev kopyalandı: Belgeler (Kopya) (#3)\n");
  const TResult removed = RunCli({"task", "remove", "BELGELER (KOPYA)", "--yes"});
  EXPECT_EQ(removed.Exit, 0) << removed.Err;
  EXPECT_EQ(removed.Out, "Görev silindi: Belgeler (Kopya). Yedekleri ve geçmiş kayıtları yerinde duruyor.\n");
  EXPECT_EQ(Manager().LoadConfig()->Tasks.size(), 2u);

  ASSERT_EQ(RunCli({"task", "schedule", "Belgeler", "differential", "--off"}).Exit, 0);
  EXPECT_FALSE(Manager().LoadConfig()->Tasks.at(1)->Schedule.Enabled()) << "its last timed run switched off";
}

TEST_F(CliTask, SettingsAreSavedWithTheSessionStartAndThePasswordSetting) {
  SaveTasks({Task("Belgeler")});
  TEncryptionManager().SavePasswordToRegistry("kayıtlı parola");
  const fs::path autostart = FDir / "xdg" / "autostart" / "velkor.desktop";

  const TResult changed = RunCli({"settings", "--start-with-session", "on", "--speed-limit", "25", "--background=off"});
  EXPECT_EQ(changed.Exit, 0) << changed.Err;
  EXPECT_EQ(changed.Out,
            "Tüm ayarlar ve görevler kaydedildi.\nstart-with-session: on\nstart-in-tray: on\nnotifications: on\n"
            "remember-password: on\nbackground: off\nspeed-limit: 25\n");
  {
    const auto config = Manager().LoadConfig();
    EXPECT_TRUE(config->StartWithWindows);
    EXPECT_FALSE(config->BackgroundMode);
    EXPECT_EQ(config->SpeedLimitMBPerSec, 25);
    EXPECT_EQ(config->Tasks.size(), 1u) << "the tasks are kept";
  }
  ASSERT_TRUE(fs::exists(autostart));
  const std::string entry = ReadFile(autostart);
  EXPECT_NE(entry.find("velkor\" /tray\n"), std::string::npos) << "the desktop program, not velkor-cli: " << entry;
  EXPECT_EQ(entry.find("velkor-cli"), std::string::npos) << entry;
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "kayıtlı parola");

  const TResult off = RunCli({"settings", "--start-with-session", "off", "--remember-password", "off"});
  EXPECT_EQ(off.Exit, 0) << off.Err;
  EXPECT_FALSE(fs::exists(autostart));
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "") << "not remembered: the stored one is removed";
  EXPECT_EQ(RunCli({"settings"}).Out,
            "start-with-session: off\nstart-in-tray: on\nnotifications: on\nremember-password: off\n"
            "background: off\nspeed-limit: 25\n");

  // Nothing to remember a password with.
  const TResult refused = RunCli({"password", "set"}, "yeni parola\n");
  EXPECT_EQ(refused.Exit, 1);
  EXPECT_NE(refused.Err.find("settings --remember-password on"), std::string::npos) << refused.Err;
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "");
}

TEST_F(CliTask, SecretsAreStoredProtectedAndShownNowhere) {
  const std::string cloudSecret = "bulut-sırrı-7Q2";
  const std::string password = "kasa-parolası-9X4";
  std::vector<TResult> results;
  auto run = [&](const std::vector<std::string>& args, const std::string& input = "") {
    results.push_back(RunCli(args, input));
    EXPECT_EQ(results.back().Exit, 0) << args[0] << " " << args[1] << ": " << results.back().Err;
    return results.back();
  };
  run({"task", "add", "Şifreli", "--source", Source(), "--dest", Dest(), "--encrypt", "--storage", "hybrid",
       "--cloud-access-key", "AKIA9", "--cloud-secret-stdin"},
      cloudSecret + "\n");
  EXPECT_EQ(run({"password", "set"}, password + "\n").Out,
            "Şifreleme şifresi başarıyla kaydedildi!\n\nArtık yedeklemeler program içi parola koruması ile .mbe "
            "uzantısında saklanacak.\n");
  run({"task", "set", "Şifreli", "--storage", "local"});
  run({"run", "Şifreli"});
  run({"task", "show", "Şifreli"});
  run({"tasks", "--json"});
  run({"tasks"});
  run({"history", "--json"});
  run({"settings"});

  const auto config = Manager().LoadConfig();
  const std::string stored = config->Tasks.at(0)->CloudPasswordProtected;
  EXPECT_TRUE(IsProtectedString(stored)) << stored;
  EXPECT_EQ(UnprotectString(stored), cloudSecret);
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), password);
  EXPECT_NE(results[4].Out.find("Parola: kayıtlı\n"), std::string::npos) << results[4].Out;
  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success) << history[0].Details;
  EXPECT_TRUE(EndsText(".mbe", history[0].OutputPath)) << history[0].OutputPath << "encrypted with the stored password";

  for (const std::string& secret : {cloudSecret, password}) {
    EXPECT_EQ(FilesHolding(secret), std::vector<std::string>{}) << secret;
    for (const TResult& r : results) {
      EXPECT_EQ(r.Out.find(secret), std::string::npos) << r.Out;
      EXPECT_EQ(r.Err.find(secret), std::string::npos) << r.Err;
    }
  }

  const TResult cleared = RunCli({"password", "clear"});
  EXPECT_EQ(cleared.Exit, 0);
  EXPECT_EQ(cleared.Out, "Kayıtlı şifreleme parolası silindi.\n");
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "");
}

// On a terminal the password is typed twice without echo.
TEST_F(CliTask, PasswordSetOnATerminal) {
  std::string shown;
  const int exit = test::RunCommand("/usr/bin/python3 " + test::ShellQuote(VELKOR_TEST_DATA_DIR "/pty_session.py") +
                                        " answer " + test::ShellQuote(Program().string()) + " password set",
                                    &shown);
  ASSERT_EQ(exit, 0) << shown;
  EXPECT_NE(shown.find("\"exit\": 0"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\"echo_off\": true"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Şifreleme Ayarları"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Şifreleme şifresi başarıyla kaydedildi!"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("gizli-parola-42"), std::string::npos) << "the password was echoed: " << shown;
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "gizli-parola-42");
}

TEST_F(CliTask, AConfigurationRootThatIsAFileEndsEveryCommandWithItsMessage) {
  test::WriteFile(FDir / "appdata-file", "not a folder");
  test::TScopedEnv appData("APPDATA", (FDir / "appdata-file").string());
  const std::vector<std::vector<std::string>> commands = {
      {"task", "add", "Yeni", "--source", Source(), "--dest", Dest()},
      {"task", "set", "Belgeler", "--zip"},
      {"task", "schedule", "Belgeler", "full", "--off"},
      {"task", "show", "Belgeler"},
      {"task", "rename", "Belgeler", "Yeni"},
      {"task", "copy", "Belgeler"},
      {"task", "remove", "Belgeler", "--yes"},
      {"settings"},
      {"settings", "--notifications", "off"},
      {"password", "set"},
      {"verify", "1"},
      {"tasks", "--json"},
      {"history", "--json"},
  };
  for (const auto& args : commands) {
    const TResult r = RunCli(args, "parola\n");
    EXPECT_EQ(r.Exit, 1) << args[0] << " " << args[1] << ": " << r.Err;
    EXPECT_EQ(r.Err.rfind("velkor-cli: ", 0), 0u) << args[0] << " " << args[1] << ": " << r.Err;
    EXPECT_NE(r.Err.find((FDir / "appdata-file").string()), std::string::npos) << args[0] << ": " << r.Err;
  }
}

}  // namespace
}  // namespace velkor
