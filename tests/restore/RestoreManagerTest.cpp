// The restore engine's rules one by one: the escape guard, conflict names, the failure messages, encrypted content,
// the room check of the staging folder and links met in the target or the temporary folder.
#include <gtest/gtest.h>

#include "RestoreTestSupport.h"
#include "crypto/EncryptionManager.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreManager.h"
#include "support/FakeClock.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TFileTree;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;
using test::WriteTree;

constexpr char IntegrityMessage[] = "Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.";

class RestoreManagerTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir / "tmp").string()};
  test::TFakeClock FClock;
  TRestoreManager FManager{FClock};
  fs::path FTarget = FDir / "hedef";

  void SetUp() override {
    InitProcessLocale();
    fs::create_directories(FDir / "tmp");
  }
  void TearDown() override { EXPECT_TRUE(test::ListEverything(FDir / "tmp").empty()) << "staging left behind"; }

  std::pair<int32_t, int32_t> Restore(const fs::path& source, const std::string& password = "",
                                      TRestoreConflictAction action = rcRename) {
    int32_t restored = -1, skipped = -1;
    FManager.RestoreBackupOutput(source.string(), FTarget.string(), password, action, restored, skipped);
    return {restored, skipped};
  }
  // The message of the error `run` raises; "" when it raises none.
  static std::string ErrorOf(const std::function<void()>& run) {
    try {
      run();
    } catch (const EVelkorError& e) {
      return e.what();
    }
    return "";
  }
  fs::path EncryptedZip(const TFileTree& tree, const std::string& password) {
    return test::BuildBackupOutput(test::okEncryptedZip, tree, FDir / "dest", password);
  }
};

TEST_F(RestoreManagerTest, EscapeGuardMapsNamesIntoTheFolderOrRefusesThem) {
  const std::string root = FDir.Path().string() + "/";
  struct TCase {
    std::string Name;
    std::string Expected;  // the relative result; "-" for a folder entry; "!u" unsafe, "!o" outside
  };
  const std::vector<TCase> cases = {
      {"Docs/a.txt", "Docs/a.txt"},
      {"Docs\\sub\\b.txt", "Docs/sub/b.txt"},
      {"//\\etc/x.txt", "etc/x.txt"},
      {"a/./b.txt", "a/b.txt"},
      {"a..b.txt", "a..b.txt"},
      {"klasör/ğ.txt", "klasör/ğ.txt"},
      {"", "-"},
      {"docs/", "-"},
      {"docs\\", "-"},
      {"\\", "-"},
      {"..", "!u"},
      {"..gizli", "!u"},
      {"a/../b", "!u"},
      {"a\\..\\b", "!u"},
      {"x/C:\\y", "!u"},
      {std::string("a\0b", 3), "!u"},
      {".", "!o"},
      {"a/..", "!o"},
      {"a/b/..", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Expected.starts_with("!")) {
      const std::string error = ErrorOf([&] { TRestoreManager::ResolveSafeTargetPath(FDir.Path().string(), c.Name); });
      EXPECT_TRUE(error.starts_with(c.Expected == "!u" ? "Arşiv içinde güvenli olmayan bir yol algılandı: "
                                                       : "Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: "))
          << error;
      continue;
    }
    const auto resolved = TRestoreManager::ResolveSafeTargetPath(FDir.Path().string() + "/", c.Name);
    EXPECT_EQ(resolved.value_or("-"), c.Expected == "-" ? "-" : root + c.Expected);
  }
}

TEST_F(RestoreManagerTest, ConflictNamesCountEveryKindOfExistingEntry) {
  WriteTree(FDir.Path(), {{"rapor.pdf", "1"}, {"rapor (1).pdf", "2"}, {"notlar", "3"}, {"arsiv.tar.gz", "4"}});
  fs::create_directory(FDir / "klasör.txt");
  fs::create_symlink(FDir / "yok", FDir / "kırık.txt");  // a link whose target is gone still stands there
  auto resolve = [&](const std::string& name, TRestoreConflictAction action) {
    const auto path = TRestoreManager::ResolveConflictTarget((FDir / name).string(), action);
    return path ? fs::path(*path).filename().string() : std::string("<atla>");
  };
  EXPECT_EQ(resolve("yeni.txt", rcRename), "yeni.txt");
  EXPECT_EQ(resolve("yeni.txt", rcSkip), "yeni.txt");
  EXPECT_EQ(resolve("rapor.pdf", rcRename), "rapor (2).pdf");
  EXPECT_EQ(resolve("rapor.pdf", rcOverwrite), "rapor (2).pdf");
  EXPECT_EQ(resolve("rapor.pdf", rcSkip), "<atla>");
  EXPECT_EQ(resolve("notlar", rcRename), "notlar (1)");
  EXPECT_EQ(resolve("arsiv.tar.gz", rcRename), "arsiv.tar (1).gz");
  EXPECT_EQ(resolve("klasör.txt", rcRename), "klasör (1).txt");
  EXPECT_EQ(resolve("kırık.txt", rcRename), "kırık (1).txt");
  EXPECT_EQ(resolve("kırık.txt", rcSkip), "<atla>");
}

TEST_F(RestoreManagerTest, FailuresCarryTheirMessagesForAnalysisAndRestoreAlike) {
  WriteFile(FDir / "yedek.rar", "r");
  WriteFile(FDir / "uzantısız", "u");
  const fs::path mbe = EncryptedZip({{"Docs/a.txt", "a"}}, "parola");
  const std::string missing = (FDir / "silinmiş.zip").string();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "Geri yüklenecek kayıt için çıktı yolu bulunamadı."},
      {"   ", "Geri yüklenecek kayıt için çıktı yolu bulunamadı."},
      {missing, "Yedek çıktısı bulunamadı: " + missing},
      {"s3://kova/Günlük.zip", "Yedek çıktısı bulunamadı: s3://kova/Günlük.zip"},
      {(FDir / "yedek.rar").string(), "Desteklenmeyen yedek formatı: .rar"},
      {(FDir / "uzantısız").string(), "Desteklenmeyen yedek formatı: "},
      {mbe.string(), RestorePasswordRequiredMessage},
  };
  for (const auto& [source, message] : cases) {
    SCOPED_TRACE(source);
    EXPECT_EQ(ErrorOf([&] { FManager.AnalyzeRestore(source, FTarget.string(), ""); }), message);
    EXPECT_EQ(ErrorOf([&] { Restore(source); }), message);
  }
  EXPECT_FALSE(fs::exists(FTarget));
}

TEST_F(RestoreManagerTest, WrongPasswordForAnEncryptedArchiveWritesNothing) {
  const fs::path mbe = EncryptedZip({{"Docs/a.txt", "a"}, {"Docs/b.txt", "b"}}, "doğru");
  EXPECT_EQ(ErrorOf([&] { FManager.AnalyzeRestore(mbe.string(), FTarget.string(), "yanlış"); }), IntegrityMessage);
  EXPECT_EQ(ErrorOf([&] { Restore(mbe, "yanlış"); }), IntegrityMessage);
  EXPECT_FALSE(fs::exists(FTarget));

  WriteFile(FTarget / "Docs/a.txt", "eski");
  EXPECT_EQ(ErrorOf([&] { Restore(mbe, "yanlış"); }), IntegrityMessage);
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "eski"}}));
}

TEST_F(RestoreManagerTest, EncryptedFilesOfAFolderAreAnalysedWithoutPasswordButRestoredOnlyWithOne) {
  const fs::path output = FDir / "Günlük_2024-05-01_10-00-00";
  WriteTree(output, {{"Docs/a.txt", "a"}, {"Docs/c.txt", "c"}, {"plain/x.doc", "x"}});
  TEncryptionManager manager(FDir / "registry.json");
  manager.SetPassword("parola");
  manager.EncryptFile(output / "plain/x.doc", output / "Docs/b.doc.mbe");
  fs::remove_all(output / "plain");
  WriteFile(FTarget / "Docs/b.doc", "var");

  EXPECT_TRUE(TRestoreManager::RestoreRequiresPassword(output.string()));
  const TRestoreAnalysis analysis = FManager.AnalyzeRestore(output.string(), FTarget.string(), "");
  EXPECT_EQ(analysis.TotalFiles, 3);
  EXPECT_EQ(analysis.ConflictCount, 1);
  EXPECT_EQ(analysis.FirstConflictPath, (FTarget / "Docs/b.doc").string());

  // Without a password the restore stops at the encrypted file; what came before it stays.
  EXPECT_EQ(ErrorOf([&] { Restore(output); }), RestorePasswordRequiredMessage);
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "a"}, {"Docs/b.doc", "var"}}));

  fs::remove_all(FTarget);
  EXPECT_EQ(Restore(output, "parola"), std::make_pair(3, 0));
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "a"}, {"Docs/b.doc", "x"}, {"Docs/c.txt", "c"}}));
}

TEST_F(RestoreManagerTest, ArchivesRestoreTheirContentAsStored) {
  // An empty archive is the 22-byte end record alone.
  const fs::path empty = FDir / "boş.zip";
  WriteFile(empty, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(FManager.AnalyzeRestore(empty.string(), FTarget.string(), "").TotalFiles, 0);
  EXPECT_EQ(Restore(empty), std::make_pair(0, 0));
  EXPECT_TRUE(fs::is_directory(FTarget));

  // Names without the UTF-8 flag are code page 437, the format's original character set.
  fs::remove_all(FTarget);
  const fs::path dos = FDir / "Eski.zip";
  test::WriteZipFixture(dos, {{"Docs\\über.txt", "ü", false, true}, {"Docs/ğ.txt", "ğ"}});
  EXPECT_EQ(Restore(dos), std::make_pair(2, 0));
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/über.txt", "ü"}, {"Docs/ğ.txt", "ğ"}}));

  // A ".mbe" file inside an archive is the user's own file (archives are encrypted whole): it comes back as it
  // was, without a password, and its name keeps the extension.
  const std::string userFile = "QELTENC2 kullanıcının kendi dosyası";
  const fs::path zip = FDir / "Günlük.zip";
  test::WriteZipFixture(zip, {{"Docs/kasa.kdbx.mbe", userFile}, {"Docs/a.txt", "a"}});
  EXPECT_FALSE(TRestoreManager::RestoreRequiresPassword(zip.string()));
  EXPECT_EQ(FManager.AnalyzeRestore(zip.string(), FTarget.string(), "").TotalFiles, 2);
  fs::remove_all(FTarget);
  EXPECT_EQ(Restore(zip), std::make_pair(2, 0));
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "a"}, {"Docs/kasa.kdbx.mbe", userFile}}));
}

TEST_F(RestoreManagerTest, PasswordIsNeededForMbeOutputsAndFoldersHoldingThem) {
  WriteTree(
      FDir.Path(),
      {{"düz/Docs/a.txt", "a"}, {"şifreli/Docs/alt/a.txt.MBE", "x"}, {"benzer/Docs/a.mbex", "x"}, {"Günlük.zip", "z"}});
  EXPECT_TRUE(TRestoreManager::RestoreRequiresPassword((FDir / "yok.MBE").string()));
  EXPECT_TRUE(TRestoreManager::RestoreRequiresPassword((FDir / "şifreli").string()));
  EXPECT_FALSE(TRestoreManager::RestoreRequiresPassword((FDir / "düz").string()));
  EXPECT_FALSE(TRestoreManager::RestoreRequiresPassword((FDir / "benzer").string()));
  EXPECT_FALSE(TRestoreManager::RestoreRequiresPassword((FDir / "Günlük.zip").string()));
  EXPECT_FALSE(TRestoreManager::RestoreRequiresPassword((FDir / "yok").string()));
}

TEST_F(RestoreManagerTest, ArchiveLargerThanTheFreeTemporarySpaceIsRefusedBeforeUnpacking) {
  // Each entry claims just under 4 GiB; together they exceed whatever the volume has free.
  const uintmax_t available = fs::space(FDir.Path()).available;
  const size_t count = static_cast<size_t>(available / 0xFFFFFFF0u) + 2;
  std::vector<test::TZipFixtureEntry> entries;
  for (size_t i = 0; i < count; ++i) entries.push_back({"Docs/parça" + std::to_string(i) + ".bin", "x"});
  const fs::path zip = FDir / "Büyük.zip";
  test::WriteZipFixture(zip, entries, {0xFFFFFFF0u, ""});

  EXPECT_EQ(FManager.AnalyzeRestore(zip.string(), FTarget.string(), "").TotalFiles, static_cast<int32_t>(count));
  const std::string error = ErrorOf([&] { Restore(zip); });
  EXPECT_TRUE(error.starts_with("Geçici klasörde yeterli boş alan yok: gerekli alan ")) << error;
  EXPECT_NE(error.find("Geri yükleme başlatılmadı."), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(FTarget));
}

TEST_F(RestoreManagerTest, LinksInTheTargetAreNeverWrittenThrough) {
  const fs::path output = FDir / "çıktı";
  WriteTree(output, {{"Docs/a.txt", "a"}, {"Docs2/b.txt", "b"}});
  fs::create_directories(FDir / "dışarı");
  fs::create_directories(FTarget / "Docs2");
  // A dangling link where a file will go: written through, it would create dışarı/x.txt.
  fs::create_symlink(FDir / "dışarı/x.txt", FTarget / "Docs2/b.txt");
  EXPECT_EQ(Restore(output, "", rcSkip), std::make_pair(1, 1));
  EXPECT_EQ(Restore(output, "", rcRename), std::make_pair(2, 0));
  EXPECT_EQ(ReadFile(FTarget / "Docs2/b (1).txt"), "b");

  // A link to a folder elsewhere standing where a restored folder goes.
  fs::remove_all(FTarget);
  fs::create_directories(FTarget);
  fs::create_directory_symlink(FDir / "dışarı", FTarget / "Docs");
  EXPECT_EQ(ErrorOf([&] { Restore(output); }),
            "Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: " + (FTarget / "Docs/a.txt").string());
  EXPECT_TRUE(fs::is_empty(FDir / "dışarı"));
}

TEST_F(RestoreManagerTest, StagingNeverReusesANamePlantedInTheTemporaryFolder) {
  // The clock is fixed, so the staging folder's name is known in advance; a link planted under it must neither
  // receive the archive's files nor be removed with the staging folder.
  const fs::path zip = FDir / "Günlük.zip";
  test::WriteZipFixture(zip, {{"Docs/a.txt", "a"}});
  fs::create_directories(FDir / "kurban");
  const fs::path planted = FDir / "tmp" / ("RestoreZip_" + FormatDateTime("yyyymmddhhnnsszzz", FClock.Now()));
  fs::create_directory_symlink(FDir / "kurban", planted);

  EXPECT_EQ(Restore(zip), std::make_pair(1, 0));
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "a"}}));
  EXPECT_TRUE(fs::is_empty(FDir / "kurban"));
  EXPECT_TRUE(fs::is_symlink(planted));
  fs::remove(planted);
}

}  // namespace
}  // namespace velkor
