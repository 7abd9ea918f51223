#include <gtest/gtest.h>

#include "crypto/EncryptionManager.h"
#include "crypto/SecureStorage.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using test::TScopedEnv;
using test::TTempDir;

constexpr char EncryptionKey[] = "Software\\QeltBackup\\Encryption";

class EncryptionPasswordStoreTest : public ::testing::Test {
protected:
  std::filesystem::path RegistryFile() const { return FDir / "user" / "QeltBackup" / "registry.json"; }

  // Writes the two values as an earlier run or version left them; nullopt leaves a value out.
  void Store(const std::optional<std::string>& encKey, const std::optional<int32_t>& enabled) {
    TRegistry registry(RegistryFile());
    ASSERT_TRUE(registry.OpenKey(EncryptionKey, true));
    if (encKey) registry.WriteString("EncKey", *encKey);
    if (enabled) registry.WriteInteger("Enabled", *enabled);
  }

  std::string StoredEncKey() {
    TRegistry registry(RegistryFile());
    EXPECT_TRUE(registry.OpenKeyReadOnly(EncryptionKey));
    return registry.ReadString("EncKey");
  }

  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "user").string()};
  TEncryptionManager FManager;  // the user's own store, under APPDATA
};

TEST_F(EncryptionPasswordStoreTest, SavedPasswordIsProtectedAndLoadsInAnotherObject) {
  FManager.SavePasswordToRegistry("Yedek Şifresi ğüş");
  const std::string stored = StoredEncKey();
  EXPECT_TRUE(StartsText("dpapi:", stored));
  EXPECT_EQ(stored.find("Yedek"), std::string::npos);
  EXPECT_TRUE(FManager.IsEncryptionEnabled());

  TEncryptionManager later(RegistryFile());
  EXPECT_EQ(later.LoadPasswordFromRegistry(), "Yedek Şifresi ğüş");
  EXPECT_EQ(later.GetPassword(), "Yedek Şifresi ğüş");
}

TEST_F(EncryptionPasswordStoreTest, EmptyPasswordIsStoredAsDisabled) {
  FManager.SavePasswordToRegistry("");
  EXPECT_EQ(StoredEncKey(), "");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());
  FManager.SetPassword("bellekteki");
  EXPECT_EQ(FManager.LoadPasswordFromRegistry(), "");
  EXPECT_EQ(FManager.GetPassword(), "bellekteki");  // "Enabled" = 0 leaves the in-memory password alone
}

TEST_F(EncryptionPasswordStoreTest, LegacyScrambledValueIsReadAndRewrittenProtected) {
  // Scrambled with the program's one-byte key by the older form's encoder (UTF-16 code units, low byte XORed).
  const std::pair<const char*, const char*> values[] = {{"HTMgNjNraGk=", "Gizli123"},
                                                        {"xIQzPCg/d8WFwqbFq8Kswr0=", "Şifre-ğüıöç"}};
  for (const auto& [scrambled, plain] : values) {
    EXPECT_EQ(TEncryptionManager::DecodeLegacyPassword(scrambled), plain);
    Store(scrambled, 1);
    EXPECT_EQ(FManager.LoadPasswordFromRegistry(), plain);
    EXPECT_EQ(FManager.GetPassword(), plain);
    const std::string rewritten = StoredEncKey();
    EXPECT_TRUE(StartsText("dpapi:", rewritten));
    EXPECT_EQ(UnprotectString(rewritten), plain);
    EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), plain);
  }
}

TEST_F(EncryptionPasswordStoreTest, UnreadableValuesClearThePasswordWithoutAnError) {
  std::string otherUsersValue;
  {
    TScopedEnv otherUser("APPDATA", (FDir / "other").string());
    otherUsersValue = ProtectString("başkasının şifresi");
  }
  struct TCase {
    const char* What;
    std::optional<std::string> EncKey;
    std::optional<int32_t> Enabled;
  };
  const TCase cases[] = {
      {"Enabled missing", ProtectString("x"), std::nullopt},
      {"protected by another user", otherUsersValue, 1},
      {"damaged payload", "dpapi:AAAAAAAA", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TRegistry(RegistryFile()).DeleteKey(EncryptionKey);
    Store(c.EncKey, c.Enabled);
    FManager.SetPassword("önceki");
    std::string loaded = "unset";
    EXPECT_NO_THROW(loaded = FManager.LoadPasswordFromRegistry());
    EXPECT_EQ(loaded, "");
    EXPECT_EQ(FManager.GetPassword(), "");
  }

  // "Enabled" written with the wrong type reads as not enabled.
  TRegistry registry(RegistryFile());
  ASSERT_TRUE(registry.OpenKey(EncryptionKey, true));
  registry.WriteString("Enabled", "1");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());
}

TEST_F(EncryptionPasswordStoreTest, MissingKeyKeepsTheInMemoryPassword) {
  FManager.SetPassword("bellekteki");
  EXPECT_EQ(FManager.LoadPasswordFromRegistry(), "");
  EXPECT_EQ(FManager.GetPassword(), "bellekteki");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());
  FManager.ClearPasswordFromRegistry();  // nothing to delete: no key is created either
  EXPECT_FALSE(TRegistry(RegistryFile()).KeyExists(EncryptionKey));
  EXPECT_EQ(FManager.GetPassword(), "");
}

TEST_F(EncryptionPasswordStoreTest, ClearForgetsBothCopies) {
  FManager.SetPassword("p");
  FManager.SavePasswordToRegistry("p");
  FManager.ClearPasswordFromRegistry();
  EXPECT_EQ(FManager.GetPassword(), "");
  EXPECT_FALSE(FManager.IsEncryptionEnabled());
  TRegistry registry(RegistryFile());
  ASSERT_TRUE(registry.OpenKeyReadOnly(EncryptionKey));
  EXPECT_TRUE(registry.GetValueNames().empty());
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "");
}

}  // namespace
}  // namespace velkor
