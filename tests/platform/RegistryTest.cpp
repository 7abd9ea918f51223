#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Registry.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "util/Error.h"

namespace velkor {
namespace {

using test::TTempDir;

class RegistryTest : public ::testing::Test {
protected:
  TTempDir FDir;
  std::filesystem::path File() const { return FDir / "QeltBackup" / "registry.json"; }

  // The kept copies of the store, by content.
  std::vector<std::string> DamagedCopies() const {
    std::vector<std::string> copies;
    for (const auto& e : std::filesystem::directory_iterator(File().parent_path()))
      if (e.path().filename().string().rfind("registry.json.damaged-", 0) == 0)
        copies.push_back(test::ReadFile(e.path()));
    return copies;
  }
};

TEST_F(RegistryTest, OpenWithoutCreateFailsUntilTheKeyExists) {
  TRegistry reg(File());
  EXPECT_FALSE(reg.OpenKey("Software\\QeltBackup\\Auth", false));
  EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\QeltBackup\\Auth"));
  EXPECT_FALSE(std::filesystem::exists(File()));
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Auth", true));
  reg.CloseKey();
  EXPECT_TRUE(reg.OpenKey("software\\qeltbackup\\AUTH", false));
  EXPECT_TRUE(reg.KeyExists("Software\\QeltBackup"));  // parents exist implicitly
}

TEST_F(RegistryTest, TypedValuesBehaveLikeTheRegistry) {
  TRegistry writer(File());
  ASSERT_TRUE(writer.OpenKey("Software\\QeltBackup\\Email", true));
  writer.WriteString("SMTPServer", "smtp.örnek.com.tr");
  writer.WriteInteger("Port", 587);
  writer.WriteBool("UseTLS", true);

  TRegistry reader(File());  // a second handle sees the first one's writes
  ASSERT_TRUE(reader.OpenKeyReadOnly("Software\\QeltBackup\\Email"));
  EXPECT_EQ(reader.ReadString("smtpserver"), "smtp.örnek.com.tr");
  EXPECT_EQ(reader.ReadInteger("Port"), 587);
  EXPECT_TRUE(reader.ReadBool("UseTLS"));
  EXPECT_EQ(reader.GetDataType("Port"), TRegDataType::rdInteger);
  EXPECT_EQ(reader.ReadString("Missing"), "");                // a missing string reads empty
  EXPECT_THROW(reader.ReadInteger("Missing"), EVelkorError);  // a missing integer is an error
  EXPECT_THROW(reader.ReadString("Port"), EVelkorError);      // wrong type
  EXPECT_THROW(reader.ReadInteger("SMTPServer"), EVelkorError);
  EXPECT_THROW(reader.WriteString("X", "y"), EVelkorError);  // read-only handle
}

TEST_F(RegistryTest, OverwriteKeepsOneValueAndDeleteRemovesIt) {
  TRegistry reg(File());
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Encryption", true));
  reg.WriteString("EncKey", "a");
  reg.WriteString("ENCKEY", "b");
  EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"EncKey"});
  EXPECT_EQ(reg.ReadString("EncKey"), "b");
  reg.WriteInteger("EncKey", 3);  // a value may change its type, as in the registry
  EXPECT_EQ(reg.ReadInteger("EncKey"), 3);
  EXPECT_TRUE(reg.DeleteValue("enckey"));
  EXPECT_FALSE(reg.DeleteValue("EncKey"));
  EXPECT_FALSE(reg.ValueExists("EncKey"));
}

TEST_F(RegistryTest, DeleteKeyRemovesValuesAndSubKeysOnly) {
  TRegistry reg(File());
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Auth", true));
  reg.WriteString("UserName", "x");
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Auth\\Sub", true));
  reg.WriteInteger("N", 1);
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Email", true));
  reg.WriteInteger("Port", 25);

  EXPECT_TRUE(reg.DeleteKey("Software\\QeltBackup\\Auth"));
  EXPECT_FALSE(reg.KeyExists("Software\\QeltBackup\\Auth"));
  EXPECT_FALSE(reg.KeyExists("Software\\QeltBackup\\Auth\\Sub"));
  EXPECT_FALSE(reg.DeleteKey("Software\\QeltBackup\\Auth"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\QeltBackup\\Email"));
  EXPECT_EQ(reg.ReadInteger("Port"), 25);
}

TEST_F(RegistryTest, FileIsPrivateAndDamagedStoreIsKeptAside) {
  TRegistry reg(File());
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Auth", true));
  reg.WriteString("UserName", "x");
  struct stat st {};
  ASSERT_EQ(::stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  test::WriteFile(File(), "{not json");
  EXPECT_FALSE(reg.KeyExists("Software\\QeltBackup\\Auth"));
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Auth", true));
  reg.WriteString("UserName", "y");
  int damagedCopies = 0;
  for (const auto& e : std::filesystem::directory_iterator(File().parent_path()))
    if (e.path().filename().string().rfind("registry.json.damaged-", 0) == 0) {
      ++damagedCopies;
      EXPECT_EQ(test::ReadFile(e.path()), "{not json");
    }
  EXPECT_EQ(damagedCopies, 1);
  EXPECT_EQ(reg.ReadString("UserName"), "y");
}

// One damaged byte costs only that character; the rest of the store stays readable, and the damaged file is
// kept before the first write replaces it.
TEST_F(RegistryTest, BytesThatAreNotUtf8CostOnlyThemselves) {
  const std::string damaged = "{\"Software\\\\QeltBackup\\\\Email\":{\"SMTPServer\":\"smtp\xFF.com\",\"Port\":587}}";
  std::filesystem::create_directories(File().parent_path());
  test::WriteFile(File(), damaged);
  TRegistry reg(File());
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Email", false));
  EXPECT_EQ(reg.ReadInteger("Port"), 587);
  EXPECT_EQ(reg.ReadString("SMTPServer"), "smtp\xEF\xBF\xBD.com");
  reg.WriteInteger("Port", 465);
  EXPECT_EQ(DamagedCopies(), std::vector<std::string>{damaged});
  reg.WriteInteger("Port", 25);
  EXPECT_EQ(DamagedCopies().size(), 1u) << "the store written by us is not damaged";
  EXPECT_EQ(reg.ReadString("SMTPServer"), "smtp\xEF\xBF\xBD.com");
}

// Copying or writing a parsed document recurses once per level: a deep store is damaged, not a crash.
TEST_F(RegistryTest, DeeplyNestedStoreIsDamagedNotACrash) {
  const std::string deep =
      "{\"Software\\\\QeltBackup\\\\Auth\":{\"X\":" + std::string(100000, '[') + std::string(100000, ']') + "}}";
  std::filesystem::create_directories(File().parent_path());
  test::WriteFile(File(), deep);
  TRegistry reg(File());
  EXPECT_FALSE(reg.KeyExists("Software\\QeltBackup\\Auth"));
  EXPECT_FALSE(reg.DeleteKey("Software\\QeltBackup\\Auth"));
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Encryption", true));
  reg.WriteBool("Enabled", false);
  EXPECT_FALSE(reg.ReadBool("Enabled"));
  EXPECT_EQ(DamagedCopies(), std::vector<std::string>{deep});
}

// A store the user cannot read reads as empty, but is never replaced: it still holds every value.
TEST_F(RegistryTest, UnreadableStoreIsNeverReplaced) {
  TRegistry reg(File());
  ASSERT_TRUE(reg.OpenKey("Software\\QeltBackup\\Encryption", true));
  reg.WriteString("EncKey", "dpapi:AAAA");
  const std::string stored = test::ReadFile(File());
  ASSERT_EQ(::chmod(File().c_str(), 0), 0);

  const test::TChildOutcome read = test::RunUnprivileged([&] {
    TRegistry other(File());
    return std::string(other.KeyExists("Software\\QeltBackup\\Encryption") ? "found" : "none") + "/" +
           (other.OpenKey("Software\\QeltBackup\\Encryption", false) ? "opened" : "closed");
  });
  EXPECT_TRUE(read.Returned) << read.Text;
  EXPECT_EQ(read.Text, "none/closed");
  const test::TChildOutcome write = test::RunUnprivileged([&] {
    TRegistry other(File());
    other.OpenKey("Software\\QeltBackup\\Encryption", true);
    other.WriteString("EncKey", "");
    return std::string("written");
  });
  EXPECT_FALSE(write.Returned);
  EXPECT_NE(write.Text.find("üzerine yazılmadı: " + File().string()), std::string::npos) << write.Text;
  ASSERT_EQ(::chmod(File().c_str(), 0600), 0);
  EXPECT_EQ(test::ReadFile(File()), stored);
  EXPECT_TRUE(DamagedCopies().empty());
}

}  // namespace
}  // namespace velkor
