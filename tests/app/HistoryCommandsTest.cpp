// The history list's restore, verification and report commands over the real core: entries made by real backup
// runs, restored into scratch folders on the commands' own thread while the test pumps the main thread; the wizard
// and the wait windows are scripted and recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "AppCoreHarness.h"
#include "app/EmailCommands.h"
#include "app/HistoryCommands.h"
#include "app/OutputVerification.h"
#include "app/RestoreFlow.h"
#include "crypto/EncryptionManager.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadTree;
using test::TFileTree;

class TScriptedWindows final : public IHistoryCommandWindows {
public:
  struct TWizardCall {
    std::string TaskName;
    bool ShowPassword;
    std::string Password;
    std::string AsOfCaption;
  };
  std::vector<TWizardCall> WizardCalls;
  std::deque<std::optional<TRestoreWizardOptions>> Answers;  // nullopt: cancelled
  std::vector<std::string> Events;                           // "wait:<caption>", "close"
  std::vector<int> Percents;
  bool WaitOpen = false;

  bool ExecuteRestoreWizard(const TBackupHistoryItem& item, bool showPassword, const std::string& password,
                            const std::string& asOfCaption, TRestoreWizardOptions& options) override {
    WizardCalls.push_back({item.TaskName, showPassword, password, asOfCaption});
    if (Answers.empty()) return false;
    const auto answer = Answers.front();
    Answers.pop_front();
    if (answer) options = *answer;
    return answer.has_value();
  }
  void ShowWaitWindow(const TWaitWindowText& text) override {
    EXPECT_FALSE(WaitOpen);
    WaitOpen = true;
    Events.push_back("wait:" + text.Caption);
  }
  void ShowWaitProgress(int percent, const std::string&) override {
    EXPECT_TRUE(WaitOpen);
    Percents.push_back(percent);
  }
  void CloseWaitWindow() override {
    EXPECT_TRUE(WaitOpen);
    WaitOpen = false;
    Events.push_back("close");
  }
};

class HistoryCommandsTest : public test::AppCoreHarness {
protected:
  TScriptedWindows FWindows;
  std::function<void(const fs::path&, const TBackupHistoryItem&)> FExport =
      [](const fs::path& file, const TBackupHistoryItem& item) { std::ofstream(file) << "PDF " << item.TaskName; };
  std::unique_ptr<THistoryCommands> FCommands;

  void SetUp() override {
    StartCore();
    THistoryCommandServices services{*FCore, FPrompts, FWindows, FMain, FClock, {}, FDir / "belgeler", RegistryFile()};
    services.ExportPdf = [this](const fs::path& file, const TBackupHistoryItem& item) { FExport(file, item); };
    FCommands = std::make_unique<THistoryCommands>(services);
  }

  // Pumps the main thread until the command's work has ended and its end was shown.
  void Finish() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FCommands->Busy()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the command did not end";
      FMain.WaitForWork(20);
      FMain.ProcessPending();
    }
  }

  // One run of a task over `files`; the entry it left.
  TBackupHistoryItem Backup(const std::string& name, const TFileTree& files, bool compress = true,
                            const std::string& password = "") {
    FCompress = compress;
    TBackupTask& task = AddTask(name, files);
    task.EncryptBackup = !password.empty();
    FCore->EncryptionManager()->SetPassword(password);
    RunManual(task);
    FCore->EncryptionManager()->SetPassword("");
    const auto history = History();
    EXPECT_TRUE(!history.empty() && history.back().Success) << (history.empty() ? "" : history.back().Details);
    return history.back();
  }

  static TRestoreWizardOptions Options(const fs::path& target, TRestoreConflictAction action = rcRename,
                                       const std::string& password = "", bool asOf = false) {
    return {target.string(), action, password, asOf};
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& [text, kind] : FPrompts.Messages) texts.push_back(text);
    return texts;
  }
};

const TFileTree Files = {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}};

TEST_F(HistoryCommandsTest, RefusalsBeforeTheAnalysisWriteNothing) {
  const TBackupHistoryItem item = Backup("Belgeler", Files);
  const std::string source = item.SourceFolders.at(0);
  std::string otherCase = source;
  otherCase.replace(otherCase.rfind("Belgeler"), 8, "BELGELER");
  TBackupHistoryItem withoutSources = item;
  withoutSources.SourceFolders.clear();
  const std::string sameFolder = "Geri yükleme hedefi kaynak klasör ile aynı olamaz.\r\nKaynak: " + source +
                                 "\r\nLütfen farklı bir hedef klasör seçin.";
  struct TCase {
    const char* Name;
    const TBackupHistoryItem& Item;
    std::optional<TRestoreWizardOptions> Answer;
    std::vector<std::string> Messages;
  };
  const TCase cases[] = {
      {"wizard cancelled", item, std::nullopt, {}},
      {"blank target", item, Options("   "), {"Lütfen bir hedef klasör seçin."}},
      {"the source in another case", item, Options(otherCase), {sameFolder}},
      {"the source with a trailing slash", item, Options(source + "/"), {sameFolder}},
      {"the task's source when the entry names none", withoutSources, Options(source + "//"), {sameFolder}},
  };
  for (const TCase& c : cases) {
    FPrompts.Messages.clear();
    FWindows.Answers = {c.Answer};
    FCommands->RestoreHistoryItem(c.Item);
    EXPECT_FALSE(FCommands->Busy()) << c.Name;
    EXPECT_EQ(MessageTexts(), c.Messages) << c.Name;
    EXPECT_FALSE(FWindows.WizardCalls.back().ShowPassword) << c.Name;
  }
  EXPECT_TRUE(FWindows.Events.empty());
  EXPECT_TRUE(FPrompts.Questions.empty());

  FPrompts.Messages.clear();
  FCommands->mnuHistoryRestoreClick(std::nullopt);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Lütfen geri yüklemek istediğiniz log kaydını seçin."});
  EXPECT_EQ(FWindows.WizardCalls.size(), std::size(cases));

  // A target inside the source folder is allowed; so is any target when no task of the entry's name is left.
  FWindows.Answers = {Options(source + "/geri"), Options(source)};
  FCommands->RestoreHistoryItem(item);
  Finish();
  Config().Tasks.back()->Name = "Başka";
  FCommands->RestoreHistoryItem(withoutSources);
  Finish();
  EXPECT_EQ(FPrompts.Questions.size(), 2u) << "both reached the confirmation (answered No)";
  EXPECT_EQ(ReadTree(source), Files) << "nothing was restored";
}

TEST_F(HistoryCommandsTest, ConfirmThenRestoreWithRenameThenWithSkip) {
  const TBackupHistoryItem item = Backup("Belgeler", Files);
  const fs::path target = FDir / "geri";
  FWindows.Answers = {Options(target), Options(target, rcSkip)};
  FPrompts.YesNoAnswers = {true, true};

  FCommands->mnuHistoryRestoreClick(item);
  EXPECT_TRUE(FCommands->Busy());
  Finish();
  ASSERT_EQ(FPrompts.Questions.size(), 1u);
  EXPECT_EQ(FPrompts.Questions[0],
            "Ön analiz tamamlandı.\r\n\r\nToplam geri yüklenecek dosya: 2\r\nÇakışacak mevcut dosya: 0\r\n"
            "Çakışma davranışı: Yeniden adlandır\r\nHedef klasör: " +
                target.string() + "\r\n\r\nGeri yükleme başlatılsın mı?");
  EXPECT_EQ(ReadTree(target), (TFileTree{{"Belgeler/a.txt", "alfa"}, {"Belgeler/alt/b.txt", "beta"}}));
  EXPECT_EQ(FWindows.Events,
            (std::vector<std::string>{"wait:Geri Yükleme Analizi", "close", "wait:Geri Yükleniyor", "close"}));
  ASSERT_FALSE(FWindows.Percents.empty());
  EXPECT_EQ(FWindows.Percents.back(), 100);
  EXPECT_EQ(
      FPrompts.Messages.back(),
      std::make_pair(std::string("Geri yükleme tamamlandı.\r\nGeri yüklenen dosya: 2\r\nAtlanan dosya: 0"), amSuccess));
  EXPECT_TRUE(FView.Logged("Geri yükleme başlatıldı: Belgeler"));
  EXPECT_TRUE(FView.Logged("Geri yükleme tamamlandı: 2 dosya geri yüklendi, 0 dosya atlandı."));

  FCommands->RestoreHistoryItem(item);
  Finish();
  ASSERT_EQ(FPrompts.Questions.size(), 2u);
  EXPECT_NE(FPrompts.Questions[1].find("Çakışacak mevcut dosya: 2\r\nÇakışma davranışı: Atla\r\n"), std::string::npos);
  EXPECT_NE(FPrompts.Questions[1].find("\r\nİlk çakışma: " + (target / "Belgeler").string() + "/"), std::string::npos);
  EXPECT_EQ(FPrompts.Messages.back().first, "Geri yükleme tamamlandı.\r\nGeri yüklenen dosya: 0\r\nAtlanan dosya: 2");
  EXPECT_TRUE(FView.Logged("Geri yükleme tamamlandı: 0 dosya geri yüklendi, 2 dosya atlandı."));
  EXPECT_EQ(ReadTree(target).size(), 2u);

  // Answering No after the analysis stops there.
  FWindows.Answers = {Options(FDir / "hayir")};
  FCommands->RestoreHistoryItem(item);
  Finish();
  EXPECT_FALSE(fs::exists(FDir / "hayir"));
  EXPECT_EQ(FWindows.Events.size(), 10u);
}

// A clock whose every reading is 50 ms after the last: the restore's reports come due every third reading.
class TSteppingClock final : public IClock {
public:
  TDateTime Now() override { return EncodeDateTime(2026, 4, 6, 18, 0, 0); }
  uint64_t TickMs() override { return FTick += 50; }
  void SleepMs(uint32_t) override {}

private:
  std::atomic<uint64_t> FTick{0};
};

TEST_F(HistoryCommandsTest, ProgressFollowsTheUnpackingAndThePlacing) {
  TFileTree files;
  for (int i = 0; i < 24; ++i)
    files["d" + std::to_string(i) + ".txt"] = std::string(100000 + i, static_cast<char>('a' + i));
  const TBackupHistoryItem item = Backup("Belgeler", files);
  TSteppingClock clock;
  THistoryCommandServices services{*FCore, FPrompts, FWindows, FMain, clock, {}, FDir.Path(), RegistryFile()};
  THistoryCommands commands(services);
  FWindows.Answers = {Options(FDir / "geri")};
  FPrompts.YesNoAnswers = {true};
  commands.RestoreHistoryItem(item);
  while (commands.Busy()) {
    FMain.WaitForWork(20);
    FMain.ProcessPending();
  }
  const std::vector<int>& p = FWindows.Percents;
  EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
  EXPECT_TRUE(std::any_of(p.begin(), p.end(), [](int v) { return v > 0 && v < 90; })) << "unpacking";
  EXPECT_TRUE(std::any_of(p.begin(), p.end(), [](int v) { return v > 90 && v < 100; })) << "placing";
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.back(), 100);
  EXPECT_EQ(ReadTree(FDir / "geri").size(), 24u);
}

TEST_F(HistoryCommandsTest, EncryptedOutputNeedsThePasswordWhichIsThenRemembered) {
  const TBackupHistoryItem item = Backup("Gizli", Files, true, "Doğru Parola");
  const fs::path target = FDir / "geri";
  FWindows.Answers = {Options(target, rcRename, "   "), Options(target, rcRename, "yanlış"),
                      Options(target, rcRename, "Doğru Parola"), std::nullopt};
  FPrompts.YesNoAnswers = {true};

  FCommands->RestoreHistoryItem(item);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Şifreli yedek geri yükleme için parola gerekli."});
  FCommands->RestoreHistoryItem(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages.back().first,
            "Geri yükleme analizi başarısız: Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.");
  EXPECT_TRUE(FPrompts.Questions.empty());
  EXPECT_FALSE(fs::exists(target));

  FCommands->RestoreHistoryItem(item);
  Finish();
  EXPECT_EQ(ReadTree(target), (TFileTree{{"Gizli/a.txt", "alfa"}, {"Gizli/alt/b.txt", "beta"}}));
  EXPECT_EQ(FWindows.Percents.front(), -1) << "the decryption cannot be counted";
  EXPECT_EQ(FCore->EncryptionManager()->GetPassword(), "Doğru Parola");

  FCommands->RestoreHistoryItem(item);
  ASSERT_EQ(FWindows.WizardCalls.size(), 4u);
  EXPECT_TRUE(FWindows.WizardCalls[0].ShowPassword);
  EXPECT_EQ(FWindows.WizardCalls[0].Password, "");
  EXPECT_EQ(FWindows.WizardCalls[3].Password, "Doğru Parola");
}

TEST_F(HistoryCommandsTest, StateAsOfAnIncrementalRunIsRebuiltFromItsChain) {
  // The clock runs a day ahead, so a source file counts as changed only when its time is set after the last run.
  FClock.SetNow(IncDay(FromUnixTime(std::time(nullptr)), 1));
  FCompress = true;
  TBackupTask& task = AddTask("Zincir", {{"a.txt", "bir"}, {"b.txt", "iki"}});
  RunManual(task);
  const TBackupHistoryItem full = History().back();
  const fs::path edited = fs::path(task.SourceFolders.at(0)) / "b.txt";
  test::WriteFile(edited, "iki, yeni");
  const auto seconds = ToUnixTime(IncSecond(FClock.Now(), 1));
  ASSERT_TRUE(seconds.has_value());
  fs::last_write_time(edited, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(*seconds)));
  RunManual(task, btIncremental);
  const TBackupHistoryItem incremental = History().back();
  ASSERT_EQ(incremental.FileCount, 1) << incremental.Details;

  FWindows.Answers = {Options(FDir / "durum", rcRename, "", true), Options(FDir / "tek"), std::nullopt};
  FPrompts.YesNoAnswers = {true, true};
  FCommands->RestoreHistoryItem(incremental);
  Finish();
  FCommands->RestoreHistoryItem(incremental);
  Finish();
  FCommands->RestoreHistoryItem(full);

  ASSERT_EQ(FWindows.WizardCalls.size(), 3u);
  EXPECT_EQ(FWindows.WizardCalls[0].AsOfCaption,
            "Kaydın tarihindeki durumu geri yükle (zincirdeki 2 yedekten, tam yedekle başlayarak)");
  EXPECT_EQ(FWindows.WizardCalls[2].AsOfCaption, "") << "a full backup's state is its own output";
  ASSERT_EQ(FPrompts.Questions.size(), 2u);
  EXPECT_TRUE(
      FPrompts.Questions[0].ends_with("\r\nYedek zinciri: 2 yedek, kaydın tarihindeki durum\r\n\r\n"
                                      "Geri yükleme başlatılsın mı?"));
  EXPECT_EQ(FPrompts.Questions[1].find("Yedek zinciri"), std::string::npos);
  EXPECT_EQ(ReadTree(FDir / "durum"), (TFileTree{{"Zincir/a.txt", "bir"}, {"Zincir/b.txt", "iki, yeni"}}));
  EXPECT_EQ(ReadTree(FDir / "tek"), (TFileTree{{"Zincir/b.txt", "iki, yeni"}}));
  EXPECT_TRUE(FView.Logged("Geri yükleme tamamlandı: 2 dosya geri yüklendi, 0 dosya atlandı."));
  EXPECT_FALSE(FWindows.Percents.empty()) << "the chain's progress reaches the wait window";
}

TEST_F(HistoryCommandsTest, VerifyReportsMatchThenMismatchThenMissing) {
  const TBackupHistoryItem item = Backup("Belgeler", Files);
  ASSERT_FALSE(item.Checksum.empty());
  FCommands->mnuHistoryVerifyClick(item);
  Finish();
  ASSERT_EQ(FPrompts.Messages.size(), 1u);
  EXPECT_EQ(FPrompts.Messages[0].second, amSuccess);
  EXPECT_EQ(FPrompts.Messages[0].first,
            "Doğrulama başarılı: yedek çıktısı kayıttaki SHA-256 değeriyle eşleşiyor.\r\n"
            "Çıktı: " +
                item.OutputPath + "\r\nSHA-256: " + item.Checksum);
  EXPECT_TRUE(FView.Logged("Doğrulama başarılı, SHA-256 eşleşti: " + item.OutputPath));

  {
    std::fstream output(item.OutputPath, std::ios::in | std::ios::out | std::ios::binary);
    output.seekg(40);
    const char byte = static_cast<char>(output.get());
    output.seekp(40);
    output.put(static_cast<char>(byte ^ 1));
  }
  FCommands->mnuHistoryVerifyClick(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages[1].second, amError);
  EXPECT_TRUE(FPrompts.Messages[1].first.starts_with(
      "Doğrulama başarısız: yedek çıktısı kayıttaki SHA-256 değeriyle "
      "eşleşmiyor!\r\nÇıktı: " +
      item.OutputPath + "\r\nKayıtlı SHA-256: " + item.Checksum + "\r\nŞimdiki SHA-256: "));

  fs::remove(item.OutputPath);
  FCommands->mnuHistoryVerifyClick(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages[2],
            std::make_pair("Doğrulama yapılamadı: yedek çıktısı bulunamadı.\r\nÇıktı: " + item.OutputPath, amError));

  FCommands->mnuHistoryVerifyClick(std::nullopt);
  EXPECT_EQ(FPrompts.Messages[3].first, "Lütfen doğrulamak istediğiniz log kaydını seçin.");
  EXPECT_EQ(FWindows.Events, (std::vector<std::string>{"wait:Doğrulanıyor", "close", "wait:Doğrulanıyor", "close",
                                                       "wait:Doğrulanıyor", "close"}));
}

TEST_F(HistoryCommandsTest, VerifyOfAFolderCopyAndOfEntriesThatCannotBeVerified) {
  TBackupHistoryItem item = Backup("Kopya", Files, false);
  FCommands->mnuHistoryVerifyClick(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages.back().second, amSuccess);
  test::WriteFile(fs::path(item.OutputPath) / "yeni.txt", "x");
  FCommands->mnuHistoryVerifyClick(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages.back().second, amError);

  const std::pair<std::function<void(TBackupHistoryItem&)>, std::string> cases[] = {
      {[](auto& i) { i.Checksum.clear(); }, "Bu kayıt için SHA-256 değeri kaydedilmemiş; doğrulama yapılamaz."},
      {[](auto& i) { i.OutputPath = "s3://kova/yedek.zip"; }, "Yedek çıktısı bulutta; bu bilgisayardan doğrulanamaz."},
      {[](auto& i) { i.OutputPath = " "; }, "Bu kayıt için doğrulanacak bir yedek çıktısı yok."},
  };
  for (const auto& [change, start] : cases) {
    TBackupHistoryItem odd = item;
    change(odd);
    FCommands->mnuHistoryVerifyClick(odd);
    Finish();
    EXPECT_TRUE(FPrompts.Messages.back().first.starts_with(start)) << FPrompts.Messages.back().first;
    EXPECT_EQ(FPrompts.Messages.back().second, amWarning);
  }
}

TEST_F(HistoryCommandsTest, PdfExportProposesTheNameAndLogsTheChosenFile) {
  TBackupHistoryItem item;
  item.TaskName = "Belgeler";
  item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 0, 0);
  FPrompts.Picks = {(FDir / "rapor").string(), std::nullopt, (FDir / "yok" / "r.pdf").string()};

  FCommands->mnuHistoryExportPdfClick(item);
  Finish();
  ASSERT_EQ(FPrompts.Pickers.size(), 1u);
  EXPECT_EQ(FPrompts.Pickers[0],
            (std::vector<std::string>{"Log Dosyasını PDF Olarak Kaydet", "PDF Dosyası (*.pdf)|*.pdf",
                                      (FDir / "belgeler" / "BackupLog_20260406_180000.pdf").string()}));
  EXPECT_EQ(test::ReadFile(FDir / "rapor.pdf"), "PDF Belgeler");
  EXPECT_TRUE(FView.Logged("Seçili history kaydı PDF olarak kaydedildi: " + (FDir / "rapor.pdf").string()));

  FCommands->mnuHistoryExportPdfClick(item);  // cancelled in the dialog
  EXPECT_FALSE(FCommands->Busy());

  const size_t logged = FView.LogLines.size();
  FExport = [](const fs::path&, const TBackupHistoryItem&) { throw EVelkorError("Dosya oluşturulamadı: r.pdf"); };
  FCommands->mnuHistoryExportPdfClick(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages.back(), std::make_pair(std::string("Dosya oluşturulamadı: r.pdf"), amError));
  EXPECT_EQ(FView.LogLines.size(), logged);

  FCommands->mnuHistoryExportPdfClick(std::nullopt);
  EXPECT_EQ(FPrompts.Messages.back().first, "Lütfen PDF olarak kaydetmek istediğiniz log kaydını seçin.");
  EXPECT_EQ(FWindows.Events,
            (std::vector<std::string>{"wait:PDF Kaydediliyor", "close", "wait:PDF Kaydediliyor", "close"}));
}

TEST_F(HistoryCommandsTest, MailWithoutRecipientsFailsWithItsMessage) {
  TBackupHistoryItem item;
  item.TaskName = "Belgeler";
  FCommands->mnuHistorySendMailClick(item);
  Finish();
  EXPECT_EQ(FPrompts.Messages.back().first, "Mail gönderme hatası: E-posta alıcısı tanımlı değil.");
  EXPECT_FALSE(FView.Logged("Seçili history kaydı e-posta ile gönderildi."));
  FCommands->mnuHistorySendMailClick(std::nullopt);
  EXPECT_EQ(FPrompts.Messages.back().first, "Lütfen e-posta göndermek istediğiniz log kaydını seçin.");
}

TEST(RestoreFlowTest, ProgressRunsOverTheWholeRestore) {
  const auto show = [](TRestoreStage stage, int64_t done, int64_t total, const char* name, bool unpacked) {
    return RestoreProgressDisplay({stage, done, total, name}, unpacked);
  };
  EXPECT_EQ(show(rsDecrypt, 0, 0, "/yedek/a.mbe", false), (TRestoreProgressDisplay{-1, "Şifreli yedek çözülüyor..."}));
  EXPECT_EQ(show(rsUnpack, 0, 1000, "Belgeler/a.txt", true),
            (TRestoreProgressDisplay{0, "Arşiv açılıyor: Belgeler/a.txt"}));
  EXPECT_EQ(show(rsUnpack, 500, 1000, "Belgeler/a.txt", true).Percent, 45);
  EXPECT_EQ(show(rsUnpack, 1000, 1000, "Belgeler/a.txt", true).Percent, 90);
  EXPECT_EQ(show(rsPlace, 1, 2, "Belgeler/a.txt", true),
            (TRestoreProgressDisplay{95, "Geri yükleniyor: Belgeler/a.txt"}));
  EXPECT_EQ(show(rsPlace, 1, 4, "x", false).Percent, 25);
  EXPECT_EQ(show(rsPlace, 0, 0, "", false), (TRestoreProgressDisplay{100, "Geri yükleme tamamlanıyor..."}));
  EXPECT_EQ(DefaultRestoreTarget("/home/ayse/Masaüstü", EncodeDateTime(2026, 4, 6, 18, 0, 7)),
            "/home/ayse/Masaüstü/Restore_20260406_180007");
}

}  // namespace
}  // namespace velkor
