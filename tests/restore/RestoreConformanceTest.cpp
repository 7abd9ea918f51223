// One body of restore tests run against every kind of backup output: a restore must give back the same tree
// whatever form the backup took, and must never write over what the target already holds.
#include <gtest/gtest.h>

#include <set>

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

// Two source folders; a name without extension, an empty file, non-ASCII names, binary data and a file longer than
// the 1 MiB copy buffer.
TFileTree BackedUpTree() {
  return {{"Docs/a.txt", "alfa"},
          {"Docs/notlar", "uzantısız"},
          {"Docs/sub/b.bin", test::NoiseBytes(300, 7)},
          {"Docs/sub/derin/boş.txt", ""},
          {"Docs/Türkçe ğüşİ.txt", "metin"},
          {"Docs/big.bin", test::NoiseBytes(2621440 + 17, 11)},
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
  EXPECT_EQ(tree.at("Docs/sub/b (1).bin"), test::NoiseBytes(300, 7));
  EXPECT_EQ(tree.at("Docs/sub/b (2).bin"), test::NoiseBytes(300, 7));
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

// A progress display sees each stage the output needs, in order, every stage counting up to its total: the
// decryption of an encrypted archive, the unpacking of an archive's bytes, the placing of every file.
TEST_P(RestoreConformance, ProgressCountsEachStageUpToItsTotal) {
  struct TSeen {
    TRestoreStage Stage;
    int64_t Done, Total;
  };
  std::vector<TSeen> seen;
  std::set<std::string> names;
  FManager.SetProgressHandler([&](const TRestoreProgress& p) {
    seen.push_back({p.Stage, p.Done, p.Total});
    if (!p.Name.empty()) names.insert(std::string(p.Name));
  });
  EXPECT_EQ(Restore(rcRename), std::make_pair(7, 0));

  std::vector<TRestoreStage> stages;
  for (size_t i = 0; i < seen.size(); ++i) {
    if (stages.empty() || stages.back() != seen[i].Stage) {
      stages.push_back(seen[i].Stage);
    } else {
      EXPECT_GE(seen[i].Done, seen[i - 1].Done) << "report " << i;
      EXPECT_EQ(seen[i].Total, seen[i - 1].Total) << "report " << i;
    }
    EXPECT_LE(seen[i].Done, seen[i].Total) << "report " << i;
  }
  const bool archive = GetParam() == test::okZip || GetParam() == test::okZipBackslashNames;
  const std::vector<TRestoreStage> expected = GetParam() == test::okEncryptedZip
                                                  ? std::vector{rsDecrypt, rsUnpack, rsPlace}
                                              : archive ? std::vector{rsUnpack, rsPlace}
                                                        : std::vector{rsPlace};
  EXPECT_EQ(stages, expected);
  int64_t bytes = 0;
  for (const auto& [name, data] : BackedUpTree()) bytes += static_cast<int64_t>(data.size());
  for (size_t i = 1; i < seen.size(); ++i) {
    if (seen[i - 1].Stage == rsUnpack && seen[i].Stage == rsPlace) {
      EXPECT_EQ(seen[i - 1].Done, bytes);
    }
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Stage, rsPlace);
  EXPECT_EQ(seen.back().Done, 7);
  EXPECT_EQ(seen.back().Total, 7);
  EXPECT_TRUE(names.contains("Docs/big.bin")) << "the file at hand is named: " << testing::PrintToString(names);
}

INSTANTIATE_TEST_SUITE_P(OutputKinds, RestoreConformance,
                         ::testing::Values(test::okFolder, test::okEncryptedFolder, test::okZip,
                                           test::okZipBackslashNames, test::okEncryptedZip),
                         [](const auto& info) { return std::string(test::OutputKindName(info.param)); });

// Odd but legal Linux names, backed up by the engine and restored into an empty target: each comes back byte for
// byte, or the backup run itself reports it as a failed file. The first part of each path names a source folder.
struct TOddName {
  std::string Path;
  bool TooLongWithMbe = false;  // a 255-byte name cannot take ".mbe" on top: the encrypted folder run reports it
};

const std::vector<TOddName>& OddNames() {
  static const std::vector<TOddName> names = {
      {"v2../a.txt"},
      {"..gizli/b.txt"},
      {"Disk D:/c.txt"},
      {" boşluk ./baştaki ve sondaki"},
      {"Belgeler/v2../iç.txt"},
      {"Belgeler/..gizli"},
      {"Belgeler/..."},
      {"Belgeler/C:"},
      {"Belgeler/a\\b.txt"},
      {"Belgeler/\\baştaki"},
      {"Belgeler/sondaki\\"},
      {"Belgeler/ baştaki boşluk"},
      {"Belgeler/sondaki boşluk "},
      {"Belgeler/sondaki nokta."},
      {"Belgeler/.gizli"},
      {"Belgeler/satır\nsonu"},
      {"Belgeler/" + std::string(255, 'u'), true},
      {"Belgeler/" +
           [] {
             std::string name;
             for (int i = 0; i < 127; ++i) name += "ğ";
             return name + "x";
           }(),
       true},
      {"Belgeler/Türkçe ğüşıöç İĞÜŞÖÇ"},  // composed (NFC)
      {"Belgeler/Tu\xCC\x88rkc\xCC\xA7"
       "e g\xCC\x86"},                    // decomposed (NFD)
      {"Belgeler/G\xF6rev\xFF.txt"},      // Latin-1, not UTF-8
      {"Belgeler/\xC0\xAF\xED\xA0\x80"},  // over-long "/" and a surrogate
  };
  return names;
}

class RestoreRoundTrip : public ::testing::TestWithParam<TOutputKind> {
protected:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir / "tmp").string()};
  TRestoreManager FManager;
  fs::path FTarget = FDir / "hedef";

  void SetUp() override {
    InitProcessLocale();
    fs::create_directories(FDir / "tmp");
  }
  void TearDown() override { EXPECT_TRUE(test::ListEverything(FDir / "tmp").empty()) << "staging left behind"; }

  int32_t Restore(const fs::path& output) {
    int32_t restored = -1, skipped = -1;
    FManager.RestoreBackupOutput(output.string(), FTarget.string(), Password, rcRename, restored, skipped);
    EXPECT_EQ(skipped, 0);
    return restored;
  }
};

TEST_P(RestoreRoundTrip, OddButLegalNamesComeBackByteForByteOrFailAtBackup) {
  TFileTree tree;
  for (const auto& name : OddNames()) tree[name.Path] = "içerik: " + name.Path;
  std::vector<std::string> failed;
  const fs::path output = test::BuildBackupOutput(GetParam(), tree, FDir / "dest", Password, &failed);

  TFileTree expected = tree;
  std::set<std::string> expectedFailed;
  for (const auto& name : OddNames()) {
    if (!name.TooLongWithMbe || GetParam() != test::okEncryptedFolder) continue;
    expected.erase(name.Path);
    expectedFailed.insert((test::BackupSourceRoot(FDir / "dest") / name.Path).string());
  }
  // Each failure reads "path (reason)".
  std::set<std::string> failedPaths;
  for (const auto& name : OddNames()) {
    const std::string source = (test::BackupSourceRoot(FDir / "dest") / name.Path).string();
    for (const auto& entry : failed)
      if (entry.starts_with(source + " (")) failedPaths.insert(source);
  }
  EXPECT_EQ(failedPaths, expectedFailed);
  EXPECT_EQ(failed.size(), expectedFailed.size());

  const TRestoreAnalysis analysis = FManager.AnalyzeRestore(output.string(), FTarget.string(), Password);
  EXPECT_EQ(analysis.TotalFiles, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(analysis.ConflictCount, 0);
  EXPECT_EQ(Restore(output), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(test::ReadTree(FTarget), expected);
}

// The permission bits of the sources come back, whatever form the backup took.
TEST_P(RestoreRoundTrip, PermissionBitsOfTheSourcesComeBack) {
  test::TScopedUmask umask(022);
  const std::map<std::string, uint32_t> modes = {
      {"Belgeler/özel.txt", 0600}, {"Belgeler/grup.txt", 0640}, {"Belgeler/herkes.txt", 0644}};
  TFileTree tree;
  for (const auto& [path, mode] : modes) tree[path] = path;
  const fs::path output = test::BuildBackupOutput(GetParam(), tree, FDir / "dest", Password, nullptr, modes);
  EXPECT_EQ(Restore(output), 3);
  for (const auto& [path, mode] : modes) EXPECT_EQ(fs::status(FTarget / path).permissions(), fs::perms(mode)) << path;
}

INSTANTIATE_TEST_SUITE_P(OutputKinds, RestoreRoundTrip,
                         ::testing::Values(test::okFolder, test::okEncryptedFolder, test::okZip, test::okEncryptedZip),
                         [](const auto& info) { return std::string(test::OutputKindName(info.param)); });

}  // namespace
}  // namespace velkor
