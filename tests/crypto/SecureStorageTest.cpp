#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <vector>

#include "crypto/SecureStorage.h"
#include "platform/AppPaths.h"
#include "support/TempDir.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using test::TScopedEnv;
using test::TTempDir;

class SecureStorageTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "user").string()};
};

TEST_F(SecureStorageTest, EmptyAndUnprefixedTextsPassThrough) {
  EXPECT_EQ(ProtectString(""), "");
  EXPECT_EQ(UnprotectString(""), "");
  for (const char* plain : {"düz metin", "c2VjcmV0", "dpapi", "xdpapi:abc"}) EXPECT_EQ(UnprotectString(plain), plain);
  EXPECT_FALSE(std::filesystem::exists(GetSecretKeyFile()));  // nothing so far needed a key
}

TEST_F(SecureStorageTest, RoundTripsUtf8AndIsSaltedEachTime) {
  const std::string plain = "Şifre: ğüşıöç ĞÜŞİÖÇ 123";
  const std::string first = ProtectString(plain);
  const std::string second = ProtectString(plain);
  EXPECT_TRUE(StartsText("dpapi:", first));
  EXPECT_EQ(first.substr(0, 6), "dpapi:");  // written in small letters
  EXPECT_EQ(first.find(plain), std::string::npos);
  EXPECT_NE(first, second);
  EXPECT_EQ(UnprotectString(first), plain);
  EXPECT_EQ(UnprotectString(second), plain);

  EXPECT_TRUE(IsProtectedString("DpApI:xyz"));
  EXPECT_FALSE(IsProtectedString("dpap:xyz"));
  EXPECT_EQ(UnprotectString("DPAPI:" + first.substr(6)), plain);
}

TEST_F(SecureStorageTest, LongValuesWrapAndStillReadWithoutTheBreaks) {
  const std::string plain(300, 'k');
  const std::string stored = ProtectString(plain);
  ASSERT_NE(stored.find("\r\n"), std::string::npos);
  EXPECT_EQ(UnprotectString(ReplaceAll(stored, "\r\n", "")), plain);
}

TEST_F(SecureStorageTest, KeyFileIsPrivateAndCreatedOnce) {
  const std::string stored = ProtectString("a");
  const std::filesystem::path key = GetSecretKeyFile();
  struct stat st {};
  ASSERT_EQ(::stat(key.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 32);
  const std::string before = test::ReadFile(key);
  ProtectString("b");
  EXPECT_EQ(test::ReadFile(key), before);
  EXPECT_EQ(UnprotectString(stored), "a");
}

TEST_F(SecureStorageTest, AnotherUsersValueOrADamagedOneRaises) {
  const std::string stored = ProtectString("gizli");
  {
    TScopedEnv otherUser("APPDATA", (FDir / "other").string());
    EXPECT_THROW(UnprotectString(stored), EVelkorError);  // no key at all for this user
    EXPECT_FALSE(std::filesystem::exists(GetSecretKeyFile()));
    ProtectString("own value");
    EXPECT_THROW(UnprotectString(stored), EVelkorError);  // a key, but not the one that protected it
  }
  std::string damaged = stored;
  damaged[10] = damaged[10] == 'A' ? 'B' : 'A';
  EXPECT_THROW(UnprotectString(damaged), EVelkorError);
  EXPECT_THROW(UnprotectString("dpapi:"), EVelkorError);
  EXPECT_THROW(UnprotectString("dpapi:AAAA"), EVelkorError);
  EXPECT_EQ(UnprotectString(stored), "gizli");
}

TEST_F(SecureStorageTest, FirstUseFromSeveralThreadsSettlesOnOneKey) {
  std::vector<std::string> stored(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < stored.size(); ++i)
    threads.emplace_back([&stored, i] { stored[i] = ProtectString("değer " + std::to_string(i)); });
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(UnprotectString(stored[i]), "değer " + std::to_string(i));
}

}  // namespace
}  // namespace velkor
