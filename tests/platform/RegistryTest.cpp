#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Registry.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

using test::TTempDir;

class RegistryTest : public ::testing::Test {
protected:
  TTempDir FDir;
  std::filesystem::path File() const { return FDir / "QeltBackup" / "registry.json"; }
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

}  // namespace
}  // namespace velkor
