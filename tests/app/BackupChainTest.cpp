#include <gtest/gtest.h>

#include "app/BackupChain.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class BackupChain : public ::testing::Test {
protected:
  test::TTempDir FDir;
  test::TFakeClock FClock;
  TBackupTask FTask{FClock};

  // An item whose output exists (a folder in the scratch folder) unless `output` is given.
  TBackupChainItem& Add(const std::string& id, const std::string& setId, TBackupType type, TDateTime time,
                        std::optional<std::string> output = std::nullopt) {
    auto item = std::make_unique<TBackupChainItem>();
    item->BackupId = id;
    item->SetId = setId;
    item->EffectiveType = type;
    item->BackupTime = time;
    if (output) {
      item->OutputPath = *output;
    } else {
      item->OutputPath = (FDir / id).string();
      fs::create_directories(item->OutputPath);
    }
    FTask.BackupChain.push_back(std::move(item));
    return *FTask.BackupChain.back();
  }

  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (const auto& item : FTask.BackupChain) ids.push_back(item->BackupId);
    return ids;
  }
};

TEST_F(BackupChain, OutputExistence) {
  test::WriteFile(FDir / "out.zip", "zip");
  const struct {
    std::string Path;
    bool Exists;
  } cases[] = {
      {"", false},
      {"   ", false},
      {"s3://arsiv/yedek.zip", true},
      {"  S3://ARSIV/yok", true},
      {(FDir / "out.zip").string(), true},
      {FDir.Path().string(), true},
      {(FDir / "missing").string(), false},
  };
  for (const auto& c : cases) EXPECT_EQ(ChainOutputExists(c.Path), c.Exists) << "'" << c.Path << "'";
}

TEST_F(BackupChain, PruningAndLookups) {
  Add("F1", "F1", btFull, 10);
  Add("I1", "F1", btIncremental, 12);
  Add("F2", "F2", btFull, 12);
  Add("gone", "F2", btDifferential, 20, (FDir / "missing").string());
  Add("cloud", "F2", btIncremental, 13, "s3://arsiv/x");

  // Existence is checked by the lookups too, before any pruning.
  EXPECT_EQ(FindLatestChainItem(FTask, AnyBackupType, "")->BackupId, "cloud");
  EXPECT_EQ(FindLatestChainItem(FTask, btFull, "")->BackupId, "F2") << "F2 is not newer than I1, but is a full";
  EXPECT_EQ(FindLatestChainItem(FTask, AnyBackupType, "f1")->BackupId, "I1") << "set ids ignore case";
  EXPECT_EQ(FindLatestChainItem(FTask, btDifferential, ""), nullptr);
  EXPECT_EQ(FindChainItemById(FTask, "gone")->BackupId, "gone") << "no existence test by id";
  EXPECT_EQ(FindChainItemById(FTask, "  "), nullptr);

  PruneMissingChainItems(FTask);
  EXPECT_EQ(Ids(), (std::vector<std::string>{"F1", "I1", "F2", "cloud"}));

  // On equal times the earlier item wins.
  FTask.BackupChain.clear();
  Add("A", "S", btFull, 5);
  Add("B", "S", btIncremental, 5);
  EXPECT_EQ(FindLatestChainItem(FTask, AnyBackupType, "S")->BackupId, "A");
}

TEST_F(BackupChain, KnownFileLists) {
  EXPECT_EQ(MergeKnownFiles({"Docs/b.txt", " ", "docs/A.txt"}, {"Docs/a.txt", "Docs/c.txt", ""}),
            (std::vector<std::string>{"docs/A.txt", "Docs/b.txt", "Docs/c.txt"}));

  FTask.SourceFolders = {"/data/Docs/", "/data/docs/sub", "/"};
  TBackupResultSnapshot snapshot;
  for (const char* file : {"/data/Docs/a/b.txt", "/DATA/docs/x.txt", "/data/docs/sub/y.txt", "/etc/hosts"})
    snapshot.SuccessfulFiles.push_back({file, 1, true});
  // The first matching folder decides; a root folder has no component of its own.
  EXPECT_EQ(BuildKnownFiles(FTask, snapshot),
            (std::vector<std::string>{"Docs/a/b.txt", "Docs/sub/y.txt", "Docs/x.txt", "etc/hosts"}));

  FTask.SourceFolders = {"/data/Docs"};
  EXPECT_EQ(BuildKnownFiles(FTask, snapshot),
            (std::vector<std::string>{"/etc/hosts", "Docs/a/b.txt", "Docs/sub/y.txt", "Docs/x.txt"}))
      << "a file under none of the sources keeps its full path";
}

TEST_F(BackupChain, Planning) {
  const TRunPlan first = PlanBackupRun(FTask, btIncremental);
  EXPECT_EQ(first.EffectiveType, btFull);
  EXPECT_TRUE(first.FellBackToFull);
  EXPECT_EQ(RequestedTypeOf(0, btDifferential), btDifferential);
  EXPECT_EQ(RequestedTypeOf(3, btFull), btIncremental);
  EXPECT_EQ(RequestedTypeOf(7, btFull), btFull);

  Add("F", "F", btFull, 10).KnownFiles = {"Docs/a"};
  // Every backup of the set was lost but the full one: the incremental builds on the full backup itself.
  const TRunPlan inc = PlanBackupRun(FTask, btIncremental);
  EXPECT_EQ(inc.EffectiveType, btIncremental);
  EXPECT_EQ(inc.ParentBackupId, "F");
  EXPECT_EQ(inc.ReferenceBackupTime, 10);
  EXPECT_EQ(inc.ReferenceFullBackupTime, 10);
  EXPECT_EQ(inc.ReferenceFileNames, std::vector<std::string>{"Docs/a"});

  const TRunPlan full = PlanBackupRun(FTask, btFull);
  EXPECT_EQ(full.SetId, "");
  EXPECT_EQ(full.ReferenceFullBackupTime, 0);
  EXPECT_TRUE(full.ReferenceFileNames.empty());
}

TEST_F(BackupChain, Card) {
  EXPECT_EQ(BuildChainCard(nullptr), TChainCard{});

  FTask.BackupType = btIncremental;
  const TFormatSettings fs = TurkishFormatSettings();
  TChainCard empty = BuildChainCard(&FTask, fs);
  EXPECT_EQ(empty.Effective, "Tam (otomatik ilk taban)");
  EXPECT_EQ(empty.Next, "Tam");
  EXPECT_EQ(empty.TotalSets, "0 set");
  EXPECT_EQ(empty.BaseFull, "Henüz yok");
  EXPECT_EQ(empty.SetId, "-");
  EXPECT_EQ(empty.SetContents, "-");
  EXPECT_EQ(empty.Cleanup, "Henüz yok");
  EXPECT_EQ(empty.Chip, "İlk Çalışma Tam");
  EXPECT_EQ(empty.ChipBackground, (TRgbColor{222, 242, 255}));
  EXPECT_EQ(empty.ChipText, (TRgbColor{0, 92, 161}));

  Add("1234567890AB", "1234567890AB", btFull, EncodeDateTime(2024, 5, 1, 3, 0, 0));
  Add("D1", "1234567890ab", btDifferential, EncodeDateTime(2024, 5, 2, 3, 0, 0));
  Add("I1", "1234567890AB", btIncremental, EncodeDateTime(2024, 5, 3, 3, 0, 0));
  Add("I2", "1234567890AB", btIncremental, EncodeDateTime(2024, 5, 4, 3, 0, 0));
  Add("X", "X", btFull, EncodeDateTime(2024, 4, 1, 3, 0, 0));
  Add("lost", "L", btFull, EncodeDateTime(2024, 4, 2, 3, 0, 0), (FDir / "missing").string());
  FTask.LastRetentionCleanupTime = EncodeDateTime(2024, 5, 4, 3, 15, 0);
  const TChainCard card = BuildChainCard(&FTask, fs);
  EXPECT_EQ(card.Effective, "Artımlı");
  EXPECT_EQ(card.Next, "Artımlı");
  EXPECT_EQ(card.TotalSets, "2 set");
  EXPECT_EQ(card.BaseFull, "01.05 03:00");
  EXPECT_EQ(card.SetId, "12345678");
  EXPECT_EQ(card.SetContents, "1 tam / 1 fark / 2 art.");
  EXPECT_EQ(card.Cleanup, "04.05 03:15");
  EXPECT_EQ(card.Chip, "Zincir Hazır");
  EXPECT_EQ(card.ChipBackground, (TRgbColor{238, 247, 233}));
  EXPECT_EQ(FTask.BackupChain.size(), 5u) << "the card prunes";

  FTask.BackupChain.clear();
  FTask.BackupType = btFull;
  EXPECT_EQ(BuildChainCard(&FTask, fs).Chip, "Set Bekleniyor");
}

}  // namespace
}  // namespace velkor
