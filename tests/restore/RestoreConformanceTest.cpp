// One body of restore tests run against every kind of backup output: a restore must give back the same tree
// whatever form the backup took, and must never write over what the target already holds.
#include <gtest/gtest.h>

#include "RestoreTestSupport.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreManager.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TFileTree;
using test::TOutputKind;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;

constexpr char Password[] = "Doğru-Parola 1";

std::string Binary(size_t size, uint32_t seed) {
  std::string data(size, '\0');
  for (auto& c : data) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return data;
}

// Two source folders; a name without extension, an empty file, non-ASCII names, binary data and a file longer than
// the 1 MiB copy buffer.
TFileTree BackedUpTree() {
  return {{"Docs/a.txt", "alfa"},         {"Docs/notlar", "uzantısız"},      {"Docs/sub/b.bin", Binary(300, 7)},
          {"Docs/sub/derin/boş.txt", ""}, {"Docs/Türkçe ğüşİ.txt", "metin"}, {"Docs/big.bin", Binary(2621440 + 17, 11)},
          {"Photos/p.jpg", "pppp"}};
}

class RestoreConformance : public ::testing::TestWithParam<TOutputKind> {
protected:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir / "tmp").string()};
  TRestoreManager FManager;
  fs::path FOutput;
  fs::path FTarget = FDir / "hedef";

  void SetUp() override {
    InitProcessLocale();
    fs::create_directories(FDir / "tmp");
    FOutput = test::BuildBackupOutput(GetParam(), BackedUpTree(), FDir / "dest", Password);
  }
  void TearDown() override { EXPECT_TRUE(test::ListEverything(FDir / "tmp").empty()) << "staging left behind"; }

  std::pair<int32_t, int32_t> Restore(TRestoreConflictAction action) {
    int32_t restored = -1, skipped = -1;
    FManager.RestoreBackupOutput(FOutput.string(), FTarget.string(), Password, action, restored, skipped);
    return {restored, skipped};
  }
  // A target that already holds three of the restored names, one of them as a folder.
  void FillTargetWithConflicts() {
    WriteFile(FTarget / "Docs/a.txt", "benim");
    WriteFile(FTarget / "Docs/notlar", "benim de");
    WriteFile(FTarget / "Docs/sub/b.bin/içinde.txt", "klasör");
  }
};

TEST_P(RestoreConformance, IntoAnEmptyTargetReproducesTheTreeByteForByte) {
  const TRestoreAnalysis analysis = FManager.AnalyzeRestore(FOutput.string(), FTarget.string(), Password);
  EXPECT_EQ(analysis.TotalFiles, 7);
  EXPECT_EQ(analysis.ConflictCount, 0);
  EXPECT_EQ(analysis.FirstConflictPath, "");
  EXPECT_FALSE(fs::exists(FTarget)) << "the analysis wrote to the target";

  EXPECT_EQ(Restore(rcRename), std::make_pair(7, 0));
  EXPECT_EQ(test::ReadTree(FTarget), BackedUpTree());
}

TEST_P(RestoreConformance, RenameAndOverwriteNeverWriteOverExistingFilesOrFolders) {
  FillTargetWithConflicts();
  const TRestoreAnalysis analysis = FManager.AnalyzeRestore(FOutput.string(), FTarget.string(), Password);
  EXPECT_EQ(analysis.TotalFiles, 7);
  EXPECT_EQ(analysis.ConflictCount, 3);
  EXPECT_EQ(analysis.FirstConflictPath, (FTarget / "Docs/a.txt").string());

  EXPECT_EQ(Restore(rcRename), std::make_pair(7, 0));
  // rcOverwrite is resolved like rcRename: the second restore finds "(1)" taken as well.
  EXPECT_EQ(Restore(rcOverwrite), std::make_pair(7, 0));

  const TFileTree tree = test::ReadTree(FTarget);
  EXPECT_EQ(tree.at("Docs/a.txt"), "benim");
  EXPECT_EQ(tree.at("Docs/a (1).txt"), "alfa");
  EXPECT_EQ(tree.at("Docs/a (2).txt"), "alfa");
  EXPECT_EQ(tree.at("Docs/notlar"), "benim de");
  EXPECT_EQ(tree.at("Docs/notlar (1)"), "uzantısız");
  EXPECT_EQ(tree.at("Docs/notlar (2)"), "uzantısız");
  EXPECT_EQ(tree.at("Docs/sub/b.bin/içinde.txt"), "klasör");
  EXPECT_EQ(tree.at("Docs/sub/b (1).bin"), Binary(300, 7));
  EXPECT_EQ(tree.at("Docs/sub/b (2).bin"), Binary(300, 7));
  EXPECT_EQ(tree.at("Photos/p.jpg"), "pppp");
  EXPECT_EQ(tree.at("Photos/p (1).jpg"), "pppp");
  EXPECT_EQ(tree.size(), 3u + 7u + 7u);
}

TEST_P(RestoreConformance, SkipLeavesTheOriginalsAndCountsThem) {
  FillTargetWithConflicts();
  EXPECT_EQ(Restore(rcSkip), std::make_pair(4, 3));

  TFileTree expected = BackedUpTree();
  expected.erase("Docs/sub/b.bin");
  expected["Docs/a.txt"] = "benim";
  expected["Docs/notlar"] = "benim de";
  expected["Docs/sub/b.bin/içinde.txt"] = "klasör";
  EXPECT_EQ(test::ReadTree(FTarget), expected);
}

INSTANTIATE_TEST_SUITE_P(OutputKinds, RestoreConformance,
                         ::testing::Values(test::okFolder, test::okEncryptedFolder, test::okZip,
                                           test::okZipBackslashNames, test::okEncryptedZip),
                         [](const auto& info) { return std::string(test::OutputKindName(info.param)); });

}  // namespace
}  // namespace velkor
