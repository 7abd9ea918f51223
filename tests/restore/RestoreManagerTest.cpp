// The restore engine's rules one by one: the escape guard, conflict names, the failure messages, encrypted content,
// the room check of the staging folder and links met in the target or the temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "RestoreTestSupport.h"
#include "crypto/EncryptionManager.h"
#include "engine/ZipArchiveWriter.h"
#include "platform/FileHandle.h"
#include "platform/Leftovers.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreManager.h"
#include "restore/StagingFolder.h"
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
    TEntryNameOrigin Origin;
    std::string Expected;  // the relative result; "-" for a folder entry; "!u" unsafe, "!o" outside
  };
  constexpr TEntryNameOrigin Windows = noWindowsArchive, Unix = noUnixArchive, Folder = noFolder;
  const std::vector<TCase> cases = {
      {"Docs/a.txt", Windows, "Docs/a.txt"},
      {"Docs\\sub\\b.txt", Windows, "Docs/sub/b.txt"},
      {"//\\etc/x.txt", Windows, "etc/x.txt"},
      {"a/./b.txt", Windows, "a/b.txt"},
      {"a..b.txt", Windows, "a..b.txt"},
      {"klasör/ğ.txt", Windows, "klasör/ğ.txt"},
      // Parts are judged as a whole: dots or a colon inside a name are ordinary characters.
      {"..gizli", Windows, "..gizli"},
      {"v2../..gizli/...", Windows, "v2../..gizli/..."},
      {"Disk D:/x", Windows, "Disk D:/x"},
      {"x/C:\\y", Windows, "x/C:/y"},
      {"a/b/..", Windows, "a"},
      {"", Windows, "-"},
      {"docs/", Windows, "-"},
      {"docs\\", Windows, "-"},
      {"\\", Windows, "-"},
      {"..", Windows, "!u"},
      {"../evil.txt", Windows, "!u"},
      {"..\\evil.txt", Windows, "!u"},
      {"a/../b", Windows, "!u"},
      {"a\\..\\b", Windows, "!u"},
      {"C:\\Windows\\x.dll", Windows, "!u"},
      {"c:x.txt", Windows, "!u"},
      {std::string("a\0b", 3), Windows, "!u"},
      {".", Windows, "!o"},
      {"a/..", Windows, "!o"},
      {"a\\..", Windows, "!o"},
      // Made on Unix: "\" is part of the name, but still judged as a separator.
      {"a\\b.txt", Unix, "a\\b.txt"},
      {"\\baştaki", Unix, "\\baştaki"},
      {"sondaki\\", Unix, "sondaki\\"},
      {"docs/", Unix, "-"},
      {"..\\evil.txt", Unix, "!u"},
      {"a\\..\\..\\evil.txt", Unix, "!u"},
      {"C:\\Windows\\x.dll", Unix, "!u"},
      {"a\\..", Unix, "!o"},
      {"G\xF6rev\xFF.txt", Unix, "G\xF6rev\xFF.txt"},
      // Files of an output folder are native names: nothing in a Linux name can climb out.
      {"C:/x", Folder, "C:/x"},
      {"a\\..", Folder, "a\\.."},
      {"..\\x", Folder, "..\\x"},
      {"../x", Folder, "!u"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name + " / " + std::to_string(c.Origin));
    if (c.Expected.starts_with("!")) {
      const std::string error =
          ErrorOf([&] { TRestoreManager::ResolveSafeTargetPath(FDir.Path().string(), c.Name, c.Origin); });
      const std::string expected = c.Expected == "!u" ? "Arşiv içinde güvenli olmayan bir yol algılandı: "
                                                      : "Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: ";
      // The message names the entry exactly as stored.
      EXPECT_EQ(error, expected + test::ShownName(c.Name));
      continue;
    }
    const auto resolved = TRestoreManager::ResolveSafeTargetPath(FDir.Path().string() + "/", c.Name, c.Origin);
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

  // Names without the UTF-8 flag are code page 437, the format's original character set, in entries made on DOS
  // or Windows, where "\\" separates too; entries made on Unix keep their bytes, and "\\" is part of the name.
  fs::remove_all(FTarget);
  const fs::path dos = FDir / "Eski.zip";
  test::WriteZipFixture(dos, {{.Name = "Docs\\über.txt", .Data = "ü", .Cp437Name = true, .WindowsHost = true},
                              {.Name = "Docs/ğ.txt", .Data = "ğ", .WindowsHost = true},
                              {.Name = "Unix/über.txt", .Data = "raw", .Cp437Name = true},
                              {.Name = "Unix/a\\b.txt", .Data = "ab"}});
  EXPECT_EQ(Restore(dos), std::make_pair(4, 0));
  EXPECT_EQ(test::ReadTree(FTarget), (TFileTree{{"Docs/über.txt", "ü"},
                                                {"Docs/ğ.txt", "ğ"},
                                                {"Unix/\x81"
                                                 "ber.txt",
                                                 "raw"},
                                                {"Unix/a\\b.txt", "ab"}}));

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

// A restored file is no more readable than its backup kept it: the bits a Unix-made entry records, never set-id or
// sticky ones; an entry that records none gets the usual mode of a new file.
TEST_F(RestoreManagerTest, ArchiveEntriesComeBackWithTheirRecordedPermissionBits) {
  test::TScopedUmask umask(022);
  const fs::path zip = FDir / "Günlük.zip";
  test::WriteZipFixture(zip, {{.Name = "Docs/özel.txt", .Data = "1", .Mode = 0600},
                              {.Name = "Docs/grup.txt", .Data = "2", .Mode = 0640},
                              {.Name = "Docs/betik.sh", .Data = "3", .Mode = 0755},
                              {.Name = "Docs/setuid", .Data = "4", .Mode = 04755},
                              {.Name = "Docs/yapışkan", .Data = "5", .Mode = 01777},
                              {.Name = "Docs/salt.txt", .Data = "6", .Mode = 0400},
                              {.Name = "Docs/izinsiz.txt", .Data = "7", .WindowsHost = true},
                              {"Docs/bağ", "/etc/passwd", true}});
  EXPECT_EQ(Restore(zip), std::make_pair(8, 0));
  const std::map<std::string, fs::perms> expected = {{"özel.txt", fs::perms(0600)},    {"grup.txt", fs::perms(0640)},
                                                     {"betik.sh", fs::perms(0755)},    {"setuid", fs::perms(0755)},
                                                     {"yapışkan", fs::perms(0777)},    {"salt.txt", fs::perms(0400)},
                                                     {"izinsiz.txt", fs::perms(0644)}, {"bağ", fs::perms(0644)}};
  for (const auto& [name, perms] : expected)
    EXPECT_EQ(fs::status(FTarget / "Docs" / name).permissions(), perms) << name;
}

// A staging folder is locked while its restore lives, so the start-up cleanup removes only those of killed ones.
TEST_F(RestoreManagerTest, OnlyTheStagingFolderOfAFinishedRestoreIsALeftover) {
  const fs::path killed = FDir / "tmp/RestoreZip_20240501100000123";
  WriteFile(killed / "Docs/a.txt", "yarım");
  {
    TStagingFolder living("RestoreZip_", FClock);
    EXPECT_EQ(RemoveAbandonedWork(FDir / "tmp", IsRestoreStagingName), std::vector<fs::path>{killed});
    EXPECT_TRUE(fs::is_directory(living.Path()));
  }
  EXPECT_TRUE(test::ListEverything(FDir / "tmp").empty());
}

// An entry of 4 GiB or more has its sizes in ZIP64 fields, and the archive then ends with the ZIP64 records too.
// Writing, unpacking and reading 4 GiB takes minutes on a small machine, so it runs on request only.
TEST_F(RestoreManagerTest, EntriesOf4GiBOrMoreRestoreFromTheirZip64Fields) {
  if (!std::getenv("VELKOR_SLOW_TESTS")) GTEST_SKIP() << "set VELKOR_SLOW_TESTS=1 to run";
  const uintmax_t big = (uintmax_t{4} << 30) + 12345;
  WriteFile(FDir / "küçük.txt", "küçük");
  WriteFile(FDir / "büyük.bin", "");
  fs::resize_file(FDir / "büyük.bin", big);  // sparse: costs no disk space until restored
  const fs::path zip = FDir / "Büyük.zip";
  {
    TZipArchiveWriter writer(zip.string());
    for (const auto& [source, entry] : std::vector<std::pair<std::string, std::string>>{
             {"küçük.txt", "Docs/küçük.txt"}, {"büyük.bin", "Docs/büyük.bin"}, {"küçük.txt", "Docs/son-küçük.txt"}}) {
      TFileHandle in(::open((FDir / source).c_str(), O_RDONLY));
      ASSERT_TRUE(writer.AddFile(entry, in.Get(), [](int64_t) { return true; }));
    }
    writer.Close();
  }
  fs::remove(FDir / "büyük.bin");
  EXPECT_EQ(FManager.AnalyzeRestore(zip.string(), FTarget.string(), "").TotalFiles, 3);
  EXPECT_EQ(Restore(zip), std::make_pair(3, 0));
  EXPECT_EQ(ReadFile(FTarget / "Docs/küçük.txt"), "küçük");
  EXPECT_EQ(ReadFile(FTarget / "Docs/son-küçük.txt"), "küçük");
  EXPECT_EQ(fs::file_size(FTarget / "Docs/büyük.bin"), big);
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
