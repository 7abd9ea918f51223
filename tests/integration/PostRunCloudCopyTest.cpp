// The cloud step after a run, against the real S3 server and real folders: what it does to the snapshot, the log,
// the staging folder and the local output, for every storage mode and provider.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "S3Peer.h"
#include "app/PostRunCloudCopy.h"
#include "app/RunDestination.h"
#include "crypto/SecureStorage.h"
#include "platform/Leftovers.h"
#include "support/TempDir.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// What the cloud step showed of its progress.
class TRecordingView final {
public:
  std::vector<std::string> ProgressTexts;
  std::vector<int> Positions;
  std::vector<std::string> StatusTexts;
  std::function<void()> OnProgress;

  void Show(const TCloudCopyProgress& p) {
    Positions.push_back(p.Percent);
    StatusTexts.push_back(p.StatusText);
    ProgressTexts.push_back(p.ProgressText);
    if (OnProgress) OnProgress();
  }
};

enum TTarget { tgServer, tgWrongSecret, tgEmpty, tgFolder, tgUnprotectable };
enum TOutcome { ocUploaded, ocCopied, ocFailed, ocNoTarget, ocUntouched };

struct TCase {
  const char* Name;
  TStorageMode Mode;
  TTarget Target;
  bool FolderOutput;
  TOutcome Outcome;
  // The message's suffix and the one log line (for a failure, their beginnings).
  std::string MessageSuffix;
  std::string Log;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.Name; }

class PostRunCloudCopy : public ::testing::TestWithParam<TCase> {
protected:
  static inline std::unique_ptr<test::TTempDir> FServerDir;
  static inline std::unique_ptr<test::TS3Peer> FPeer;

  static void SetUpTestSuite() {
    FServerDir = std::make_unique<test::TTempDir>();
    FPeer = std::make_unique<test::TS3Peer>(FServerDir->Path());
  }
  static void TearDownTestSuite() {
    FPeer.reset();
    FServerDir.reset();
  }

  test::TTempDir FDir;
  test::TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  test::TScopedEnv FTmp{"TMPDIR", (FDir / "tmp").string()};
  test::TScopedEnv FSecretFallback{"QELT_CLOUD_SECRET_KEY", std::nullopt};
  TRecordingView FView;
  TPostRunCloudCopy FCloud{SystemClock()};
  std::function<bool()> FShouldCancel;
  std::vector<std::string> FLog;
  TBackupTask FTask;

  PostRunCloudCopy() { fs::create_directories(FDir / "tmp"); }

  // A task of `mode` whose cloud destination is `target`, under a prefix of the test's own.
  void SetUpTask(TStorageMode mode, TTarget target) {
    FTask.Name = "Görev: A/B";
    FTask.StorageMode = mode;
    FTask.DestinationFolder = (FDir / "dest").string();
    FTask.CloudProvider = target == tgFolder ? " nas / WEBDAV " : "MinIO";
    FTask.CloudAccountName = test::S3PeerKey;
    FTask.CloudPasswordProtected = ProtectString(target == tgWrongSecret ? "yanlış" : test::S3PeerKey);
    if (target == tgUnprotectable) FTask.CloudPasswordProtected = "dpapi:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
    FTask.CloudDestinationFolder = FPeer->Endpoint() + "/qelt-backup/" + Prefix();
    if (target == tgFolder) FTask.CloudDestinationFolder = (FDir / "nas" / "paylasim").string();
    if (target == tgEmpty) FTask.CloudDestinationFolder = "   ";
  }

  static std::string Prefix() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

  // A finished run's output where the run puts it, and the snapshot the completion hands over.
  TBackupResultSnapshot MakeRun(bool folderOutput, const std::string& content = "arşiv içeriği") {
    const fs::path folder = ResolveRunDestination(FTask);
    const fs::path output = folder / (folderOutput ? "Gorev_2024-05-01_10-00-00" : "Gorev_2024-05-01_10-00-00.zip");
    if (folderOutput)
      test::WriteTree(output, {{"Docs/a.txt", content}, {"Docs/alt/b c.txt", "beta"}});
    else
      test::WriteFile(output, content);
    TBackupResultSnapshot s;
    s.Success = true;
    s.Message = "Yedekleme tamamlandı.";
    s.OutputPath = output.string();
    s.StorageMode = FTask.StorageMode;
    if (FTask.StorageMode != smCloud) s.LocalOutputPath = s.OutputPath;
    s.CloudStatus = FTask.StorageMode == smLocalDisk ? "" : "Bekliyor";
    return s;
  }

  void Perform(TBackupResultSnapshot& s) {
    TPostRunContext context;
    context.AddLog = [this](const std::string& line) { FLog.push_back(line); };
    context.OnProgress = [this](const TCloudCopyProgress& p) { FView.Show(p); };
    context.ShouldCancel = FShouldCancel;
    FCloud.PerformPostRunCloudCopy(CloudCopyTargetOf(FTask), s, context);
  }

  // Everything in the task's staging folder.
  std::vector<std::string> StagingEntries() const {
    std::vector<std::string> names;
    const fs::path staging = GetCloudStagingFolder(FTask);
    if (fs::exists(staging))
      for (const auto& entry : fs::directory_iterator(staging)) names.push_back(entry.path().filename().string());
    return names;
  }
};

TEST_P(PostRunCloudCopy, SnapshotLogAndOutputs) {
  const TCase& c = GetParam();
  SetUpTask(c.Mode, c.Target);
  TBackupResultSnapshot s = MakeRun(c.FolderOutput);
  const TBackupResultSnapshot before = s;
  const std::string stagedName = fs::path(before.OutputPath).filename().string();
  // A copy of the same name already in the share is replaced (a file) or joined (a folder).
  if (c.Target == tgFolder) {
    if (c.FolderOutput)
      test::WriteTree(fs::path(FTask.CloudDestinationFolder) / stagedName, {{"Docs/a.txt", "eski"}, {"eski.txt", "e"}});
    else
      test::WriteFile(fs::path(FTask.CloudDestinationFolder) / stagedName, "eski kopya");
  }
  Perform(s);

  const std::string remote = "s3://qelt-backup/" + Prefix() + "/" + stagedName;
  switch (c.Outcome) {
    case ocUploaded: {
      EXPECT_TRUE(s.Success);
      EXPECT_EQ(s.CloudStatus, "Tamamlandı");
      EXPECT_EQ(s.CloudOutputPath, remote);
      EXPECT_EQ(s.Message, before.Message + " | Cloud upload: " + remote);
      EXPECT_EQ(FLog, std::vector<std::string>{"Cloud hedefe upload tamamlandı: " + remote});
      const auto objects = FPeer->Objects("qelt-backup");
      const std::string key = Prefix() + "/" + stagedName + (c.FolderOutput ? "/Docs/a.txt" : "");
      ASSERT_TRUE(objects.count(key)) << key;
      EXPECT_EQ(objects.at(key), "arşiv içeriği");
      if (c.Mode == smCloud) {
        EXPECT_EQ(s.OutputPath, remote);
        EXPECT_FALSE(fs::exists(before.OutputPath));
        EXPECT_EQ(StagingEntries(), std::vector<std::string>{}) << "the staging output and its work entry go";
      } else {
        EXPECT_EQ(s.OutputPath, before.OutputPath);
        EXPECT_TRUE(fs::exists(before.OutputPath));
      }
      break;
    }
    case ocCopied: {
      const fs::path copied = fs::path(FTask.CloudDestinationFolder) / stagedName;
      EXPECT_TRUE(s.Success);
      EXPECT_EQ(s.CloudStatus, "Tamamlandı");
      EXPECT_EQ(s.CloudOutputPath, copied.string());
      EXPECT_EQ(s.Message, before.Message + " | Cloud kopyası: " + copied.string());
      EXPECT_EQ(FLog, std::vector<std::string>{"Hibrit kopya cloud hedefe gönderildi: " + copied.string()});
      EXPECT_EQ(s.OutputPath, before.OutputPath);
      EXPECT_TRUE(fs::exists(before.OutputPath)) << "a folder copy keeps the output in both modes";
      const test::TFileTree expected =
          c.FolderOutput
              ? test::TFileTree{{"Docs/a.txt", "arşiv içeriği"}, {"Docs/alt/b c.txt", "beta"}, {"eski.txt", "e"}}
              : test::TFileTree{{"", "arşiv içeriği"}};
      const test::TFileTree found =
          c.FolderOutput ? test::ReadTree(copied) : test::TFileTree{{"", test::ReadFile(copied)}};
      EXPECT_EQ(found, expected);
      std::vector<std::string> share;
      for (const auto& entry : fs::directory_iterator(FTask.CloudDestinationFolder))
        share.push_back(entry.path().filename().string());
      EXPECT_EQ(share, std::vector<std::string>{stagedName}) << "no work entry is left in the share";
      break;
    }
    case ocFailed:
      EXPECT_FALSE(s.Success);
      EXPECT_EQ(s.CloudStatus, "Başarısız");
      EXPECT_EQ(s.CloudOutputPath, "");
      EXPECT_TRUE(StartsText(before.Message + c.MessageSuffix, s.Message)) << s.Message;
      ASSERT_EQ(FLog.size(), 1u);
      EXPECT_TRUE(StartsText(c.Log, FLog[0])) << FLog[0];
      EXPECT_EQ(s.OutputPath, before.OutputPath);
      EXPECT_TRUE(fs::exists(before.OutputPath)) << "the output stays for a later restore";
      if (c.Mode == smCloud) {
        EXPECT_EQ(StagingEntries(), std::vector<std::string>{stagedName});
      }
      break;
    case ocNoTarget:
      EXPECT_TRUE(s.Success);
      EXPECT_EQ(s.CloudStatus, "Hedef tanımsız");
      EXPECT_EQ(s.Message, before.Message);
      EXPECT_EQ(FLog, std::vector<std::string>{"Cloud hedef bilgisi bulunamadı; cloud kopya atlandı."});
      EXPECT_TRUE(fs::exists(before.OutputPath));
      break;
    case ocUntouched:
      EXPECT_EQ(s, before);
      EXPECT_EQ(FLog, std::vector<std::string>{});
      break;
  }
}

const TCase Cases[] = {
    {"CloudOnlyArchive", smCloud, tgServer, false, ocUploaded, "", ""},
    {"CloudOnlyFolder", smCloud, tgServer, true, ocUploaded, "", ""},
    {"HybridArchive", smHybrid, tgServer, false, ocUploaded, "", ""},
    {"HybridFolder", smHybrid, tgServer, true, ocUploaded, "", ""},
    {"CloudOnlyRefused", smCloud, tgWrongSecret, false, ocFailed,
     " | Cloud upload hatası: Cloud upload hatası (403): ", "Cloud upload hatası: Cloud upload hatası (403): "},
    {"CloudOnlyFolderRefused", smCloud, tgWrongSecret, true, ocFailed,
     " | Cloud upload hatası: Cloud upload hatası (403): ", "Cloud upload hatası: Cloud upload hatası (403): "},
    {"HybridRefused", smHybrid, tgWrongSecret, false, ocFailed,
     " | Cloud upload hatası: Cloud upload hatası (403): ", "Cloud upload hatası: Cloud upload hatası (403): "},
    // Another user's protected secret counts as empty: the built-in key signs, and the server refuses it.
    {"UnreadableSecret", smCloud, tgUnprotectable, false, ocFailed,
     " | Cloud upload hatası: Cloud upload hatası (403): ", "Cloud upload hatası: Cloud upload hatası (403): "},
    {"HybridWithoutTarget", smHybrid, tgEmpty, false, ocNoTarget, "", ""},
    {"CloudOnlyWithoutTarget", smCloud, tgEmpty, false, ocNoTarget, "", ""},
    {"FolderCopyOfAnArchive", smCloud, tgFolder, false, ocCopied, "", ""},
    {"FolderCopyOfAFolder", smHybrid, tgFolder, true, ocCopied, "", ""},
    {"LocalDisk", smLocalDisk, tgServer, false, ocUntouched, "", ""},
};

INSTANTIATE_TEST_SUITE_P(Modes, PostRunCloudCopy, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<TCase>& info) { return info.param.Name; });

TEST_F(PostRunCloudCopy, NothingHappensAfterAFailedRun) {
  SetUpTask(smCloud, tgServer);
  TBackupResultSnapshot s = MakeRun(false);
  s.Success = false;
  const TBackupResultSnapshot before = s;
  Perform(s);
  EXPECT_EQ(s, before);
  for (const auto& [key, content] : FPeer->Objects("qelt-backup")) EXPECT_FALSE(key.starts_with(Prefix())) << key;
}

TEST_F(PostRunCloudCopy, ASecretFromTheEnvironmentSignsWhenTheStoredOneCannotBeRead) {
  test::TScopedEnv secret("QELT_CLOUD_SECRET_KEY", test::S3PeerKey);
  SetUpTask(smHybrid, tgUnprotectable);
  TBackupResultSnapshot s = MakeRun(false);
  Perform(s);
  EXPECT_TRUE(s.Success) << s.Message;
  EXPECT_EQ(s.CloudStatus, "Tamamlandı");
}

TEST_F(PostRunCloudCopy, MissingOutputsAndUnusableTargetsFailTheRun) {
  struct TFailure {
    const char* Name;
    TTarget Target;
    std::string OutputPath;
    std::string MessageSuffix;
    std::string Log;
  };
  const TFailure failures[] = {
      {"no output path", tgServer, "", " | Cloud upload tamamlanamadı.", "Cloud upload tamamlanamadı."},
      {"output gone", tgServer, (FDir / "yok.zip").string(),
       " | Cloud upload hatası: Cloud upload için kaynak çıktı bulunamadı: " + (FDir / "yok.zip").string(),
       "Cloud upload hatası: Cloud upload için kaynak çıktı bulunamadı: " + (FDir / "yok.zip").string()},
      {"folder copy of nothing", tgFolder, "", " | Cloud kopyası tamamlanamadı.", "Cloud kopyası tamamlanamadı."},
      {"share is a file", tgFolder, "*",
       " | Cloud upload hatası: Klasör oluşturulamadı: ", "Cloud upload hatası: Klasör oluşturulamadı: "},
  };
  for (const TFailure& f : failures) {
    FLog.clear();
    SetUpTask(smHybrid, f.Target);
    TBackupResultSnapshot s = MakeRun(false);
    if (f.OutputPath == "*") {
      test::WriteFile(FDir / "nas", "bir dosya");
    } else {
      s.OutputPath = f.OutputPath;
    }
    Perform(s);
    EXPECT_FALSE(s.Success) << f.Name;
    EXPECT_EQ(s.CloudStatus, "Başarısız") << f.Name;
    EXPECT_TRUE(StartsText("Yedekleme tamamlandı." + f.MessageSuffix, s.Message)) << f.Name << ": " << s.Message;
    ASSERT_EQ(FLog.size(), 1u) << f.Name;
    EXPECT_TRUE(StartsText(f.Log, FLog[0])) << f.Name << ": " << FLog[0];
  }
}

TEST_F(PostRunCloudCopy, ALongUploadShowsItsProgressAndKeepsItsOutputLockedMeanwhile) {
  SetUpTask(smCloud, tgServer);
  TBackupResultSnapshot s = MakeRun(false, std::string(24 << 20, 'v'));
  const fs::path staging = GetCloudStagingFolder(FTask);
  std::vector<std::string> seenInStaging;
  size_t removedByCleanup = 0;
  FView.OnProgress = [&] {
    for (const auto& entry : fs::directory_iterator(staging)) seenInStaging.push_back(entry.path().filename().string());
    // A cleanup of leftovers running meanwhile (another instance starting) must pass the upload over.
    removedByCleanup += RemoveAbandonedWork(staging, IsWorkEntryName).size();
  };
  Perform(s);
  ASSERT_TRUE(s.Success) << s.Message;

  ASSERT_FALSE(FView.ProgressTexts.empty());
  static const std::regex text(R"(Cloud upload: Gorev_2024-05-01_10-00-00\.zip \((\d+)%, \d+[.,]\d MB/s\))");
  std::smatch match;
  for (const std::string& t : FView.ProgressTexts) EXPECT_TRUE(std::regex_match(t, match, text)) << t;
  EXPECT_TRUE(std::regex_match(FView.ProgressTexts.back(), match, text));
  EXPECT_EQ(match[1], "100");
  EXPECT_EQ(FView.Positions.back(), 100);
  EXPECT_EQ(FView.StatusTexts.back(), "Cloud upload: 100%");
  ASSERT_FALSE(seenInStaging.empty());
  for (const std::string& name : seenInStaging) EXPECT_TRUE(IsWorkEntryName(name)) << name;
  EXPECT_EQ(removedByCleanup, 0u);
  EXPECT_EQ(StagingEntries(), std::vector<std::string>{});
}

// "İptal Et" during the upload: the transfer stops part-way, the run fails as cancelled, and the cloud-only output
// is back under its own name in its staging folder for a later try.
TEST_F(PostRunCloudCopy, ACancelStopsTheUploadAndKeepsTheOutput) {
  SetUpTask(smCloud, tgServer);
  TBackupResultSnapshot s = MakeRun(false, std::string(24 << 20, 'c'));
  const std::string output = s.OutputPath;
  bool cancelled = false;
  FView.OnProgress = [&] { cancelled = !FView.Positions.empty() && FView.Positions.back() > 0; };
  FShouldCancel = [&] { return cancelled; };
  Perform(s);
  EXPECT_FALSE(s.Success);
  EXPECT_EQ(s.CloudStatus, "Başarısız");
  EXPECT_EQ(s.Message, std::string("Yedekleme tamamlandı. | ") + CloudCopyCancelledMessage);
  EXPECT_EQ(FLog, std::vector<std::string>{CloudCopyCancelledMessage});
  EXPECT_TRUE(fs::exists(output));
  EXPECT_EQ(StagingEntries(), std::vector<std::string>{fs::path(output).filename().string()});
}

}  // namespace
}  // namespace velkor
