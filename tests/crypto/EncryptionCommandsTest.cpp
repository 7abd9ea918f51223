#include <gtest/gtest.h>

#include "crypto/EncryptionCommands.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;

class EncryptionCommandsTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "user").string()};
  TEncryptionManager FManager;
};

TEST(DecryptToolOutputPathTest, StripsMbeInAnyCaseElseAppendsDecrypted) {
  const std::pair<const char*, const char*> cases[] = {
      {"/yedek/report.zip.mbe", "/yedek/report.zip"}, {"/yedek/REPORT.MBE", "/yedek/REPORT"},
      {"/yedek/Rapor.Mbe", "/yedek/Rapor"},           {"/yedek/archive.bin", "/yedek/archive.bin.decrypted"},
      {"/yedek/noext", "/yedek/noext.decrypted"},     {"/yedek/report.mbe.zip", "/yedek/report.mbe.zip.decrypted"},
      {"/yedek/.mbe", "/yedek/.mbe.decrypted"},  // a name that is only the extension keeps a name
  };
  for (const auto& [chosen, output] : cases) EXPECT_EQ(DecryptToolOutputPath(chosen), fs::path(output)) << chosen;
}

TEST_F(EncryptionCommandsTest, SetPasswordStoresOrForgetsItByTheCacheOption) {
  const TCommandOutcome cached = ApplyEncryptionPassword(FManager, "yeni şifre", true);
  EXPECT_TRUE(cached.Success);
  EXPECT_EQ(cached.Message,
            "Şifreleme şifresi başarıyla kaydedildi!\r\n\r\nArtık yedeklemeler program içi parola koruması ile .mbe "
            "uzantısında saklanacak.");
  EXPECT_EQ(cached.LogLine, "Şifreleme şifresi güncellendi");
  EXPECT_EQ(FManager.GetPassword(), "yeni şifre");
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "yeni şifre");

  // Without the cache option the stored copy goes, and with it the password just set: the next run asks again.
  const TCommandOutcome uncached = ApplyEncryptionPassword(FManager, "diğer şifre", false);
  EXPECT_EQ(uncached.Message, cached.Message);
  EXPECT_EQ(FManager.GetPassword(), "");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());

  FManager.SetPassword("kalır");
  const TCommandOutcome cancelled = ApplyEncryptionPassword(FManager, "", true);
  EXPECT_FALSE(cancelled.Success);
  EXPECT_EQ(cancelled.Message, "");
  EXPECT_EQ(FManager.GetPassword(), "kalır");
}

TEST_F(EncryptionCommandsTest, DecryptToolPasswordIsKeptOnlyWhenAskedTo) {
  const TCommandOutcome none = AcceptDecryptPassword("");
  EXPECT_FALSE(none.Success);
  EXPECT_EQ(none.Message, "Şifre girilmediği için işlem iptal edildi.");

  // Accepting a typed password only lets it be tried.
  EXPECT_TRUE(AcceptDecryptPassword("belki yanlış").Success);
  EXPECT_EQ(FManager.GetPassword(), "");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());

  KeepDecryptPassword(FManager, "geçici", false);
  EXPECT_EQ(FManager.GetPassword(), "geçici");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());
  KeepDecryptPassword(FManager, "kalıcı", true);
  EXPECT_EQ(FManager.GetPassword(), "kalıcı");
  EXPECT_EQ(TEncryptionManager().LoadPasswordFromRegistry(), "kalıcı");
}

TEST_F(EncryptionCommandsTest, DecryptToolReportsSuccessAndFailure) {
  WriteFile(FDir / "report.zip", "arşiv içeriği");
  fs::permissions(FDir / "report.zip", fs::perms(0600));
  FManager.SetPassword("doğru");
  FManager.EncryptFile(FDir / "report.zip", FDir / "backup" / "REPORT.ZIP.MBE");

  const TCommandOutcome ok = RunDecryptTool(FManager, FDir / "backup" / "REPORT.ZIP.MBE");
  EXPECT_TRUE(ok.Success);
  EXPECT_EQ(ok.Message, "Dosya başarıyla çözüldü!\r\nÇözülen dosya: " + (FDir / "backup" / "REPORT.ZIP").string());
  EXPECT_EQ(ok.LogLine, "Dosya şifresi çözüldü: REPORT.ZIP.MBE");
  EXPECT_EQ(ReadFile(FDir / "backup" / "REPORT.ZIP"), "arşiv içeriği");

  // The decrypted file is as private as the encrypted one: 0600 for this, whatever the creation mask allows.
  EXPECT_EQ(fs::status(FDir / "backup" / "REPORT.ZIP").permissions(), fs::perms(0600));

  fs::remove(FDir / "backup" / "REPORT.ZIP");
  FManager.SetPassword("yanlış");
  const TCommandOutcome wrong = RunDecryptTool(FManager, FDir / "backup" / "REPORT.ZIP.MBE");
  EXPECT_FALSE(wrong.Success);
  EXPECT_EQ(wrong.Message,
            "Şifre çözme hatası: Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.\r\n"
            "Lütfen şifrenin doğru olduğundan emin olun.");
  EXPECT_EQ(wrong.LogLine, "");
  EXPECT_FALSE(fs::exists(FDir / "backup" / "REPORT.ZIP"));
}

}  // namespace
}  // namespace velkor
