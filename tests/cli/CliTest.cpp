// velkor-cli as a user runs it: a child process over real files, its own configuration root and the real clock.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "CliHarness.h"
#include "crypto/EncryptionManager.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::set<std::string> ZipNames(const std::string& archive) {
  std::string listing;
  EXPECT_EQ(test::RunCommand("unzip -Z1 " + test::ShellQuote(archive), &listing), 0) << listing;
  const std::vector<std::string> lines = Lines(listing);
  return {lines.begin(), lines.end()};
}

// The creation time takes part in change detection with a second of tolerance: files that must count as old
// for the next run are made more than a second before the run that records them.
// Backup times are stored to the second, so that is two seconds in all.
void LetASecondPass() { std::this_thread::sleep_for(2200ms); }

class Cli : public test::CliHarness {
protected:
  void WriteSources(const test::TFileTree& tree) { test::WriteTree(FDir / "src" / "Docs", tree); }
};

TEST_F(Cli, UsageHelpAndExitCodes) {
  const TResult help = RunCli({"--help"});
  EXPECT_EQ(help.Exit, 0);
  for (const char* text : {"tasks", "run NAME [--type full|differential|incremental]", "history",
                           "restore INDEX TARGET [--skip]", "daemon", "decrypt FILE [OUT]", "Exit status"})
    EXPECT_NE(help.Out.find(text), std::string::npos) << text;
  EXPECT_EQ(RunCli({}).Exit, 2);

  SaveTasks({Task("Belgeler")});
  const struct {
    std::vector<std::string> Args;
    const char* Problem;
  } misuse[] = {
      {{"yedekle"}, "unknown command 'yedekle'"},
      {{"run"}, "run needs a task name"},
      {{"run", "Belgeler", "--type", "tam"}, "unknown backup type 'tam'"},
      {{"run", "Belgeler", "--type"}, "--type needs a value"},
      {{"run", "Yok"}, "no task named 'Yok'"},
      {{"tasks", "fazla"}, "tasks takes no arguments"},
      {{"restore", "1"}, "restore needs INDEX and TARGET"},
      {{"restore", "7", "/tmp/x"}, "no history entry 7"},
      {{"decrypt"}, "decrypt needs FILE"},
  };
  for (const auto& m : misuse) {
    const TResult r = RunCli(m.Args);
    EXPECT_EQ(r.Exit, 2) << m.Problem;
    EXPECT_NE(r.Err.find(m.Problem), std::string::npos) << r.Err;
  }
  EXPECT_EQ(RunCli({"history"}).Out, "") << "no history yet";
}

TEST_F(Cli, RunWritesTheArchiveTheHistoryEntryAndTheChainItem) {
  WriteSources({{"a.txt", "alfa"}, {"alt/b.txt", "beta"}});
  SaveTasks({Task("Yedek A"), Task("Belgeler")});

  const TResult run = RunCli({"run", "belgeler"});
  ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
  EXPECT_EQ(run.Err, "") << "no progress without a terminal";
  const std::regex logLine(R"(^\[\d{2}\D\d{2}\D\d{4} \d{2}\D\d{2}\D\d{2}\] .+)");
  for (const std::string& line : Lines(run.Out)) EXPECT_TRUE(std::regex_match(line, logLine)) << line;
  EXPECT_NE(run.Out.find("] Yedekleme başlatılıyor: Belgeler (Tip: 0)"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("] ✓ Tamamlandı: 2 dosya yedeklendi"), std::string::npos) << run.Out;

  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success);
  EXPECT_EQ(history[0].TaskName, "Belgeler");
  EXPECT_TRUE(EndsText(".zip", history[0].OutputPath)) << history[0].OutputPath;
  EXPECT_EQ(ZipNames(history[0].OutputPath), (std::set<std::string>{"Docs/a.txt", "Docs/alt/b.txt"}));

  const auto config = Manager().LoadConfig();
  const TBackupTask& task = *config->Tasks.at(1);
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(task.BackupChain[0]->OutputPath, history[0].OutputPath);
  EXPECT_EQ(task.BackupChain[0]->KnownFiles, (std::vector<std::string>{"Docs/a.txt", "Docs/alt/b.txt"}));
  EXPECT_GT(task.LastSuccessfulBackupTime, 0);
  EXPECT_TRUE(config->Tasks.at(0)->BackupChain.empty());

  const std::vector<std::string> listed = Lines(RunCli({"history"}).Out);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0], "1\t" + FormatDateTime("dd.mm.yyyy hh:nn:ss", history[0].BackupTime) + "\tBaşarılı\tBelgeler\t" +
                           history[0].OutputPath);
  // The history numbers are the ones restore takes.
  const fs::path target = FDir / "geri";
  const TResult restored = RunCli({"restore", "1", target.string()});
  EXPECT_EQ(restored.Exit, 0) << restored.Out << restored.Err;
  EXPECT_EQ(test::ReadTree(target), (test::TFileTree{{"Docs/a.txt", "alfa"}, {"Docs/alt/b.txt", "beta"}}));

  const std::vector<std::string> tasks = Lines(RunCli({"tasks"}).Out);
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks[0], "Yedek A\tyes\t-\t-");
  EXPECT_EQ(tasks[1], "Belgeler\tyes\t-\t" + FormatDateTime("dd.mm.yyyy hh:nn", task.LastSuccessfulBackupTime));
}

TEST_F(Cli, IncrementalRunsTakeOnlyWhatChanged) {
  WriteSources({{"a.txt", "alfa"}, {"alt/b.txt", "beta"}, {"c.txt", "gama"}});
  SaveTasks({Task("Belgeler", btIncremental)});
  LetASecondPass();

  const TResult first = RunCli({"run", "Belgeler"});
  ASSERT_EQ(first.Exit, 0) << first.Out << first.Err;
  EXPECT_NE(first.Out.find("Artımlı yedek istenmişti ancak geçerli bir tam yedek bulunamadı."), std::string::npos);

  WriteFile(FDir / "src" / "Docs" / "a.txt", "alfa, değişti");
  LetASecondPass();
  const TResult second = RunCli({"run", "Belgeler"});
  ASSERT_EQ(second.Exit, 0) << second.Out << second.Err;
  auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1].FileCount, 1);
  EXPECT_EQ(ZipNames(history[1].OutputPath), std::set<std::string>{"Docs/a.txt"});

  const auto config = Manager().LoadConfig();
  const auto& chain = config->Tasks.at(0)->BackupChain;
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[0]->EffectiveType, btFull);
  EXPECT_EQ(chain[1]->EffectiveType, btIncremental);
  EXPECT_EQ(chain[1]->ParentBackupId, chain[0]->BackupId);
  EXPECT_EQ(chain[1]->KnownFiles.size(), 3u) << "known files add up along the set";

  // Nothing changed since: a success without a new output.
  const TResult third = RunCli({"run", "Belgeler"});
  EXPECT_EQ(third.Exit, 0) << third.Out;
  EXPECT_NE(third.Out.find("ℹ Bilgi: Değişiklik bulunamadı."), std::string::npos) << third.Out;
  const std::vector<std::string> listed = Lines(RunCli({"history"}).Out);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_TRUE(EndsText("\tBilgi\tBelgeler\t-", listed[2])) << listed[2];
}

TEST_F(Cli, EncryptedRunsAndTheDecryptCommand) {
  WriteSources({{"gizli.txt", "sır"}});
  SaveTasks({[&](TBackupTask& task) {
               Task("Şifreli")(task);
               task.EncryptBackup = true;
             },
             [&](TBackupTask& task) {
               Task("Hedefsiz")(task);
               task.DestinationFolder.clear();
             }});

  // Without a stored password and without a terminal the run cannot ask.
  TResult run = RunCli({"run", "Şifreli"});
  EXPECT_EQ(run.Exit, 1);
  EXPECT_NE(run.Out.find("✗ Hata: Şifreli yedekleme için kayıtlı şifreleme parolası bulunamadı ve parolayı soracak "
                         "bir terminal yok."),
            std::string::npos)
      << run.Out;
  run = RunCli({"run", "Hedefsiz"});
  EXPECT_EQ(run.Exit, 1);
  EXPECT_NE(run.Out.find("Görev yapılandırması eksik. Lokal hedef klasör kontrol edilmeli."), std::string::npos);

  TEncryptionManager().SavePasswordToRegistry("parola 1");
  run = RunCli({"run", "Şifreli"});
  ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
  const std::string encrypted = Manager().LoadHistory().back().OutputPath;
  ASSERT_TRUE(EndsText(".mbe", encrypted)) << encrypted;

  // decrypt with the stored password, to the default name and to a chosen one.
  const TResult decrypted = RunCli({"decrypt", encrypted});
  ASSERT_EQ(decrypted.Exit, 0) << decrypted.Err;
  const std::string archive = encrypted.substr(0, encrypted.size() - 4);
  EXPECT_EQ(decrypted.Out, "Dosya başarıyla çözüldü!\nÇözülen dosya: " + archive + "\n");
  EXPECT_EQ(ZipNames(archive), std::set<std::string>{"Docs/gizli.txt"});
  const fs::path chosen = FDir / "çıktı" / "arsiv.zip";
  ASSERT_EQ(RunCli({"decrypt", encrypted, chosen.string()}).Exit, 0);
  EXPECT_EQ(ReadFile(chosen), ReadFile(archive));

  // Without a stored password it is read from standard input; a wrong one fails, writes nothing and is not kept.
  TEncryptionManager().ClearPasswordFromRegistry();
  fs::remove(archive);
  TResult wrong = RunCli({"decrypt", encrypted}, "yanlış\n");
  EXPECT_EQ(wrong.Exit, 1);
  EXPECT_TRUE(StartsText("Şifre çözme hatası: ", wrong.Err)) << wrong.Err;
  EXPECT_TRUE(EndsText("Lütfen şifrenin doğru olduğundan emin olun.\n", wrong.Err)) << wrong.Err;
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "");
  const TResult none = RunCli({"decrypt", encrypted}, "");
  EXPECT_EQ(none.Exit, 1);
  EXPECT_EQ(none.Err, "Şifre girilmediği için işlem iptal edildi.\n");
  const TResult right = RunCli({"decrypt", encrypted}, "parola 1\n");
  EXPECT_EQ(right.Exit, 0) << right.Err;
  EXPECT_TRUE(fs::exists(archive));
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "parola 1") << "a password that worked is kept";
}

TEST_F(Cli, InterruptCancelsTheRunCleanly) {
  WriteSources({{"büyük.bin", std::string(24 << 20, 'x')}, {"küçük.txt", "k"}});
  SaveTasks({Task("Uzun")}, [](TBackupConfig& config) { config.SpeedLimitMBPerSec = 2; });

  test::TCliProcess run(Program(), {"run", "Uzun"}, FDir.Path());
  ASSERT_TRUE(run.WaitForOutput("StartBackup çağrıldı, thread başlatıldı.", 30s)) << run.Out() << run.Err();
  std::this_thread::sleep_for(500ms);
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(60s), 1) << run.Out() << run.Err();
  EXPECT_NE(run.Out().find("! İptal: Yedekleme islemi kullanici tarafindan iptal edildi."), std::string::npos)
      << run.Out();

  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_FALSE(history[0].Success);
  EXPECT_TRUE(Manager().LoadConfig()->Tasks.at(0)->BackupChain.empty());
  // Neither an archive nor a staging folder stays behind.
  EXPECT_TRUE(!fs::exists(FDir / "dest") || fs::is_empty(FDir / "dest"));
  EXPECT_TRUE(fs::is_empty(FDir / "tmp"));
}

// A password typed at the terminal is never shown, and Ctrl+C at the prompt cancels the run.
TEST_F(Cli, PasswordPromptOnATerminal) {
  WriteSources({{"gizli.txt", "sır"}});
  SaveTasks({[&](TBackupTask& task) {
    Task("Şifreli")(task);
    task.EncryptBackup = true;
  }});
  auto session = [&](const std::string& mode, const std::string& args) {
    std::string shown;
    const int exit = test::RunCommand("/usr/bin/python3 " + test::ShellQuote(VELKOR_TEST_DATA_DIR "/pty_session.py") +
                                          " " + mode + " " + test::ShellQuote(Program().string()) + " " + args,
                                      &shown);
    EXPECT_EQ(exit, 0) << shown;
    return shown;
  };

  const std::string interrupted = session("interrupt", "run Şifreli");
  EXPECT_NE(interrupted.find("\"exit\": 1"), std::string::npos) << interrupted;
  EXPECT_NE(interrupted.find("\"echo_off\": true"), std::string::npos) << interrupted;
  EXPECT_NE(interrupted.find("! İptal: Şifreleme parolası girilmediği için işlem iptal edildi."), std::string::npos)
      << interrupted;

  const std::string answered = session("answer", "run Şifreli");
  EXPECT_NE(answered.find("\"exit\": 0"), std::string::npos) << answered;
  EXPECT_NE(answered.find("'Şifreli' görevi için yeni şifreleme parolasını girin:"), std::string::npos) << answered;
  EXPECT_NE(answered.find("✓ Tamamlandı: "), std::string::npos) << answered;
  EXPECT_EQ(answered.find("gizli-parola-42"), std::string::npos) << "the password was echoed: " << answered;
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "gizli-parola-42") << "kept for scheduled runs";

  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_FALSE(history[0].Success);
  EXPECT_TRUE(history[1].Success);

  // decrypt asks the same way when no password is stored; Ctrl+C there ends the prompt, not the terminal's echo.
  TEncryptionManager().ClearPasswordFromRegistry();
  const std::string decrypt = session("interrupt", "decrypt " + test::ShellQuote(history[1].OutputPath));
  EXPECT_NE(decrypt.find("\"exit\": 1"), std::string::npos) << decrypt;
  EXPECT_NE(decrypt.find("\"echo_off\": true"), std::string::npos) << decrypt;
  EXPECT_NE(decrypt.find("Şifre girilmediği için işlem iptal edildi."), std::string::npos) << decrypt;
}

// A damaged stored file is named on standard error with where its copy was kept: otherwise its tasks or runs
// would look like none at all ("no task named").
TEST_F(Cli, DamagedStoredFilesAreNamedOnStandardError) {
  SaveTasks({Task("Belgeler")});
  const fs::path config = Manager().ConfigFile();
  const std::string text = ReadFile(config);
  WriteFile(config, text.substr(0, text.size() / 2));
  const std::string said = "velkor-cli: Yapılandırma dosyası hasarlı: " + config.string() +
                           " (geçerli bir JSON metni değil). Özgün dosyanın kopyası: " + config.string() + ".damaged-";

  const TResult tasks = RunCli({"tasks"});
  EXPECT_EQ(tasks.Exit, 0);
  EXPECT_EQ(tasks.Out, "");
  EXPECT_EQ(tasks.Err.rfind(said, 0), 0u) << tasks.Err;
  const TResult run = RunCli({"run", "Belgeler"});
  EXPECT_EQ(run.Exit, 2);
  EXPECT_EQ(run.Err.rfind(said, 0), 0u) << run.Err;
  EXPECT_NE(run.Err.find("no task named 'Belgeler'"), std::string::npos) << run.Err;
  int copies = 0;
  for (const auto& e : fs::directory_iterator(config.parent_path()))
    copies += e.path().filename().string().rfind("config.json.damaged-", 0) == 0;
  EXPECT_EQ(copies, 1) << "the same damage is kept once";

  WriteFile(Manager().HistoryFile(), "[{\"BackupTime\":");
  const TResult history = RunCli({"history"});
  EXPECT_EQ(history.Out, "");
  EXPECT_NE(history.Err.find("velkor-cli: Yedekleme geçmişi dosyası hasarlı: " + Manager().HistoryFile().string()),
            std::string::npos)
      << history.Err;
}

}  // namespace
}  // namespace velkor
