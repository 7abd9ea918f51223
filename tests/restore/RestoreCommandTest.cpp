// The `restore` command of the command-line tool: the flow's refusals, the figures it prints, the password source.
#include <gtest/gtest.h>

#include <sstream>

#include "RestoreTestSupport.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreCommand.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TFileTree;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;
using test::WriteTree;

class RestoreCommandTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir / "tmp").string()};
  TBackupConfig FConfig;
  TBackupHistoryItem FItem;
  fs::path FTarget = FDir / "hedef";
  std::ostringstream FOut, FErr;
  int FPrompts = 0;

  void SetUp() override {
    InitProcessLocale();
    fs::create_directories(FDir / "tmp");
    FItem.TaskName = "Günlük";
    FItem.SourceFolders = {(FDir / "kaynak/Docs").string(), "  "};
    FItem.OutputPath =
        test::BuildBackupOutput(test::okFolder, {{"Docs/a.txt", "a"}, {"Docs/b.txt", "b"}}, FDir / "dest", "").string();
  }

  int Run(const std::string& target, bool skip, const std::string& stored = "", const std::string& typed = "") {
    TRestorePasswordSource password{stored, [this, typed] {
                                      ++FPrompts;
                                      return typed;
                                    }};
    return RunRestoreCommand(FItem, FConfig, target, skip, password, FOut, FErr);
  }
};

TEST_F(RestoreCommandTest, PrintsTheAnalysisThenRestoresWithRenameOrSkip) {
  WriteFile(FTarget / "Docs/a.txt", "eski");
  EXPECT_EQ(Run(FTarget.string(), false), 0);
  EXPECT_EQ(FOut.str(),
            "Toplam geri yüklenecek dosya: 2\n"
            "Çakışacak mevcut dosya: 1\n"
            "Çakışma davranışı: Yeniden adlandır\n"
            "Hedef klasör: " +
                FTarget.string() +
                "\n"
                "İlk çakışma: " +
                (FTarget / "Docs/a.txt").string() +
                "\n"
                "Geri yükleme başlatıldı: Günlük\n"
                "Geri yükleme tamamlandı: 2 dosya geri yüklendi, 0 dosya atlandı.\n");
  EXPECT_EQ(FErr.str(), "");
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "eski"}, {"Docs/a (1).txt", "a"}, {"Docs/b.txt", "b"}}));

  FOut.str("");
  EXPECT_EQ(Run(FTarget.string(), true), 0);
  EXPECT_NE(FOut.str().find("Çakışma davranışı: Atla\n"), std::string::npos);
  EXPECT_TRUE(FOut.str().ends_with("Geri yükleme tamamlandı: 0 dosya geri yüklendi, 2 dosya atlandı.\n"));
  EXPECT_EQ(FPrompts, 0);
}

TEST_F(RestoreCommandTest, RefusesATargetThatIsASourceFolder) {
  const std::string refusal =
      "Geri yükleme hedefi kaynak klasör ile aynı olamaz.\nKaynak: " + (FDir / "kaynak/Docs").string() +
      "\nLütfen farklı bir hedef klasör seçin.\n";
  // Another letter case and a trailing separator name the same folder.
  EXPECT_EQ(Run((FDir / "kaynak/DOCS/").string(), false), 1);
  EXPECT_EQ(FErr.str(), refusal);

  // An entry without source folders takes them from the task of the same name, letter case ignored; without such
  // a task nothing is checked.
  FItem.SourceFolders.clear();
  FConfig.Tasks.push_back(std::make_unique<TBackupTask>());
  FConfig.Tasks.back()->Name = "Haftalık";
  FConfig.Tasks.back()->SourceFolders = {(FDir / "kaynak/Docs").string()};
  FErr.str("");
  EXPECT_EQ(Run((FDir / "kaynak/Docs").string(), false), 0) << FErr.str();
  FConfig.Tasks.push_back(std::make_unique<TBackupTask>());
  FConfig.Tasks.back()->Name = "GüNLüK";
  FConfig.Tasks.back()->SourceFolders = {" ", (FDir / "kaynak/Docs").string()};
  EXPECT_EQ(Run((FDir / "kaynak/Docs").string(), false), 1);
  EXPECT_EQ(FErr.str(), refusal);

  FErr.str("");
  EXPECT_EQ(Run("  ", false), 1);
  EXPECT_EQ(FErr.str(), "Lütfen bir hedef klasör seçin.\n");
}

TEST_F(RestoreCommandTest, EncryptedOutputsTakeTheStoredPasswordOrAskForOne) {
  FItem.OutputPath =
      test::BuildBackupOutput(test::okEncryptedZip, {{"Docs/a.txt", "a"}}, FDir / "şifreli", "parola").string();

  EXPECT_EQ(Run(FTarget.string(), false, "", "   "), 1);
  EXPECT_EQ(FErr.str(), "Şifreli yedek geri yükleme için parola gerekli.\n");
  EXPECT_EQ(FPrompts, 1);

  FErr.str("");
  EXPECT_EQ(Run(FTarget.string(), false, "yanlış"), 1);
  EXPECT_EQ(FErr.str(), "Geri yükleme analizi başarısız: Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.\n");
  EXPECT_FALSE(fs::exists(FTarget));

  EXPECT_EQ(Run(FTarget.string(), false, "", "parola"), 0);
  EXPECT_EQ(Run(FTarget.string(), false, "parola"), 0);
  EXPECT_EQ(FPrompts, 2);
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "a"}, {"Docs/a (1).txt", "a"}}));
  EXPECT_TRUE(test::ListEverything(FDir / "tmp").empty());
}

TEST_F(RestoreCommandTest, ARestoreFailureIsReportedWithItsPrefix) {
  // The analysis passes; a file standing where the restore needs a folder stops it.
  WriteTree(fs::path(FItem.OutputPath), {{"Docs/alt/c.txt", "c"}});
  WriteFile(FTarget / "Docs/alt", "dosya");
  EXPECT_EQ(Run(FTarget.string(), false), 1);
  EXPECT_TRUE(FErr.str().starts_with("Geri yükleme hatası: ")) << FErr.str();
  EXPECT_EQ(FOut.str().find("Geri yükleme tamamlandı"), std::string::npos);
}

}  // namespace
}  // namespace velkor
