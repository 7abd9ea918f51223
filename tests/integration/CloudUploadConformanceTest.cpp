// The upload client against the real S3 server, one body of tests for file and folder outputs: objects under the
// right keys with the right bytes, the reported path, and the failures a user meets.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>

#include "S3Peer.h"
#include "cloud/CloudStorage.h"
#include "support/TempDir.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

struct TOutputKind {
  const char* Name;
  // The output's name in its folder and what it holds ("" for a file output itself).
  std::string OutputName;
  test::TFileTree Content;
};

void PrintTo(const TOutputKind& kind, std::ostream* os) { *os << kind.Name; }

const TOutputKind OutputKinds[] = {
    {"File", "Görev 1 + Ek & (Kopya) ~!.zip", {{"", RandomBytes((5 << 20) + 3, 1)}}},
    {"Folder",
     "Set 1 Ğüş & (b)",
     {{"a b.txt", "alfa"},
      {"alt/ç+&=.txt", "çetin"},
      {"alt/derin/(x)~!$'@,;.bin", RandomBytes((2 << 20) + 1, 2)},
      {"bos.txt", ""}}},
};

class CloudUploadConformance : public ::testing::TestWithParam<TOutputKind> {
protected:
  static inline std::unique_ptr<test::TTempDir> FServerDir;
  static inline std::unique_ptr<test::TS3Peer> FPeer;

  static void SetUpTestSuite() {
    FServerDir = std::make_unique<test::TTempDir>();
    FPeer = std::make_unique<test::TS3Peer>(FServerDir->Path(), std::vector<std::string>{"qelt-backup"});
  }
  static void TearDownTestSuite() {
    FPeer.reset();
    FServerDir.reset();
  }

  test::TTempDir FDir;

  // Writes the output kind's output into the scratch folder and returns its path.
  fs::path MakeOutput(const TOutputKind& kind) {
    const fs::path path = FDir / "cikti" / kind.OutputName;
    if (kind.Content.count(""))
      test::WriteFile(path, kind.Content.at(""));
    else
      test::WriteTree(path, kind.Content);
    return path;
  }

  static TCloudStorageSettings Settings(const std::string& prefix) {
    TCloudStorageSettings s;
    s.Endpoint = FPeer->Endpoint() + "/";
    s.Bucket = "qelt-backup";
    s.PathPrefix = prefix;
    s.AccessKey = test::S3PeerKey;
    s.SecretKey = test::S3PeerKey;
    return s;
  }

  // The objects stored under `prefix` + "/".
  static std::map<std::string, std::string> ObjectsUnder(const std::string& prefix) {
    std::map<std::string, std::string> found;
    for (const auto& [key, content] : FPeer->Objects("qelt-backup"))
      if (key.starts_with(prefix + "/")) found[key] = content;
    return found;
  }

  // The upload's error message, or "" with `remote` set.
  static std::string Upload(const TCloudStorageSettings& settings, const fs::path& source, std::string& remote) {
    try {
      TCloudStorageClient client(settings);
      client.UploadBackupOutput(source.string(), remote);
    } catch (const EVelkorError& e) {
      EXPECT_EQ(remote, "") << "a failed upload reports no path";
      return e.what();
    }
    return "";
  }
};

TEST_P(CloudUploadConformance, ObjectsLandUnderTheirKeysWithTheirBytes) {
  const TOutputKind& kind = GetParam();
  const std::string prefix = std::string("yedek/Günlük ") + kind.Name;
  std::string remote;
  ASSERT_EQ(Upload(Settings("\\yedek\\Günlük " + std::string(kind.Name) + "\\"), MakeOutput(kind), remote), "");

  EXPECT_EQ(remote, "s3://qelt-backup/" + prefix + "/" + kind.OutputName);
  std::map<std::string, std::string> expected;
  for (const auto& [name, content] : kind.Content)
    expected[prefix + "/" + kind.OutputName + (name.empty() ? "" : "/" + name)] = content;
  const auto stored = ObjectsUnder(prefix);
  EXPECT_EQ(stored.size(), expected.size());
  for (const auto& [key, content] : expected) {
    ASSERT_TRUE(stored.count(key)) << "missing: " << key;
    EXPECT_TRUE(stored.at(key) == content) << "other bytes under " << key;
  }
}

TEST_P(CloudUploadConformance, AWrongSecretIsRefusedWithTheServersMessage) {
  const TOutputKind& kind = GetParam();
  const std::string prefix = std::string("yanlis-") + kind.Name;
  TCloudStorageSettings settings = Settings(prefix);
  settings.SecretKey = "yanlış gizli anahtar";
  std::string remote;
  const std::string message = Upload(settings, MakeOutput(kind), remote);

  EXPECT_TRUE(StartsText("Cloud upload hatası (403): ", message)) << message;
  EXPECT_NE(message.find("<Code>SignatureDoesNotMatch</Code>"), std::string::npos) << message;
  EXPECT_NE(message.find("<StringToSign>AWS4-HMAC-SHA256"), std::string::npos) << message;
  EXPECT_EQ(message.find("yanlış gizli anahtar"), std::string::npos) << message;
  EXPECT_EQ(message.find(test::S3PeerKey), std::string::npos) << message;
  EXPECT_TRUE(ObjectsUnder(prefix).empty());
}

TEST_P(CloudUploadConformance, AnUnreachableEndpointFailsInBoundedTime) {
  const TOutputKind& kind = GetParam();
  TCloudStorageSettings settings = Settings("ulasilamaz");
  // Port 9 (discard) has no listener on a test machine.
  settings.Endpoint = "http://127.0.0.1:9";
  const auto start = std::chrono::steady_clock::now();
  std::string remote;
  const std::string message = Upload(settings, MakeOutput(kind), remote);
  EXPECT_TRUE(StartsText("Cloud sunucusuna bağlanılamadı: 127.0.0.1:9 (", message)) << message;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

INSTANTIATE_TEST_SUITE_P(Outputs, CloudUploadConformance, ::testing::ValuesIn(OutputKinds),
                         [](const ::testing::TestParamInfo<TOutputKind>& info) { return info.param.Name; });

TEST_F(CloudUploadConformance, TheFirstFailingObjectStopsTheUpload) {
  // Listed in name order: a.txt is sent, b cannot be read (a link that leads nowhere), c.txt is never attempted.
  test::WriteTree(FDir / "Set_2", {{"a.txt", "alfa"}, {"c.txt", "gama"}});
  fs::create_symlink(FDir / "yok", FDir / "Set_2" / "b");
  std::string remote;
  const std::string message = Upload(Settings("ilk-hata"), FDir / "Set_2", remote);

  EXPECT_EQ(message, "Cloud upload için kaynak dosya bulunamadı: " + (FDir / "Set_2" / "b").string());
  EXPECT_EQ(ObjectsUnder("ilk-hata"), (std::map<std::string, std::string>{{"ilk-hata/Set_2/a.txt", "alfa"}}));
}

TEST_F(CloudUploadConformance, AnEmptyFolderUploadsNothingAndReportsItsPath) {
  fs::create_directories(FDir / "Bos_Set");
  std::string remote;
  ASSERT_EQ(Upload(Settings(""), FDir / "Bos_Set", remote), "");
  EXPECT_EQ(remote, "s3://qelt-backup/Bos_Set");
  EXPECT_TRUE(ObjectsUnder("Bos_Set").empty());
}

}  // namespace
}  // namespace velkor
